// The engine client stand-in: asCreateInstance and the client objects it
// makes, over one engine per loaded library (zk_sim_control.h says what the
// engine keeps and how a test host drives it).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "engine/as_client.h"
#include "standins/win/common/module_files.h"
#include "standins/win/zkascl/engine_text.h"
#include "standins/win/zkascl/zk_sim_control.h"

namespace zkascl {
namespace {

using qev::AsOptions;
using qev::AsSettings;
using qev::IAsClient;
using qev::IAsClientObs;

class Client;

class Engine {
public:
    // ---- configuration ----

    void Reset(bool clearStore)
    {
        const std::lock_guard lock(m_mutex);
        m_serverUp = true;
        m_settings.clear();
        m_options.clear();
        m_factoryNull = false;
        m_listener = nullptr;
        m_listenerContext = nullptr;
        m_counts.clear();
        if (clearStore) {
            m_store = Store{};
            m_storeLoaded = true;
            DeleteFileW(standins::W(StorePath()));
        }
    }
    void SetServerStatus(bool up)
    {
        const std::lock_guard lock(m_mutex);
        m_serverUp = up;
    }
    bool ServerStatus()
    {
        const std::lock_guard lock(m_mutex);
        return m_serverUp;
    }
    bool SetSetting(int field, std::uint32_t value)
    {
        if (field < 0 || field >= 19) return false;
        const std::lock_guard lock(m_mutex);
        m_settings[field] = value;
        return true;
    }
    bool SetOption(int field, std::uint32_t value)
    {
        if (field < 0 || field >= 10) return false;
        const std::lock_guard lock(m_mutex);
        m_options[field] = value;
        return true;
    }
    void SetFactoryNull(bool on)
    {
        const std::lock_guard lock(m_mutex);
        m_factoryNull = on;
    }
    bool FactoryNull()
    {
        const std::lock_guard lock(m_mutex);
        return m_factoryNull;
    }
    void SetListener(ZkSimCallListener listener, void* context)
    {
        const std::lock_guard lock(m_mutex);
        m_listener = listener;
        m_listenerContext = context;
    }

    // ---- records ----

    void FillSettings(AsSettings& settings)
    {
        const std::lock_guard lock(m_mutex);
        for (const auto& [field, value] : m_settings) settings.f[field] = value;
    }
    void FillOptions(AsOptions& options)
    {
        const std::lock_guard lock(m_mutex);
        for (const auto& [field, value] : m_options) options.f[field] = value;
    }

    // ---- the store ----

    std::u16string StorePath() const { return standins::OwnFolder() + zksim::kStoreFileName; }

    bool GetValue(const std::u16string& name, std::uint32_t& value)
    {
        const std::lock_guard lock(m_mutex);
        LoadStore();
        const auto it = m_store.values.find(name);
        if (it == m_store.values.end()) return false;
        value = it->second;
        return true;
    }
    // Applies change to the store and writes the file; false when it could not be written.
    template <class Change>
    bool Update(Change&& change)
    {
        const std::lock_guard lock(m_mutex);
        LoadStore();
        std::forward<Change>(change)(m_store);
        return standins::WriteWholeFile(StorePath(), SerializeStore(m_store));
    }

    // ---- calls and clients ----

    // Counts the call and hands its line to the listener (outside the lock).
    void Record(const char* op, const std::string& args)
    {
        ZkSimCallListener listener = nullptr;
        void* context = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            ++m_counts[op];
            listener = m_listener;
            context = m_listenerContext;
        }
        if (!listener) return;
        const std::string line = args.empty() ? std::string(op) : std::string(op) + ' ' + args;
        listener(context, line.c_str());
    }
    std::uint32_t CallCount(const char* op)
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_counts.find(op ? op : "");
        return it == m_counts.end() ? 0 : it->second;
    }

