#include "host/fake/fake_world.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "host/com_error.h"
#include "host/fake/fake_text.h"

namespace host::fake {
namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& needle)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(needle) != std::string::npos; });
}

// A small add-in over the world's services: it holds the application,
// subscribes to Quit, creates the engine client and an observer that reaches
// it through the apartment, as the real add-in does.
class MiniAddin final : public Dispatch, public EventSink, public qev::IAsClientObs {
public:
    explicit MiniAddin(FakeWorld& world) : m_world(world) {}

    std::vector<std::thread::id> statusThreads;
    std::vector<bool> statuses;
    std::vector<std::uint64_t> streamSizes;
    int quits = 0;

    void Connect()
    {
        Services& services = m_world.Services();
        m_app = QueryAs<Application>(&m_world.Application());
        m_quitCookie = m_app->Advise(EventInterface::ApplicationEvents, this);
        HRESULT error = S_OK;
        m_library = services.libraries.Load(m_world.Engine().LibraryPath(), false, &error);
        auto factory = reinterpret_cast<qev::AsCreateInstanceFn>(
            services.libraries.Symbol(m_library, qev::kAsCreateInstanceName, &error));
        m_client = factory(qev::kAsClientInterfaceName);
        services.apartment.Register(this, m_gitCookie);
        m_client->Advise(this);
    }

    void Shutdown()
    {
        m_client->Unadvise(this);
        m_world.Services().apartment.Revoke(m_gitCookie);
        m_client->Shutdown();
        m_client->Release();
        m_world.Services().libraries.Free(m_library);
        m_app->Unadvise(EventInterface::ApplicationEvents, m_quitCookie);
        m_app.Reset();
    }

    // Object / Dispatch: the add-in's late-bound face.
    std::uint32_t AddRef() noexcept override { return ++m_refs; }
    std::uint32_t Release() noexcept override { return --m_refs; }
    Object* Query(Iface iface) noexcept override
    {
        if (iface != Iface::Unknown && iface != Iface::Dispatch) return nullptr;
        AddRef();
        return static_cast<Dispatch*>(this);
    }
    bool IdOfName(std::u16string_view name, std::int32_t& dispId) override
    {
        dispId = name == u"SetServerStatus" ? 1 : 2;
        return true;
    }
    HRESULT Invoke(std::int32_t dispId, std::span<const Variant> args) override
    {
        if (dispId == 1) {
            statusThreads.push_back(std::this_thread::get_id());
            statuses.push_back(args[0].boolValue == kVariantTrue);
        } else {
            Ref<Stream> stream = QueryAs<Stream>(args[0].object.Get());
            streamSizes.push_back(stream ? stream->Size() : 0);
        }
        return S_OK;
    }

    // EventSink
    void OnEvent(std::int32_t dispId, std::span<const Variant>) override { quits += dispId == kDispIdQuit; }

    // IAsClientObs: on the engine's thread.
    void Destroy() override {}
    void SetServerStatus(bool up) override
    {
        auto call = m_world.Services().apartment.Enter(m_gitCookie);
        std::int32_t id = 0;
        if (call && call->IdOfName(u"SetServerStatus", id)) call->Invoke(id, Variant::Boolean(up));
    }
    void OnImportSettings(const qev::AsSettings*) override
    {
        auto call = m_world.Services().apartment.Enter(m_gitCookie);
        std::int32_t id = 0;
        const std::uint8_t record[48] = {};
        if (call && call->IdOfName(u"ImportSettings", id))
            call->Invoke(id, Variant::OfUnknown(Ref<Object>(m_world.Services().apartment.MemoryStream(record))));
    }
    std::int32_t OnNotify(std::uint32_t, void*) override { return 0; }

private:
    FakeWorld& m_world;
    std::uint32_t m_refs = 1;
    Ref<Application> m_app;
    std::uint32_t m_quitCookie = 0;
    LibraryHandle m_library = nullptr;
    qev::IAsClient* m_client = nullptr;
    std::uint32_t m_gitCookie = 0;
};

