// The engine client stand-in, loaded by full path and called through the
// binary interface the add-in uses, with its control surface: what the
// transcripts and the add-in's threading rely on.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "engine/as_client.h"
#include "engine/as_obs.h"
#include "engine/settings_stream.h"
#include "host/win/win_apartment.h"
#include "host/win/win_libraries.h"
#include "host/win/win_outlook.h"
#include "standins/win/zkascl/zk_sim_control.h"
#include "tests/win/com_test_objects.h"

namespace {

const wchar_t* W(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Where the build puts the stand-ins (QEV_STANDIN_RELATIVE: from this program's folder).
std::u16string StandinFolder()
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::u16string folder(reinterpret_cast<const char16_t*>(exe));
    folder.resize(folder.find_last_of(u'\\') + 1);
    for (const char c : std::string(QEV_STANDIN_RELATIVE)) folder += c == '/' ? u'\\' : static_cast<char16_t>(c);
    return folder + u"\\";
}

// A folder of its own for one test, holding copies of stand-ins; emptied and
// removed afterwards as far as nothing holds its files.
class TempFolder {
public:
    TempFolder()
    {
        static std::atomic<int> counter{0};
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const std::string unique =
            "qev_standins_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) + "\\";
        m_path = reinterpret_cast<const char16_t*>(temp) + std::u16string(unique.begin(), unique.end());
        CreateDirectoryW(W(m_path), nullptr);
    }
    ~TempFolder()
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(W(m_path + u"*"), &found);
        while (search != INVALID_HANDLE_VALUE) {
            DeleteFileW(W(m_path + reinterpret_cast<const char16_t*>(found.cFileName)));
            if (!FindNextFileW(search, &found)) break;
        }
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        RemoveDirectoryW(W(m_path));
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::u16string& Path() const { return m_path; }
    // Copies a stand-in here, under its own name or another; the copy's path.
    std::u16string Copy(const std::u16string& name, const std::u16string& as = {})
    {
        const std::u16string target = m_path + (as.empty() ? name : as);
        EXPECT_TRUE(CopyFileW(W(StandinFolder() + name), W(target), FALSE)) << GetLastError();
        return target;
    }

private:
    std::u16string m_path;
};

// One loaded library and its exports by name, loaded as the add-in loads it.
class Library {
public:
    explicit Library(const std::u16string& path) : m_module(m_libraries.Load(path, false, nullptr))
    {
        EXPECT_NE(m_module, nullptr);
    }
    ~Library() { m_libraries.Free(m_module); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    template <class Fn>
    Fn Get(const char* name, HRESULT* error = nullptr)
    {
        return reinterpret_cast<Fn>(m_libraries.Symbol(m_module, name, error));
    }
    host::LibraryHandle Module() const { return m_module; }

private:
    host::win::WinLibraries m_libraries;
    host::LibraryHandle m_module;
};

// The engine client library with its control surface.
struct Engine : Library {
    explicit Engine(const std::u16string& path) : Library(path) {}
    qev::IAsClient* Create(const char* name = qev::kAsClientInterfaceName)
    {
        return Get<qev::AsCreateInstanceFn>(qev::kAsCreateInstanceName)(name);
    }
    ZkSimResetFn reset = Get<ZkSimResetFn>(zksim::kReset);
    ZkSimSetServerStatusFn setServerStatus = Get<ZkSimSetServerStatusFn>(zksim::kSetServerStatus);
    ZkSimSetSettingFn setSetting = Get<ZkSimSetSettingFn>(zksim::kSetSetting);
    ZkSimSetOptionFn setOption = Get<ZkSimSetOptionFn>(zksim::kSetOption);
    ZkSimSetValueFn setValue = Get<ZkSimSetValueFn>(zksim::kSetValue);
    ZkSimSetFactoryNullFn setFactoryNull = Get<ZkSimSetFactoryNullFn>(zksim::kSetFactoryNull);
    ZkSimSetCallListenerFn setCallListener = Get<ZkSimSetCallListenerFn>(zksim::kSetCallListener);
    ZkSimNotifyStatusFn notifyStatus = Get<ZkSimNotifyStatusFn>(zksim::kNotifyStatus);
    ZkSimNotifySettingsFn notifySettings = Get<ZkSimNotifySettingsFn>(zksim::kNotifySettings);
    ZkSimCallCountFn callCount = Get<ZkSimCallCountFn>(zksim::kCallCount);
    ZkSimLiveClientsFn liveClients = Get<ZkSimLiveClientsFn>(zksim::kLiveClients);
    ZkSimObserversFn observers = Get<ZkSimObserversFn>(zksim::kObservers);
    ZkSimStoreFileFn storeFile = Get<ZkSimStoreFileFn>(zksim::kStoreFile);
};

// The factory makes clients for the add-in's interface name only. (A factory
// that makes none, and clients left alive, are the engine_null_declines
// scenario and every Wine run's release check.)
TEST(EngineStandin, FactoryMakesClientsForItsInterfaceOnly)
{
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    EXPECT_EQ(engine.Create("IAsClient.1"), nullptr);
    EXPECT_EQ(engine.Create(nullptr), nullptr);
}

// The calls no scenario makes reach the listener as transcript lines, text
// escaped; Init, the settings, options, values, Shutdown and Release are in
// the Wine scenarios' transcripts, compared line by line with the native
// runner's.
TEST(EngineStandin, EveryCallReachesTheListenerAsATranscriptLine)
{
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    std::vector<std::string> lines;
    engine.setCallListener(
        [](void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->emplace_back(line); },
        &lines);
    qev::IAsClient* client = engine.Create();
    ASSERT_NE(client, nullptr);
    client->IsSpam(0, u"Subject: \"a\\b\"\r\n\r\nt\tab \u00e9\U0001F600 \x01");
    client->AddSpammer(0, u"", true);
    client->ShowSettings(0, 0);
    client->Reserved13();  // a slot the add-in is not meant to call
    client->Release();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "IsSpam 0 \"Subject: \"a\\\\b\"\\r\\n\\r\\nt\\x09ab \xC3\xA9\xF0\x9F\x98\x80 \\x01\"",
                         "AddSpammer 0 \"\" true",
                         "ShowSettings 0 0",
                         "Reserved13",
                         "Release",
                     }));
    EXPECT_EQ(engine.callCount("Reserved13"), 1u);

