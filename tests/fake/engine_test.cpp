#include "host/fake/fake_engine.h"

#include <gtest/gtest.h>

#include "host/fake/fake_text.h"

namespace host::fake {
namespace {

class Observer final : public qev::IAsClientObs {
public:
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    std::vector<bool> statuses;
    std::vector<std::uint32_t> settingsF1;

    void Destroy() override {}
    void SetServerStatus(bool up) override
    {
        std::lock_guard lock(mutex);
        threads.push_back(std::this_thread::get_id());
        statuses.push_back(up);
    }
    void OnImportSettings(const qev::AsSettings* settings) override
    {
        std::lock_guard lock(mutex);
        threads.push_back(std::this_thread::get_id());
        settingsF1.push_back(settings->f[1]);
    }
    std::int32_t OnNotify(std::uint32_t, void*) override { return 0; }
};

// The client as the add-in gets it: through the library and its factory.
qev::IAsClient* Create(FakeLibraries& libraries, const std::u16string& path, HRESULT* error = nullptr)
{
    HRESULT ignored = S_OK;
    LibraryHandle library = libraries.Load(path, false, error ? error : &ignored);
    if (!library) return nullptr;
    auto factory =
        reinterpret_cast<qev::AsCreateInstanceFn>(libraries.Symbol(library, qev::kAsCreateInstanceName, &ignored));
    if (!factory) {
        if (error) *error = ignored;
        return nullptr;
    }
    return factory(qev::kAsClientInterfaceName);
}

TEST(FakeEngine, TheLibraryIsWhatTheStateSays)
{
    struct Case {
        EngineLibrary library;
        HRESULT error;  // of loading or of the factory lookup
        bool client;
    };
    const Case cases[] = {
        {EngineLibrary::Present, S_OK, true},
        {EngineLibrary::Absent, kHrModNotFound, false},
        {EngineLibrary::NoFactory, kHrProcNotFound, false},
        {EngineLibrary::NullFactory, S_OK, false},
    };
    for (const Case& c : cases) {
        HostCalls calls;
        FakeLibraries libraries(calls);
        FakeEngine engine(calls, libraries, u"C:\\P");
        engine.SetLibrary(c.library);
        HRESULT error = S_OK;
        qev::IAsClient* client = Create(libraries, u"C:\\P\\zkascl.dll", &error);
        const int index = static_cast<int>(&c - cases);
        EXPECT_EQ(error, c.error) << index;
        EXPECT_EQ(client != nullptr, c.client) << index;
        EXPECT_EQ(engine.LiveClients(), c.client ? 1u : 0u) << index;
        if (client) client->Release();
    }

    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeEngine engine(calls, libraries, u"C:\\P");
    HRESULT error = S_OK;
    auto factory = reinterpret_cast<qev::AsCreateInstanceFn>(
        libraries.Symbol(libraries.Load(u"C:\\P\\zkascl.dll", false, &error), qev::kAsCreateInstanceName, &error));
    EXPECT_EQ(factory("IAsClient.1"), nullptr);
    EXPECT_EQ(engine.FactoryCalls(), std::vector<std::string>{"asCreateInstance \"IAsClient.1\""});
}

TEST(FakeEngine, AnswersFromItsStateAndKeepsValuesAcrossClients)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeEngine engine(calls, libraries, u"C:\\P");
    engine.SetServerStatus(false);
    engine.SetSetting(1, 0);
    engine.SetSetting(3, 9);
    engine.SetOption(qev::kOptionMarkAsRead, 1);
    engine.SetValue(u"BarTop", 77);

    qev::IAsClient* client = Create(libraries, u"C:\\P\\zkascl.dll");
    ASSERT_TRUE(client);
    qev::AsSettings first{};
    qev::AsSettings second{};
    for (std::uint32_t& f : first.f) f = 5;
    for (std::uint32_t& f : second.f) f = 5;
    client->GetSettings(&first, &second);
    EXPECT_EQ(first.f[1], 0u);
    EXPECT_EQ(first.f[3], 9u);
    EXPECT_EQ(first.f[2], 5u);   // not named: the prefill stays
    EXPECT_EQ(second.f[1], 5u);  // only the first record is written
    bool up = true;
    client->GetServerStatus(&up);
    EXPECT_FALSE(up);
    qev::AsOptions options{};
    options.f[4] = 3;
    client->GetOptions(&options);
    EXPECT_EQ(options.f[4], 3u);
    EXPECT_EQ(options.f[5], 1u);

    std::uint32_t value = 1234;
    client->GetValue(u"BarPos", &value, true);
    EXPECT_EQ(value, 1234u);  // none stored: untouched
    client->GetValue(u"BarTop", &value, true);
    EXPECT_EQ(value, 77u);
    client->SetValue(u"BarPos", 6, true);
    client->Shutdown();
    client->Release();

