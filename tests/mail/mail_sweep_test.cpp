// A whole mail session with every mail host call in turn failing, then
// throwing: nothing may escape to the host, and whatever the add-in was given
// or fetched must come back exactly once.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/commands.h"
#include "mail/selection.h"
#include "tests/mail/mail_world.h"

namespace qev::testing {
namespace {

using host::fake::FakeWorld;

struct Session {
    FakeWorld world;
    std::string escaped;  // what reached the host, if anything

    // Runs the session after arm has prepared the world (an injection, a listener).
    explicit Session(const std::function<void(FakeWorld&)>& arm)
    {
        ResetAddinProcess();
        world.SetMarker(host::fake::Marker::Trace, true);
        world.SetEngineSetting(3, 1);
        world.SetEngineOption(kOptionMoveToSpamFolder, 1);
        world.SetEngineOption(kOptionMarkAsRead, 1);
        world.AddStore(u"a", u"Mailbox - Ann");
        world.AddStore(u"b", u"Archive", {.unicodeRejected = true});
        arm(world);
        auto* addin = new ConnectObject(world.Services());
        try {
            CConnect& c = addin->Connect();
            c.OnConnection(&world.Application(), kConnectStartup, &world.AddInInstance());
            c.OnStartupComplete();
            world.Deliver(u"a", u"Inbox", MessageText(u"spam a", kSpamYes));
            world.Deliver(u"b", u"Inbox", MessageText(u"spam b", kSpamYes));
            world.Deliver(u"a", u"Inbox", MessageText(u"ham", kSpamNo),
                          {.headers = host::fake::HeaderForm::StreamAnsi});
            world.Deliver(u"a", u"Inbox", MessageText(u"more ham", kSpamNo));
            world.AccountAdd(u"c", u"Mailbox - Cy");
            world.AccountRemove(u"b");
            bool mailSelected = false, spamFolder = false;
            if (world.Select(u"a", u"Inbox", {1})) GetSelectionItems_(&world.Application(), mailSelected, spamFolder);
            // The user's commands on what is selected, then on the spam folder.
            world.Select(u"a", u"Inbox", {1, 2});
            c.UserCommands().Run(CommandKey::IsSpam, ClickSource{});
            world.System().AdvanceTickCount(1000);
            world.Select(u"a", u"Deleted Items/Spam", {1});
            c.UserCommands().Run(CommandKey::NotSpam, ClickSource{});
            c.UserCommands().Run(CommandKey::Settings, ClickSource{});
            c.OnBeginShutdown();
            world.Quit();
            c.OnDisconnection(0);
            world.Pump();
        } catch (const std::exception& e) {
            escaped = e.what();
        }
        addin->Release();
        ResetAddinProcess();
    }
};

bool IsMailCall(std::string_view what)
{
    for (const std::string_view prefix : {"Items.",
                                          "Folder.",
                                          "MailItem.",
                                          "Item.",
                                          "Message.",
                                          "MsgStore.",
                                          "MapiFolder.",
                                          "Namespace.",
                                          "Session.",
                                          "Selection.",
                                          "AccountManager.",
                                          "OpenEntry",
                                          "OpenMsgStore",
                                          "CreateFolder",
                                          "GetMsgStoresTable",
                                          "GetReceiveFolder",
                                          "OpenProfileSection",
                                          "GetNamespace",
                                          "ActiveExplorer",
                                          "Explorer.CurrentFolder",
                                          "Explorer.Selection"}) {
        if (what.starts_with(prefix)) return true;
    }
    return false;
}

TEST(MailSweep, EveryMailHostCallFailingOrThrowing)
{
    const HostCallList mailCalls = PickHostCalls<Session>(IsMailCall);
    ASSERT_GT(mailCalls.size(), 100u);
    FailEachInTurn<Session>(mailCalls, [](Session& run, const std::string& what, const std::string& where) {
        // A subscription Outlook refused to end is all that may stay.
        std::vector<std::string> problems = run.world.ReleaseProblems();
        if (what.ends_with(".Unadvise"))
            std::erase_if(problems, [](const std::string& p) { return p.starts_with("subscription left: "); });
        EXPECT_EQ(problems, std::vector<std::string>{}) << where;
    });
}

}  // namespace
}  // namespace qev::testing
