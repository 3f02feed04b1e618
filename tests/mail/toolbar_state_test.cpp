// Which commands the toolbar state enables, from the engine's state, the
// explorer's folder and its selection; with the ribbon the state is kept in
// the three flags the ribbon's callbacks read.
#include "cmdbar/toolbar_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/mail/mail_world.h"

namespace qev::testing {
namespace {

struct StateCase {
    const char* name;
    bool serverUp;
    std::uint32_t f1;               // the engine's settings field 1: antispam off when set
    const char16_t* folder;         // what the explorer shows
    std::vector<std::size_t> items;  // what is selected there
    bool mailSelected, spamFolder, ready;
};

class ToolbarStateTest : public MailWorldTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(ToolbarStateTest, RibbonFlagsFollowEngineFolderAndSelection)
{
    const StateCase& c = GetParam();
    m_world.SetEngineStatus(c.serverUp);
    m_world.SetEngineSetting(1, c.f1);
    m_world.AddStore(u"a", u"Mailbox - Ann");
    m_world.AddFolder(u"a", u"Deleted Items/Spam");
    m_world.AddFolder(u"a", u"Calendar", 2, 1);
    m_world.Deliver(u"a", u"Inbox", MessageText(u"one", kSpamNo));
    m_world.Deliver(u"a", u"Deleted Items/Spam", MessageText(u"two", kSpamYes));
    m_world.Deliver(u"a", u"Inbox", u"Subject: invite\r\n\r\n", {.kind = host::fake::ItemKind::Meeting});
    Start();
    ClearWrites();
    ASSERT_TRUE(m_world.Select(u"a", c.folder, c.items)) << c.name;
    const ToolbarState& state = Addin().Toolbar();
    EXPECT_EQ(state.MailSelected(), c.mailSelected) << c.name;
    EXPECT_EQ(state.SpamFolder(), c.spamFolder) << c.name;
    EXPECT_EQ(state.AntispamReady(), c.ready) << c.name;
    const std::u16string line = u"SetToolbarStatus_<" + std::u16string(1, c.mailSelected ? u'1' : u'0') + u":" +
                                std::u16string(1, c.spamFolder ? u'1' : u'0') + u":" +
                                std::u16string(1, c.ready ? u'1' : u'0') + u">...";
    EXPECT_GE(CountWrites(line), 1u) << c.name;
    ShutDown();
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    States, ToolbarStateTest,
    ::testing::Values(StateCase{"mail selected", true, 0, u"Inbox", {1}, true, false, true},
                      StateCase{"server down", false, 0, u"Inbox", {1}, true, false, false},
                      StateCase{"antispam off", true, 1, u"Inbox", {1}, true, false, false},
                      StateCase{"nothing selected", true, 0, u"Inbox", {}, false, false, true},
                      StateCase{"meeting selected first", true, 0, u"Inbox", {2, 1}, false, false, true},
                      StateCase{"in the spam folder", true, 0, u"Deleted Items/Spam", {1}, true, true, true},
                      StateCase{"calendar", true, 0, u"Calendar", {}, false, false, true}));

using ToolbarPlacementTest = MailWorldTest;

TEST_F(ToolbarPlacementTest, WithoutACommandBarThePlacementStaysAsRead)
{
    m_world.SetEngineValue(u"BarPos", 3);
    m_world.SetEngineValue(u"BarTop", 120);
    Start();
    ClearWrites();
    EXPECT_FALSE(Addin().Toolbar().SaveCmdBarPosition_());
    EXPECT_EQ(Writes(), Lines{Error(u"SaveCmdBarPosition_ : !!!exception")});
    ShutDown();
    EXPECT_EQ(m_world.Engine().Value(u"BarPos"), 3u) << "stored back unchanged";
    EXPECT_EQ(m_world.Engine().Value(u"BarTop"), 120u);
}

}  // namespace
}  // namespace qev::testing
