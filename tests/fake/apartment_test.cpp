#include "host/fake/fake_apartment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "host/com_error.h"

namespace host::fake {
namespace {

// Stands for the add-in object: records the thread each call runs on.
class AddinObject final : public Dispatch {
public:
    std::atomic<std::uint32_t> refs{1};
    std::vector<std::thread::id> invokedOn;
    std::vector<std::int32_t> arguments;

    std::uint32_t AddRef() noexcept override { return ++refs; }
    std::uint32_t Release() noexcept override { return --refs; }
    Object* Query(Iface iface) noexcept override
    {
        if (iface != Iface::Unknown && iface != Iface::Dispatch) return nullptr;
        AddRef();
        return this;
    }
    bool IdOfName(std::u16string_view name, std::int32_t& dispId) override
    {
        if (name != u"SetServerStatus") return false;
        dispId = 7;
        return true;
    }
    HRESULT Invoke(std::int32_t dispId, std::span<const Variant> args) override
    {
        invokedOn.push_back(std::this_thread::get_id());
        if (dispId == 99) throw std::runtime_error("escaped");
        arguments.push_back(args.empty() ? -1 : args[0].boolValue);
        return S_FALSE;
    }
};

// A single-threaded apartment as COM runs one: a call from another thread
// through the global interface table runs on the apartment's thread only
// while that thread pumps, the caller waits for it, and every step (the
// proxy's release included) is made from a thread that entered COM.
TEST(FakeApartment, CarriesAnotherThreadsCallToThePumpingThreadAndTheCallerWaits)
{
    Ledger ledger;
    HostCalls calls;
    FakeApartment apartment(ledger, calls);
    AddinObject addin;
    std::uint32_t cookie = 0;
    ASSERT_EQ(apartment.Register(&addin, cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(addin.refs, 2u);

    std::atomic<bool> returned{false};
    std::thread::id engineThread;
    bool comDuringCall = false;
    auto result = std::async(std::launch::async, [&] {
        engineThread = std::this_thread::get_id();
        std::unique_ptr<ForeignCall> call = apartment.Enter(cookie);
        if (!call) return E_FAIL;
        comDuringCall = apartment.ComInitialised(engineThread);
        std::int32_t id = 0;
        if (!call->IdOfName(u"SetServerStatus", id)) return E_FAIL;
        const HRESULT hr = call->Invoke(id, Variant::Boolean(true));
        returned = true;
        return hr;
    });
    // Nothing runs on the add-in's side until this thread pumps.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(returned);
    EXPECT_TRUE(addin.invokedOn.empty());
    ASSERT_TRUE(
        apartment.PumpUntil([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(result.get(), S_FALSE);

    ASSERT_EQ(addin.invokedOn.size(), 1u);
    EXPECT_EQ(addin.invokedOn[0], std::this_thread::get_id());
    EXPECT_EQ(addin.arguments, std::vector<std::int32_t>{kVariantTrue});
    EXPECT_TRUE(comDuringCall);
    EXPECT_FALSE(apartment.ComInitialised(engineThread));  // uninitialised when the call ended
    // Every step, the release of the proxy included, ran here and was made
    // from a thread with COM initialised.
    const auto records = apartment.Calls();
    std::vector<std::string> whats;
    for (const auto& record : records) {
        whats.push_back(record.what);
        EXPECT_EQ(record.caller, engineThread) << record.what;
        EXPECT_TRUE(record.callerComReady) << record.what;
        EXPECT_EQ(record.ranOn, std::this_thread::get_id()) << record.what;
    }
    EXPECT_EQ(whats, (std::vector<std::string>{"Enter " + std::to_string(cookie), "IdOfName \"SetServerStatus\"",
                                               "Invoke 7", "Release"}));
    EXPECT_EQ(addin.refs, 2u);  // the table's own reference is all that is left
    EXPECT_EQ(apartment.LiveRegistrations().size(), 1u);
    EXPECT_EQ(apartment.Revoke(cookie), S_OK);
    EXPECT_EQ(addin.refs, 1u);
    EXPECT_EQ(apartment.Revoke(cookie), E_INVALIDARG);
    EXPECT_EQ(apartment.Enter(cookie), nullptr);
}

// An exception in a call made through the apartment stops at the stub as
// RPC_E_SERVERFAULT; callers still waiting when the apartment closes are let go.
TEST(FakeApartment, ExceptionsStopAtTheStubAndClosingFreesWaitingCallers)
{
    Ledger ledger;
    HostCalls calls;
    FakeApartment apartment(ledger, calls);
    AddinObject addin;
    std::uint32_t cookie = 0;
    ASSERT_EQ(apartment.Register(&addin, cookie), S_OK);

    // On the add-in's own thread a call is direct.
    {
        auto call = apartment.Enter(cookie);
        ASSERT_TRUE(call);
        EXPECT_EQ(call->Invoke(99, Variant::Int(1)), static_cast<HRESULT>(0x80010105u));
    }
    EXPECT_EQ(apartment.Faults().size(), 1u);

    std::unique_ptr<ForeignCall> held;
    auto waiting = std::async(std::launch::async, [&] {
        held = apartment.Enter(cookie);  // never pumped: waits until the apartment closes
        return held == nullptr;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    apartment.Close();
    EXPECT_TRUE(waiting.get());
    apartment.Uninitialize();
    EXPECT_EQ(addin.refs, 1u);
    EXPECT_TRUE(apartment.LiveRegistrations().empty());
}

}  // namespace
}  // namespace host::fake
