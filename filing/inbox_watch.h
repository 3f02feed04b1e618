// Watching the inbox of every store of the profile for new items, and
// following the account changes that add or remove stores.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>

#include "addin/event_sink.h"
#include "host/accounts.h"
#include "host/outlook.h"
#include "host/variant.h"
#include "mail/entry_id.h"
#include "mail/mail_stores.h"

namespace qev {

class InboxWatcher;

// The items-event sink of one inbox: hands every added item to the watcher's
// handler and ignores every other event.
class ItemsEvents_Sink final : public host::EventSink {
public:
    ItemsEvents_Sink(InboxWatcher& owner, EntryId storeId) noexcept : m_owner(owner), m_storeId(std::move(storeId)) {}

    void OnEvent(std::int32_t dispId, std::span<const host::Variant> args) override;

    std::uint32_t m_dwCookie = kNoCookie;

private:
    InboxWatcher& m_owner;  // not counted: the owner outlives its records
    EntryId m_storeId;
};

// One watched store: its inbox, the inbox's items and the subscription on
// them. Destroying the record ends the subscription.
class InboxWatch {
public:
    InboxWatch(EntryId storeId, EntryId inboxId, host::Ref<host::Folder> folder, host::Ref<host::Items> items,
               std::unique_ptr<ItemsEvents_Sink> sink) noexcept;
    ~InboxWatch();
    InboxWatch(const InboxWatch&) = delete;
    InboxWatch& operator=(const InboxWatch&) = delete;

    // Subscribes the sink to the items' add events; false when the items have
    // no such events or refuse (a COM error).
    bool Subscribe();

    const EntryId& StoreId() const noexcept { return m_storeId; }
    const EntryId& InboxId() const noexcept { return m_inboxId; }
    host::Items* Items() const noexcept { return m_items.Get(); }
    std::uint32_t Cookie() const noexcept { return m_dwCookie; }

private:
    EntryId m_storeId;
    EntryId m_inboxId;
    host::Ref<host::Folder> m_folder;
    host::Ref<host::Items> m_items;
    std::unique_ptr<ItemsEvents_Sink> m_sink;
    std::uint32_t m_dwCookie = kNoCookie;
};

// IOlkAccountNotify and IOlkAccountHelper, forwarding to the watcher. The
// notify link is what the account manager calls: when it goes away (an add-in
// that Outlook lets go without a shutdown) it ends the owner's subscription,
// so that no notification reaches a dead object. The watcher declares it
// after the manager and the cookie.
class AccountNotifyLink final : public host::AccountNotify {
public:
    explicit AccountNotifyLink(InboxWatcher& owner) noexcept : m_owner(owner) {}
    ~AccountNotifyLink();
    AccountNotifyLink(const AccountNotifyLink&) = delete;
    AccountNotifyLink& operator=(const AccountNotifyLink&) = delete;
    HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags) override;

private:
    InboxWatcher& m_owner;
};

class AccountHelperLink final : public host::AccountHelper {
public:
    explicit AccountHelperLink(InboxWatcher& owner) noexcept : m_owner(owner) {}
    HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count) override;
    HRESULT GetMapiSession(host::Ref<host::Object>& session) override;

private:
    InboxWatcher& m_owner;
};

// The watched inboxes, one record per store, and the account manager's
// subscription. Nothing here writes a trace line: a store that cannot be
// watched is simply missing from the records until the next account
// notification tries again.
class InboxWatcher {
public:
    // Called with each new item of a watched inbox, and its store.
    using ItemAdded = std::function<void(const EntryId& storeId, host::Object* item)>;
    // Called when a store is watched from now on (true) or no longer (false).
    using InboxChanged = std::function<void(const EntryId& storeId, bool watched)>;
    // Holds the add-in alive while a call from Outlook runs (the call may
    // start the shutdown that lets the add-in go).
    using KeepAlive = std::function<host::Ref<host::Object>()>;

    InboxWatcher(MailStores& stores, host::ComClasses& classes, ItemAdded onItemAdd, KeepAlive keepAlive);
    InboxWatcher(const InboxWatcher&) = delete;
    InboxWatcher& operator=(const InboxWatcher&) = delete;

    // Watches every store of the profile; always S_OK.
    HRESULT WatchInboxes_();
    HRESULT AdviseInbox_(const EntryId& a_storeId);
    // S_FALSE when the store was not watched.
    HRESULT UnadviseInbox_(const EntryId& a_storeId);
    // S_FALSE when nothing was watched, else the last UnadviseInbox_'s result.
    HRESULT UnadviseInboxes_();
    // Adds the watched stores' ids; S_FALSE when there are none.
    HRESULT WatchedStoreIds_(EntryIdSet& a_storeIds) const;
    HRESULT OnAccountsAdded_();
    HRESULT OnAccountsRemoved_();
    HRESULT AdviseAccountManager_();
    void UnadviseAccountManager_();
    bool AccountManagerHeld() const noexcept { return static_cast<bool>(m_pAccountManager); }
    // The watched inbox's items with one reference; null when the store is not watched.
    host::Ref<host::Items> InboxItems_(const EntryId& a_storeId) const;
    void OnInboxChanged(InboxChanged listener) { m_onInboxChanged = std::move(listener); }

    // IOlkAccountNotify: account changes bring the watched inboxes in line
    // with the profile's stores. Always S_OK.
    HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags);
    // IOlkAccountHelper: the profile's name and MAPI session.
    HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count);
    HRESULT GetMapiSession(host::Ref<host::Object>& session);

private:
    friend class ItemsEvents_Sink;

    HRESULT ReconcileInboxes_(bool a_adding);
    bool ProfileName_(std::u16string& a_name);

    MailStores& m_stores;
    host::ComClasses& m_classes;
    ItemAdded m_onItemAdd;
    KeepAlive m_keepAlive;
    InboxChanged m_onInboxChanged;

    std::map<EntryId, std::unique_ptr<InboxWatch>, EntryIdLess> m_inboxes;
    host::Ref<host::AccountManager> m_pAccountManager;
    std::uint32_t m_dwAccountCookie = kNoCookie;
    AccountHelperLink m_accountHelper{*this};
    AccountNotifyLink m_accountNotify{*this};  // after the manager: ends its subscription when destroyed
};

}  // namespace qev