    void AddClient(Client* client)
    {
        const std::lock_guard lock(m_mutex);
        m_clients[client];
    }
    void RemoveClient(Client* client)
    {
        const std::lock_guard lock(m_mutex);
        m_clients.erase(client);
    }
    void Advise(Client* client, IAsClientObs* observer)
    {
        const std::lock_guard lock(m_mutex);
        auto& observers = m_clients[client];
        if (std::find(observers.begin(), observers.end(), observer) == observers.end()) observers.push_back(observer);
    }
    bool Unadvise(Client* client, IAsClientObs* observer)
    {
        {
            const std::lock_guard lock(m_mutex);
            auto& observers = m_clients[client];
            const auto it = std::find(observers.begin(), observers.end(), observer);
            if (it == observers.end()) return false;
            observers.erase(it);
        }
        // The caller frees the observer once this returns: the calls already
        // made to it end first. They may be waiting for this very thread (COM
        // carries them into the caller's apartment), so its messages are
        // dispatched meanwhile.
        for (;;) {
            {
                const std::lock_guard lock(m_mutex);
                if (m_inFlight.count(observer) == 0) return true;
            }
            MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    // An observer call about to be made: only to an observer still advised,
    // which Unadvise then waits for until EndCallTo.
    bool BeginCallTo(IAsClientObs* observer)
    {
        const std::lock_guard lock(m_mutex);
        for (const auto& entry : m_clients) {
            if (std::find(entry.second.begin(), entry.second.end(), observer) != entry.second.end()) {
                ++m_inFlight[observer];
                return true;
            }
        }
        return false;
    }
    void EndCallTo(IAsClientObs* observer)
    {
        const std::lock_guard lock(m_mutex);
        if (--m_inFlight[observer] == 0) m_inFlight.erase(observer);
    }
    int LiveClients()
    {
        const std::lock_guard lock(m_mutex);
        return static_cast<int>(m_clients.size());
    }
    std::vector<IAsClientObs*> Observers()
    {
        const std::lock_guard lock(m_mutex);
        std::vector<IAsClientObs*> all;
        for (const auto& entry : m_clients) all.insert(all.end(), entry.second.begin(), entry.second.end());
        return all;
    }

private:
    void LoadStore()
    {
        if (m_storeLoaded) return;
        std::string text;
        if (standins::ReadWholeFile(StorePath(), text)) m_store = ParseStore(text);
        m_storeLoaded = true;
    }

    std::mutex m_mutex;
    bool m_serverUp = true;
    std::map<int, std::uint32_t> m_settings;
    std::map<int, std::uint32_t> m_options;
    bool m_factoryNull = false;
    ZkSimCallListener m_listener = nullptr;
    void* m_listenerContext = nullptr;
    std::map<std::string, std::uint32_t> m_counts;
    bool m_storeLoaded = false;
    Store m_store;
    std::map<Client*, std::vector<IAsClientObs*>> m_clients;
    std::map<IAsClientObs*, int> m_inFlight;  // observer calls under way
};

// At namespace scope, not a function's static: the guard of a function's
// static makes the static winpthreads record the calling thread, with a
// handle and an event that are never closed once the library is freed, and
// the add-in loads this library at every connection.
Engine g_engine;

Engine& TheEngine()
{
    return g_engine;
}

std::string Num(std::int64_t n)
{
    return std::to_string(n);
}

const char* Bool(bool b)
{
    return b ? "true" : "false";
}

std::u16string TextOf(const char16_t* text)
{
    return text ? std::u16string(text) : std::u16string();
}

class Client final : public IAsClient {
public:
    Client() { TheEngine().AddClient(this); }

    void Release() override
    {
        TheEngine().Record("Release", {});
        TheEngine().RemoveClient(this);
        delete this;
    }
    std::int32_t Init(std::int32_t version) override
    {
        TheEngine().Record("Init", Num(version));
        return version >= 1 ? 0 : 1;
    }
    std::int32_t Reserved2() override { return Reserved("Reserved2"); }
    std::int32_t Reserved3() override { return Reserved("Reserved3"); }
    std::int32_t GetSettings(AsSettings* first, AsSettings* second) override
    {
        TheEngine().Record("GetSettings", "* *");
        if (!first) return 1;
        TheEngine().FillSettings(*first);
        (void)second;  // the engine keeps one record; the second stays as prefilled
        return 0;
    }
    std::int32_t Reserved5() override { return Reserved("Reserved5"); }
    std::int32_t GetServerStatus(bool* up) override
    {
        TheEngine().Record("GetServerStatus", "*");
        if (!up) return 1;
        *up = TheEngine().ServerStatus();
        return 0;
    }
    std::int32_t Advise(IAsClientObs* observer) override
    {
        TheEngine().Record("Advise", "*");
        if (!observer) return 1;
        TheEngine().Advise(this, observer);
        return 0;
    }
    std::int32_t Unadvise(IAsClientObs* observer) override
    {
        TheEngine().Record("Unadvise", "*");
        return TheEngine().Unadvise(this, observer) ? 0 : 1;
    }
    std::int32_t SetConfigFile(const char16_t* fileName, bool flag) override
    {
        TheEngine().Record("SetConfigFile", QuotedArg(fileName) + ' ' + Bool(flag));
        m_configFile = TextOf(fileName);
        return fileName ? 0 : 1;
    }
    std::int32_t Reserved10() override { return Reserved("Reserved10"); }
    std::int32_t Shutdown() override
    {
        TheEngine().Record("Shutdown", {});
        return 0;
    }
    std::int32_t GetOptions(AsOptions* options) override
    {
        TheEngine().Record("GetOptions", "*");
        if (!options) return 1;
        TheEngine().FillOptions(*options);
        return 0;
    }
    std::int32_t Reserved13() override { return Reserved("Reserved13"); }
    std::int32_t GetValue(const char16_t* name, std::uint32_t* value, bool flag) override
    {
        TheEngine().Record("GetValue", QuotedArg(name) + " * " + Bool(flag));
        if (!name || !value) return 1;
        return TheEngine().GetValue(name, *value) ? 0 : 1;
    }
    std::int32_t Reserved15() override { return Reserved("Reserved15"); }
    std::int32_t SetValue(const char16_t* name, std::uint32_t value, bool flag) override
    {
        TheEngine().Record("SetValue", QuotedArg(name) + ' ' + Num(value) + ' ' + Bool(flag));
        if (!name) return 1;
        const std::u16string key = name;
        return TheEngine().Update([&](Store& store) { store.values[key] = value; }) ? 0 : 1;
    }
    std::int32_t Reserved17() override { return Reserved("Reserved17"); }
    std::int32_t Reserved18() override { return Reserved("Reserved18"); }
    std::int32_t Reserved19() override { return Reserved("Reserved19"); }
    std::int32_t IsSpam(std::int32_t reserved, const char16_t* mailText) override
    {
        TheEngine().Record("IsSpam", Num(reserved) + ' ' + QuotedArg(mailText));
        if (!mailText) return 1;
        return TheEngine().Update([](Store& store) { ++store.learnedSpam; }) ? 0 : 1;
    }
    std::int32_t Reserved21() override { return Reserved("Reserved21"); }
    std::int32_t NotSpam(std::int32_t reserved, const char16_t* mailText) override
    {
        TheEngine().Record("NotSpam", Num(reserved) + ' ' + QuotedArg(mailText));
        if (!mailText) return 1;
        return TheEngine().Update([](Store& store) { ++store.learnedHam; }) ? 0 : 1;
    }
    std::int32_t Reserved23() override { return Reserved("Reserved23"); }
    std::int32_t AddSpammer(std::int32_t reserved, const char16_t* mailText, bool flag) override
    {
        TheEngine().Record("AddSpammer", Num(reserved) + ' ' + QuotedArg(mailText) + ' ' + Bool(flag));
        return List(mailText, true);
    }
    std::int32_t Reserved25() override { return Reserved("Reserved25"); }
    std::int32_t AddFriend(std::int32_t reserved, const char16_t* mailText, bool flag) override
    {
        TheEngine().Record("AddFriend", Num(reserved) + ' ' + QuotedArg(mailText) + ' ' + Bool(flag));
        return List(mailText, false);
    }
    std::int32_t ShowSpammers(std::int32_t a, std::int32_t b) override
    {
        TheEngine().Record("ShowSpammers", Num(a) + ' ' + Num(b));
        return 0;
    }
    std::int32_t ShowFriends(std::int32_t a, std::int32_t b) override
    {
        TheEngine().Record("ShowFriends", Num(a) + ' ' + Num(b));
        return 0;
    }
    std::int32_t ShowSettings(std::int32_t a, std::int32_t b) override
    {
        TheEngine().Record("ShowSettings", Num(a) + ' ' + Num(b));
        return 0;
    }

private:
    ~Client() = default;

    static std::int32_t Reserved(const char* op)
    {
        TheEngine().Record(op, {});
        return 1;
    }

    // Puts the message's sender on the spammer or the friend list.
    static std::int32_t List(const char16_t* mailText, bool spammer)
    {
        const std::u16string sender = mailText ? SenderOf(mailText) : std::u16string();
        if (sender.empty()) return 1;
        const bool written = TheEngine().Update([&](Store& store) {
            (spammer ? store.friends : store.spammers).erase(sender);
            (spammer ? store.spammers : store.friends).insert(sender);
        });
        return written ? 0 : 1;
    }

    std::u16string m_configFile;
};

// Runs one notification on a thread of the engine's own and waits for it,
// dispatching the waiting thread's messages meanwhile.
struct Notification {
    std::vector<IAsClientObs*> observers;
    bool status = false;
    bool isStatus = true;
    bool hasSettings = false;
    AsSettings settings = {};
    int called = 0;
};

// Calls the observers advised when the notification was sent, on the calling
// thread; one unadvised while an earlier one was being called is not called.
int CallObservers(Notification& notification)
{
    for (IAsClientObs* observer : notification.observers) {
        if (!TheEngine().BeginCallTo(observer)) continue;
        ++notification.called;
        if (notification.isStatus) {
            observer->SetServerStatus(notification.status);
        } else {
            // Each observer gets its own copy, as the engine's own record would be.
            AsSettings copy = notification.settings;
            observer->OnImportSettings(notification.hasSettings ? &copy : nullptr);
        }
        TheEngine().EndCallTo(observer);
    }
    return notification.called;
}

DWORD WINAPI NotificationThread(void* parameter)
{
    CallObservers(*static_cast<Notification*>(parameter));
    return 0;
}

Notification SettingsNotification(const AsSettings* settings)
{
    Notification notification;
    notification.isStatus = false;
    notification.hasSettings = settings != nullptr;
    if (settings) notification.settings = *settings;
    return notification;
}

int Notify(Notification& notification)
{
    notification.observers = TheEngine().Observers();
    HANDLE thread = CreateThread(nullptr, 0, NotificationThread, &notification, 0, nullptr);
    if (!thread) return -1;
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return notification.called;
}

}  // namespace
}  // namespace zkascl

