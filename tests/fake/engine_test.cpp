#include "host/fake/fake_engine.h"

#include <gtest/gtest.h>

#include <memory>

namespace host::fake {
namespace {

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
