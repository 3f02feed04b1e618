// CConnect over the in-memory world, for what a scenario cannot say: host
// objects missing, variants and streams of the wrong kind, the engine state
// read at connection and the button lock's life.
#include "addin/connect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "engine/settings_stream.h"
#include "host/com_error.h"
#include "host/fake/fake_world.h"
#include "tests/support/addin_process.h"
#include "tests/unit/test_text.h"

namespace {

using host::Variant;
using host::fake::FakeWorld;
using host::fake::Marker;

class ConnectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qev::testing::ResetAddinProcess();
        m_world.SetMarker(Marker::Trace, true);
    }
    void TearDown() override
    {
        if (m_addin) m_addin->Release();
        qev::testing::ResetAddinProcess();
    }
    qev::CConnect& Addin()
    {
        if (!m_addin) m_addin = new qev::ConnectObject(m_world.Services());
        return m_addin->Connect();
    }
    HRESULT Connect() { return Addin().OnConnection(&m_world.Application(), 1, &m_world.AddInInstance()); }
    bool Traced(std::u16string_view text)
    {
        const auto writes = m_world.System().DebugWrites();
        return std::any_of(writes.begin(), writes.end(),
                           [&](const std::u16string& w) { return w.find(text) != std::u16string::npos; });
    }

    FakeWorld m_world;
    qev::ConnectObject* m_addin = nullptr;
};

TEST_F(ConnectTest, DeclinesWithoutHostObjects)
{
    struct Case {
        bool application, addInInstance;
    } const cases[] = {{false, true}, {true, false}, {false, false}};
    for (const auto& c : cases) {
        FakeWorld world;
        world.SetMarker(Marker::Trace, true);
        auto addin = host::Ref<qev::ConnectObject>::Adopt(new qev::ConnectObject(world.Services()));
        const HRESULT hr = addin->Connect().OnConnection(c.application ? &world.Application() : nullptr, 1,
                                                         c.addInInstance ? &world.AddInInstance() : nullptr);
        EXPECT_EQ(hr, S_FALSE);
        const auto writes = world.System().DebugWrites();
        ASSERT_FALSE(writes.empty());
        EXPECT_TRUE(writes.back().starts_with(u"[as][qev] error : OnConnection...app<$")) << Narrow(writes.back());
        EXPECT_TRUE(writes.back().ends_with(u">...failed\n"));
        EXPECT_EQ(world.Engine().CallCount("Init"), 0u);
        EXPECT_EQ(addin->Connect().OnStartupComplete(), S_FALSE);
        addin->Connect().OnDisconnection(0);
        addin.Reset();
        EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
    }
}

TEST_F(ConnectTest, EngineStateReadAtConnection)
{
    struct Case {
        bool serverUp;
        std::uint32_t f1, f3;
        bool antispamOn;
    } const cases[] = {{true, 0, 1, true}, {false, 0, 1, true}, {true, 1, 1, false}, {true, 0, 0, false}};
    for (const auto& c : cases) {
        FakeWorld world;
        world.SetEngineStatus(c.serverUp);
        world.SetEngineSetting(1, c.f1);
        world.SetEngineSetting(3, c.f3);
        world.SetEngineOption(qev::kOptionMoveToSpamFolder, 1);
        auto addin = host::Ref<qev::ConnectObject>::Adopt(new qev::ConnectObject(world.Services()));
        qev::CConnect& connect = addin->Connect();
        ASSERT_EQ(connect.OnConnection(&world.Application(), 1, &world.AddInInstance()), S_OK);
        EXPECT_EQ(connect.Engine().ServerStatus(), c.serverUp);
        EXPECT_EQ(connect.Engine().AntispamOn(), c.antispamOn) << c.f1 << "/" << c.f3;
        EXPECT_EQ(connect.Engine().Options().f[0], 40u);
        EXPECT_EQ(connect.Engine().Options().f[qev::kOptionMoveToSpamFolder], 1u);
        EXPECT_EQ(connect.Engine().Options().f[qev::kOptionMarkAsRead], 0u) << "an option the engine left keeps its prefill";
        EXPECT_EQ(connect.Engine().Options().f[2], 1u);
        connect.OnBeginShutdown();
        connect.OnDisconnection(0);
        addin.Reset();
    }
}

TEST_F(ConnectTest, ServerStatusTakesOnlyBooleanVariants)
{
    ASSERT_EQ(Connect(), S_OK);
    struct Case {
        Variant variant;
        bool counts;
        bool status;
    } const cases[] = {
        {Variant::Boolean(true), true, true},  {Variant::RawBool(1), true, false},
        {Variant::Boolean(true), true, true},  {Variant::Boolean(false), true, false},
        {Variant::Int(-1), false, false},      {Variant{}, false, false},
        {Variant::String(u"true"), false, false},
    };
    bool status = Addin().Engine().ServerStatus();
    for (const auto& c : cases) {
        m_world.System().ClearDebugWrites();
        EXPECT_EQ(Addin().SetServerStatus(c.variant), S_OK);
        if (c.counts) status = c.status;
        EXPECT_EQ(Addin().Engine().ServerStatus(), status);
        EXPECT_EQ(Traced(u"SetServerStatus_<"), c.counts);
    }
}

