#include "host/fake/fake_apartment.h"

#include <algorithm>
#include <cstring>

#include "host/com_error.h"
#include "host/fake/fake_text.h"
#include "host/system.h"

namespace host::fake {
namespace {

constexpr HRESULT kRpcServerFault = static_cast<HRESULT>(0x80010105u);   // RPC_E_SERVERFAULT
constexpr HRESULT kRpcDisconnected = static_cast<HRESULT>(0x80010108u);  // RPC_E_DISCONNECTED

std::string Describe(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const ComError& e) {
        return "ComError 0x" + [](std::uint32_t hr) {
            char buffer[9];
            for (int i = 7; i >= 0; --i, hr >>= 4) buffer[i] = "0123456789ABCDEF"[hr & 0xF];
            buffer[8] = 0;
            return std::string(buffer);
        }(static_cast<std::uint32_t>(e.Error()));
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an exception of unknown type";
    }
}

}  // namespace

// ---- streams ----

FakeStream::FakeStream(Ledger& ledger, HostCalls& calls, std::string name, std::vector<std::uint8_t> bytes,
                       std::optional<HRESULT> readFailure)
    : Counted(ledger, "Stream", std::move(name)), m_calls(calls), m_bytes(std::move(bytes)), m_readFailure(readFailure)
{
}

Object* FakeStream::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("Stream.QueryInterface"))) return nullptr;
    if (iface != Iface::Unknown && iface != Iface::Stream) return nullptr;
    return Hand(static_cast<Stream*>(this));
}

std::uint64_t FakeStream::Size()
{
    m_calls.Enter("Stream.Stat");
    return m_bytes.size();
}

std::uint32_t FakeStream::Read(void* buffer, std::uint32_t size)
{
    m_calls.Enter("Stream.Read");
    if (m_readFailure) throw ComError(*m_readFailure);
    const std::size_t n = std::min<std::size_t>(size, m_bytes.size() - m_position);
    if (n) std::memcpy(buffer, m_bytes.data() + m_position, n);
    m_position += n;
    return static_cast<std::uint32_t>(n);
}

// ---- one call from another thread ----

class FakeApartment::Call final : public ForeignCall {
public:
    Call(FakeApartment& apartment, Ref<Dispatch> target)
        : m_apartment(apartment), m_target(std::move(target)), m_thread(std::this_thread::get_id())
    {
    }

    ~Call() override
    {
        // The proxy's release travels to the object's thread like any call.
        CallRecord record{"Release", std::this_thread::get_id(), false, {}};
        {
            std::lock_guard lock(m_apartment.m_mutex);
            record.callerComReady = m_apartment.ComReady(record.caller);
        }
        Dispatch* target = m_target.Detach();
        const bool ran = m_apartment.OnHomeThread([&] {
            record.ranOn = std::this_thread::get_id();
            target->Release();
        });
        if (ran)
            m_apartment.Note(std::move(record));
        else
            target->Release();  // the apartment is gone: nothing to carry it to
        m_apartment.ComDown(m_thread);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool IdOfName(std::u16string_view name, std::int32_t& dispId) override
    {
        CallRecord record{"IdOfName " + Quoted(name), std::this_thread::get_id(), false, {}};
        {
            std::lock_guard lock(m_apartment.m_mutex);
            record.callerComReady = m_apartment.ComReady(record.caller);
        }
        if (FAILED(m_apartment.m_calls.Check("IDispatch.GetIDsOfNames"))) {
            m_apartment.Note(std::move(record));
            return false;
        }
        bool known = false;
        std::exception_ptr escaped;
        m_apartment.OnHomeThread([&] {
            record.ranOn = std::this_thread::get_id();
            try {
                known = m_target->IdOfName(name, dispId);
            } catch (...) {
                escaped = std::current_exception();
            }
        });
        if (escaped) m_apartment.Fault("exception escaped IdOfName: " + Describe(escaped));
        m_apartment.Note(std::move(record));
        return known && !escaped;
    }

    HRESULT Invoke(std::int32_t dispId, const Variant& arg) override
    {
        CallRecord record{"Invoke " + std::to_string(dispId), std::this_thread::get_id(), false, {}};
        {
            std::lock_guard lock(m_apartment.m_mutex);
            record.callerComReady = m_apartment.ComReady(record.caller);
        }
        if (const HRESULT hr = m_apartment.m_calls.Check("IDispatch.Invoke"); FAILED(hr)) {
            m_apartment.Note(std::move(record));
            return hr;
        }
        HRESULT result = kRpcDisconnected;
        std::exception_ptr escaped;
        m_apartment.OnHomeThread([&] {
            record.ranOn = std::this_thread::get_id();
            try {
                result = m_target->Invoke(dispId, std::span<const Variant>(&arg, 1));
            } catch (...) {
                escaped = std::current_exception();
                result = kRpcServerFault;
            }
        });
        if (escaped) m_apartment.Fault("exception escaped Invoke " + std::to_string(dispId) + ": " + Describe(escaped));
        m_apartment.Note(std::move(record));
        return result;
    }

private:
    FakeApartment& m_apartment;
    Ref<Dispatch> m_target;
    std::thread::id m_thread;
};

// ---- the apartment ----

FakeApartment::FakeApartment(Ledger& ledger, HostCalls& calls)
    : m_ledger(ledger), m_calls(calls), m_home(std::this_thread::get_id())
{
}

FakeApartment::~FakeApartment()
{
    Close();
}

void FakeApartment::Uninitialize()
{
    Close();
    std::map<std::uint32_t, Object*> table;
    {
        std::lock_guard lock(m_mutex);
        table.swap(m_table);
    }
    for (auto& [cookie, object] : table) object->Release();
}

HRESULT FakeApartment::Register(Object* addin, std::uint32_t& cookie)
{
    if (const HRESULT hr = m_calls.Check("GIT.RegisterInterfaceInGlobal"); FAILED(hr)) return hr;
    if (!addin) return E_INVALIDARG;
    addin->AddRef();
    std::lock_guard lock(m_mutex);
    cookie = m_nextCookie++;
    m_table.emplace(cookie, addin);
    return S_OK;
}

HRESULT FakeApartment::Revoke(std::uint32_t cookie)
{
    if (const HRESULT hr = m_calls.Check("GIT.RevokeInterfaceFromGlobal"); FAILED(hr)) return hr;
    Object* object = nullptr;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_table.find(cookie);
        if (it == m_table.end()) return E_INVALIDARG;
        object = it->second;
        m_table.erase(it);
    }
    object->Release();
    return S_OK;
}

