// The command bar's build, clicks and unsubscription when one host call of
// the bar, its buttons, the clipboard or the bitmaps fails or throws: what
// scenarios cannot make happen. Nothing may reach the host, every object and
// bitmap comes back, and the failure is the one line it should be.
#include "cmdbar/command_bar.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/fake/fake_modules.h"
#include "tests/mail/mail_world.h"

namespace qev::testing {
namespace {

using host::fake::FakeWorld;

// An Outlook 2007 session: the bar is built over the user's clipboard, a
// mail is selected and its buttons clicked, then Outlook quits.
struct BarSession {
    FakeWorld world;
    std::string escaped;
    std::vector<std::u16string> writes;

    BarSession(const std::function<void(FakeWorld&)>& arm, const std::function<void(CConnect&)>& afterQuit = {})
    {
        ResetAddinProcess();
        world.SetOutlookVersion(u"12.0.4518");
        world.SetMarker(host::fake::Marker::Trace, true);
        world.SetEngineSetting(3, 1);
        world.AddStore(u"a", u"Mailbox - Ann");
        world.Deliver(u"a", u"Inbox", MessageText(u"offer", kSpamNo));
        world.Desktop().PutText(u"the user's text");
        world.Desktop().PutPicture(20, 10);
        arm(world);
        auto* addin = new ConnectObject(world.Services());
        try {
            CConnect& c = addin->Connect();
            if (c.OnConnection(&world.Application(), kConnectStartup, &world.AddInInstance()) == S_OK) {
                c.OnStartupComplete();
                world.Select(u"a", u"Inbox", {1});
                for (const char16_t* tag : {u"zk.qev_CommandBar.Buttons_103", u"zk.qev_CommandBar.Buttons_107"})
                    world.Application().ExplorerAt(1)->Bars().Click(tag);
                world.Quit();
                if (afterQuit) afterQuit(c);
            }
            c.OnDisconnection(0);
            world.Pump();
        } catch (const std::exception& e) {
            escaped = e.what();
        }
        addin->Release();
        ResetAddinProcess();
        writes = world.System().DebugWrites();
    }

    bool Wrote(std::u16string_view text) const
    {
        for (const std::u16string& w : writes)
            if (w.find(text) != std::u16string::npos) return true;
        return false;
    }
};

bool IsBarCall(std::string_view what)
{
    for (const std::string_view prefix : {"CommandBar", "Clipboard.", "Gdi.", "Explorer.CommandBars", "FindResource"})
        if (what.starts_with(prefix)) return true;
    return false;
}

// The number of the occurrence-th host call named what in a clean session.
std::uint64_t CallNumber(std::string_view what, int occurrence)
{
    std::uint64_t found = 0;
    int seen = 0;
    BarSession clean([&](FakeWorld& world) {
        world.Calls().OnCall([&](std::uint64_t n, std::string_view call) {
            if (call == what && ++seen == occurrence) found = n;
        });
    });
    return found;
}

TEST(CommandBarFaults, EveryBarCallFailingOrThrowing)
{
    {
        BarSession clean([](FakeWorld&) {});
        ASSERT_TRUE(clean.Wrote(u"OnClickAddSpammer_...ok"));
        ASSERT_EQ(clean.world.Desktop().ClipboardPictureSize(), std::pair(20, 10));
    }
    const HostCallList calls = PickHostCalls<BarSession>(IsBarCall);
    ASSERT_GT(calls.size(), 60u);
    FailEachInTurn<BarSession>(calls, [](BarSession& run, const std::string&, const std::string& where) {
        EXPECT_EQ(run.world.ReleaseProblems(), std::vector<std::string>{}) << where;
        EXPECT_EQ(run.world.Desktop().ClipboardText(), u"the user's text") << where;
    });
}

struct FaultCase {
    const char* call;
    int occurrence;
    const char16_t* line;  // what the add-in writes for it
};

TEST(CommandBarFaults, EachFailureWritesItsLine)
{
    const FaultCase cases[] = {
        {"CommandBarButton.QueryInterface", 1, u"[as][qev] error : Add...failed\n"},
        {"Clipboard.SetData", 1, u"[as][qev] error : 8 : SetClipboardData failed\n"},
        // The first close is the backup's, the second the first button's.
        {"Clipboard.Close", 2, u"[as][qev] warning : 1418 : CloseClipboard failed\n"},
        {"CommandBarButton.PasteFace", 2, u" : AddCmdBarBtn_ com error\n"},
    };
    for (const FaultCase& c : cases) {
        const std::uint64_t n = CallNumber(c.call, c.occurrence);
        ASSERT_NE(n, 0u) << c.call;
        BarSession run([&](FakeWorld& world) { world.Calls().FailAt(n, E_FAIL); });
        EXPECT_TRUE(run.Wrote(c.line)) << c.call;
        // Every button is made whatever happened to one face.
        EXPECT_TRUE(run.Wrote(u"AddCmdBarBtn_<Friends>...ok")) << c.call;
        EXPECT_EQ(run.world.ReleaseProblems(), std::vector<std::string>{}) << c.call;
    }
}

TEST(CommandBarFaults, RefusedUnsubscriptionKeepsItsCookieAndTheOthersGoOn)
{
    const std::uint64_t n = CallNumber("CommandBarButton.Unadvise", 1);
    ASSERT_NE(n, 0u);
    std::vector<std::uint32_t> cookies;
    BarSession run([&](FakeWorld& world) { world.Calls().FailAt(n, E_FAIL); },
                   [&](CConnect& c) {
                       for (const CommandKey key : {CommandKey::IsSpam, CommandKey::NotSpam, CommandKey::Settings})
                           cookies.push_back(c.Bar().SinkCookie(key));
                   });
    EXPECT_TRUE(run.Wrote(u"[as][qev] error : exception! : ButtonsUnadvise_ Unadvise m_pBtnIsSpam: "));
    ASSERT_EQ(cookies.size(), 3u);
    EXPECT_NE(cookies[0], kNoCookie);
    EXPECT_EQ(cookies[1], kNoCookie);
    EXPECT_EQ(cookies[2], kNoCookie);
}

TEST(CommandBarFaults, LayoutModuleWithoutOnePictureLeavesThatButtonBare)
{
    BarSession run([](FakeWorld& world) {
        host::fake::FakeLibraries::Resources resources =
            host::fake::ResourcesOf(*host::fake::FindBuiltModule(u"ui\\ltr\\qev.ui"));
        resources.erase({host::ResourceType::Bitmap, 203});
        const std::u16string folder(host::fake::kDefaultAddinPath, std::u16string_view(host::fake::kDefaultAddinPath).rfind(u'\\'));
        world.Libraries().Install(folder + u"\\ui\\ltr\\qev.ui", {}, resources);
    });
    EXPECT_TRUE(run.Wrote(u"[as][qev] error :  1814 : loading bitmap for <Add Friend> failed\n"));
    EXPECT_TRUE(run.Wrote(u"[as][qev]     AddCmdBarBtn_<Add Friend>...failed\n"));
    EXPECT_TRUE(run.Wrote(u"[as][qev]     AddCmdBarBtn_<Friends>...ok\n"));
    const auto& buttons = run.world.Application().ExplorerAt(1)->Bars().Bars().back()->Buttons();
    ASSERT_EQ(buttons.size(), 7u);
    EXPECT_FALSE(buttons[4]->Face().has_value());  // AddFriend, fifth from the left
    EXPECT_TRUE(buttons[5]->Face().has_value());
}

}  // namespace
}  // namespace qev::testing
