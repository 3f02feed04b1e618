// Watching the inboxes of the profile's stores: which items reach the
// filing, how account changes grow and shrink the watched set, what the
// account manager learns from the add-in, and that every way out ends all.
#include "filing/inbox_watch.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/mail/mail_world.h"
#include "tests/unit/test_text.h"

namespace qev::testing {
namespace {

class InboxWatchTest : public MailWorldTest {
protected:
    void Mail(std::u16string_view store, std::u16string_view path)
    {
        m_world.Deliver(store, path, MessageText(u"hello", kSpamNo));
    }
    std::size_t Handled() { return CountWrites(u"OnItemAdd_<"); }
    std::size_t LiveItemSubscriptions() { return m_world.Mail().LiveSubscriptions().size(); }
    EntryIdSet Watched()
    {
        EntryIdSet ids;
        Addin().Inboxes().WatchedStoreIds_(ids);
        return ids;
    }
};

// The profile's stores come from the session's table: a store the table does
// not list is not watched. (Accounts added and removed, other folders and
// shutdown: the mail scenarios show them on both runners.)
TEST_F(InboxWatchTest, OnlyTheStoresTheTableListsAreWatched)
{
    m_world.AddStore(u"a", u"Mailbox - Ann");
    m_world.AddStore(u"c", u"Not listed", {.listed = false});
    Start();
    EXPECT_EQ(Watched(), EntryIdSet{StoreId(u"a")});
    for (const auto* store : {u"a", u"c"}) Mail(store, u"Inbox");
    EXPECT_EQ(Handled(), 1u);
    ShutDown();
    EXPECT_EQ(Watched(), EntryIdSet{});
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

// Outlook closes without raising Quit (so AddinShutdown_ never runs) and lets
// the object go: nothing may stay subscribed to it.
TEST_F(InboxWatchTest, ClosingWithoutQuitLeavesNoSubscription)
{
    m_world.AddStore(u"a", u"Mailbox - Ann");
    m_world.AddStore(u"b", u"Mailbox - Bob");
    Start();
    Addin().OnBeginShutdown();
    Addin().OnDisconnection(0);
    ASSERT_EQ(LiveItemSubscriptions(), 2u);  // still watching until the object goes
    ASSERT_EQ(m_world.Accounts().Subscriptions(), 1u);
    std::exchange(m_addin, nullptr)->Release();
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

TEST_F(InboxWatchTest, SinkHandsOnlyAddedDispatchItemsOn)
{
    m_world.AddStore(u"a", u"Mailbox - Ann");
    ConnectOnly();
    Mail(u"a", u"Inbox");
    auto variant = [](host::Variant::Type type, host::Ref<host::Object> object) {
        host::Variant v;
        v.type = type;
        v.object = std::move(object);
        return v;
    };
    const host::Ref<host::Object> item = m_world.Mail().Item(u"a", u"Inbox", 1);
    const host::Variant dispatch = variant(host::Variant::Type::Dispatch, item);
    struct Case {
        std::int32_t dispId;
        std::vector<host::Variant> args;
        std::size_t handled;
    } const cases[] = {
        {0xF001, {dispatch}, 1},
        {0xF002, {dispatch}, 0},  // item changed
        {0xF003, {}, 0},          // item removed
        {0xF001, {}, 0},
        {0xF001, {dispatch, dispatch}, 0},
        {0xF001, {variant(host::Variant::Type::Unknown, item)}, 0},
        {0xF001, {host::Variant::Int(1)}, 0},
        {0xF001, {variant(host::Variant::Type::Dispatch, nullptr)}, 0},
    };
    ItemsEvents_Sink sink(Addin().Inboxes(), EntryId());
    for (const Case& c : cases) {
        ClearWrites();
        sink.OnEvent(c.dispId, c.args);
        EXPECT_EQ(Handled(), c.handled) << c.dispId << " " << c.args.size();
    }
}

TEST_F(InboxWatchTest, AccountManagerLearnsTheProfileNameAndSession)
{
    m_world.AddStore(u"a", u"Mailbox - Ann");
    m_world.Mail().SetProfileName(u"Work profile");
    Start();
    EXPECT_EQ(Narrow(m_world.Accounts().LastIdentity()), "Work profile");
    EXPECT_TRUE(m_world.Accounts().LastSessionMatched());

    struct Case {
        std::optional<std::u16string> name;
        bool eightBit;
        bool buffer;
        std::uint32_t size;
        HRESULT hr;
        std::uint32_t count;  // afterwards
    } const cases[] = {
        {u"Outlook", false, true, 8, S_OK, 7},
        {u"Outlook", false, true, 7, E_OUTOFMEMORY, 7},  // no room for the NUL
        {u"Outlook", false, true, 0, E_OUTOFMEMORY, 7},
        {u"", false, true, 1, S_OK, 0},
        {u"Outlook", false, false, 8, E_INVALIDARG, 8},
        {std::nullopt, false, true, 8, E_UNEXPECTED, 8},
        {u"B\u00fcro", true, true, 8, S_OK, 4},  // 8-bit, widened with the thread's ANSI code page
    };
    InboxWatcher& watcher = Addin().Inboxes();
    ClearWrites();
    for (const Case& c : cases) {
        m_world.Mail().SetProfileName(c.name, c.eightBit);
        std::vector<char16_t> buffer(16, u'#');
        std::uint32_t count = c.size;
        EXPECT_EQ(watcher.GetIdentity(c.buffer ? buffer.data() : nullptr, &count), c.hr);
        EXPECT_EQ(count, c.count);
        if (c.hr == S_OK) {
            EXPECT_EQ(std::u16string(buffer.data()), *c.name);
        }
    }
    host::Ref<host::Object> session;
    EXPECT_EQ(watcher.GetMapiSession(session), S_OK);
    EXPECT_EQ(session.Get(), static_cast<host::Object*>(&m_world.Mail().Session()));
    session.Reset();
    EXPECT_EQ(Writes(), std::vector<std::u16string>{}) << "inbox watching writes no trace lines";
    ShutDown();
    EXPECT_EQ(watcher.GetMapiSession(session), E_NOTIMPL);  // no application, no session
    EXPECT_EQ(m_world.ReleaseProblems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace qev::testing
