#include "host/fake/fake_engine.h"

#include <gtest/gtest.h>

#include <memory>

namespace host::fake {
namespace {

class Observer final : public qev::IAsClientObs {
public:
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    std::vector<bool> statuses;

    void Destroy() override {}
    void SetServerStatus(bool up) override
    {
        std::lock_guard lock(mutex);
        threads.push_back(std::this_thread::get_id());
        statuses.push_back(up);
    }
    void OnImportSettings(const qev::AsSettings*) override
    {
        std::lock_guard lock(mutex);
        threads.push_back(std::this_thread::get_id());
    }
    std::int32_t OnNotify(std::uint32_t, void*) override { return 0; }
};

struct ClientRelease {
    void operator()(qev::IAsClient* client) const { client->Release(); }
};
using Client = std::unique_ptr<qev::IAsClient, ClientRelease>;

// The client as the add-in gets it: through the library and its factory.
Client Create(FakeLibraries& libraries)
{
    HRESULT error = S_OK;
    LibraryHandle library = libraries.Load(u"C:\\P\\zkascl.dll", false, &error);
    auto factory =
        reinterpret_cast<qev::AsCreateInstanceFn>(libraries.Symbol(library, qev::kAsCreateInstanceName, &error));
    return Client(factory ? factory(qev::kAsClientInterfaceName) : nullptr);
}

// The engine calls its observers from a thread of its own, as the product's
// engine does: the add-in's observer must carry the call to its apartment.
TEST(FakeEngine, NotifiesObserversFromItsOwnThread)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeEngine engine(calls, libraries, u"C:\\P");
    Client client = Create(libraries);
    ASSERT_TRUE(client);
    Observer kept;
    Observer dropped;
    client->Advise(&kept);
    client->Advise(&dropped);
    client->Unadvise(&dropped);

    engine.NotifyStatus(false)->Wait();
    engine.NotifySettings(qev::AsSettings{})->Wait();
    EXPECT_EQ(kept.statuses, std::vector<bool>{false});
    ASSERT_EQ(kept.threads.size(), 2u);
    EXPECT_NE(kept.threads[0], std::this_thread::get_id());
    EXPECT_NE(kept.threads[1], std::this_thread::get_id());
    EXPECT_TRUE(dropped.threads.empty());

    client->Unadvise(&kept);
    client.reset();
    auto none = engine.NotifyStatus(true);
    none->Wait();
    EXPECT_EQ(none->Observers(), 0u);
}

// What the release check reports of the engine client: an observer it does
// not hold, a slot the add-in must never call, a second Release, a call
// after the Release.
TEST(FakeEngine, CatchesMisuseOfTheClient)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeEngine engine(calls, libraries, u"C:\\P");
    qev::IAsClient* client = Create(libraries).release();
    ASSERT_TRUE(client);
    client->Init(1);
    EXPECT_EQ(client->Unadvise(nullptr), E_INVALIDARG);
    client->Reserved13();
    client->Release();
    client->Release();
    client->Init(1);
    EXPECT_EQ(engine.Faults(),
              (std::vector<std::string>{"Unadvise of an observer that engine client 1 does not hold",
                                        "slot 13 of engine client 1 called", "engine client 1 released again",
                                        "Init called on engine client 1 after its Release"}));
}

}  // namespace
}  // namespace host::fake
