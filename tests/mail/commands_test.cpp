// The user's commands over the in-memory profile: what reaches the engine,
// what happens to the selected mail, the click guard and the trace lines.
#include "commands/commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/fake/fake_message.h"
#include "tests/mail/mail_world.h"
#include "tests/unit/test_text.h"

namespace qev::testing {
namespace {

using host::fake::DeliverOptions;
using host::fake::FolderCount;

class CommandsTest : public MailWorldTest {
protected:
    void SetUp() override
    {
        MailWorldTest::SetUp();
        m_world.AddStore(u"a", u"Mailbox - Ann");
    }
    void Click(CommandKey key) { Addin().UserCommands().Run(key, ClickSource{}); }
    void Wait(std::uint32_t ms) { m_world.System().AdvanceTickCount(ms); }
    std::size_t EngineCalls(const char* op) { return m_world.Engine().CallCount(op); }
    // The subjects of the messages the engine was told about with op, in order.
    std::vector<std::u16string> Taught(const char* op)
    {
        std::vector<std::u16string> subjects;
        for (const auto& call : m_world.Engine().Calls()) {
            if (call.op != op || call.args.size() < 2) continue;
            const std::u16string& text = call.args[1].text;
            const std::size_t at = text.find(u"Subject: ");
            subjects.push_back(at == std::u16string::npos ? u"" : text.substr(at + 9, text.find(u'\n', at) - at - 9));
        }
        return subjects;
    }
};

TEST_F(CommandsTest, ClickGuardRunsOnlyTheFirstOfABurst)
{
    m_world.Deliver(u"a", u"Inbox", MessageText(u"one", kSpamNo));
    Start();
    ASSERT_TRUE(m_world.Select(u"a", u"Inbox", {1}));
    struct Step {
        std::uint32_t waitMs;  // before the click; UINT32_MAX sets the tick back (it wrapped)
        CommandKey key;
        const char* op;
        std::size_t calls;  // the engine's count of op afterwards
    } const steps[] = {
        {0, CommandKey::AddFriend, "AddFriend", 1},
        {300, CommandKey::AddFriend, "AddFriend", 1},  // 300 ms after: ignored
        {300, CommandKey::AddSpammer, "AddSpammer", 0},  // 300 ms after the ignored one: ignored too
        {600, CommandKey::AddSpammer, "AddSpammer", 1},
        {UINT32_MAX, CommandKey::AddSpammer, "AddSpammer", 2},  // a wrapped tick count is never a repeat
        {0, CommandKey::Friends, "ShowFriends", 1},  // the lists have no guard
        {0, CommandKey::Friends, "ShowFriends", 2},
    };
    for (const Step& s : steps) {
        if (s.waitMs == UINT32_MAX) {
            m_world.System().SetTickCount(5);
        } else {
            Wait(s.waitMs);
        }
        ClearWrites();
        Click(s.key);
        EXPECT_EQ(EngineCalls(s.op), s.calls) << s.op << " after " << s.waitMs;
    }
    // An ignored click writes nothing at all.
    Wait(100);
    ClearWrites();
    Click(CommandKey::IsSpam);
    Click(CommandKey::IsSpam);
    EXPECT_EQ(CountWrites(u"[as][qev] OnClickIsSpam_...\n"), 1u);
}

struct IsSpamCase {
    std::uint32_t move, read;
    FolderCount inbox, spam;
};

class IsSpamTest : public CommandsTest, public ::testing::WithParamInterface<IsSpamCase> {};

TEST_P(IsSpamTest, FilesAsTheOptionsSay)
{
    const IsSpamCase& c = GetParam();
    m_world.SetEngineOption(kOptionMoveToSpamFolder, c.move);
    m_world.SetEngineOption(kOptionMarkAsRead, c.read);
    m_world.Deliver(u"a", u"Inbox", MessageText(u"one", kSpamNo));
    m_world.Deliver(u"a", u"Inbox", MessageText(u"two", kSpamNo));
    Start();
    ASSERT_TRUE(m_world.Select(u"a", u"Inbox", {1, 2}));
    Click(CommandKey::IsSpam);
    EXPECT_EQ(Taught("IsSpam"), (std::vector<std::u16string>{u"one", u"two"}));
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Inbox"), c.inbox);
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Deleted Items/Spam"), c.spam);
    EXPECT_EQ(CountWrites(u"OnClickIsSpam_...ok"), 1u);
    ShutDown();
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Options, IsSpamTest,
                         ::testing::Values(IsSpamCase{1, 1, {0, 0}, {2, 0}},
                                           IsSpamCase{0, 1, {2, 0}, {0, 0}},  // marked read, left in place
                                           IsSpamCase{1, 0, {0, 0}, {2, 2}},
                                           IsSpamCase{0, 0, {2, 2}, {0, 0}}));

TEST_F(CommandsTest, NotSpamMovesBackOnlyOutOfTheSpamFolder)
{
    m_world.SetEngineOption(kOptionMoveToSpamFolder, 1);
    m_world.Deliver(u"a", u"Inbox", MessageText(u"kept", kSpamNo));
    Start();
    ASSERT_TRUE(m_world.Select(u"a", u"Inbox", {1}));
    Click(CommandKey::NotSpam);
    EXPECT_EQ(Taught("NotSpam"), std::vector<std::u16string>{u"kept"});
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Inbox"), (FolderCount{1, 1})) << "in the inbox: nothing moves";

    Wait(1000);
    Click(CommandKey::IsSpam);
    ASSERT_EQ(m_world.FolderCounts(u"a", u"Deleted Items/Spam"), (FolderCount{1, 1}));
    ASSERT_TRUE(m_world.Select(u"a", u"Deleted Items/Spam", {1}));
    Wait(1000);
    Click(CommandKey::NotSpam);
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Inbox"), (FolderCount{1, 0})) << "back in the inbox, read";
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Deleted Items/Spam"), (FolderCount{0, 0}));
    ShutDown();
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

TEST_F(CommandsTest, OneUnreadableMessageSkipsOnlyItself)
{
    m_world.Deliver(u"a", u"Inbox", MessageText(u"first", kSpamNo));
    m_world.Deliver(u"a", u"Inbox", u"", DeliverOptions{.headers = host::fake::HeaderForm::None,
                                                       .body = host::fake::BodyForm::None});
    m_world.Deliver(u"a", u"Inbox", MessageText(u"third", kSpamNo));
    m_world.Deliver(u"a", u"Inbox", u"Subject: invite\r\n\r\n", DeliverOptions{.kind = host::fake::ItemKind::Meeting});
    Start();
    ASSERT_TRUE(m_world.Select(u"a", u"Inbox", {1, 2, 4, 3}));
    ClearWrites();
    Click(CommandKey::AddSpammer);
    EXPECT_EQ(Taught("AddSpammer"), (std::vector<std::u16string>{u"first", u"third"}));
    EXPECT_EQ(CountWrites(u"[as][qev] error :     OnClickAddSpammer_ : Mail2Str_...failed\n"), 1u);
    EXPECT_EQ(CountWrites(u"OnClickAddSpammer_...ok"), 1u) << "a meeting request is skipped silently";
}

TEST_F(CommandsTest, AFailureEndsTheClickAndKeepsWhatWasDone)
{
    m_world.SetEngineOption(kOptionMoveToSpamFolder, 1);
    m_world.Deliver(u"a", u"Inbox", MessageText(u"one", kSpamNo));
    m_world.Deliver(u"a", u"Inbox", MessageText(u"two", kSpamNo));
    Start();
    ASSERT_TRUE(m_world.Select(u"a", u"Inbox", {1, 2}));
    std::uint64_t moves = 0;
    m_world.Calls().OnCall([&](std::uint64_t n, std::string_view what) {
        if (what == "MailItem.Move" && ++moves == 1) m_world.Calls().FailAt(n + 1, E_ACCESSDENIED);
    });
    ClearWrites();
    Click(CommandKey::IsSpam);
    EXPECT_EQ(CountWrites(u"OnClickIsSpam_...ok"), 0u);
    EXPECT_EQ(CountWrites(u"[as][qev] error : exception! : OnClickIsSpam_ : "), 1u);
    EXPECT_EQ(Taught("IsSpam").size(), 1u) << "the second message is not reached";
}

TEST_F(CommandsTest, WithoutAnEngineClientEachCommandSaysSo)
{
    Start();
    EngineLink noEngine(m_world.Services());
    const host::Ref<host::Application> application = host::QueryAs<host::Application>(&m_world.Application());
    Commands commands(noEngine, Addin().Stores(), application);
    const std::pair<CommandKey, const char16_t*> keys[] = {
        {CommandKey::IsSpam, u"OnClickIsSpam_"},     {CommandKey::NotSpam, u"OnClickNotSpam_"},
        {CommandKey::AddSpammer, u"OnClickAddSpammer_"}, {CommandKey::AddFriend, u"OnClickAddFriend_"},
        {CommandKey::Spammers, u"OnClickSpammers_"}, {CommandKey::Friends, u"OnClickFriends_"},
        {CommandKey::Settings, u"OnClickSettings_"},
    };
    for (const auto& [key, name] : keys) {
        Wait(1000);
        ClearWrites();
        commands.Run(key, ClickSource{});
        EXPECT_EQ(Writes(), (Lines{Line(std::u16string(name) + u"..."),
                                   Error(std::u16string(name) + u" : m_asClient<$null>")}));
    }
}

}  // namespace
}  // namespace qev::testing
