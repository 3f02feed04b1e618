#include "host/fake/fake_engine.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "host/fake/fake_text.h"

namespace host::fake {
namespace {

std::atomic<FakeEngine*> g_current{nullptr};

EngineArg ArgText(const char16_t* text)
{
    EngineArg arg;
    if (!text) return arg;  // a null text shows as a pointer
    arg.kind = EngineArg::Kind::Text;
    arg.text = text;
    return arg;
}

EngineArg ArgNumber(std::int64_t n)
{
    EngineArg arg;
    arg.kind = EngineArg::Kind::Number;
    arg.number = n;
    return arg;
}

EngineArg ArgBool(bool b)
{
    EngineArg arg;
    arg.kind = EngineArg::Kind::Boolean;
    arg.boolean = b;
    return arg;
}

EngineArg ArgPointer()
{
    return EngineArg{};
}

}  // namespace

std::string EngineCall::Render(const std::function<std::string(std::u16string_view)>& escapeText) const
{
    std::string line = op;
    for (const EngineArg& arg : args) {
        line.push_back(' ');
        switch (arg.kind) {
            case EngineArg::Kind::Text:
                line += "\"" + escapeText(arg.text) + "\"";
                break;
            case EngineArg::Kind::Number:
                line += std::to_string(arg.number);
                break;
            case EngineArg::Kind::Boolean:
                line += arg.boolean ? "true" : "false";
                break;
            case EngineArg::Kind::Pointer:
                line.push_back('*');
                break;
        }
    }
    return line;
}

// ---- notifications ----

struct EngineNotification::Shared {
    std::atomic<bool> done{false};
    std::atomic<std::size_t> observers{0};
};

EngineNotification::~EngineNotification()
{
    if (m_thread.joinable()) m_thread.join();
}

bool EngineNotification::Done() const
{
    return m_shared->done.load();
}

void EngineNotification::Wait()
{
    if (m_thread.joinable()) m_thread.join();
}

std::thread::id EngineNotification::Thread() const
{
    return m_thread.get_id();
}

std::size_t EngineNotification::Observers() const
{
    return m_shared->observers.load();
}

// ---- the client ----

class FakeEngine::Client final : public qev::IAsClient {
public:
    Client(FakeEngine& engine, int number) : m_engine(engine), m_number(number) {}

    bool Alive() const noexcept { return m_alive; }
    int Number() const noexcept { return m_number; }
    const std::vector<qev::IAsClientObs*>& Observers() const noexcept { return m_observers; }

    void Release() override
    {
        std::lock_guard lock(m_engine.m_mutex);
        m_engine.Record({"Release", {}});
        if (!m_alive) {
            m_engine.Fault("engine client " + std::to_string(m_number) + " released again");
            return;
        }
        m_alive = false;
        m_observers.clear();
    }

    std::int32_t Init(std::int32_t version) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin("Init", {ArgNumber(version)}, result);
        return result;
    }

    std::int32_t Reserved2() override { return Reserved(2); }
    std::int32_t Reserved3() override { return Reserved(3); }

