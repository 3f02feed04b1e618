// Loading the engine client library beside the add-in (by its full path),
// creating the client and reading the engine's state.
#include <string>

#include "addin/module_folder.h"
#include "addin/trace.h"
#include "engine/crash_handler.h"
#include "engine/engine_link.h"
#include "engine/settings_stream.h"

namespace qev {
namespace {

constexpr std::uint32_t kMaxBarPos = 6;
// A directory of up to 260 characters is saved and put back; a longer one
// cannot be read into the buffer, and the default search order comes back.
constexpr std::uint32_t kDllDirectoryChars = 260;

// Points the DLL search at a folder for the life of the scope, then puts the
// process's setting back. The two functions are looked up by name; without
// them the setting is left alone.
class DllDirectoryScope {
public:
    DllDirectoryScope(host::Libraries& libraries, const std::u16string& folder)
    {
        const host::LibraryHandle kernel32 = libraries.Loaded(u"Kernel32.dll");
        if (!kernel32) return;
        m_get = reinterpret_cast<host::GetDllDirectoryFn>(libraries.Symbol(kernel32, "GetDllDirectoryW", nullptr));
        m_set = reinterpret_cast<host::SetDllDirectoryFn>(libraries.Symbol(kernel32, "SetDllDirectoryW", nullptr));
        if (!m_get || !m_set) {
            m_set = nullptr;
            return;
        }
        char16_t saved[kDllDirectoryChars + 1] = {};
        const std::uint32_t length = m_get(kDllDirectoryChars + 1, saved);
        if (length <= kDllDirectoryChars) m_saved.assign(saved, length);
        m_set(folder.c_str());
    }
    ~DllDirectoryScope()
    {
        if (m_set) m_set(m_saved.empty() ? nullptr : m_saved.c_str());
    }
    DllDirectoryScope(const DllDirectoryScope&) = delete;
    DllDirectoryScope& operator=(const DllDirectoryScope&) = delete;

private:
    host::GetDllDirectoryFn m_get = nullptr;
    host::SetDllDirectoryFn m_set = nullptr;
    std::u16string m_saved;
};

}  // namespace

void EngineLink::ResetState()
{
    m_fServerStatus = false;
    m_fAntispamOn = true;
    m_asOptions = AsOptions{{sizeof(AsOptions), 0, 1, 1, 0, 0, 0, 0, 0, 0}};
    m_bar = BarPlacement{};
    m_strAsClientPath.clear();
}

bool EngineLink::Load()
{
    host::Libraries& libraries = m_services.libraries;
    const std::u16string folder = ParentFolder(EngineHomeModulePath(libraries));
    if (folder.empty()) {
        // No folder at all: a bare name would be searched for in the
        // current directory too.
        TraceBare(u"_asClient.Load() failed");
        return false;
    }
    const DllDirectoryScope dllDirectory(libraries, folder);

    m_strAsClientPath = JoinPath(folder, kAsClientLibrary);
    m_hAsClientDll.Reset(libraries.Load(m_strAsClientPath, false, nullptr));
    if (m_hAsClientDll.Get()) {
        m_pfnAsCreateInstance = reinterpret_cast<AsCreateInstanceFn>(
            libraries.Symbol(m_hAsClientDll.Get(), kAsCreateInstanceName, nullptr));
        if (!m_pfnAsCreateInstance) m_hAsClientDll.Reset();
    }
    if (!m_hAsClientDll.Get()) {
        TraceBare(u"_asClient.Load() failed");
        return false;
    }
    TraceBare(u"_asClient.Load() succeeded");
    m_asClient.reset(m_pfnAsCreateInstance(kAsClientInterfaceName));
    if (!m_asClient) {
        ReleaseClient();
        return false;
    }

    m_asClient->Init(1);
    AsSettings first = DefaultSettings();
    AsSettings second = DefaultSettings();
    m_asClient->GetSettings(&first, &second);
    bool serverStatus = m_fServerStatus;
    m_asClient->GetServerStatus(&serverStatus);
    m_fServerStatus = serverStatus;
    m_fAntispamOn = AntispamOnFrom(first);
    m_asClient->SetConfigFile(u"qev.xml", true);
    m_asClient->GetOptions(&m_asOptions);

    std::uint32_t value = 0;
    m_asClient->GetValue(u"zkch", &value, false);
    if (value != 0) {
        const HRESULT hr = LoadCrashHandler(m_services);
        QEV_TRACE(kTraceProgress, u"[as][qev]   LoadCrashHandler : %d :...%s\n", hr, hr >= 0 ? u"ok" : u"failed");
    }
    value = 1;
    m_asClient->GetValue(u"BarPos", &value, true);
    if (value <= kMaxBarPos) m_bar.m_barPos = value;
    m_asClient->GetValue(u"BarTop", &m_bar.m_barTop, true);
    m_asClient->GetValue(u"BarLeft", &m_bar.m_barLeft, true);
    m_asClient->GetValue(u"BarVisible", &m_bar.m_barVisible, true);
    return true;
}

}  // namespace qev
