#include "host/fake/fake_world.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace host::fake {
namespace {

class Addin final : public Dispatch, public EventSink, public qev::IAsClientObs {
public:
    std::uint32_t AddRef() noexcept override { return ++m_refs; }
    std::uint32_t Release() noexcept override { return --m_refs; }
    Object* Query(Iface iface) noexcept override
    {
        if (iface != Iface::Unknown && iface != Iface::Dispatch) return nullptr;
        AddRef();
        return static_cast<Dispatch*>(this);
    }
    bool IdOfName(std::u16string_view, std::int32_t&) override { return false; }
    HRESULT Invoke(std::int32_t, std::span<const Variant>) override { return S_OK; }
    void OnEvent(std::int32_t, std::span<const Variant>) override {}
    void Destroy() override {}
    void SetServerStatus(bool) override {}
    void OnImportSettings(const qev::AsSettings*) override {}
    std::int32_t OnNotify(std::uint32_t, void*) override { return 0; }

private:
    std::uint32_t m_refs = 1;
};

// `expect released` and every sweep rest on this: each kind of thing an
// add-in can leave behind (a reference, a subscription, an interface-table
// entry, the engine's client, its observer, the library) is named until it is
// given back.
TEST(FakeWorld, ReleaseCheckNamesEveryKindOfLeftover)
{
    FakeWorld world;
    Addin addin;
    Services& services = world.Services();
    Ref<Application> app = QueryAs<Application>(&world.Application());
    const std::uint32_t quitCookie = app->Advise(EventInterface::ApplicationEvents, &addin);
    std::uint32_t gitCookie = 0;
    ASSERT_EQ(services.apartment.Register(&addin, gitCookie), S_OK);
    HRESULT error = S_OK;
    LibraryHandle library = services.libraries.Load(world.Engine().LibraryPath(), false, &error);
    auto factory = reinterpret_cast<qev::AsCreateInstanceFn>(
        services.libraries.Symbol(library, qev::kAsCreateInstanceName, &error));
    ASSERT_TRUE(factory);
    qev::IAsClient* client = factory(qev::kAsClientInterfaceName);
    ASSERT_TRUE(client);
    client->Advise(&addin);

    const std::vector<std::string> open = world.ReleaseProblems();
    for (const char* leftover : {"Application \"Application\": 1 reference not released",
                                 "subscription left: Application ApplicationEvents cookie 1",
                                 "interface table entry left: cookie", "engine client not released: 1 live",
                                 "engine observer not unadvised: 1 advised", "engine library still loaded: 1 load"}) {
        EXPECT_TRUE(std::any_of(open.begin(), open.end(), [&](const std::string& line) {
            return line.find(leftover) != std::string::npos;
        })) << leftover;
    }
    EXPECT_EQ(open.size(), 6u);

    client->Unadvise(&addin);
    client->Shutdown();
    client->Release();
    services.libraries.Free(library);
    services.apartment.Revoke(gitCookie);
    app->Unadvise(EventInterface::ApplicationEvents, quitCookie);
    app.Reset();
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace host::fake