    engine.reset(0);  // takes the listener away and forgets the counts
    engine.Create()->Release();
    EXPECT_EQ(lines.size(), 5u);
    EXPECT_EQ(engine.callCount("Release"), 1u);
}

// An observer as the engine sees one: notes each call and its thread.
struct TestObserver final : qev::IAsClientObs {
    void Destroy() override {}
    void SetServerStatus(bool up) override { calls.push_back({up ? "up" : "down", GetCurrentThreadId()}); }
    void OnImportSettings(const qev::AsSettings* settings) override
    {
        calls.push_back({settings ? "f5=" + std::to_string(settings->f[5]) : "null", GetCurrentThreadId()});
    }
    std::int32_t OnNotify(std::uint32_t, void*) override { return 0; }
    std::vector<std::pair<std::string, DWORD>> calls;
    std::vector<std::string> What() const
    {
        std::vector<std::string> what;
        for (const auto& call : calls) what.push_back(call.first);
        return what;
    }
};

TEST(EngineStandin, ObserversAreCalledFromTheEnginesOwnThread)
{
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    qev::IAsClient* client = engine.Create();
    TestObserver a;
    TestObserver b;
    client->Advise(&a);
    client->Advise(&b);
    client->Advise(&a);  // once is enough
    EXPECT_EQ(engine.observers(), 2);

    EXPECT_EQ(engine.notifyStatus(0), 2);  // returns once both were called
    qev::AsSettings settings = qev::DefaultSettings();
    settings.f[5] = 2;
    EXPECT_EQ(engine.notifySettings(&settings), 2);
    EXPECT_EQ(engine.notifySettings(nullptr), 2);
    EXPECT_EQ(a.What(), (std::vector<std::string>{"down", "f5=2", "null"}));
    for (const auto& call : a.calls) EXPECT_NE(call.second, GetCurrentThreadId());
    bool up = true;
    client->GetServerStatus(&up);
    EXPECT_FALSE(up) << "the engine reports the status it notified";

    EXPECT_EQ(client->Unadvise(&a), 0);
    EXPECT_NE(client->Unadvise(&a), 0);
    EXPECT_EQ(engine.notifyStatus(1), 1);
    EXPECT_EQ(a.calls.size(), 3u);
    EXPECT_EQ(b.What().back(), "up");
    client->Unadvise(&b);
    client->Release();
}

// The add-in's own observer over the real apartment: the engine's thread
// reaches the add-in object on this thread, which waits inside the engine's
// notification call as the simulated Outlook's thread does.
TEST(EngineStandin, NotificationsReachTheAddinThroughItsApartment)
{
    const testcom::ComScope com;
    ASSERT_EQ(com.Result(), S_OK);
    TempFolder folder;
    Engine engine(folder.Copy(u"zkascl.dll"));
    host::win::WinApartment apartment;
    testcom::TestAddin addin;
    qev::IAsClient* client = engine.Create();
    const host::Ref<host::Object> identity = host::win::WrapDispatch(addin.object->Dispatch());
    qev::AsObs* observer = qev::CreateObserver(client, apartment, identity.Get());
    ASSERT_NE(observer, nullptr);

    EXPECT_EQ(engine.notifyStatus(1), 1);
    EXPECT_EQ(addin.status.vt, VT_BOOL);
    EXPECT_EQ(addin.status.boolVal, VARIANT_TRUE);
    qev::AsSettings settings = qev::DefaultSettings();
    settings.f[5] = 2;
    EXPECT_EQ(engine.notifySettings(&settings), 1);
    const auto packed = qev::PackSettings(settings);
    EXPECT_EQ(addin.imported, std::vector<std::uint8_t>(packed.begin(), packed.end()));
    ASSERT_EQ(addin.object->Calls().size(), 2u);
    for (const auto& call : addin.object->Calls()) EXPECT_EQ(call.thread, GetCurrentThreadId());

    observer->Destroy();  // unadvises and revokes
    EXPECT_EQ(engine.observers(), 0);
    client->Release();
}

}  // namespace
