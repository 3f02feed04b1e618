// The catch-up pass: files what the item-add handling would have filed when
// Outlook raised no event for an item (mail that came while Outlook was
// closed, a synchronisation too large for Outlook to raise every event).
//
// It looks at each watched inbox's unread items received since that inbox's
// last pass (Items.Restrict; a store that refuses the filter gets a bounded
// walk of its newest items instead), newest first, and hands each one it has
// not looked at before to the item-add handling. It runs after start-up has
// watched the inboxes, for a store that joins later, and once a burst of
// item-add events has been quiet for a while; always from timers on the
// user-interface thread, a few items at a time, so that Outlook's own
// messages come in between.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "filing/inbox_watch.h"
#include "filing/spam_filing.h"
#include "host/object.h"
#include "host/outlook.h"
#include "host/services.h"
#include "mail/entry_id.h"

namespace qev {

class CatchUp {
public:
    // The most items one piece of a pass looks at, and the most time it takes
    // (by the tick count) before it gives the thread back.
    static constexpr std::int32_t kSliceItems = 50;
    static constexpr std::uint32_t kSliceMs = 25;
    // A store that refuses the filter: the newest items walked.
    static constexpr std::int32_t kWalkLimit = 500;
    // A burst: this many item-add events, none further apart than the quiet
    // time; Outlook 2000 to 2003 drop events beyond 16 items of one
    // synchronisation. The pass runs once the quiet time has gone by without one.
    static constexpr std::uint32_t kBurstEvents = 16;
    static constexpr std::uint32_t kQuietMs = 2000;

    using KeepAlive = std::function<host::Ref<host::Object>()>;

    CatchUp(host::Services& services, InboxWatcher& inboxes, SpamFiling& filing, KeepAlive keepAlive);
    ~CatchUp();
    CatchUp(const CatchUp&) = delete;
    CatchUp& operator=(const CatchUp&) = delete;

    // After start-up has watched the inboxes: reads the setting and, when it
    // is on, catches every watched inbox up.
    void Start_();
    // Shutdown: the timers stop and the pass lets its collection go.
    void Stop_() noexcept;
    bool Running() const noexcept { return m_fStarted; }

    // The watcher's news: a store watched from now on is caught up; a store
    // no longer watched is dropped, in the middle of its pass too.
    void OnInboxWatched_(const EntryId& a_storeId);
    void OnInboxDropped_(const EntryId& a_storeId);
    // Every item-add event, before the item is handled: the item is not looked
    // at again, and a burst is counted.
    void OnItemAdd_(const EntryId& a_storeId, host::Object* a_pItem);

private:
    // What the passes know of one store.
    struct StoreState {
        std::optional<double> since;  // the newest received time the passes saw (not in the future)
        // The entry ids looked at that a later pass could meet again, with
        // their received time (host::kOleDateNone when they have none).
        std::map<std::u16string, double> seen;
    };
    // The store being caught up.
    struct Pass {
        EntryId storeId;
        host::Ref<host::Items> items;  // restricted, or the inbox's own when walking
        std::int32_t next = 0;         // the index looked at next, counting down: newest first
        std::int32_t last = 1;         // the lowest index looked at
        bool walking = false;
        std::optional<double> newest;
    };

    void Queue_(const EntryId& a_storeId);
    void Schedule_();
    void RunSlice_();
    bool BeginStore_(const EntryId& a_storeId);
    void LookAt_();
    void EndStore_();
    void OnQuiet_();
    // Notes the item as looked at; false when it was already.
    bool Note_(StoreState& a_state, const std::u16string& a_entryId, const std::optional<double>& a_received);

    host::Services& m_services;
    InboxWatcher& m_inboxes;
    SpamFiling& m_filing;
    KeepAlive m_keepAlive;

    bool m_fStarted = false;
    std::map<EntryId, StoreState, EntryIdLess> m_stores;
    std::deque<EntryId> m_waiting;
    std::optional<Pass> m_pass;
    std::uint32_t m_sliceTimer = 0;
    std::uint32_t m_quietTimer = 0;
    std::uint32_t m_burstEvents = 0;
    std::uint32_t m_lastEventTick = 0;
    EntryIdSet m_burstStores;
};

}  // namespace qev