TEST_F(ConnectTest, ImportSettingsReadsOnlyFortyEightByteStreams)
{
    m_world.SetEngineSetting(1, 0);
    m_world.SetEngineSetting(3, 1);
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_TRUE(Addin().Engine().AntispamOn());

    qev::AsSettings off = qev::DefaultSettings();
    off.f[1] = 1;
    const auto packed = qev::PackSettings(off);
    auto streamOf = [&](std::size_t size) {
        std::vector<std::uint8_t> bytes(size, 0xFF);
        std::copy_n(packed.begin(), std::min(size, packed.size()), bytes.begin());
        return Variant::OfUnknown(m_world.Services().apartment.MemoryStream(bytes));
    };
    const std::pair<Variant, const char*> ignored[] = {
        {Variant{}, "empty"},
        {Variant::Int(48), "integer"},
        {Variant::String(u"settings"), "text"},
        {Variant::OfUnknown(nullptr), "null object"},
        {Variant::OfUnknown(host::Ref<host::Object>::Share(&m_world.AddInInstance())), "not a stream"},
        {streamOf(0), "0 bytes"},
        {streamOf(47), "47 bytes"},
        {streamOf(49), "49 bytes"},
        {streamOf(1 << 20), "1 MB"},
    };
    for (const auto& [variant, what] : ignored) {
        EXPECT_EQ(Addin().ImportSettings(variant), S_OK) << what;
        EXPECT_TRUE(Addin().Engine().AntispamOn()) << what;
    }
    EXPECT_EQ(Addin().ImportSettings(streamOf(48)), S_OK);
    EXPECT_FALSE(Addin().Engine().AntispamOn());

    // A stream that cannot be read is ignored like one of the wrong size, silently.
    EXPECT_EQ(Addin().ImportSettings(streamOf(48)), S_OK);
    ASSERT_FALSE(Addin().Engine().AntispamOn());
    off.f[1] = 0;
    off.f[3] = 1;
    const auto on = qev::PackSettings(off);
    m_world.System().ClearDebugWrites();
    m_world.Apartment().FailStreamReads(static_cast<HRESULT>(0x80030005u));
    EXPECT_EQ(Addin().ImportSettings(Variant::OfUnknown(m_world.Services().apartment.MemoryStream(
                  std::vector<std::uint8_t>(on.begin(), on.end())))),
              S_OK);
    EXPECT_FALSE(Addin().Engine().AntispamOn());
    EXPECT_EQ(m_world.System().DebugWrites(), std::vector<std::u16string>{});
}

TEST_F(ConnectTest, NotificationsInFlightDuringShutdown)
{
    // The engine's thread is on its way to the add-in when Outlook shuts the
    // add-in down: the observer goes, the late calls find nothing to do.
    for (int round = 0; round < 20; ++round) {
        FakeWorld world;
        auto addin = host::Ref<qev::ConnectObject>::Adopt(new qev::ConnectObject(world.Services()));
        qev::CConnect& connect = addin->Connect();
        ASSERT_EQ(connect.OnConnection(&world.Application(), 1, &world.AddInInstance()), S_OK);
        ASSERT_EQ(connect.OnStartupComplete(), S_OK);
        const auto status = world.Engine().NotifyStatus(false);
        qev::AsSettings settings = qev::DefaultSettings();
        const auto imported = world.Engine().NotifySettings(settings);
        connect.OnBeginShutdown();
        world.Quit();
        connect.OnDisconnection(0);
        EXPECT_TRUE(world.Apartment().PumpUntil([&] { return status->Done() && imported->Done(); }));
        addin.Reset();
        EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
    }
}