std::unique_ptr<ForeignCall> FakeApartment::Enter(std::uint32_t cookie)
{
    const std::thread::id caller = std::this_thread::get_id();
    // CoInitializeEx on the calling thread, for as long as the call lives.
    ComUp(caller);
    CallRecord record{"Enter " + std::to_string(cookie), caller, true, {}};
    try {
        if (FAILED(m_calls.Check("GIT.GetInterfaceFromGlobal"))) {
            Note(std::move(record));
            ComDown(caller);
            return nullptr;
        }
    } catch (...) {
        ComDown(caller);
        throw;
    }
    // Fetching the object and asking it for IDispatch is a call into the
    // object's apartment.
    Ref<Dispatch> target;
    OnHomeThread([&] {
        record.ranOn = std::this_thread::get_id();
        Object* object = nullptr;
        {
            std::lock_guard lock(m_mutex);
            const auto it = m_table.find(cookie);
            if (it != m_table.end()) object = it->second;
        }
        if (object) target = QueryAs<Dispatch>(object);
    });
    Note(std::move(record));
    if (!target) {
        ComDown(caller);
        return nullptr;
    }
    return std::make_unique<Call>(*this, std::move(target));
}

Ref<Stream> FakeApartment::MemoryStream(std::span<const std::uint8_t> bytes)
{
    if (FAILED(m_calls.Check("CreateStreamOnHGlobal"))) return nullptr;
    std::lock_guard lock(m_mutex);
    std::vector<std::uint8_t> content(bytes.begin(), bytes.end());
    if (m_nextStreamSize) {
        content.resize(*m_nextStreamSize, 0);
        m_nextStreamSize.reset();
    }
    FakeStream& stream = m_streams.Make(m_ledger, m_calls, "Stream " + std::to_string(m_streams.Number()),
                                        std::move(content), m_readFailure);
    return Ref<Stream>::Share(&stream);
}

// ---- the add-in's thread ----

void FakeApartment::AdoptCurrentThread()
{
    std::lock_guard lock(m_mutex);
    m_home = std::this_thread::get_id();
}

std::thread::id FakeApartment::HomeThread() const
{
    std::lock_guard lock(m_mutex);
    return m_home;
}

bool FakeApartment::OnHomeThread(const std::function<void()>& fn)
{
    std::unique_lock lock(m_mutex);
    if (m_closed) return false;
    if (std::this_thread::get_id() == m_home) {
        // A call within the apartment is a direct call.
        lock.unlock();
        fn();
        return true;
    }
    auto task = std::make_shared<Task>();
    task->run = fn;
    m_queue.push_back(task);
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return task->done || m_closed; });
    if (!task->done) {
        task->cancelled = true;
        return false;
    }
    return true;
}