    qev::IAsClient* next = Create(libraries, u"C:\\P\\zkascl.dll");
    ASSERT_TRUE(next);
    value = 0;
    next->GetValue(u"BarPos", &value, true);
    EXPECT_EQ(value, 6u);
    next->Release();
    EXPECT_EQ(engine.ClientsMade(), 2u);
    EXPECT_EQ(engine.LiveClients(), 0u);
    EXPECT_TRUE(engine.Faults().empty());
}

TEST(FakeEngine, RecordsEveryCallInOrderAndCatchesMisuse)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeEngine engine(calls, libraries, u"C:\\P");
    std::vector<std::string> heard;
    engine.OnCall([&](const EngineCall& call) { heard.push_back(call.Render(Utf8)); });
    qev::IAsClient* client = Create(libraries, u"C:\\P\\zkascl.dll");
    ASSERT_TRUE(client);
    std::uint32_t value = 0;
    client->Init(1);
    client->SetConfigFile(u"qev.xml", true);
    client->GetValue(u"zkch", &value, false);
    client->IsSpam(0, u"Subject: hi\r\n\r\nbody");
    client->ShowSettings(0, 0);
    client->Reserved13();
    client->Release();
    client->Release();
    client->Init(1);
    EXPECT_EQ(heard, (std::vector<std::string>{
                         "Init 1",
                         "SetConfigFile \"qev.xml\" true",
                         "GetValue \"zkch\" * false",
                         "IsSpam 0 \"Subject: hi\r\n\r\nbody\"",
                         "ShowSettings 0 0",
                         "Reserved13",
                         "Release",
                         "Release",
                         "Init 1",
                     }));
    EXPECT_EQ(engine.CallCount("Init"), 2u);
    EXPECT_EQ(engine.CallCount("Release"), 2u);
    EXPECT_EQ(engine.CallCount("NotSpam"), 0u);
    EXPECT_EQ(engine.Faults(),
              (std::vector<std::string>{"slot 13 of engine client 1 called", "engine client 1 released again",
                                        "Init called on engine client 1 after its Release"}));
}

TEST(FakeEngine, AnInjectedFailureIsTheCallsResultAndChangesNothing)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeEngine engine(calls, libraries, u"C:\\P");
    engine.SetValue(u"BarLeft", 5);
    qev::IAsClient* client = Create(libraries, u"C:\\P\\zkascl.dll");
    ASSERT_TRUE(client);
    calls.FailAt(calls.Count() + 1, E_FAIL);
    std::uint32_t value = 0;
    EXPECT_EQ(client->GetValue(u"BarLeft", &value, true), E_FAIL);
    EXPECT_EQ(value, 0u);
    calls.FailAt(calls.Count() + 1, E_FAIL);
    EXPECT_EQ(client->SetValue(u"BarLeft", 9, true), E_FAIL);
    EXPECT_EQ(engine.Value(u"BarLeft"), 5u);
    EXPECT_EQ(engine.CallCount("SetValue"), 1u);  // the add-in made the call all the same
    client->Release();
}

TEST(FakeEngine, NotifiesObserversFromItsOwnThread)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeEngine engine(calls, libraries, u"C:\\P");
    qev::IAsClient* client = Create(libraries, u"C:\\P\\zkascl.dll");
    ASSERT_TRUE(client);
    Observer kept;
    Observer dropped;
    client->Advise(&kept);
    client->Advise(&dropped);
    client->Unadvise(&dropped);
    EXPECT_EQ(engine.Observers(), 1u);

    auto status = engine.NotifyStatus(false);
    status->Wait();
    EXPECT_EQ(status->Observers(), 1u);
    EXPECT_FALSE(engine.ServerStatus());
    qev::AsSettings settings{};
    settings.f[1] = 1;
    auto imported = engine.NotifySettings(settings);
    imported->Wait();
    EXPECT_EQ(engine.State().settings.at(1), 1u);

    EXPECT_EQ(kept.statuses, std::vector<bool>{false});
    EXPECT_EQ(kept.settingsF1, std::vector<std::uint32_t>{1});
    ASSERT_EQ(kept.threads.size(), 2u);
    EXPECT_NE(kept.threads[0], std::this_thread::get_id());
    EXPECT_NE(kept.threads[1], std::this_thread::get_id());
    EXPECT_TRUE(dropped.threads.empty());

    EXPECT_EQ(client->Unadvise(&dropped), E_INVALIDARG);
    client->Unadvise(&kept);
    client->Release();
    auto none = engine.NotifyStatus(true);
    none->Wait();
    EXPECT_EQ(none->Observers(), 0u);
    EXPECT_EQ(engine.Faults().size(), 1u);  // the second Unadvise of the dropped observer
}

}  // namespace
}  // namespace host::fake
