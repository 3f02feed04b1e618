// The add-in's apartment in the in-memory world: a global interface table and
// the calls other threads make into the add-in through it. As COM does for a
// single-threaded apartment, a call from another thread is queued for the
// add-in's thread and the caller waits until that thread has run it; the
// add-in's thread runs the queue when it pumps (RunPending / PumpUntil). A
// call made on the add-in's thread itself runs at once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "host/apartment.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_pool.h"
#include "host/outlook.h"
#include "host/variant.h"

namespace host::fake {

// A stream in memory: the bytes it was made with, read from the start.
class FakeStream final : public Counted<Stream> {
public:
    FakeStream(Ledger& ledger, HostCalls& calls, std::string name, std::vector<std::uint8_t> bytes,
               std::optional<HRESULT> readFailure);

    // Object: Unknown, Stream.
    Object* Query(Iface iface) noexcept override;
    std::uint64_t Size() override;
    // ComError(readFailure) when the stream was made to fail its reads.
    std::uint32_t Read(void* buffer, std::uint32_t size) override;

    const std::vector<std::uint8_t>& Bytes() const noexcept { return m_bytes; }

private:
    HostCalls& m_calls;
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_position = 0;
    std::optional<HRESULT> m_readFailure;
};

class FakeApartment final : public Apartment {
public:
    // The constructing thread is the add-in's thread.
    FakeApartment(Ledger& ledger, HostCalls& calls);
    ~FakeApartment();
    FakeApartment(const FakeApartment&) = delete;
    FakeApartment& operator=(const FakeApartment&) = delete;

    // Apartment. Register keeps a reference to the object until Revoke
    // (E_INVALIDARG for a cookie it does not hold). Enter on an unknown or
    // revoked cookie gives null.
    HRESULT Register(Object* addin, std::uint32_t& cookie) override;
    HRESULT Revoke(std::uint32_t cookie) override;
    std::unique_ptr<ForeignCall> Enter(std::uint32_t cookie) override;
    Ref<Stream> MemoryStream(std::span<const std::uint8_t> bytes) override;
    // Timers run only when the world lets the thread idle (RunNextTimer). As
    // SetTimer does, a delay below 10 ms is taken as 10 ms. A host call.
    std::uint32_t StartTimer(std::uint32_t delayMs, std::function<void()> callback) override;
    void StopTimer(std::uint32_t id) noexcept override;

    // ---- the add-in's thread ----

    // The tick count at which the next timer falls due (the earliest one
    // after now counts from now); nothing when no timer is set.
    std::optional<std::uint32_t> NextTimerDue(std::uint32_t now) const;
    // Runs the timer that falls due first (the one started first among
    // equals); false when none is set.
    bool RunNextTimer(std::uint32_t now);
    // "timer 3 (due at 10000010)", one line per timer still set.
    std::vector<std::string> LiveTimers() const;

    // Makes the calling thread the add-in's thread.
    void AdoptCurrentThread();
    std::thread::id HomeThread() const;
    // Runs the calls waiting for the add-in's thread; returns how many ran.
    std::size_t RunPending();
    // Runs calls as they come until done() holds; false when limit passed first.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
    // The apartment ends: calls waiting for the add-in's thread, and calls
    // made from now on, fail with RPC_E_DISCONNECTED without running.
    void Close();
    // The add-in's thread leaves COM: Close, and the table gives back the
    // references it still holds. LiveRegistrations() keeps nothing after it.
    void Uninitialize();

    // ---- what happened ----

    // One call into the add-in through the table.
    struct CallRecord {
        std::string what;             // "Enter 256", "IdOfName \"SetServerStatus\"", "Invoke 1", "Release"
        std::thread::id caller;       // the thread that made the call
        bool callerComReady = false;  // COM was initialised on the caller's thread at the call
        std::thread::id ranOn;        // the thread the add-in ran it on (none: it did not run)
    };
    std::vector<CallRecord> Calls() const;
    void ForgetCalls();
    // COM is initialised on that thread now (by a live ForeignCall).
    bool ComInitialised(std::thread::id thread) const;
    // Objects registered and not revoked: "cookie 256".
    std::vector<std::string> LiveRegistrations() const;
    // Exceptions that escaped a call into the add-in (COM's stub turns them
    // into RPC_E_SERVERFAULT for the caller).
    std::vector<std::string> Faults() const;

    // ---- streams ----

    // Reads of the streams made from now on fail with hr (nothing: they read).
    void FailStreamReads(std::optional<HRESULT> hr);
    // The next stream made holds this many bytes: the bytes it is made with,
    // cut or padded with zeros.
    void ResizeNextStream(std::optional<std::size_t> bytes);

private:
    class Call;
    struct Task {
        std::function<void()> run;
        bool done = false;
        bool cancelled = false;
    };
    // Runs fn on the add-in's thread and returns once it has run; false when
    // the apartment closed first (fn did not run).
    bool OnHomeThread(const std::function<void()>& fn);
    void Note(CallRecord record);
    void Fault(std::string fault);
    bool ComReady(std::thread::id thread) const;  // m_mutex held
    void ComUp(std::thread::id thread);
    void ComDown(std::thread::id thread);

    Ledger& m_ledger;
    HostCalls& m_calls;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread::id m_home;
    bool m_closed = false;
    std::deque<std::shared_ptr<Task>> m_queue;
    std::uint32_t m_nextCookie = 0x100;
    std::map<std::uint32_t, Object*> m_table;  // each holding one reference
    std::map<std::thread::id, int> m_com;
    std::vector<CallRecord> m_records;
    std::vector<std::string> m_faults;
    std::optional<HRESULT> m_readFailure;
    std::optional<std::size_t> m_nextStreamSize;
    Pool<FakeStream> m_streams;
    struct Timer {
        std::uint32_t id = 0;
        std::uint32_t due = 0;
        std::function<void()> callback;
    };
    std::vector<Timer> m_timers;  // in the order started
    std::uint32_t m_nextTimer = 1;
};

}  // namespace host::fake
