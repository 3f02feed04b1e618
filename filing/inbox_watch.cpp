// Watching every store's inbox for new items, and following the account
// changes that add or remove stores. Failures leave a store unwatched until
// the next account notification; nothing here writes a trace line of its own.
#include "filing/inbox_watch.h"

#include <utility>

#include "host/com_error.h"
#include "host/mapi.h"
#include "host/system.h"
#include "mail/mapi_defs.h"

namespace qev {

namespace {

// MAPI's notification codes for an account changed, created, deleted.
constexpr std::uint32_t kAccountChanged = 1;
constexpr std::uint32_t kAccountCreated = 2;
constexpr std::uint32_t kAccountDeleted = 3;

constexpr unsigned kThreadAnsiCodePage = 3;  // CP_THREAD_ACP

}  // namespace

// ---- the items-event sink and its record ----

void ItemsEvents_Sink::OnEvent(std::int32_t dispId, std::span<const host::Variant> args)
{
    try {
        if (dispId != host::kDispIdItemAdd || args.size() != 1) return;
        if (args[0].type != host::Variant::Type::Dispatch || !args[0].object) return;
        const auto item = host::Ref<host::Object>::Adopt(args[0].object->Query(host::Iface::Dispatch));
        if (!item) return;
        const auto self = m_owner.m_keepAlive();
        m_owner.m_onItemAdd(m_storeId, item.Get());
    } catch (...) {
        // The item's handler has its own boundary; nothing else here raises.
    }
}

InboxWatch::InboxWatch(EntryId storeId, EntryId inboxId, host::Ref<host::Folder> folder, host::Ref<host::Items> items,
                       std::unique_ptr<ItemsEvents_Sink> sink) noexcept
    : m_storeId(std::move(storeId)),
      m_inboxId(std::move(inboxId)),
      m_folder(std::move(folder)),
      m_items(std::move(items)),
      m_sink(std::move(sink))
{
}

// The items collection is its own connection-point container.
bool InboxWatch::Subscribe()
{
    if (!m_items || !m_sink) return false;
    std::uint32_t cookie = kNoCookie;
    if (FAILED(HrOf([&] { cookie = m_items->Advise(host::EventInterface::ItemsEvents, m_sink.get()); }))) return false;
    m_sink->m_dwCookie = cookie;
    m_dwCookie = cookie;
    return true;
}

InboxWatch::~InboxWatch()
{
    if (m_sink && m_items && m_dwCookie != kNoCookie) {
        try {
            m_items->Unadvise(host::EventInterface::ItemsEvents, m_dwCookie);
        } catch (...) {
            // Outlook refused; there is nothing more to try.
        }
    }
    m_sink.reset();
    m_items.Reset();
    m_folder.Reset();
}

// ---- stores and their inboxes ----

InboxWatcher::InboxWatcher(MailStores& stores, host::ComClasses& classes, ItemAdded onItemAdd, KeepAlive keepAlive)
    : m_stores(stores), m_classes(classes), m_onItemAdd(std::move(onItemAdd)), m_keepAlive(std::move(keepAlive))
{
}

HRESULT InboxWatcher::WatchInboxes_()
{
    host::Ref<host::Namespace> spNs;
    if (FAILED(m_stores.MapiNamespace_(spNs))) return S_OK;
    EntryIdSet storeIds;
    if (FAILED(m_stores.CollectStoreIds_(storeIds))) return S_OK;
    for (const EntryId& storeId : storeIds) {
        if (!storeId.Empty()) AdviseInbox_(storeId);
    }
    return S_OK;
}

HRESULT InboxWatcher::AdviseInbox_(const EntryId& a_storeId)
{
    host::Ref<host::Folder> spInbox;
    EntryId eidInbox;
    HRESULT hr = m_stores.GetInboxFolder_(a_storeId, spInbox, &eidInbox);
    if (FAILED(hr)) return hr;

    host::Ref<host::Items> spItems;
    hr = HrOf([&] { spItems = spInbox->GetItems(); });
    if (FAILED(hr) || !spItems) return E_FAIL;

    auto watch = std::make_unique<InboxWatch>(a_storeId, std::move(eidInbox), std::move(spInbox), std::move(spItems),
                                              std::make_unique<ItemsEvents_Sink>(*this, a_storeId));
    if (!watch->Subscribe()) return E_FAIL;
    m_inboxes[a_storeId] = std::move(watch);  // a store is watched through one record only
    if (m_onInboxChanged) m_onInboxChanged(a_storeId, true);
    return S_OK;
}

HRESULT InboxWatcher::UnadviseInbox_(const EntryId& a_storeId)
{
    const auto found = m_inboxes.find(a_storeId);
    if (found == m_inboxes.end()) return S_FALSE;
    // The record leaves the map before it ends its subscription, so that
    // nothing Outlook does meanwhile finds it half destroyed.
    const std::unique_ptr<InboxWatch> watch = std::move(found->second);
    m_inboxes.erase(found);
    if (m_onInboxChanged) m_onInboxChanged(a_storeId, false);
    return S_OK;
}

host::Ref<host::Items> InboxWatcher::InboxItems_(const EntryId& a_storeId) const
{
    const auto found = m_inboxes.find(a_storeId);
    if (found == m_inboxes.end()) return nullptr;
    return host::Ref<host::Items>::Share(found->second->Items());
}

HRESULT InboxWatcher::UnadviseInboxes_()
{
    HRESULT hr = S_FALSE;
    while (!m_inboxes.empty()) {
        const EntryId storeId = m_inboxes.begin()->first;
        hr = UnadviseInbox_(storeId);
    }
    return hr;
}

HRESULT InboxWatcher::WatchedStoreIds_(EntryIdSet& a_storeIds) const
{
    for (const auto& [storeId, watch] : m_inboxes) a_storeIds.insert(storeId);
    return m_inboxes.empty() ? S_FALSE : S_OK;
}

HRESULT InboxWatcher::OnAccountsAdded_()
{
    return ReconcileInboxes_(true);
}

HRESULT InboxWatcher::OnAccountsRemoved_()
{
    return ReconcileInboxes_(false);
}

// Compares the profile's stores with the watched ones: watches the stores
// that are new (adding), or drops the ones that are gone. The first failure
// ends it; the stores after it wait for the next notification.
HRESULT InboxWatcher::ReconcileInboxes_(bool a_adding)
{
    EntryIdSet current;
    EntryIdSet watched;
    HRESULT hr = m_stores.CollectStoreIds_(current);
    if (FAILED(hr)) return hr;
    if (FAILED(hr = WatchedStoreIds_(watched))) return hr;
    const EntryIdSet& candidates = a_adding ? current : watched;
    const EntryIdSet& others = a_adding ? watched : current;
    for (const EntryId& storeId : candidates) {
        if (storeId.Empty() || others.contains(storeId)) continue;
        if (FAILED(hr = a_adding ? AdviseInbox_(storeId) : UnadviseInbox_(storeId))) return hr;
    }
    return S_OK;
}

// ---- the account manager ----

HRESULT InboxWatcher::AdviseAccountManager_()
{
    UnadviseAccountManager_();  // a manager of an earlier start-up is let go first
    HRESULT hr = m_classes.CreateAccountManager(m_pAccountManager);
    if (FAILED(hr)) {
        m_pAccountManager.Reset();
        return hr;
    }
    if (!m_pAccountManager) return E_UNEXPECTED;
    m_pAccountManager->Init(&m_accountHelper, 0);
    return m_pAccountManager->Advise(&m_accountNotify, &m_dwAccountCookie);
}

void InboxWatcher::UnadviseAccountManager_()
{
    if (!m_pAccountManager) return;
    if (m_dwAccountCookie != kNoCookie) {
        m_pAccountManager->Unadvise(std::exchange(m_dwAccountCookie, kNoCookie));
    }
    m_pAccountManager.Reset();
}

HRESULT InboxWatcher::Notify(std::uint32_t code, std::uint32_t, std::uint32_t)
{
    try {
        const auto self = m_keepAlive();
        if (code == kAccountChanged || code == kAccountCreated) {
            OnAccountsAdded_();
        } else if (code == kAccountDeleted) {
            OnAccountsRemoved_();
        }
    } catch (...) {
        // Account changes are followed silently; the next notification tries again.
    }
    return S_OK;
}

bool InboxWatcher::ProfileName_(std::u16string& a_name)
{
    host::Ref<host::Object> spSessionObj;
    if (FAILED(m_stores.MapiSessionObject_(spSessionObj))) return false;
    const auto spSession = host::QueryAs<host::MapiSession>(spSessionObj.Get());
    if (!spSession) return false;
    std::optional<host::PropValue> value;
    if (FAILED(spSession->ProfileName(value)) || !value || !value->pointerSet) return false;
    switch (host::PropType(value->tag)) {
        case host::kPtUnicode:
            a_name = value->unicode;
            return true;
        case host::kPtString8: {
            std::uint32_t lastError = 0;
            std::u16string name;
            if (!host::Sys().WidenText(value->string8, kThreadAnsiCodePage, name, lastError)) return false;
            a_name = std::move(name);
            return true;
        }
        default:
            return false;
    }
}

HRESULT InboxWatcher::GetIdentity(char16_t* buffer, std::uint32_t* count)
{
    try {
        if (!buffer || !count) return E_INVALIDARG;
        std::u16string name;
        if (!ProfileName_(name)) return E_UNEXPECTED;
        const std::uint32_t room = *count;
        *count = static_cast<std::uint32_t>(name.size());
        if (name.size() + 1 > room) return E_OUTOFMEMORY;
        name.copy(buffer, name.size());
        buffer[name.size()] = u'\0';
        return S_OK;
    } catch (...) {
        // The manager gets no name; inbox watching writes no trace lines.
        return E_UNEXPECTED;
    }
}

HRESULT InboxWatcher::GetMapiSession(host::Ref<host::Object>& session)
{
    try {
        session.Reset();
        host::Ref<host::Object> spSessionObj;
        if (FAILED(m_stores.MapiSessionObject_(spSessionObj))) return E_NOTIMPL;
        session = host::Ref<host::Object>::Adopt(spSessionObj->Query(host::Iface::MapiSession));
        return session ? S_OK : E_NOINTERFACE;
    } catch (...) {
        // The manager gets no session; inbox watching writes no trace lines.
        return E_UNEXPECTED;
    }
}

// ---- the account manager's view of the watcher ----

AccountNotifyLink::~AccountNotifyLink()
{
    try {
        m_owner.UnadviseAccountManager_();
    } catch (...) {
        // The manager is let go all the same.
    }
}

HRESULT AccountNotifyLink::Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags)
{
    return m_owner.Notify(code, accountId, flags);
}

HRESULT AccountHelperLink::GetIdentity(char16_t* buffer, std::uint32_t* count)
{
    return m_owner.GetIdentity(buffer, count);
}

HRESULT AccountHelperLink::GetMapiSession(host::Ref<host::Object>& session)
{
    return m_owner.GetMapiSession(session);
}

}  // namespace qev
