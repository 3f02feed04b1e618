// What CConnect keeps to watch the inboxes of the profile's stores, and the
// two faces it shows Outlook's account manager.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "addin/event_sink.h"
#include "host/accounts.h"
#include "host/outlook.h"
#include "host/variant.h"
#include "mail/entry_id.h"

namespace qev {

class CConnect;

// The items-event sink of one inbox: hands every added item to the owner's
// OnItemAdd_ and ignores every other event.
class ItemsEvents_Sink final : public host::EventSink {
public:
    explicit ItemsEvents_Sink(CConnect& owner) noexcept : m_owner(owner) {}

    void OnEvent(std::int32_t dispId, std::span<const host::Variant> args) override;

    std::uint32_t m_dwCookie = kNoCookie;

private:
    CConnect& m_owner;  // not counted: the owner outlives its records
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
    std::uint32_t Cookie() const noexcept { return m_dwCookie; }

private:
    EntryId m_storeId;
    EntryId m_inboxId;
    host::Ref<host::Folder> m_folder;
    host::Ref<host::Items> m_items;
    std::unique_ptr<ItemsEvents_Sink> m_sink;
    std::uint32_t m_dwCookie = kNoCookie;
};

// IOlkAccountNotify and IOlkAccountHelper, forwarding to CConnect. The notify
// link is what the account manager calls: when it goes away (an add-in that
// Outlook lets go without a shutdown) it ends the owner's subscription, so
// that no notification reaches a dead object. CConnect declares it after the
// manager and the cookie.
class AccountNotifyLink final : public host::AccountNotify {
public:
    explicit AccountNotifyLink(CConnect& owner) noexcept : m_owner(owner) {}
    ~AccountNotifyLink();
    AccountNotifyLink(const AccountNotifyLink&) = delete;
    AccountNotifyLink& operator=(const AccountNotifyLink&) = delete;
    HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags) override;

private:
    CConnect& m_owner;
};

class AccountHelperLink final : public host::AccountHelper {
public:
    explicit AccountHelperLink(CConnect& owner) noexcept : m_owner(owner) {}
    HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count) override;
    HRESULT GetMapiSession(host::Ref<host::Object>& session) override;

private:
    CConnect& m_owner;
};

}  // namespace qev
