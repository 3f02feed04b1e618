#include "sim/win/engine_control.h"

#include "sim/world.h"

namespace qev::sim::win {
namespace {

template <class Fn>
void Find(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!fn) throw Failure(std::string("the engine library does not export ") + name);
}

}  // namespace

bool EngineControl::Load(const std::wstring& path)
{
    Unload();
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) throw Failure("the engine library cannot be loaded: error " + std::to_string(GetLastError()));
    try {
        Find(module, zksim::kSetServerStatus, m_setServerStatus);
        Find(module, zksim::kSetSetting, m_setSetting);
        Find(module, zksim::kSetOption, m_setOption);
        Find(module, zksim::kSetValue, m_setValue);
        Find(module, zksim::kSetFactoryNull, m_setFactoryNull);
        Find(module, zksim::kSetCallListener, m_setCallListener);
        Find(module, zksim::kNotifyStatus, m_notifyStatus);
        Find(module, zksim::kNotifySettings, m_notifySettings);
        Find(module, zksim::kNotifyStatusHere, m_notifyStatusHere);
        Find(module, zksim::kNotifySettingsHere, m_notifySettingsHere);
        Find(module, zksim::kCallCount, m_callCount);
        Find(module, zksim::kLiveClients, m_liveClients);
        Find(module, zksim::kObservers, m_observers);
    } catch (...) {
        FreeLibrary(module);
        throw;
    }
    m_module = module;
    return true;
}

void EngineControl::Unload() noexcept
{
    if (!m_module) return;
    m_setCallListener(nullptr, nullptr);
    FreeLibrary(m_module);
    m_module = nullptr;
}

void EngineControl::SetSetting(int field, std::uint32_t value) const
{
    if (m_setSetting(field, value) != 0) throw Failure("the engine has no settings field " + std::to_string(field));
}

void EngineControl::SetOption(int field, std::uint32_t value) const
{
    if (m_setOption(field, value) != 0) throw Failure("the engine has no options field " + std::to_string(field));
}

void EngineControl::SetValue(const std::u16string& name, std::uint32_t value) const
{
    if (m_setValue(name.c_str(), value) != 0) throw Failure("the engine could not store a value");
}

}  // namespace qev::sim::win
