// The simulated Outlook's objects, reached the way the add-in reaches Outlook:
// through the add-in's own adapters (host/win/win_outlook.h) and through raw
// IDispatch calls with the argument forms Outlook's callers use.
#include <olectl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/com_error.h"
#include "host/win/win_outlook.h"
#include "host/win/win_variant.h"
#include "sim/win/sim_outlook.h"

namespace {

using namespace qev::sim::win;

// Collects the events of one subscription.
class RecordingSink final : public host::EventSink {
public:
    void OnEvent(std::int32_t dispId, std::span<const host::Variant>) override
    {
        events.push_back(dispId);
        if (onEvent) onEvent();
    }
    std::vector<std::int32_t> events;
    std::function<void()> onEvent;
};

TEST(SimOutlook, ApplicationAnswersTheAddinsAdapter)
{
    Ledger ledger;
    SimApplication application(ledger);
    application.SetExplorerCount(2);
    {
        const auto app = host::win::WrapApplication(&application);
        EXPECT_EQ(app->Version(), u"16.0.0.1234");
        EXPECT_EQ(app->ExplorerCount(), 2);
        EXPECT_TRUE(app->ExplorerItem(1));
        EXPECT_TRUE(app->ExplorerItem(2));
        EXPECT_TRUE(app->ActiveExplorer());
        try {
            (void)app->ExplorerItem(3);
            ADD_FAILURE() << "explorer 3 of 2";
        } catch (const host::ComError& e) {
            EXPECT_EQ(e.Error(), DISP_E_BADINDEX);
        }

        application.SetVersion(L"12.0.4518");
        EXPECT_EQ(app->Version(), u"12.0.4518");
        application.SetVersion(std::nullopt);  // `outlook none`
        try {
            app->Version();
            ADD_FAILURE() << "the version read should fail";
        } catch (const host::ComError& e) {
            EXPECT_EQ(e.Error(), E_FAIL);
        }

        application.SetExplorerCount(0);
        EXPECT_EQ(app->ExplorerCount(), 0);
        EXPECT_FALSE(app->ActiveExplorer());
    }
    // Every reference the adapter took came back.
    EXPECT_EQ(ledger.Problems(), std::vector<std::string>{});
}

TEST(SimOutlook, QuitReachesTheSubscribersStillSubscribed)
{
    Ledger ledger;
    SimApplication application(ledger);
    const auto app = host::win::WrapApplication(&application);
    RecordingSink first, second, third;
    const std::uint32_t c1 = app->Advise(host::EventInterface::ApplicationEvents, &first);
    const std::uint32_t c2 = app->Advise(host::EventInterface::ApplicationEvents, &second);
    const std::uint32_t c3 = app->Advise(host::EventInterface::ApplicationEvents, &third);
    EXPECT_EQ(c1, 1u);
    EXPECT_EQ(c3, 3u);
    EXPECT_EQ(application.LiveSubscriptions(), (std::vector<std::string>{"Application ApplicationEvents cookie 1",
                                                                         "Application ApplicationEvents cookie 2",
                                                                         "Application ApplicationEvents cookie 3"}));

    // The first subscriber ends the third's subscription and the second its
    // own while Quit is delivered, as the add-in's shutdown does.
    first.onEvent = [&] { app->Unadvise(host::EventInterface::ApplicationEvents, c3); };
    second.onEvent = [&] { app->Unadvise(host::EventInterface::ApplicationEvents, c2); };
    application.Quit();
    EXPECT_EQ(first.events, std::vector<std::int32_t>{kQuitEvent});
    EXPECT_EQ(second.events, std::vector<std::int32_t>{kQuitEvent});
    EXPECT_TRUE(third.events.empty());
    EXPECT_EQ(application.LiveSubscriptions(), std::vector<std::string>{"Application ApplicationEvents cookie 1"});

    // An explorer has no application events; a cookie that names nothing fails.
    try {
        app->Unadvise(host::EventInterface::ApplicationEvents, c2);
        ADD_FAILURE() << "a second Unadvise of one cookie";
    } catch (const host::ComError& e) {
        EXPECT_EQ(e.Error(), CONNECT_E_NOCONNECTION);
    }
    const auto explorer = app->ExplorerItem(1);
    const auto source = host::QueryAs<host::EventSource>(explorer.Get());
    ASSERT_TRUE(source);
    try {
        source->Advise(host::EventInterface::ApplicationEvents, &third);
        ADD_FAILURE() << "an explorer with application events";
    } catch (const host::ComError& e) {
        EXPECT_EQ(e.Error(), CONNECT_E_NOCONNECTION);
    }
    const std::uint32_t onExplorer = source->Advise(host::EventInterface::ExplorerEvents, &third);
    EXPECT_EQ(application.LiveSubscriptions(),
              (std::vector<std::string>{"Application ApplicationEvents cookie 1",
                                        "Explorer 1 ExplorerEvents cookie " + std::to_string(onExplorer)}));
    source->Unadvise(host::EventInterface::ExplorerEvents, onExplorer);
    app->Unadvise(host::EventInterface::ApplicationEvents, c1);
    EXPECT_TRUE(application.LiveSubscriptions().empty());
}

TEST(SimOutlook, ReleasesBeyondTheCountAreRecordedNotApplied)
{
    Ledger ledger;
    SimAddInInstance instance(ledger);
    instance.AddRef();
    EXPECT_EQ(ledger.Problems(), std::vector<std::string>{"AddIn \"COMAddIn qev.Connect\": 1 reference not released"});
    instance.Release();
    // Outlook's own reference is not the add-in's to give back.
    EXPECT_EQ(instance.Release(), 1u);
    EXPECT_EQ(instance.Release(), 1u);
    EXPECT_EQ(instance.References(), 1u);
    EXPECT_EQ(ledger.Problems(),
              std::vector<std::string>{"AddIn \"COMAddIn qev.Connect\": released 2 times more than referenced"});
}

}  // namespace