    std::int32_t GetSettings(qev::AsSettings* first, qev::AsSettings* second) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        if (!Begin("GetSettings", {ArgPointer(), ArgPointer()}, result)) return result;
        if (!first || !second) return E_POINTER;
        for (const auto& [field, value] : m_engine.m_state.settings)
            if (field >= 0 && field < 19) first->f[field] = value;
        return 0;
    }

    std::int32_t Reserved5() override { return Reserved(5); }

    std::int32_t GetServerStatus(bool* up) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        if (!Begin("GetServerStatus", {ArgPointer()}, result)) return result;
        if (!up) return E_POINTER;
        *up = m_engine.m_state.serverUp;
        return 0;
    }

    std::int32_t Advise(qev::IAsClientObs* observer) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        if (!Begin("Advise", {ArgPointer()}, result)) return result;
        if (!observer) return E_POINTER;
        m_observers.push_back(observer);
        return 0;
    }

    std::int32_t Unadvise(qev::IAsClientObs* observer) override
    {
        {
            std::lock_guard lock(m_engine.m_mutex);
            std::int32_t result = 0;
            if (!Begin("Unadvise", {ArgPointer()}, result)) return result;
            const auto it = std::find(m_observers.begin(), m_observers.end(), observer);
            if (it == m_observers.end()) {
                m_engine.Fault("Unadvise of an observer that engine client " + std::to_string(m_number) +
                               " does not hold");
                return E_INVALIDARG;
            }
            m_observers.erase(it);
        }
        // The caller destroys the observer once this returns: let the calls
        // already on their way finish first, waiting as COM waits on the
        // add-in's thread (so that those calls can be delivered meanwhile).
        m_engine.WaitForCallsTo(observer);
        return 0;
    }

    std::int32_t SetConfigFile(const char16_t* fileName, bool flag) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin("SetConfigFile", {ArgText(fileName), ArgBool(flag)}, result);
        return result;
    }

    std::int32_t Reserved10() override { return Reserved(10); }

    std::int32_t Shutdown() override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin("Shutdown", {}, result);
        return result;
    }

    std::int32_t GetOptions(qev::AsOptions* options) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        if (!Begin("GetOptions", {ArgPointer()}, result)) return result;
        if (!options) return E_POINTER;
        for (const auto& [field, value] : m_engine.m_state.options)
            if (field >= 0 && field < 10) options->f[field] = value;
        return 0;
    }

    std::int32_t Reserved13() override { return Reserved(13); }

    std::int32_t GetValue(const char16_t* name, std::uint32_t* value, bool flag) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        if (!Begin("GetValue", {ArgText(name), ArgPointer(), ArgBool(flag)}, result)) return result;
        if (!name || !value) return E_POINTER;
        const auto it = m_engine.m_state.values.find(name);
        if (it == m_engine.m_state.values.end()) return S_FALSE;  // the value is left as it was
        *value = it->second;
        return 0;
    }

    std::int32_t Reserved15() override { return Reserved(15); }

    std::int32_t SetValue(const char16_t* name, std::uint32_t value, bool flag) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        if (!Begin("SetValue", {ArgText(name), ArgNumber(value), ArgBool(flag)}, result)) return result;
        if (!name) return E_POINTER;
        m_engine.m_state.values[name] = value;
        return 0;
    }

    std::int32_t Reserved17() override { return Reserved(17); }
    std::int32_t Reserved18() override { return Reserved(18); }
    std::int32_t Reserved19() override { return Reserved(19); }

    std::int32_t IsSpam(std::int32_t reserved, const char16_t* mailText) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin("IsSpam", {ArgNumber(reserved), ArgText(mailText)}, result);
        return result;
    }

    std::int32_t Reserved21() override { return Reserved(21); }

    std::int32_t NotSpam(std::int32_t reserved, const char16_t* mailText) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin("NotSpam", {ArgNumber(reserved), ArgText(mailText)}, result);
        return result;
    }

    std::int32_t Reserved23() override { return Reserved(23); }

    std::int32_t AddSpammer(std::int32_t reserved, const char16_t* mailText, bool flag) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin("AddSpammer", {ArgNumber(reserved), ArgText(mailText), ArgBool(flag)}, result);
        return result;
    }

    std::int32_t Reserved25() override { return Reserved(25); }

    std::int32_t AddFriend(std::int32_t reserved, const char16_t* mailText, bool flag) override
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin("AddFriend", {ArgNumber(reserved), ArgText(mailText), ArgBool(flag)}, result);
        return result;
    }

    std::int32_t ShowSpammers(std::int32_t a, std::int32_t b) override { return Show("ShowSpammers", a, b); }
    std::int32_t ShowFriends(std::int32_t a, std::int32_t b) override { return Show("ShowFriends", a, b); }
    std::int32_t ShowSettings(std::int32_t a, std::int32_t b) override { return Show("ShowSettings", a, b); }

private:
    // Records the call. False when it goes no further: the client is gone, or
    // the call was picked to fail (result then holds its answer).
    bool Begin(const char* op, std::vector<EngineArg> args, std::int32_t& result)
    {
        std::lock_guard lock(m_engine.m_mutex);
        m_engine.Record({op, std::move(args)});
        if (!m_alive) {
            m_engine.Fault(std::string(op) + " called on engine client " + std::to_string(m_number) +
                           " after its Release");
            result = E_UNEXPECTED;
            return false;
        }
        // The client's slots are a C++ table across a library boundary: a
        // failure comes back as the result, never as an exception.
        const HRESULT hr = m_engine.m_calls.CheckNoThrow(std::string("AsClient.") + op);
        if (FAILED(hr)) {
            result = hr;
            return false;
        }
        return true;
    }

    std::int32_t Reserved(int slot)
    {
        const std::string op = "Reserved" + std::to_string(slot);
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        if (Begin(op.c_str(), {}, result)) {
            m_engine.Fault("slot " + std::to_string(slot) + " of engine client " + std::to_string(m_number) +
                           " called");
            result = E_NOTIMPL;
        }
        return result;
    }

    std::int32_t Show(const char* op, std::int32_t a, std::int32_t b)
    {
        std::lock_guard lock(m_engine.m_mutex);
        std::int32_t result = 0;
        Begin(op, {ArgNumber(a), ArgNumber(b)}, result);
        return result;
    }

    FakeEngine& m_engine;
    int m_number;
    bool m_alive = true;
    std::vector<qev::IAsClientObs*> m_observers;
};

