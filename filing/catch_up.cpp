// The catch-up pass over the watched inboxes; see catch_up.h.
#include "filing/catch_up.h"

#include <algorithm>
#include <utility>

#include "addin/trace.h"
#include "filing/catch_up_setting.h"
#include "host/com_error.h"
#include "host/ole_date.h"
#include "host/system.h"

namespace qev {

namespace {

// The filter's dates are minutes: a pass looks from the minute of the last
// one's newest item on, and the items of that minute it saw are known.
double MinuteOf(double oleDate)
{
    host::CivilTime t = host::CivilOf(oleDate);
    t.second = 0;
    return host::OleDateOf(t);
}

bool IsUnread(const host::Variant& unread)
{
    return unread.type == host::Variant::Type::Bool && unread.boolValue == host::kVariantTrue;
}

}  // namespace

CatchUp::CatchUp(host::Services& services, InboxWatcher& inboxes, SpamFiling& filing, KeepAlive keepAlive)
    : m_services(services), m_inboxes(inboxes), m_filing(filing), m_keepAlive(std::move(keepAlive))
{
}

CatchUp::~CatchUp()
{
    Stop_();
}

void CatchUp::Start_()
{
    if (m_fStarted || !CatchUpSettingOn(m_services.registry)) return;
    m_fStarted = true;
    EntryIdSet watched;
    m_inboxes.WatchedStoreIds_(watched);
    for (const EntryId& storeId : watched) Queue_(storeId);
    Schedule_();
}

void CatchUp::Stop_() noexcept
{
    m_services.apartment.StopTimer(std::exchange(m_sliceTimer, 0));
    m_services.apartment.StopTimer(std::exchange(m_quietTimer, 0));
    if (m_pass) QEV_TRACE_STEP(u"CatchUp_...stopped");
    m_pass.reset();
    m_waiting.clear();
    m_stores.clear();
    m_burstStores.clear();
    m_burstEvents = 0;
    m_fStarted = false;
}

void CatchUp::OnInboxWatched_(const EntryId& a_storeId)
{
    if (!m_fStarted) return;
    Queue_(a_storeId);
    Schedule_();
}

void CatchUp::OnInboxDropped_(const EntryId& a_storeId)
{
    if (!m_fStarted) return;
    std::erase(m_waiting, a_storeId);
    m_stores.erase(a_storeId);
    m_burstStores.erase(a_storeId);
    if (m_pass && m_pass->storeId == a_storeId) {
        QEV_TRACE_STEP(u"CatchUp_ : store gone...stopped");
        m_pass.reset();
    }
}

void CatchUp::OnItemAdd_(const EntryId& a_storeId, host::Object* a_pItem)
{
    if (!m_fStarted) return;
    try {
        // The item-add handling looks at this one; no pass does again.
        if (const auto spMail = host::QueryAs<host::MailItem>(a_pItem)) {
            const std::u16string entryId = spMail->EntryID();
            Note_(m_stores[a_storeId], entryId, spMail->ReceivedTime());
        }
    } catch (...) {
        // The item is handled all the same; a pass may look at it once more.
    }
    const std::uint32_t now = host::Sys().TickCount();
    if (m_burstEvents > 0 && now - m_lastEventTick > kQuietMs) {
        m_burstEvents = 0;
        m_burstStores.clear();
    }
    m_lastEventTick = now;
    m_burstStores.insert(a_storeId);
    if (++m_burstEvents < kBurstEvents) return;
    // Each event of a burst puts its end further off.
    m_services.apartment.StopTimer(std::exchange(m_quietTimer, 0));
    m_quietTimer = m_services.apartment.StartTimer(kQuietMs, [this] {
        m_quietTimer = 0;
        OnQuiet_();
    });
}

void CatchUp::OnQuiet_()
{
    for (const EntryId& storeId : m_burstStores) Queue_(storeId);
    m_burstStores.clear();
    m_burstEvents = 0;
    Schedule_();
}

void CatchUp::Queue_(const EntryId& a_storeId)
{
    // The store being caught up may be queued again: its collection was
    // taken before the items that came since.
    if (std::find(m_waiting.begin(), m_waiting.end(), a_storeId) == m_waiting.end()) m_waiting.push_back(a_storeId);
}

void CatchUp::Schedule_()
{
    if (m_sliceTimer != 0 || (!m_pass && m_waiting.empty())) return;
    m_sliceTimer = m_services.apartment.StartTimer(0, [this] {
        m_sliceTimer = 0;
        RunSlice_();
    });
    if (m_sliceTimer == 0) QEV_TRACE_ERROR(u"CatchUp_ : SetTimer...failed");
}

// One piece of the pass: up to kSliceItems items or kSliceMs, then the
// thread goes back to Outlook until the next timer.
void CatchUp::RunSlice_()
{
    const auto self = m_keepAlive();
    try {
        const std::uint32_t start = host::Sys().TickCount();
        std::int32_t looked = 0;
        while (looked < kSliceItems && host::Sys().TickCount() - start < kSliceMs) {
            if (!m_pass) {
                if (m_waiting.empty()) break;
                const EntryId storeId = m_waiting.front();
                m_waiting.pop_front();
                if (!BeginStore_(storeId)) continue;
            }
            if (m_pass->next < m_pass->last) {
                EndStore_();
                continue;
            }
            LookAt_();
            ++looked;
        }
    } catch (...) {
        TraceCaughtException(u"CatchUp_");
        m_pass.reset();
    }
    Schedule_();
}

// Unread items since the store's last pass, oldest first so that the walk
// from the end is newest first and neither an item the pass moves away nor
// one that arrives meanwhile shifts the ones still to come.
bool CatchUp::BeginStore_(const EntryId& a_storeId)
{
    host::Ref<host::Items> spInboxItems = m_inboxes.InboxItems_(a_storeId);
    if (!spInboxItems) return false;
    StoreState& state = m_stores[a_storeId];
    std::u16string filter = u"[UnRead] = True";
    if (state.since) filter += u" AND [ReceivedTime] >= '" + host::Sys().FilterDate(*state.since) + u"'";

    Pass pass;
    pass.storeId = a_storeId;
    try {
        pass.items = spInboxItems->Restrict(filter);
        if (!pass.items) throw host::ComError(E_POINTER);
        pass.items->Sort(u"[ReceivedTime]", false);
        pass.next = pass.items->Count();
    } catch (const host::ComError& e) {
        // The store refuses the filter: its newest items, by received time.
        pass.walking = true;
        pass.items = std::move(spInboxItems);
        pass.items->Sort(u"[ReceivedTime]", false);
        pass.next = pass.items->Count();
        pass.last = std::max(1, pass.next - kWalkLimit + 1);
        QEV_TRACE(kTraceProgress, u"[as][qev] CatchUp_ : Restrict...failed <0x%8.8x>, walking %d\n",
                  static_cast<std::uint32_t>(e.Error()), pass.next - pass.last + 1);
    }
    QEV_TRACE(kTraceProgress, u"[as][qev] CatchUp_<%d>...\n", pass.next - pass.last + 1);
    m_pass = std::move(pass);
    return true;
}

void CatchUp::LookAt_()
{
    Pass& pass = *m_pass;
    StoreState& state = m_stores[pass.storeId];
    const auto item = pass.items->Item(pass.next--);
    const auto spMail = host::QueryAs<host::MailItem>(item.Get());
    if (!spMail) return;  // only mail is ever filed
    if (!IsUnread(spMail->UnRead())) return;  // read since, or opened by the user
    const std::optional<double> received = spMail->ReceivedTime();
    if (pass.walking && state.since && (!received || *received < MinuteOf(*state.since))) {
        pass.next = 0;  // the rest is older than the last pass
        return;
    }
    if (!Note_(state, spMail->EntryID(), received)) return;
    const std::optional<double> now = host::Sys().LocalNow();
    if (received && (!now || *received <= *now) && (!pass.newest || *received > *pass.newest))
        pass.newest = received;
    m_filing.OnItemAdd_(item.Get());
}

void CatchUp::EndStore_()
{
    StoreState& state = m_stores[m_pass->storeId];
    if (m_pass->newest && (!state.since || *m_pass->newest > *state.since)) state.since = m_pass->newest;
    if (state.since) {
        const double from = MinuteOf(*state.since);
        std::erase_if(state.seen, [from](const auto& entry) { return entry.second < from; });
    }
    m_pass.reset();
    QEV_TRACE_STEP(u"CatchUp_...ok");
}

bool CatchUp::Note_(StoreState& a_state, const std::u16string& a_entryId, const std::optional<double>& a_received)
{
    return a_state.seen.emplace(a_entryId, a_received.value_or(host::kOleDateNone)).second;
}

}  // namespace qev
