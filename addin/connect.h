// CConnect: the add-in object Outlook drives through _IDTExtensibility2.
// It holds the whole add-in's state; its internal operations live in the
// files of their subsystems (engine/, cmdbar/, ...).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "addin/critical_section.h"
#include "addin/event_sink.h"
#include "engine/as_client.h"
#include "host/object.h"
#include "host/outlook.h"
#include "host/services.h"
#include "host/variant.h"

namespace qev {

class AsObs;

// Outlook's major version, process-wide: -1 until a connection read it.
extern std::int32_t g_outlookVersion;

// ConnectMode / RemoveMode values of _IDTExtensibility2.
inline constexpr std::int32_t kConnectAfterStartup = 0;
inline constexpr std::int32_t kConnectStartup = 1;

class CConnect {
public:
    // identity is the add-in object as COM knows it (registered in the global
    // interface table for the engine's notifications); not owned.
    CConnect(host::Services& services, host::Object* identity);
    ~CConnect();
    CConnect(const CConnect&) = delete;
    CConnect& operator=(const CConnect&) = delete;

    // _IDTExtensibility2
    HRESULT OnConnection(host::Object* application, std::int32_t connectMode, host::Object* addInInst);
    HRESULT OnDisconnection(std::int32_t removeMode);
    HRESULT OnAddInsUpdate();
    HRESULT OnStartupComplete();
    HRESULT OnBeginShutdown();

    // IConnect: the engine's notifications, delivered on the add-in's thread.
    HRESULT SetServerStatus(const host::Variant& up);
    HRESULT ImportSettings(const host::Variant& settings);

    // Engine state the add-in mirrors.
    bool ServerStatus() const noexcept { return m_fServerStatus; }
    bool AntispamOn() const noexcept { return m_fAntispamOn; }
    const AsOptions& Options() const noexcept { return m_asOptions; }
    std::uint32_t BarPos() const noexcept { return m_barPos; }
    std::uint32_t BarTop() const noexcept { return m_barTop; }
    std::uint32_t BarLeft() const noexcept { return m_barLeft; }
    std::uint32_t BarVisible() const noexcept { return m_barVisible; }
    bool Connected() const noexcept { return m_fConnected; }
    bool StartupDone() const noexcept { return m_fStartupDone; }
    bool HasEngineClient() const noexcept { return m_asClient != nullptr; }
    bool HasObserver() const noexcept { return m_asObs != nullptr; }
    const std::u16string& AsClientPath() const noexcept { return m_strAsClientPath; }
    const CriticalSection& ButtonLock() const noexcept { return m_csButtons; }

private:
    // Lifecycle (addin/connect.cpp, addin/shutdown.cpp).
    host::Ref<host::Object> KeepAlive_() const;
    bool UseRibbon();
    void OnQuit_();
    void AddinShutdown_();
    void OOUnadvise_();
    void Disconnect_();
    void Uninit_();
    void StoreBarValuesAndShutdown_();
    void ReleaseEngineClient_();

    // Engine link (engine/engine_loader.cpp, engine/engine_state.cpp).
    bool Init_();
    void SetServerStatus_(bool up);

    // Command bar and toolbar state (cmdbar/).
    bool AddCmdBar_();
    void SetToolbarStatus_();
    void SaveCmdBarPosition_();
    void ButtonsAdvise_();
    void ButtonsUnadvise_();
    void ReleaseButtons_();
    void ReleaseCommandBar_();

    // Inbox watching and account notifications (filing/).
    void WatchInboxes_();
    void AdviseAccountManager_();
    void UnadviseAccountManager_();
    void UnadviseInboxes_();

    // Explorer events (cmdbar/).
    void OnFolderSwitch_();
    void OnSelectionChange();

    host::Services& m_services;
    host::Object* m_identity;

    host::Ref<host::Application> m_pApplication;
    host::Ref<host::Object> m_pAddInInstance;
    host::Ref<host::Explorer> m_pMainExplorer;
    bool m_fConnected = false;
    bool m_fStartupDone = false;
    CriticalSection m_csButtons;

    DispEventSink m_quitSink;
    DispEventSink m_newMailSink;
    DispEventSink m_folderSwitchSink;
    DispEventSink m_selectionChangeSink;

    // Engine client and its library.
    IAsClient* m_asClient = nullptr;
    AsObs* m_asObs = nullptr;
    host::LibraryHandle m_hAsClientDll = nullptr;
    AsCreateInstanceFn m_pfnAsCreateInstance = nullptr;
    std::u16string m_strAsClientPath;

    // Engine state.
    bool m_fServerStatus = false;
    bool m_fAntispamOn = true;
    AsOptions m_asOptions{};
    std::uint32_t m_barPos = 1;
    std::uint32_t m_barTop = 50;
    std::uint32_t m_barLeft = 0;
    std::uint32_t m_barVisible = 1;
    std::uint32_t m_lastClickTick = 0;
};

}  // namespace qev