// ---- the engine ----

FakeEngine::FakeEngine(HostCalls& calls, FakeLibraries& libraries, std::u16string folder)
    : m_calls(calls), m_libraries(libraries), m_folder(std::move(folder))
{
    m_previous = g_current.exchange(this);
    Place();
}

FakeEngine::~FakeEngine()
{
    FakeEngine* self = this;
    g_current.compare_exchange_strong(self, m_previous);
}

FakeEngine* FakeEngine::Current() noexcept
{
    return g_current.load();
}

void FakeEngine::Place()
{
    std::lock_guard lock(m_mutex);
    if (!m_placedAt.empty()) m_libraries.Uninstall(m_placedAt);
    m_placedAt = m_folder + u"\\" + qev::kAsClientLibrary;
    switch (m_state.library) {
        case EngineLibrary::Present:
        case EngineLibrary::NullFactory:
            m_libraries.Install(m_placedAt, {{qev::kAsCreateInstanceName, reinterpret_cast<void*>(&AsCreateInstance)}});
            break;
        case EngineLibrary::NoFactory:
            m_libraries.Install(m_placedAt, {});
            break;
        case EngineLibrary::Absent:
            break;
    }
}

void FakeEngine::SetLibrary(EngineLibrary library)
{
    std::lock_guard lock(m_mutex);
    m_state.library = library;
    Place();
}

void FakeEngine::SetFolder(std::u16string folder)
{
    std::lock_guard lock(m_mutex);
    m_folder = std::move(folder);
    Place();
}

std::u16string FakeEngine::LibraryPath() const
{
    std::lock_guard lock(m_mutex);
    return m_placedAt;
}

void FakeEngine::SetServerStatus(bool up)
{
    std::lock_guard lock(m_mutex);
    m_state.serverUp = up;
}

bool FakeEngine::ServerStatus() const
{
    std::lock_guard lock(m_mutex);
    return m_state.serverUp;
}

void FakeEngine::SetValue(std::u16string name, std::uint32_t value)
{
    std::lock_guard lock(m_mutex);
    m_state.values[std::move(name)] = value;
}

std::optional<std::uint32_t> FakeEngine::Value(std::u16string_view name) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_state.values.find(std::u16string(name));
    if (it == m_state.values.end()) return std::nullopt;
    return it->second;
}

void FakeEngine::SetSetting(int field, std::uint32_t value)
{
    std::lock_guard lock(m_mutex);
    m_state.settings[field] = value;
}

void FakeEngine::SetOption(int field, std::uint32_t value)
{
    std::lock_guard lock(m_mutex);
    m_state.options[field] = value;
}

EngineState FakeEngine::State() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

void FakeEngine::OnCall(std::function<void(const EngineCall&)> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

std::vector<EngineCall> FakeEngine::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_history;
}

void FakeEngine::ForgetCalls()
{
    std::lock_guard lock(m_mutex);
    m_history.clear();
    m_history.shrink_to_fit();
}

std::size_t FakeEngine::CallCount(std::string_view op) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_counts.find(op);
    return it == m_counts.end() ? 0 : it->second;
}

std::size_t FakeEngine::ClientsMade() const
{
    std::lock_guard lock(m_mutex);
    return m_clients.size();
}

std::size_t FakeEngine::LiveClients() const
{
    std::lock_guard lock(m_mutex);
    std::size_t live = 0;
    for (const auto& client : m_clients) live += client->Alive() ? 1 : 0;
    return live;
}

std::size_t FakeEngine::Observers() const
{
    std::lock_guard lock(m_mutex);
    std::size_t observers = 0;
    for (const auto& client : m_clients)
        if (client->Alive()) observers += client->Observers().size();
    return observers;
}

std::vector<std::string> FakeEngine::Faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

std::vector<std::string> FakeEngine::FactoryCalls() const
{
    std::lock_guard lock(m_mutex);
    return m_factoryCalls;
}

void FakeEngine::Record(EngineCall call)
{
    std::lock_guard lock(m_mutex);
    ++m_counts[call.op];
    m_history.push_back(call);
    if (m_listener) m_listener(m_history.back());
}

void FakeEngine::Fault(std::string fault)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back(std::move(fault));
}

