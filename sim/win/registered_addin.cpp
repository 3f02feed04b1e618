#include "sim/win/registered_addin.h"

#include <optional>

#include "host/utf.h"

namespace qev::sim::win {
namespace {

constexpr wchar_t kAddinsKey[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\";
constexpr wchar_t kClassesKey[] = L"Software\\Classes\\";
// Connected (1) and loaded at start-up (2).
constexpr DWORD kLoadAtStartup = 3;

std::string Text(const std::wstring& text)
{
    return host::Utf8(std::u16string(text.begin(), text.end()));
}

const char* Whose(bool user)
{
    return user ? "the user's" : "the machine's";
}

class Key {
public:
    Key(HKEY root, const std::wstring& path)
    {
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &m_key) != ERROR_SUCCESS) m_key = nullptr;
    }
    ~Key()
    {
        if (m_key) RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    explicit operator bool() const noexcept { return m_key != nullptr; }

    // A string value (REG_EXPAND_SZ expanded); empty name: the default value.
    std::optional<std::wstring> Text(const wchar_t* name) const
    {
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
            ERROR_SUCCESS)
            return std::nullopt;
        value.resize(wcsnlen(value.c_str(), value.size()));
        if (type == REG_SZ) return value;
        std::wstring expanded(32768, L'\0');
        const DWORD length = ExpandEnvironmentStringsW(value.c_str(), expanded.data(), 32768);
        if (length == 0 || length > 32768) return std::nullopt;
        expanded.resize(length - 1);
        return expanded;
    }

    std::optional<DWORD> Number(const wchar_t* name) const
    {
        DWORD value = 0;
        DWORD bytes = sizeof value;
        DWORD type = 0;
        if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
            type != REG_DWORD)
            return std::nullopt;
        return value;
    }

private:
    HKEY m_key = nullptr;
};

// The default value of a key of HKEY_CLASSES_ROOT as Windows merges it: the
// user's key when there is one, else the machine's. Which one answered goes
// to user.
std::optional<std::wstring> ClassesDefault(const std::wstring& path, bool& user)
{
    for (const bool fromUser : {true, false}) {
        const Key key(fromUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kClassesKey + path);
        if (!key) continue;
        user = fromUser;
        return key.Text(L"");
    }
    return std::nullopt;
}

}  // namespace

std::string RegisteredAddin::Describe() const
{
    return Text(progId) + ": " + Whose(userAddins) + " Addins key (LoadBehavior " + std::to_string(loadBehavior) +
           "), class " + Text(clsid) + " of " + Whose(userClass) + " classes, server " + Text(server);
}

RegisteredAddin FindRegisteredAddin(const std::wstring& progId)
{
    RegisteredAddin found;
    found.progId = progId;
    const std::string name = Text(progId);

    std::optional<DWORD> behavior;
    bool listed = false;
    for (const bool user : {true, false}) {
        const Key key(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kAddinsKey + progId);
        if (!key) continue;
        listed = true;
        found.userAddins = user;
        behavior = key.Number(L"LoadBehavior");
        break;
    }
    if (!listed) throw AddinNotFound(name + " is not registered with Outlook: no Addins key in the user's or the machine's hive");
    if (!behavior || (*behavior & kLoadAtStartup) != kLoadAtStartup)
        throw AddinNotFound(name + " is not loaded at start-up: " + Whose(found.userAddins) + " Addins key has LoadBehavior " +
                            (behavior ? std::to_string(*behavior) : std::string("(none)")));
    found.loadBehavior = *behavior;

    bool userProgId = false;
    const std::optional<std::wstring> clsid = ClassesDefault(progId + L"\\CLSID", userProgId);
    if (!clsid || clsid->empty()) throw AddinNotFound(name + " has no class id in the user's or the machine's classes");
    found.clsid = *clsid;
    const std::optional<std::wstring> server = ClassesDefault(L"CLSID\\" + *clsid + L"\\InprocServer32", found.userClass);
    if (!server || server->empty())
        throw AddinNotFound("class " + Text(*clsid) + " of " + name + " has no in-process server");
    found.server = *server;
    return found;
}

// ---- InprocServer ----

InprocServer::InprocServer(const RegisteredAddin& addin)
{
    if (FAILED(CLSIDFromString(addin.clsid.c_str(), &m_clsid)))
        throw std::runtime_error("not a class id: " + Text(addin.clsid));
    // As COM loads an in-process server: by its full path, its own folder
    // searched first for what it imports.
    m_module = LoadLibraryExW(addin.server.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!m_module)
        throw std::runtime_error("cannot load " + Text(addin.server) + " (error " + std::to_string(GetLastError()) + ")");
    m_getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void (*)()>(GetProcAddress(m_module, "DllGetClassObject")));
    m_canUnloadNow =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void (*)()>(GetProcAddress(m_module, "DllCanUnloadNow")));
    if (!m_getClassObject || !m_canUnloadNow) {
        FreeLibrary(m_module);
        throw std::runtime_error(Text(addin.server) + " exports no DllGetClassObject or DllCanUnloadNow");
    }
}

InprocServer::~InprocServer()
{
    if (m_canUnloadNow() == S_OK) FreeLibrary(m_module);
}

host::win::ComPtr<_IDTExtensibility2> InprocServer::Create() const
{
    host::win::ComPtr<IClassFactory> factory;
    HRESULT hr = m_getClassObject(m_clsid, IID_IClassFactory, factory.OutVoid());
    if (FAILED(hr)) throw std::runtime_error("DllGetClassObject failed: " + std::to_string(hr));
    host::win::ComPtr<_IDTExtensibility2> designer;
    hr = factory->CreateInstance(nullptr, IID__IDTExtensibility2, designer.OutVoid());
    if (FAILED(hr)) throw std::runtime_error("the class factory made no _IDTExtensibility2: " + std::to_string(hr));
    return designer;
}

}  // namespace qev::sim::win