// ---- exports (named in zkascl.def) ----

extern "C" {

qev::IAsClient* asCreateInstance(const char* interfaceName)
{
    if (!interfaceName || std::strcmp(interfaceName, qev::kAsClientInterfaceName) != 0) return nullptr;
    if (zkascl::TheEngine().FactoryNull()) return nullptr;
    return new (std::nothrow) zkascl::Client();
}

void zkSimReset(int clearStore)
{
    zkascl::TheEngine().Reset(clearStore != 0);
}

void zkSimSetServerStatus(int up)
{
    zkascl::TheEngine().SetServerStatus(up != 0);
}

int zkSimSetSetting(int field, std::uint32_t value)
{
    return zkascl::TheEngine().SetSetting(field, value) ? 0 : -1;
}

int zkSimSetOption(int field, std::uint32_t value)
{
    return zkascl::TheEngine().SetOption(field, value) ? 0 : -1;
}

int zkSimSetValue(const char16_t* name, std::uint32_t value)
{
    if (!name) return -1;
    const std::u16string key = name;
    return zkascl::TheEngine().Update([&](zkascl::Store& store) { store.values[key] = value; }) ? 0 : -1;
}

void zkSimSetFactoryNull(int on)
{
    zkascl::TheEngine().SetFactoryNull(on != 0);
}

void zkSimSetCallListener(ZkSimCallListener listener, void* context)
{
    zkascl::TheEngine().SetListener(listener, context);
}

int zkSimNotifyStatus(int up)
{
    zkascl::TheEngine().SetServerStatus(up != 0);
    zkascl::Notification notification;
    notification.isStatus = true;
    notification.status = up != 0;
    return zkascl::Notify(notification);
}

int zkSimNotifySettings(const qev::AsSettings* settings)
{
    zkascl::Notification notification = zkascl::SettingsNotification(settings);
    return zkascl::Notify(notification);
}

int zkSimNotifyStatusHere(int up)
{
    zkascl::TheEngine().SetServerStatus(up != 0);
    zkascl::Notification notification;
    notification.status = up != 0;
    notification.observers = zkascl::TheEngine().Observers();
    return zkascl::CallObservers(notification);
}

int zkSimNotifySettingsHere(const qev::AsSettings* settings)
{
    zkascl::Notification notification = zkascl::SettingsNotification(settings);
    notification.observers = zkascl::TheEngine().Observers();
    return zkascl::CallObservers(notification);
}

std::uint32_t zkSimCallCount(const char* op)
{
    return zkascl::TheEngine().CallCount(op);
}

int zkSimLiveClients()
{
    return zkascl::TheEngine().LiveClients();
}

int zkSimObservers()
{
    return static_cast<int>(zkascl::TheEngine().Observers().size());
}

std::uint32_t zkSimStoreFile(char16_t* buffer, std::uint32_t units)
{
    const std::u16string path = zkascl::TheEngine().StorePath();
    if (!buffer || units <= path.size()) return static_cast<std::uint32_t>(path.size() + 1);
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = u'\0';
    return static_cast<std::uint32_t>(path.size());
}

}  // extern "C"
