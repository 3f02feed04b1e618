// CConnect: the add-in object Outlook drives through _IDTExtensibility2.
// It holds the whole add-in's state; its internal operations live in the
// files of their subsystems (engine/, cmdbar/, ...).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "addin/critical_section.h"
#include "addin/event_sink.h"
#include "engine/as_client.h"
#include "filing/inbox_watch.h"
#include "host/mapi.h"
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

    // IOlkAccountNotify: account changes bring the watched inboxes in line
    // with the profile's stores. Always S_OK.
    HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags);
    // IOlkAccountHelper: the profile's name and MAPI session.
    HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count);
    HRESULT GetMapiSession(host::Ref<host::Object>& session);

private:
    friend class ItemsEvents_Sink;
    friend class AccountNotifyLink;
    friend struct CConnectMailAccess;  // the mail suites, benchmarks and fuzz targets

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

    // Message text (mail/message_text.cpp).
    bool MailHeaders2Str_(host::MailItem* a_pItem, std::u16string& a_headers);
    bool MailBody2Str_(host::MailItem* a_pItem, std::u16string& a_body);
    bool Mail2Str_(host::MailItem* a_pItem, std::u16string& a_text);
    static bool GetFrom_(std::u16string_view a_headers, std::u16string& a_from);

    // Folders by entry id (mail/spam_folder.cpp).
    HRESULT GetJunkFolder_(host::MailItem* a_pItem, host::Ref<host::Folder>& a_junkFolder);
    HRESULT FindStoreByID_(const EntryId& a_storeId, bool a_writable, host::Ref<host::MsgStore>* a_store);
    // The store's inbox; a_inboxId, when given, receives the inbox's entry id.
    HRESULT GetInboxFolder_(const EntryId& a_storeId, host::Ref<host::Folder>& a_inbox, EntryId* a_inboxId = nullptr);
    HRESULT CollectStoreIds_(EntryIdSet& a_storeIds);
    // The namespace "MAPI" and its MAPI object (the session); failures as results.
    HRESULT MapiNamespace_(host::Ref<host::Namespace>& a_namespace);
    HRESULT MapiSessionObject_(host::Ref<host::Object>& a_session);

    // The active explorer's selection and folder (mail/selection.cpp).
    void GetSelectionItems_(bool& a_mailSelected, bool& a_spamFolder);

    // Filing new mail (filing/spam_filing.cpp).
    void OnItemAdd_(host::Object* a_pItem);
    static bool SearchHeaderForSpamTag_(std::u16string_view a_headers);

    // Inbox watching and account notifications (filing/inbox_watch.cpp).
    HRESULT WatchInboxes_();
    HRESULT AdviseInbox_(const EntryId& a_storeId);
    HRESULT UnadviseInbox_(const EntryId& a_storeId);
    HRESULT UnadviseInboxes_();
    HRESULT WatchedStoreIds_(EntryIdSet& a_storeIds) const;
    HRESULT OnAccountsAdded_();
    HRESULT OnAccountsRemoved_();
    HRESULT ReconcileInboxes_(bool a_adding);
    HRESULT AdviseAccountManager_();
    void UnadviseAccountManager_();
    bool ProfileName_(std::u16string& a_name);

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

    // Watched inboxes, by store; the account manager and its subscription.
    std::map<EntryId, std::unique_ptr<InboxWatch>, EntryIdLess> m_inboxes;
    host::Ref<host::AccountManager> m_pAccountManager;
    std::uint32_t m_dwAccountCookie = kNoCookie;
    AccountHelperLink m_accountHelper{*this};
    AccountNotifyLink m_accountNotify{*this};  // after the manager: ends its subscription when destroyed
};

}  // namespace qev
