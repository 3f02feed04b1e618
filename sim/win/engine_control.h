// The simulated Outlook's hold on the engine client stand-in (zkascl.dll): it
// loads the library by the full path the add-in will use, keeps its own
// reference so that the engine's state outlives the add-in's FreeLibrary,
// and drives the engine through its control surface (zk_sim_control.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "standins/win/zkascl/zk_sim_control.h"

namespace qev::sim::win {

class EngineControl {
public:
    EngineControl() = default;
    EngineControl(const EngineControl&) = delete;
    EngineControl& operator=(const EngineControl&) = delete;
    ~EngineControl() { Unload(); }

    // Loads the library at path and finds its control surface. False when
    // there is no library there; Failure for a library without the control
    // surface. The setters throw Failure when the engine refuses.
    bool Load(const std::wstring& path);
    // Removes the listener and gives the library back.
    void Unload() noexcept;
    bool Loaded() const noexcept { return m_module != nullptr; }

    // The control surface; only while loaded.
    void SetServerStatus(bool up) const { m_setServerStatus(up ? 1 : 0); }
    void SetSetting(int field, std::uint32_t value) const;
    void SetOption(int field, std::uint32_t value) const;
    void SetValue(const std::u16string& name, std::uint32_t value) const;
    void SetFactoryNull(bool on) const { m_setFactoryNull(on ? 1 : 0); }
    void SetCallListener(ZkSimCallListener listener, void* context) const { m_setCallListener(listener, context); }
    // The observers called, or -1 when the engine could not start its thread.
    int NotifyStatus(bool up) const { return m_notifyStatus(up ? 1 : 0); }
    int NotifySettings(const qev::AsSettings& settings) const { return m_notifySettings(&settings); }
    // The same on the calling thread, standing for one of the engine's: the observers called.
    int NotifyStatusHere(bool up) const { return m_notifyStatusHere(up ? 1 : 0); }
    int NotifySettingsHere(const qev::AsSettings& settings) const { return m_notifySettingsHere(&settings); }
    std::uint32_t CallCount(const std::string& op) const { return m_callCount(op.c_str()); }
    int LiveClients() const { return m_liveClients(); }
    int Observers() const { return m_observers(); }

private:
    HMODULE m_module = nullptr;
    ZkSimSetServerStatusFn m_setServerStatus = nullptr;
    ZkSimSetSettingFn m_setSetting = nullptr;
    ZkSimSetOptionFn m_setOption = nullptr;
    ZkSimSetValueFn m_setValue = nullptr;
    ZkSimSetFactoryNullFn m_setFactoryNull = nullptr;
    ZkSimSetCallListenerFn m_setCallListener = nullptr;
    ZkSimNotifyStatusFn m_notifyStatus = nullptr;
    ZkSimNotifySettingsFn m_notifySettings = nullptr;
    ZkSimNotifyStatusHereFn m_notifyStatusHere = nullptr;
    ZkSimNotifySettingsHereFn m_notifySettingsHere = nullptr;
    ZkSimCallCountFn m_callCount = nullptr;
    ZkSimLiveClientsFn m_liveClients = nullptr;
    ZkSimObserversFn m_observers = nullptr;
};

}  // namespace qev::sim::win