std::size_t FakeApartment::RunPending()
{
    std::size_t ran = 0;
    while (true) {
        std::shared_ptr<Task> task;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty()) break;
            task = m_queue.front();
            m_queue.pop_front();
            if (task->cancelled) continue;
        }
        task->run();
        ++ran;
        {
            std::lock_guard lock(m_mutex);
            task->done = true;
        }
        m_changed.notify_all();
    }
    return ran;
}

bool FakeApartment::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        RunPending();
        if (done()) return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        // Wake for a new call, or look at done() again soon: the other
        // thread may finish without calling in.
        std::unique_lock lock(m_mutex);
        m_changed.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(1)),
                             [&] { return !m_queue.empty(); });
    }
}

void FakeApartment::Close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    for (auto& task : m_queue) task->cancelled = true;
    m_queue.clear();
    m_changed.notify_all();
}

// ---- records ----

void FakeApartment::Note(CallRecord record)
{
    std::lock_guard lock(m_mutex);
    m_records.push_back(std::move(record));
}

void FakeApartment::Fault(std::string fault)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back(std::move(fault));
}

bool FakeApartment::ComReady(std::thread::id thread) const
{
    const auto it = m_com.find(thread);
    return it != m_com.end() && it->second > 0;
}

void FakeApartment::ComUp(std::thread::id thread)
{
    std::lock_guard lock(m_mutex);
    ++m_com[thread];
}

void FakeApartment::ComDown(std::thread::id thread)
{
    std::lock_guard lock(m_mutex);
    if (--m_com[thread] <= 0) m_com.erase(thread);
}

std::vector<FakeApartment::CallRecord> FakeApartment::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_records;
}

void FakeApartment::ForgetCalls()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_records.shrink_to_fit();
}

bool FakeApartment::ComInitialised(std::thread::id thread) const
{
    std::lock_guard lock(m_mutex);
    return ComReady(thread);
}

std::uint32_t FakeApartment::StartTimer(std::uint32_t delayMs, std::function<void()> callback)
{
    if (FAILED(m_calls.CheckNoThrow("SetTimer"))) return 0;
    constexpr std::uint32_t kMinimumMs = 10;  // USER_TIMER_MINIMUM
    const std::uint32_t id = m_nextTimer++;
    m_timers.push_back({id, host::Sys().TickCount() + std::max(delayMs, kMinimumMs), std::move(callback)});
    return id;
}

void FakeApartment::StopTimer(std::uint32_t id) noexcept
{
    std::erase_if(m_timers, [id](const Timer& timer) { return timer.id == id; });
}

namespace {
// How far after now a tick count lies (0 when it has passed), across the wrap.
std::uint32_t Ahead(std::uint32_t due, std::uint32_t now) noexcept
{
    const auto ahead = static_cast<std::int32_t>(due - now);
    return ahead > 0 ? static_cast<std::uint32_t>(ahead) : 0;
}
}  // namespace

std::optional<std::uint32_t> FakeApartment::NextTimerDue(std::uint32_t now) const
{
    std::optional<std::uint32_t> soonest;
    for (const Timer& timer : m_timers) {
        const std::uint32_t ahead = Ahead(timer.due, now);
        if (!soonest || ahead < *soonest) soonest = ahead;
    }
    if (!soonest) return std::nullopt;
    return now + *soonest;
}

bool FakeApartment::RunNextTimer(std::uint32_t now)
{
    if (m_timers.empty()) return false;
    auto next = m_timers.begin();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
        if (Ahead(it->due, now) < Ahead(next->due, now)) next = it;
    const std::function<void()> callback = std::move(next->callback);
    m_timers.erase(next);
    callback();
    return true;
}

std::vector<std::string> FakeApartment::LiveTimers() const
{
    std::vector<std::string> live;
    for (const Timer& timer : m_timers)
        live.push_back("timer " + std::to_string(timer.id) + " (due at " + std::to_string(timer.due) + ")");
    return live;
}

std::vector<std::string> FakeApartment::LiveRegistrations() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> live;
    for (const auto& [cookie, object] : m_table) live.push_back("cookie " + std::to_string(cookie));
    return live;
}

std::vector<std::string> FakeApartment::Faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void FakeApartment::FailStreamReads(std::optional<HRESULT> hr)
{
    std::lock_guard lock(m_mutex);
    m_readFailure = hr;
}

void FakeApartment::ResizeNextStream(std::optional<std::size_t> bytes)
{
    std::lock_guard lock(m_mutex);
    m_nextStreamSize = bytes;
}

}  // namespace host::fake