TEST_F(ConnectTest, DllDirectoryPointsAtTheAddinWhileTheEngineLoads)
{
    // The process's own setting comes back when it fits 260 characters; a
    // longer one cannot be read back, and the default search order returns.
    const std::u16string fits = u"C:\\" + std::u16string(257, u'd');
    const std::u16string tooLong = fits + u"x";
    struct Case {
        std::optional<std::u16string> before;
        bool exports;
        std::optional<std::u16string> after;
    } const cases[] = {{std::nullopt, true, std::nullopt},
                       {u"C:\\Tools", true, u"C:\\Tools"},
                       {u"C:\\Tools", false, u"C:\\Tools"},
                       {fits, true, fits},
                       {tooLong, true, std::nullopt}};
    for (const auto& c : cases) {
        FakeWorld world;
        world.Libraries().SetDllDirectory(c.before);
        world.Libraries().SetDllDirectoryExports(c.exports);
        world.Libraries().ClearEvents();
        auto addin = host::Ref<qev::ConnectObject>::Adopt(new qev::ConnectObject(world.Services()));
        ASSERT_EQ(addin->Connect().OnConnection(&world.Application(), 1, &world.AddInInstance()), S_OK);
        EXPECT_EQ(world.Libraries().DllDirectory(), c.after) << (c.before ? c.before->size() : 0);
        const auto events = world.Libraries().Events();
        const auto set = std::find(events.begin(), events.end(),
                                   "SetDllDirectoryW \"C:\\Program Files\\Marlowcrest\\Desktop\"");
        EXPECT_EQ(set != events.end(), c.exports);
        if (c.exports) {
            const auto load = std::find_if(events.begin(), events.end(),
                                           [](const std::string& e) { return e.find("zkascl.dll") != std::string::npos; });
            EXPECT_LT(set, load) << "the directory is set before the engine library loads";
        }
        EXPECT_EQ(addin->Connect().Engine().AsClientPath(), u"C:\\Program Files\\Marlowcrest\\Desktop\\zkascl.dll");
        addin->Connect().OnBeginShutdown();
        addin->Connect().OnDisconnection(0);
        addin.Reset();
    }
}

// The engine is looked for beside the module named "qev.dll"; without one
// (the add-in's file renamed), beside the host program.
TEST_F(ConnectTest, EngineBesideTheHostProgramWhenNoAddinModule)
{
    m_world.SetAddinPath(std::nullopt);
    EXPECT_EQ(Connect(), S_FALSE) << "no engine beside OUTLOOK.EXE";
    EXPECT_EQ(Addin().Engine().AsClientPath(), u"C:\\Program Files\\Microsoft Office\\root\\Office16\\zkascl.dll");
    EXPECT_TRUE(Traced(u"_asClient.Load() failed"));
}

TEST_F(ConnectTest, ButtonLockIsDeletedOnceWhateverTheShutdownOrder)
{
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(Addin().OnStartupComplete(), S_OK);
    EXPECT_TRUE(Addin().ButtonLock().Initialised());
    m_world.Quit();
    Addin().OnDisconnection(0);
    Addin().OnBeginShutdown();
    Addin().OnDisconnection(1);
    EXPECT_FALSE(Addin().ButtonLock().Initialised());
    EXPECT_EQ(m_world.Engine().CallCount("Shutdown"), 1u);
    EXPECT_EQ(m_world.Engine().CallCount("Release"), 1u);
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

TEST_F(ConnectTest, UnloadedByTheUserWhileOutlookRuns)
{
    // The COM add-ins dialog unloads the add-in: Outlook calls only
    // OnDisconnection and lets the object go. The engine's registration keeps
    // it alive until Outlook quits; the Quit event then takes everything down,
    // the object's last reference going while its own handler runs.
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(Addin().OnStartupComplete(), S_OK);
    Addin().OnDisconnection(1);
    std::exchange(m_addin, nullptr)->Release();
    m_world.Quit();
    EXPECT_EQ(m_world.Engine().CallCount("Release"), 1u);
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});

    // Before start-up nothing holds the object: letting it go ends the
    // engine client with it.
    FakeWorld world;
    auto addin = host::Ref<qev::ConnectObject>::Adopt(new qev::ConnectObject(world.Services()));
    ASSERT_EQ(addin->Connect().OnConnection(&world.Application(), 1, &world.AddInInstance()), S_OK);
    addin->Connect().OnDisconnection(1);
    addin.Reset();
    EXPECT_EQ(world.Engine().CallCount("Release"), 1u);
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
}

TEST(EventSink, SubscriptionRules)
{
    FakeWorld world;
    qev::DispEventSink sink(host::EventInterface::ApplicationEvents, {});
    EXPECT_EQ(sink.Cookie(), qev::kNoCookie);
    EXPECT_EQ(sink.Advise(nullptr), E_POINTER) << "a null source fails with a code and raises nothing";
    EXPECT_EQ(sink.Advise(&world.Application()), S_OK);
    EXPECT_NE(sink.Cookie(), qev::kNoCookie);
    try {
        sink.Advise(&world.Application());
        FAIL() << "a second subscription must raise";
    } catch (const qev::SinkError& e) {
        EXPECT_EQ(e.Error(), E_FAIL);
    }
    EXPECT_EQ(sink.Unadvise(), S_OK);
    EXPECT_EQ(sink.Cookie(), qev::kNoCookie);
    EXPECT_EQ(sink.Unadvise(), S_FALSE);

    qev::DispEventSink explorerSink(host::EventInterface::ExplorerEvents, {});
    EXPECT_THROW(explorerSink.Advise(&world.Application()), host::ComError) << "the application has no explorer events";
    EXPECT_EQ(explorerSink.Cookie(), qev::kNoCookie);
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
}

}  // namespace
