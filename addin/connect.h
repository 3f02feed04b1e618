// CConnect: the add-in object Outlook drives through _IDTExtensibility2. It
// keeps the lifecycle (connection, start-up, the three ways of shutting down)
// and owns the parts that do the work, each in its own folder.
#pragma once

#include <cstdint>

#include "addin/critical_section.h"
#include "addin/event_sink.h"
#include "cmdbar/command_bar.h"
#include "cmdbar/toolbar_state.h"
#include "commands/commands.h"
#include "engine/engine_link.h"
#include "filing/catch_up.h"
#include "filing/inbox_watch.h"
#include "filing/spam_filing.h"
#include "host/object.h"
#include "host/outlook.h"
#include "host/services.h"
#include "host/variant.h"
#include "mail/mail_stores.h"
#include "ribbon/ribbon.h"

namespace qev {

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

    bool Connected() const noexcept { return m_fConnected; }
    bool StartupDone() const noexcept { return m_fStartupDone; }
    const CriticalSection& ButtonLock() const noexcept { return m_csButtons; }

    // The parts, for the suites that drive one of them in a connected add-in.
    const EngineLink& Engine() const noexcept { return m_engine; }
    MailStores& Stores() noexcept { return m_stores; }
    SpamFiling& Filing() noexcept { return m_filing; }
    InboxWatcher& Inboxes() noexcept { return m_inboxes; }
    CatchUp& CatchUpPass() noexcept { return m_catchUp; }
    Commands& UserCommands() noexcept { return m_commands; }
    ToolbarState& Toolbar() noexcept { return m_toolbar; }
    CommandBar& Bar() noexcept { return m_commandBar; }
    Ribbon& RibbonTab() noexcept { return m_ribbon; }

private:
    host::Ref<host::Object> KeepAlive_() const;
    bool Init_();
    bool UseRibbon();
    void SetServerStatus_(bool up);
    void OnQuit_();
    void AddinShutdown_();
    void OOUnadvise_();
    void Disconnect_();
    void Uninit_();

    host::Services& m_services;
    host::Object* m_identity;

    // Outlook's objects, held from connection to disconnection.
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

    // The parts.
    EngineLink m_engine;                         // engine/
    MailStores m_stores{m_pApplication};         // mail/
    SpamFiling m_filing{m_engine, m_stores};     // filing/
    InboxWatcher m_inboxes;                      // filing/
    CatchUp m_catchUp;                           // filing/
    Commands m_commands{m_engine, m_stores, m_pApplication};  // commands/
    CommandBar m_commandBar{m_services, m_engine, m_commands, m_pApplication, m_csButtons};  // cmdbar/
    Ribbon m_ribbon{m_services, m_commands};     // ribbon/
    ToolbarState m_toolbar{m_engine, m_pApplication, m_csButtons, m_commandBar, m_ribbon};  // cmdbar/
};

}  // namespace qev
