// Filing new mail over the in-memory profile: the spam folder is found, or
// made, under the item's own store's Deleted Items; a failed mail-item query
// is reported. And the selection check that enables the buttons. (What the
// engine's options and the message make of a new inbox item is shown by the
// mail scenarios, on both runners.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/fake/fake_message.h"
#include "mail/message_text.h"
#include "mail/selection.h"
#include "tests/mail/mail_world.h"
#include "tests/unit/test_text.h"

namespace qev::testing {
namespace {

using host::fake::ItemKind;
using host::fake::MailEvent;

// ---- the spam folder ----

TEST_F(MailWorldTest, SpamFolderIsMadeOnceInTheItemsOwnStore)
{
    m_world.AddStore(u"a", u"Mailbox - Ann");
    m_world.AddStore(u"b", u"Archive", {.unicodeRejected = true});
    m_world.AddFolder(u"a", u"Spam");  // not under Deleted Items: not the spam folder
    m_world.SetEngineOption(kOptionMoveToSpamFolder, 1);
    std::vector<std::string> created;
    m_world.OnMailEvent([&](const MailEvent& e) {
        if (e.kind == MailEvent::Kind::Create) created.push_back(Narrow(e.store + u":" + e.path));
    });
    Start();
    for (const auto* store : {u"a", u"a", u"b"}) m_world.Deliver(store, u"Inbox", MessageText(u"s", kSpamYes));

    EXPECT_EQ(created, (std::vector<std::string>{"a:Deleted Items/Spam", "b:Deleted Items/Spam"}));
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Deleted Items/Spam").items, 2u);
    EXPECT_EQ(m_world.FolderCounts(u"b", u"Deleted Items/Spam").items, 1u);
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Spam").items, 0u);
    // Watching opens a store for reading, filing for writing; b refuses the
    // Unicode flag and is asked once more without it.
    EXPECT_EQ(m_world.Mail().OpenMsgStoreFlags(u"a"), (std::vector<std::uint32_t>{0x11, 0x15, 0x15}));
    EXPECT_EQ(m_world.Mail().OpenEntryFlags(u"a"), (std::vector<std::uint32_t>{0x80000011, 0x80000011}));
    EXPECT_EQ(m_world.Mail().OpenEntryFlags(u"b"), (std::vector<std::uint32_t>{0x80000011, 0x11}));
    EXPECT_EQ(CountWrites(u"[as][qev] GetJunkFolder_: call OpenEntry using IMsgStore returned MAPI_E_UNKNOWN_FLAGS, "
                          u"trying without MAPI_E_UNKNOWN_FLAGS\n"),
              1u);
    ShutDown();
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

TEST_F(MailWorldTest, NoSpamFolderForAStoreMissingFromTheTable)
{
    m_world.AddStore(u"a", u"Mailbox - Ann");
    m_world.AddStore(u"c", u"Hidden", {.listed = false});
    ConnectOnly();
    m_world.Deliver(u"c", u"Inbox", MessageText(u"spam", kSpamYes));
    const auto item = MailItemAt(u"c", u"Inbox", 1);
    ClearWrites();
    host::Ref<host::Folder> folder;
    EXPECT_EQ(Addin().Stores().GetJunkFolder_(item.Get(), folder), E_UNEXPECTED);
    EXPECT_FALSE(folder);
    EXPECT_EQ(Writes(), Lines{Line(u"GetJunkFolder_: !spMsgStore")});
    EXPECT_FALSE(m_world.Mail().HasFolder(u"c", u"Deleted Items/Spam"));
}

// ---- the selection check ----

TEST_F(MailWorldTest, SelectionMailAndSpamFolder)
{
    struct Case {
        std::u16string path;
        std::int32_t itemType;
        std::vector<ItemKind> items;
        std::vector<std::size_t> selected;
        bool mailSelected, spamFolder;
    } const cases[] = {
        {u"Empty", 0, {}, {}, false, false},
        {u"One", 0, {ItemKind::Mail}, {1}, true, false},
        {u"NoneSelected", 0, {ItemKind::Mail}, {}, false, false},
        {u"MeetingFirst", 0, {ItemKind::Meeting, ItemKind::Mail}, {1, 2}, false, false},
        {u"MailAfterMeeting", 0, {ItemKind::Meeting, ItemKind::Mail}, {2}, true, false},
        {u"Calendar", 1, {ItemKind::Meeting}, {1}, false, false},
        {u"Projects/Spam", 0, {ItemKind::Mail}, {1}, true, true},
        {u"Deleted Items/Spam", 0, {}, {}, false, true},
        {u"Other/spam", 0, {ItemKind::Mail}, {1}, true, false},
        {u"Spam2", 0, {ItemKind::Mail}, {1}, true, false},
    };
    m_world.AddStore(u"a", u"Mailbox - Ann");
    ConnectOnly();
    for (const Case& c : cases) {
        m_world.AddFolder(u"a", c.path, 2, c.itemType);
        for (const ItemKind kind : c.items) m_world.Deliver(u"a", c.path, MessageText(u"m", kSpamNo), {.kind = kind});
        ASSERT_TRUE(m_world.Select(u"a", c.path, c.selected));
        ClearWrites();
        bool mailSelected = !c.mailSelected, spamFolder = !c.spamFolder;
        GetSelectionItems_(&m_world.Application(), mailSelected, spamFolder);
        EXPECT_EQ(mailSelected, c.mailSelected) << Narrow(c.path);
        EXPECT_EQ(spamFolder, c.spamFolder) << Narrow(c.path);
        EXPECT_EQ(Writes(), c.itemType == 0 ? Lines{}
                                            : Lines{Line(u"    GetSelectionItems_ : not mail folder : class<2> : "
                                                         u"GetDefaultItemType<1>")})
            << Narrow(c.path);
    }
}

}  // namespace
}  // namespace qev::testing

namespace qev::testing {
namespace {

// Only a missing interface makes an item "not mail"; a query that fails
// otherwise is an error of its own, reported even while antispam is off.
TEST_F(MailWorldTest, AMailItemQueryThatFailsOtherwiseIsReported)
{
    m_world.AddStore(u"a", u"Mailbox - Ann");
    m_world.SetEngineOption(kOptionMoveToSpamFolder, 1);
    Start();
    struct Case {
        bool antispamOn;
        HRESULT queryFails;  // S_OK: the query answers
        std::u16string line;
    } const cases[] = {
        {true, E_ACCESSDENIED, Error(u"exception! : OnItemAdd_ : Access denied.")},
        {false, E_ACCESSDENIED, Error(u"exception! : OnItemAdd_ : Access denied.")},
        {true, S_OK, Line(u"OnItemAdd_...ok")},
    };
    for (const Case& c : cases) {
        m_world.NotifySettings({{1, c.antispamOn ? 0u : 1u}, {3, 1}});
        int queries = 0;
        m_world.Calls().OnCall([&](std::uint64_t n, std::string_view what) {
            // The sink's own query comes first, the filing's second.
            if (what == "Item.QueryInterface" && ++queries == 1 && c.queryFails != S_OK) {
                m_world.Calls().FailAt(n + 1, c.queryFails);
            }
        });
        ClearWrites();
        m_world.Deliver(u"a", u"Inbox", MessageText(u"offer", kSpamYes));
        m_world.Calls().OnCall({});
        const Lines writes = Writes();
        EXPECT_EQ(writes.empty() ? u"" : writes.back(), c.line) << c.antispamOn;
    }
    EXPECT_EQ(m_world.FolderCounts(u"a", u"Deleted Items/Spam").items, 1u) << "only the answered query filed";
    ShutDown();
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace qev::testing
