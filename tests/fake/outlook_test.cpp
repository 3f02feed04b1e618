#include "host/fake/fake_outlook.h"

#include <gtest/gtest.h>

#include <functional>

#include "host/com_error.h"

namespace host::fake {
namespace {

class RecordingSink final : public EventSink {
public:
    std::function<void()> onEvent;
    std::vector<std::int32_t> events;
    void OnEvent(std::int32_t dispId, std::span<const Variant>) override
    {
        events.push_back(dispId);
        if (onEvent) onEvent();
    }
};

HRESULT ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ComError& e) {
        return e.Error();
    }
    return S_OK;
}

TEST(ConnectionPoints, CookiesAreUniquePerPointAndUnadviseChecksThem)
{
    ConnectionPoints points({EventInterface::ApplicationEvents, EventInterface::ExplorerEvents});
    RecordingSink a;
    RecordingSink b;
    EXPECT_EQ(points.Advise(EventInterface::ApplicationEvents, &a), 1u);
    EXPECT_EQ(points.Advise(EventInterface::ApplicationEvents, &b), 2u);
    EXPECT_EQ(points.Advise(EventInterface::ExplorerEvents, &a), 1u);  // its own numbering
    points.Unadvise(EventInterface::ApplicationEvents, 1);
    // A freed cookie is not handed out again.
    EXPECT_EQ(points.Advise(EventInterface::ApplicationEvents, &a), 3u);

    struct Case {
        const char* what;
        std::function<void()> call;
        HRESULT expected;
    };
    const Case cases[] = {
        {"unknown cookie", [&] { points.Unadvise(EventInterface::ApplicationEvents, 7); }, CONNECT_E_NOCONNECTION},
        {"cookie already ended", [&] { points.Unadvise(EventInterface::ApplicationEvents, 1); },
         CONNECT_E_NOCONNECTION},
        {"cookie of another point", [&] { points.Unadvise(EventInterface::ExplorerEvents, 2); },
         CONNECT_E_NOCONNECTION},
        {"advise on a point the object lacks", [&] { points.Advise(EventInterface::ItemsEvents, &a); },
         CONNECT_E_NOCONNECTION},
        {"unadvise on a point the object lacks", [&] { points.Unadvise(EventInterface::ItemsEvents, 1); },
         CONNECT_E_NOCONNECTION},
        {"null sink", [&] { points.Advise(EventInterface::ApplicationEvents, nullptr); }, E_POINTER},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.call), c.expected) << c.what;
    EXPECT_EQ(points.Subscriptions(EventInterface::ApplicationEvents), 2u);
    EXPECT_EQ(points.Live(), (std::vector<std::string>{"ApplicationEvents cookie 2", "ApplicationEvents cookie 3",
                                                       "ExplorerEvents cookie 1"}));
}

TEST(ConnectionPoints, FireReachesEverySinkAndSkipsOnesThatLeaveMeanwhile)
{
    ConnectionPoints points({EventInterface::ApplicationEvents});
    RecordingSink first;
    RecordingSink second;
    RecordingSink third;
    points.Advise(EventInterface::ApplicationEvents, &first);
    const std::uint32_t secondCookie = points.Advise(EventInterface::ApplicationEvents, &second);
    points.Advise(EventInterface::ApplicationEvents, &third);
    // The first sink's handler ends the second's subscription, as a Quit
    // handler that unsubscribes everything would.
    first.onEvent = [&] { points.Unadvise(EventInterface::ApplicationEvents, secondCookie); };
    EXPECT_EQ(points.Fire(EventInterface::ApplicationEvents, kDispIdQuit), 2u);
    EXPECT_EQ(first.events, std::vector<std::int32_t>{kDispIdQuit});
    EXPECT_TRUE(second.events.empty());
    EXPECT_EQ(third.events, std::vector<std::int32_t>{kDispIdQuit});
}

TEST(FakeApplication, QuitReachesSubscribersAndLeftoversAreListed)
{
    Ledger ledger;
    HostCalls calls;
    FakeApplication app(ledger, calls);
    RecordingSink quit;
    RecordingSink folderSwitch;
    const std::uint32_t quitCookie = app.Advise(EventInterface::ApplicationEvents, &quit);
    EXPECT_EQ(ErrorOf([&] { app.Advise(EventInterface::ExplorerEvents, &quit); }), CONNECT_E_NOCONNECTION);
    Ref<Explorer> explorer = app.ExplorerItem(1);
    explorer->Advise(EventInterface::ExplorerEvents, &folderSwitch);
    app.Quit();
    EXPECT_EQ(quit.events, std::vector<std::int32_t>{kDispIdQuit});
    EXPECT_EQ(app.LiveSubscriptions(), (std::vector<std::string>{"Application ApplicationEvents cookie 1",
                                                                 "Explorer 1 ExplorerEvents cookie 1"}));
    app.Unadvise(EventInterface::ApplicationEvents, quitCookie);
    explorer->Unadvise(EventInterface::ExplorerEvents, 1);
    EXPECT_TRUE(app.LiveSubscriptions().empty());
}

TEST(FakeApplication, InjectedFailuresReachEveryMethod)
{
    Ledger ledger;
    HostCalls calls;
    FakeApplication app(ledger, calls);
    FakeAddInInstance addin(ledger, calls);
    RecordingSink sink;
    // The nth call fails; the call goes no further (an Advise that failed
    // subscribed nothing).
    const std::vector<std::function<bool()>> steps = {
        [&] { return ErrorOf([&] { app.Version(); }) == E_ACCESSDENIED; },
        [&] { return ErrorOf([&] { app.ExplorerCount(); }) == E_ACCESSDENIED; },
        [&] { return ErrorOf([&] { app.ExplorerItem(1); }) == E_ACCESSDENIED; },
        [&] {
            return ErrorOf([&] { app.Advise(EventInterface::ApplicationEvents, &sink); }) == E_ACCESSDENIED &&
                   app.Points().Subscriptions(EventInterface::ApplicationEvents) == 0;
        },
        [&] { return !QueryAs<Application>(&app); },
        [&] { return !QueryAs<Dispatch>(&addin); },
        [&] { return addin.Invoke(1, {}) == E_ACCESSDENIED; },
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        calls.FailAt(calls.Count() + 1, E_ACCESSDENIED);
        EXPECT_TRUE(steps[i]()) << "step " << i;
        EXPECT_TRUE(calls.Fired()) << "step " << i;
    }
    EXPECT_TRUE(ledger.Problems().empty());
}

}  // namespace
}  // namespace host::fake