qev::IAsClient* FakeEngine::AsCreateInstance(const char* interfaceName)
{
    FakeEngine* engine = Current();
    if (!engine) return nullptr;
    std::lock_guard lock(engine->m_mutex);
    const std::string name = interfaceName ? interfaceName : "";
    engine->m_factoryCalls.push_back(std::string(qev::kAsCreateInstanceName) + " \"" + name + "\"");
    if (FAILED(engine->m_calls.CheckNoThrow(qev::kAsCreateInstanceName))) return nullptr;
    if (engine->m_state.library == EngineLibrary::NullFactory) return nullptr;
    if (!interfaceName || std::strcmp(interfaceName, qev::kAsClientInterfaceName) != 0) return nullptr;
    const int number = static_cast<int>(engine->m_clients.size()) + 1;
    return engine->m_clients.emplace_back(std::make_unique<Client>(*engine, number)).get();
}

std::vector<qev::IAsClientObs*> FakeEngine::AdvisedObservers() const
{
    std::lock_guard lock(m_mutex);
    std::vector<qev::IAsClientObs*> observers;
    for (const auto& client : m_clients)
        if (client->Alive()) observers.insert(observers.end(), client->Observers().begin(), client->Observers().end());
    return observers;
}

std::size_t FakeEngine::CallEach(const std::vector<qev::IAsClientObs*>& observers,
                                 const std::function<void(qev::IAsClientObs*)>& call)
{
    std::size_t called = 0;
    for (qev::IAsClientObs* observer : observers) {
        if (!BeginCallTo(observer)) continue;  // unadvised meanwhile
        try {
            call(observer);
        } catch (...) {
            Fault("exception escaped an observer call on the engine's thread");
        }
        EndCallTo(observer);
        ++called;
    }
    return called;
}

std::unique_ptr<EngineNotification> FakeEngine::Notify(std::function<void(qev::IAsClientObs*)> call)
{
    std::unique_ptr<EngineNotification> notification(new EngineNotification());
    auto shared = std::make_shared<EngineNotification::Shared>();
    notification->m_shared = shared;
    notification->m_thread = std::thread([this, shared, observers = AdvisedObservers(), call = std::move(call)] {
        shared->observers = CallEach(observers, call);
        shared->done = true;
    });
    return notification;
}

bool FakeEngine::BeginCallTo(qev::IAsClientObs* observer)
{
    std::lock_guard lock(m_mutex);
    const bool advised = std::any_of(m_clients.begin(), m_clients.end(), [&](const auto& client) {
        const auto& held = client->Observers();
        return client->Alive() && std::find(held.begin(), held.end(), observer) != held.end();
    });
    if (advised) ++m_inFlight[observer];
    return advised;
}

void FakeEngine::EndCallTo(qev::IAsClientObs* observer)
{
    std::lock_guard lock(m_mutex);
    if (--m_inFlight[observer] == 0) m_inFlight.erase(observer);
}

void FakeEngine::WaitForCallsTo(qev::IAsClientObs* observer)
{
    for (;;) {
        std::function<void()> wait;
        {
            std::lock_guard lock(m_mutex);
            if (m_inFlight.count(observer) == 0) return;
            wait = m_blockingWait;
        }
        if (wait) wait();
        std::this_thread::yield();
    }
}

void FakeEngine::SetBlockingWait(std::function<void()> wait)
{
    std::lock_guard lock(m_mutex);
    m_blockingWait = std::move(wait);
}

std::unique_ptr<EngineNotification> FakeEngine::NotifyStatus(bool up)
{
    SetServerStatus(up);
    return Notify([up](qev::IAsClientObs* observer) { observer->SetServerStatus(up); });
}

std::unique_ptr<EngineNotification> FakeEngine::NotifySettings(const qev::AsSettings& settings)
{
    KeepSettings(settings);
    return Notify([settings](qev::IAsClientObs* observer) { observer->OnImportSettings(&settings); });
}

std::size_t FakeEngine::NotifyStatusHere(bool up)
{
    SetServerStatus(up);
    return CallEach(AdvisedObservers(), [up](qev::IAsClientObs* observer) { observer->SetServerStatus(up); });
}

std::size_t FakeEngine::NotifySettingsHere(const qev::AsSettings& settings)
{
    KeepSettings(settings);
    return CallEach(AdvisedObservers(),
                    [&settings](qev::IAsClientObs* observer) { observer->OnImportSettings(&settings); });
}

void FakeEngine::KeepSettings(const qev::AsSettings& settings)
{
    std::lock_guard lock(m_mutex);
    for (int field = 1; field < 19; ++field) m_state.settings[field] = settings.f[field];
}

}  // namespace host::fake
