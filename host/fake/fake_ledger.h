// The world's books: the references it hands out (Ledger, Counted) and the
// host calls it answers, with the failures it can be told to inject
// (HostCalls).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/hresult.h"
#include "host/object.h"

namespace host::fake {

// ---- references ----

// One object of the world. Its count starts at 1: the world's own reference,
// which the world keeps until it is destroyed.
struct LedgerEntry {
    std::string kind;  // "Application", "Explorer", "Stream", ...
    std::string name;  // "Explorer 1", "Stream 3", ...
    std::uint32_t count = 1;
    std::uint32_t overReleases = 0;  // releases that would have taken the world's own reference
    std::function<void()> free;      // set for an object the world frees once it is idle
    bool idle = false;               // waiting in the idle queue
    std::list<LedgerEntry>::iterator self;
};

class Ledger {
public:
    // Opens the entry of a new object, holding the world's own reference.
    LedgerEntry& Open(std::string kind, std::string name);

    std::uint32_t AddRef(LedgerEntry& entry) noexcept;
    // Gives one reference back. A release that would take the world's own
    // reference frees nothing: it is recorded as a fault and the count stays.
    std::uint32_t Release(LedgerEntry& entry) noexcept;
    std::uint32_t Count(const LedgerEntry& entry) const;

    // One readable line per object whose references did not all come back, or
    // came back too often; empty when every reference handed out was released
    // exactly once.
    std::vector<std::string> Problems() const;

    std::size_t Objects() const;

    // An object made for one hand-out: once only the world's reference is
    // left, free deletes it. The last kIdleKept idle objects are kept, so a
    // release too many right after the last one is still counted; a later
    // one touches freed memory, which the sanitized builds report.
    void FreeWhenIdle(LedgerEntry& entry, std::function<void()> free);
    // The object is going with its owner: it is no longer the ledger's to free.
    void KeepUntilEnd(LedgerEntry& entry);
    // Every reference handed out came back, none too often, and the entry is
    // not waiting to be freed: its owner may take it off the books (Close)
    // and delete the object.
    bool Settled(const LedgerEntry& entry) const;
    void Close(LedgerEntry& entry);
    static constexpr std::size_t kIdleKept = 64;

private:
    // The free function of the oldest idle object when more than kIdleKept
    // wait, its entry gone from the books (that object had no problem to report).
    std::function<void()> TakeOldestIdle();

    mutable std::mutex m_mutex;
    std::list<LedgerEntry> m_entries;  // stable addresses
    std::deque<LedgerEntry*> m_idleQueue;
};

// The reference counting of every fake object: AddRef and Release go to the
// ledger. The derived class answers Query (with Hand) and owns nothing else
// of the count. The world keeps the object alive until the world ends, or
// until it is idle when the object's owner asked for that (Pool).
template <class Base>
class Counted : public Base {
public:
    std::uint32_t AddRef() noexcept override { return m_ledger.AddRef(m_entry); }
    std::uint32_t Release() noexcept override { return m_ledger.Release(m_entry); }

    // References held now, the world's own included.
    std::uint32_t References() const { return m_ledger.Count(m_entry); }
    const std::string& LedgerName() const noexcept { return m_entry.name; }

    void FreeWhenIdle(std::function<void()> free) { m_ledger.FreeWhenIdle(m_entry, std::move(free)); }
    void KeepUntilEnd() { m_ledger.KeepUntilEnd(m_entry); }
    // For an owner that frees the object itself once it is Settled().
    bool Settled() const { return m_ledger.Settled(m_entry); }
    void CloseEntry() { m_ledger.Close(m_entry); }

protected:
    Counted(Ledger& ledger, std::string kind, std::string name)
        : m_ledger(ledger), m_entry(ledger.Open(std::move(kind), std::move(name)))
    {
    }
    ~Counted() = default;

    // Hands the object out as one of its interfaces, with one more reference.
    Object* Hand(Object* as) noexcept
    {
        AddRef();
        return as;
    }

private:
    Ledger& m_ledger;
    LedgerEntry& m_entry;
};

// ---- host calls and injected failures ----

// What a host call raises when it is told to throw something that is not a
// ComError.
class InjectedException : public std::runtime_error {
public:
    explicit InjectedException(const std::string& call) : std::runtime_error("injected exception in " + call) {}
};

// Counts the host calls of the world (every method of a fake Outlook object,
// the registry, the library loader and the exports of the world's libraries,
// the apartment, the engine client, the product's components, and the
// platform's folder and file lookups) and delivers the one failure it was told
// to inject. AddRef, Release, FreeLibrary, the closing of keys and debug
// writes are not host calls: they cannot fail.
//
// Safe to use from several threads (the engine's thread makes host calls too).
class HostCalls {
public:
    // The nth host call of the world's life (1-based) fails with hr.
    void FailAt(std::uint64_t n, HRESULT hr);
    // The nth host call of the world's life raises an exception that is not a ComError.
    // Calls that cannot raise (noexcept methods, exports with a C interface)
    // fail with E_UNEXPECTED instead.
    void ThrowAt(std::uint64_t n);
    // The next count calls named what ("MailItem.Move", as FiredAt names
    // them) fail with hr, wherever they fall; the count goes on. Naming the
    // call again replaces what was left of the earlier order.
    void FailNamed(std::string what, std::uint32_t count, HRESULT hr);
    // No failure armed; the count goes on.
    void Disarm();

    // Host calls counted so far.
    std::uint64_t Count() const;
    // The armed failure has been delivered; where ("Application.Version #7").
    bool Fired() const;
    std::string FiredAt() const;

    // Called with every host call as it is counted (on the caller's thread).
    void OnCall(std::function<void(std::uint64_t n, std::string_view what)> listener);

    // ---- at the call sites ----

    // A host call that raises: throws ComError or InjectedException when this
    // is the call picked.
    void Enter(std::string_view what);
    // A host call that answers with an HRESULT: the injected failure or S_OK;
    // throws InjectedException when picked to throw.
    HRESULT Check(std::string_view what);
    // A host call that cannot raise: the injected failure or S_OK.
    HRESULT CheckNoThrow(std::string_view what) noexcept;

private:
    enum class Mode { None, Fail, Throw };
    // The outcome for the next call: the mode it is picked for, or None.
    Mode Next(std::string_view what, HRESULT& hr);

    mutable std::mutex m_mutex;
    std::uint64_t m_count = 0;
    std::uint64_t m_at = 0;
    Mode m_mode = Mode::None;
    HRESULT m_hr = S_OK;
    bool m_fired = false;
    std::string m_firedAt;
    struct Named {
        std::uint32_t left = 0;
        HRESULT hr = S_OK;
    };
    std::map<std::string, Named, std::less<>> m_named;
    std::function<void(std::uint64_t, std::string_view)> m_listener;
};

}  // namespace host::fake