TEST(FakeWorld, CarriesEngineNotificationsToTheAddinAndAccountsForEverything)
{
    FakeWorld world;
    MiniAddin addin(world);
    addin.Connect();

    EXPECT_TRUE(world.NotifyStatus(false));
    ASSERT_EQ(addin.statuses, std::vector<bool>{false});
    EXPECT_EQ(addin.statusThreads[0], std::this_thread::get_id());
    EXPECT_TRUE(world.NotifySettings({{1, 0}, {3, 1}}, 12));
    EXPECT_TRUE(world.NotifySettings({{1, 0}, {3, 1}}));
    EXPECT_EQ(addin.streamSizes, (std::vector<std::uint64_t>{12, 48}));
    world.Quit();
    EXPECT_EQ(addin.quits, 1);

    const std::vector<std::string> open = world.ReleaseProblems();
    for (const char* leftover : {"Application \"Application\": 1 reference not released",
                                 "subscription left: Application ApplicationEvents cookie 1",
                                 "interface table entry left: cookie", "engine client not released: 1 live",
                                 "engine observer not unadvised: 1 advised", "engine library still loaded: 1 load"})
        EXPECT_TRUE(Contains(open, leftover)) << leftover;
    EXPECT_EQ(open.size(), 6u);

    addin.Shutdown();
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
    EXPECT_EQ(world.Engine().CallCount("Advise"), 1u);
}

TEST(FakeWorld, EngineStatementsReachTheClientAndTheSweepCanFailAnyCall)
{
    struct Case {
        EngineLibrary library;
        bool client;
    };
    for (const Case c : {Case{EngineLibrary::Present, true}, Case{EngineLibrary::Absent, false},
                         Case{EngineLibrary::NoFactory, false}, Case{EngineLibrary::NullFactory, false}}) {
        FakeWorld world;
        world.SetEngineLibrary(c.library);
        world.SetAddinPath(u"D:\\Elsewhere\\qev.dll");
        HRESULT error = S_OK;
        Libraries& libraries = world.Services().libraries;
        LibraryHandle library = libraries.Load(u"D:\\Elsewhere\\zkascl.dll", false, &error);
        auto factory = library ? reinterpret_cast<qev::AsCreateInstanceFn>(
                                     libraries.Symbol(library, qev::kAsCreateInstanceName, &error))
                               : nullptr;
        qev::IAsClient* client = factory ? factory(qev::kAsClientInterfaceName) : nullptr;
        EXPECT_EQ(client != nullptr, c.client);
        if (client) client->Release();
        if (library) libraries.Free(library);
        EXPECT_TRUE(world.ReleaseProblems().empty());
    }

    // Every host call can be made to fail; the world says where it struck.
    std::vector<std::string> struck;
    for (std::uint64_t n = 1;; ++n) {
        FakeWorld fresh;
        fresh.SetOutlookVersion(u"12.0.4518");
        fresh.Calls().FailAt(n, E_FAIL);
        bool failed = false;
        Ref<Application> app = QueryAs<Application>(&fresh.Application());
        failed = !app;
        if (app) {
            try {
                app->Version();
                Ref<Explorer> explorer = app->ExplorerItem(app->ExplorerCount());
            } catch (const ComError& e) {
                failed = e.Error() == E_FAIL;
            }
        }
        if (!fresh.Calls().Fired()) break;
        EXPECT_TRUE(failed) << n;
        struck.push_back(fresh.Calls().FiredAt());
        app.Reset();
        EXPECT_TRUE(fresh.ReleaseProblems().empty()) << n;
    }
    EXPECT_EQ(struck, (std::vector<std::string>{"Application.QueryInterface #1", "Application.Version #2",
                                                "Explorers.Count #3", "Explorers.Item #4"}));
}

}  // namespace
}  // namespace host::fake
