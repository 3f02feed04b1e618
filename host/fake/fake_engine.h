// The engine client in the in-memory world: the library zkascl.dll in the
// add-in's folder, its factory asCreateInstance, and the client objects it
// makes, which keep the engine's named values, answer its settings, options
// and server status, record every call the add-in makes and call their
// observers back from a thread of their own.
//
// The factory is a plain function: it reaches the engine through
// FakeEngine::Current(), the most recently constructed FakeEngine that still
// lives. One world is current at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/as_client.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_libraries.h"

namespace host::fake {

enum class EngineLibrary {
    Present,      // the library with its factory, which makes clients
    Absent,       // no library at its path
    NoFactory,    // a library without asCreateInstance
    NullFactory,  // a factory that returns null
};

// What the engine holds and answers.
struct EngineState {
    EngineLibrary library = EngineLibrary::Present;
    bool serverUp = true;
    std::map<std::u16string, std::uint32_t> values;  // the value store, by exact name
    std::map<int, std::uint32_t> settings;           // fields GetSettings writes into the first record
    std::map<int, std::uint32_t> options;            // fields GetOptions writes
};

// One argument of an engine call as the call record keeps it.
struct EngineArg {
    enum class Kind { Text, Number, Boolean, Pointer };
    Kind kind = Kind::Pointer;
    std::u16string text;
    std::int64_t number = 0;
    bool boolean = false;
};

// One call of the add-in into an engine client.
struct EngineCall {
    std::string op;  // the slot table's name: "Init", "GetValue", "Reserved13", ...
    std::vector<EngineArg> args;

    // "OP ARGS": texts in double quotes through escapeText, numbers in
    // decimal, booleans as true / false, records and pointers as '*'.
    std::string Render(const std::function<std::string(std::u16string_view)>& escapeText) const;
};

// A notification in flight on a thread of the engine's own.
class EngineNotification {
public:
    ~EngineNotification();  // waits for the thread
    EngineNotification(const EngineNotification&) = delete;
    EngineNotification& operator=(const EngineNotification&) = delete;

    bool Done() const;
    void Wait();
    // The engine thread that made the calls.
    std::thread::id Thread() const;
    // How many observers were called.
    std::size_t Observers() const;

private:
    friend class FakeEngine;
    EngineNotification() = default;
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

class FakeEngine {
public:
    // Places the library as state says in folder (the add-in's folder).
    FakeEngine(HostCalls& calls, FakeLibraries& libraries, std::u16string folder);
    ~FakeEngine();
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    static FakeEngine* Current() noexcept;

    // ---- what the engine holds ----

    void SetLibrary(EngineLibrary library);
    void SetFolder(std::u16string folder);
    std::u16string LibraryPath() const;
    void SetServerStatus(bool up);
    bool ServerStatus() const;
    void SetValue(std::u16string name, std::uint32_t value);
    std::optional<std::uint32_t> Value(std::u16string_view name) const;
    // Field index 0..18 of the first settings record GetSettings writes.
    void SetSetting(int field, std::uint32_t value);
    // Field index 0..9 of the options record GetOptions writes.
    void SetOption(int field, std::uint32_t value);
    EngineState State() const;

    // ---- what the add-in did ----

    // Called with every call as it is made, on the caller's thread.
    void OnCall(std::function<void(const EngineCall&)> listener);
    std::vector<EngineCall> Calls() const;
    // Drops the calls kept so far (their counts stay).
    void ForgetCalls();
    std::size_t CallCount(std::string_view op) const;
    // Clients made by the factory, and those not yet released.
    std::size_t ClientsMade() const;
    std::size_t LiveClients() const;
    // Observers advised and not unadvised, over all live clients.
    std::size_t Observers() const;
    // Misuse: a second Release, calls on a released client, Unadvise of an
    // observer that is not advised.
    std::vector<std::string> Faults() const;
    // What the factory was asked: "asCreateInstance \"IAsClient.2\"", ...
    std::vector<std::string> FactoryCalls() const;

    // ---- the engine's own thread ----

    // Calls SetServerStatus(up) of every observer of every live client from a
    // new thread; the engine's status becomes up first.
    std::unique_ptr<EngineNotification> NotifyStatus(bool up);
    // Calls OnImportSettings(&settings) of every observer from a new thread.
    std::unique_ptr<EngineNotification> NotifySettings(const qev::AsSettings& settings);
    // The same on the calling thread, which stands for a thread of the
    // engine's own (several at once, say): returns the observers called.
    std::size_t NotifyStatusHere(bool up);
    std::size_t NotifySettingsHere(const qev::AsSettings& settings);

    // How Unadvise waits for observer calls still on their way: one round of
    // the add-in's thread's message loop (as a COM wait does), so that those
    // calls are delivered while the add-in waits.
    void SetBlockingWait(std::function<void()> wait);

    // The library's export.
    static qev::IAsClient* AsCreateInstance(const char* interfaceName);

private:
    class Client;
    friend class Client;
    void Place();
    void Record(EngineCall call);
    void Fault(std::string fault);
    std::unique_ptr<EngineNotification> Notify(std::function<void(qev::IAsClientObs*)> call);
    std::vector<qev::IAsClientObs*> AdvisedObservers() const;
    // Calls each observer still advised, on this thread; the observers called.
    std::size_t CallEach(const std::vector<qev::IAsClientObs*>& observers,
                         const std::function<void(qev::IAsClientObs*)>& call);
    // What a settings notification sends becomes the engine's settings.
    void KeepSettings(const qev::AsSettings& settings);
    // An observer call on the engine's thread: only to an observer still
    // advised; Unadvise waits until the calls begun have ended.
    bool BeginCallTo(qev::IAsClientObs* observer);
    void EndCallTo(qev::IAsClientObs* observer);
    void WaitForCallsTo(qev::IAsClientObs* observer);

    HostCalls& m_calls;
    FakeLibraries& m_libraries;
    mutable std::recursive_mutex m_mutex;
    std::u16string m_folder;
    std::u16string m_placedAt;
    EngineState m_state;
    std::vector<std::unique_ptr<Client>> m_clients;  // kept for the world's life
    std::vector<EngineCall> m_history;
    std::map<std::string, std::size_t, std::less<>> m_counts;
    std::vector<std::string> m_faults;
    std::vector<std::string> m_factoryCalls;
    std::function<void(const EngineCall&)> m_listener;
    std::map<qev::IAsClientObs*, int> m_inFlight;
    std::function<void()> m_blockingWait;
    FakeEngine* m_previous = nullptr;
};

}  // namespace host::fake
