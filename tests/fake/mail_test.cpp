#include "host/fake/fake_mail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "host/com_error.h"
#include "host/fake/fake_text.h"
#include "host/fake/fake_world.h"

namespace host::fake {
namespace {

constexpr char16_t kSpamText[] =
    u"From: Spammer <s@example.com>\r\nSubject: Cheap pills\r\nX-Tag: Yes\r\n\r\nBuy now.\r\nToday only.\r\n";

std::u16string Hex(std::span<const std::uint8_t> bytes)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    for (const std::uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

std::u16string Lower(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return text;
}

HRESULT ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const ComError& e) {
        return e.Error();
    }
    return S_OK;
}

std::vector<std::uint8_t> BinaryProp(MapiProp& prop, std::uint32_t tag)
{
    std::optional<PropValue> value;
    if (FAILED(prop.GetOneProp(tag, value)) || !value) return {};
    return {value->binary.begin(), value->binary.end()};
}

class RecordingSink final : public EventSink {
public:
    struct Event {
        std::int32_t dispId;
        std::size_t args;
        Ref<Object> item;
    };
    std::vector<Event> events;
    void OnEvent(std::int32_t dispId, std::span<const Variant> args) override
    {
        Event e{dispId, args.size(), nullptr};
        if (args.size() == 1 && args[0].type == Variant::Type::Dispatch) e.item = args[0].object;
        events.push_back(std::move(e));
    }
};

class MailWorld : public ::testing::Test {
protected:
    FakeWorld world;
    std::vector<std::string> transcript;

    void SetUp() override
    {
        world.OnMailEvent([this](const MailEvent& e) {
            transcript.push_back(e.Render([](std::u16string_view text) { return Utf8(text); }));
        });
    }

    Ref<Namespace> Ns() { return world.Application().GetNamespace(u"MAPI"); }
    Ref<MapiSession> Session()
    {
        Ref<Object> object = Ns()->MapiObject();
        return QueryAs<MapiSession>(object.Get());
    }
};

// Namespace.GetFolderFromID: the ids HexFromBin writes, a folder found with
// or without its store's id but not with another store's, MAPI_E_NOT_FOUND
// for an id no store holds, E_INVALIDARG for text that is no id.
TEST_F(MailWorld, EntryIdsRoundTripThroughHexAndCompareByLength)
{
    world.AddStore(u"a", u"Mailbox - Ann");
    world.AddStore(u"b", u"Archive");
    world.AddStore(u"c", u"Public");
    world.AddFolder(u"b", u"Projects/Q3");
    const std::vector<std::uint8_t> a = world.Mail().StoreEntryId(u"a");
    const std::vector<std::uint8_t> b = world.Mail().StoreEntryId(u"b");
    const std::vector<std::uint8_t> c = world.Mail().StoreEntryId(u"c");
    // a's id is a prefix of b's; c's sorts before both in hexadecimal text.
    ASSERT_LT(a.size(), b.size());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin()));
    EXPECT_LT(Hex(c), Hex(a));

    Ref<Namespace> ns = Ns();
    struct Case {
        const char16_t* store;
        const char16_t* path;
        const char16_t* name;
    };
    const Case cases[] = {
        {u"a", u"Inbox", u"Inbox"}, {u"a", u"Deleted Items", u"Deleted Items"},
        {u"b", u"Inbox", u"Inbox"}, {u"b", u"Projects/Q3", u"Q3"},
        {u"c", u"", u"Public"},
    };
    for (const Case& k : cases) {
        const std::u16string folderHex = Hex(world.Mail().FolderEntryId(k.store, k.path));
        const std::u16string storeHex = Hex(world.Mail().StoreEntryId(k.store));
        Ref<Folder> folder = ns->GetFolderFromID(folderHex, storeHex);
        ASSERT_TRUE(folder) << Utf8(k.path);
        EXPECT_EQ(folder->Name(), k.name);
        // The same folder without a store id; not with a store that lacks it.
        Ref<Folder> anyStore = ns->GetFolderFromID(folderHex, u"");
        EXPECT_EQ(anyStore.Get(), folder.Get());
        const std::u16string other = Hex(world.Mail().StoreEntryId(k.store == std::u16string(u"a") ? u"b" : u"a"));
        EXPECT_EQ(ErrorOf([&] { ns->GetFolderFromID(folderHex, other); }), MAPI_E_NOT_FOUND) << Utf8(k.path);
        // Only HexFromBin's upper case is taken.
        EXPECT_EQ(ErrorOf([&] { ns->GetFolderFromID(Lower(folderHex), storeHex); }), E_INVALIDARG);
    }
    const std::u16string inboxHex = Hex(world.Mail().FolderEntryId(u"a", u"Inbox"));
    EXPECT_EQ(ErrorOf([&] { ns->GetFolderFromID(inboxHex.substr(1), u""); }), E_INVALIDARG);  // odd length
    EXPECT_EQ(ErrorOf([&] { ns->GetFolderFromID(inboxHex + u"00", u""); }), MAPI_E_NOT_FOUND);
    // b's id with its last byte cut is a's: the folder of b is not in a.
    const std::u16string bInbox = Hex(world.Mail().FolderEntryId(u"b", u"Inbox"));
    EXPECT_EQ(ErrorOf([&] { ns->GetFolderFromID(bInbox, Hex(a)); }), MAPI_E_NOT_FOUND);
    EXPECT_EQ(ErrorOf([&] { world.Application().GetNamespace(u"Other"); }), E_INVALIDARG);
    EXPECT_TRUE(world.Application().GetNamespace(u"mapi"));
}

// The session's message-store table lists the profile's stores; a store
// still opens by its id when it is not listed, not once it left the profile.
// (The profile's name in either form: the Windows parts' suite and the inbox
// watch suite read it through the add-in's adapters.)
TEST_F(MailWorld, TableOfStoresFollowsTheProfile)
{
    world.AddStore(u"a", u"A");
    world.AddStore(u"b", u"B");
    world.AddStore(u"c", u"C");
    world.Mail().SetListed(u"b", false);
    Ref<MapiSession> session = Session();
    ASSERT_TRUE(session);
    auto table = [&] {
        std::vector<std::vector<std::uint8_t>> ids;
        std::vector<PropValue> rows;
        EXPECT_EQ(session->StoreEntryIds(kMapiUnicode, rows), S_OK);
        for (const PropValue& row : rows) {
            EXPECT_EQ(row.tag, kPrEntryId);
            ids.emplace_back(row.binary.begin(), row.binary.end());
        }
        return ids;
    };
    EXPECT_EQ(table(), (std::vector<std::vector<std::uint8_t>>{world.Mail().StoreEntryId(u"a"),
                                                               world.Mail().StoreEntryId(u"c")}));

    // An unlisted store still opens; one out of the profile does not, nor
    // does a prefix of a store's id.
    for (const std::uint32_t flags : {0x11u, 0x15u}) {
        Ref<Object> store;
        EXPECT_EQ(session->OpenMsgStore(world.Mail().StoreEntryId(u"b"), flags, store), S_OK);
        EXPECT_TRUE(QueryAs<MsgStore>(store.Get()));
    }
    EXPECT_EQ(world.Mail().OpenMsgStoreFlags(u"b"), (std::vector<std::uint32_t>{0x11, 0x15}));
    world.Mail().SetInProfile(u"c", false);
    Ref<Object> store;
    EXPECT_EQ(session->OpenMsgStore(world.Mail().StoreEntryId(u"c"), 0x11, store), MAPI_E_NOT_FOUND);
    EXPECT_FALSE(store);
    std::vector<std::uint8_t> cut = world.Mail().StoreEntryId(u"b");
    cut.pop_back();
    cut.push_back(0xEE);
    EXPECT_EQ(session->OpenMsgStore(cut, 0x11, store), MAPI_E_NOT_FOUND);
    EXPECT_EQ(table(), (std::vector<std::vector<std::uint8_t>>{world.Mail().StoreEntryId(u"a")}));
    const std::u16string cInbox = Hex(world.Mail().FolderEntryId(u"c", u"Inbox"));
    EXPECT_EQ(ErrorOf([&] { Ns()->GetFolderFromID(cInbox, u""); }), MAPI_E_NOT_FOUND);
}

// A store opens only its own folders, and a store without a receive folder
// answers MAPI_E_NOT_FOUND. (The provider that refuses MAPI_UNICODE, the
// Inbox as receive folder and Deleted Items as the wastebasket: the mail
// scenarios and the filing suite show them.)
TEST_F(MailWorld, StoreOpensOnlyItsOwnFoldersAndMayLackAReceiveFolder)
{
    world.AddStore(u"a", u"A");
    world.AddStore(u"b", u"B");
    world.Mail().SetReceiveFolder(u"a", std::nullopt);
    Ref<Object> opened;
    ASSERT_EQ(Session()->OpenMsgStore(world.Mail().StoreEntryId(u"a"), 0x11, opened), S_OK);
    Ref<MsgStore> store = QueryAs<MsgStore>(opened.Get());
    ASSERT_TRUE(store);
    Ref<Object> folder;
    EXPECT_EQ(store->OpenEntry(world.Mail().FolderEntryId(u"a", u"Inbox"), 0x80000011, folder), S_OK);
    EXPECT_EQ(store->OpenEntry(world.Mail().FolderEntryId(u"b", u"Inbox"), 0x80000011, folder), MAPI_E_NOT_FOUND);
    EXPECT_FALSE(folder);
    std::vector<std::uint8_t> none;
    EXPECT_EQ(store->GetReceiveFolder(u"IPM.Note", kMapiUnicode, none), MAPI_E_NOT_FOUND);
    EXPECT_TRUE(none.empty());
    opened = nullptr;
    store = nullptr;
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
}

// IMAPIFolder::CreateFolder: OPEN_IF_EXISTS opens a folder of that name
// (names compare without case), without it MAPI_E_COLLISION; only generic
// folders here, unknown flags refused.
TEST_F(MailWorld, CreateFolderOpensCreatesOrRefuses)
{
    world.AddStore(u"a", u"A");
    world.AddFolder(u"a", u"Deleted Items/Spam");
    Ref<Object> opened;
    ASSERT_EQ(Session()->OpenMsgStore(world.Mail().StoreEntryId(u"a"), 0x15, opened), S_OK);
    Ref<MsgStore> store = QueryAs<MsgStore>(opened.Get());
    Ref<Object> deletedObject;
    ASSERT_EQ(store->OpenEntry(world.Mail().FolderEntryId(u"a", u"Deleted Items"), 0x80000011, deletedObject), S_OK);
    Ref<MapiFolder> deleted = QueryAs<MapiFolder>(deletedObject.Get());
    ASSERT_TRUE(deleted);
    struct Case {
        std::uint32_t type;
        const char16_t* name;
        std::uint32_t flags;
        HRESULT expected;
        const char16_t* path;  // the folder that comes back
    };
    const Case cases[] = {
        {1, u"Spam", 0x80000001, S_OK, u"Deleted Items/Spam"},
        {1, u"SPAM", 0x80000001, S_OK, u"Deleted Items/Spam"},
        {1, u"spam", 0x80000000, kMapiCollision, nullptr},
        {1, u"Junk", 0x80000001, S_OK, u"Deleted Items/Junk"},
        {1, u"Junk", 0x80000001, S_OK, u"Deleted Items/Junk"},
        {1, u"Other", 0x80000000, S_OK, u"Deleted Items/Other"},
        {2, u"Search", 0x80000001, MAPI_E_NO_SUPPORT, nullptr},
        {1, u"Flags", 0x80000101, MAPI_E_UNKNOWN_FLAGS, nullptr},
        {1, u"", 0x80000001, E_INVALIDARG, nullptr},
    };
    for (const Case& c : cases) {
        Ref<Object> made;
        EXPECT_EQ(deleted->CreateFolder(c.type, c.name, c.flags, made), c.expected) << Utf8(c.name);
        if (!c.path) {
            EXPECT_FALSE(made);
            continue;
        }
        Ref<MapiProp> prop = QueryAs<MapiProp>(made.Get());
        ASSERT_TRUE(prop);
        EXPECT_EQ(BinaryProp(*prop, kPrEntryId), world.Mail().FolderEntryId(u"a", c.path)) << Utf8(c.name);
        EXPECT_EQ(BinaryProp(*prop, kPrStoreEntryId), world.Mail().StoreEntryId(u"a"));
    }
    // Made folders are mail folders; only the two new ones were reported.
    Ref<Folder> junk = world.Mail().OutlookFolder(u"a", u"Deleted Items/Junk");
    EXPECT_EQ(junk->Class(), 2);
    EXPECT_EQ(junk->DefaultItemType(), 0);
    EXPECT_EQ(transcript,
              (std::vector<std::string>{R"(CREATE a "Deleted Items/Junk")", R"(CREATE a "Deleted Items/Other")"}));
}

// Items.ItemAdd: raised to every subscriber of that folder's Items, so that
// a second subscription shows as a second handling; an item moved into a
// watched folder is announced later, from Outlook's message loop, and not at
// all when it has moved on meanwhile. (Other folders, meeting requests and
// unsubscribing: the mail scenarios show them on both runners.)
TEST_F(MailWorld, ItemAddReachesEverySubscriberAndMovesAreAnnouncedLater)
{
    world.AddStore(u"a", u"A");
    world.AddStore(u"b", u"B");
    world.AddFolder(u"a", u"Other");
    RecordingSink aInbox;
    RecordingSink aInboxToo;
    RecordingSink bInbox;
    RecordingSink aOther;
    struct Subscription {
        Ref<Items> items;
        std::uint32_t cookie;
    };
    auto subscribe = [&](const char16_t* store, const char16_t* path, RecordingSink& sink) {
        Ref<Items> items = world.Mail().OutlookFolder(store, path)->GetItems();
        Ref<EventSource> source = QueryAs<EventSource>(items.Get());
        return Subscription{items, source->Advise(EventInterface::ItemsEvents, &sink)};
    };
    std::vector<Subscription> subscriptions;
    subscriptions.push_back(subscribe(u"a", u"Inbox", aInbox));
    subscriptions.push_back(subscribe(u"a", u"Inbox", aInboxToo));
    subscriptions.push_back(subscribe(u"b", u"Inbox", bInbox));
    subscriptions.push_back(subscribe(u"a", u"Other", aOther));

    world.Deliver(u"a", u"Inbox", kSpamText);
    ASSERT_EQ(aInbox.events.size(), 1u);
    ASSERT_EQ(aInboxToo.events.size(), 1u);
    EXPECT_EQ(aInbox.events[0].dispId, kDispIdItemAdd);
    EXPECT_EQ(aInbox.events[0].item.Get(), aInboxToo.events[0].item.Get());

    // A move into a watched folder is announced when the world has control again.
    Ref<MailItem> mail = QueryAs<MailItem>(aInbox.events[0].item.Get());
    Ref<Object> moved = mail->Move(world.Mail().OutlookFolder(u"a", u"Other").Get());
    EXPECT_TRUE(aOther.events.empty());
    EXPECT_EQ(world.Mail().PendingEvents(), 1u);
    world.Pump();
    ASSERT_EQ(aOther.events.size(), 1u);
    EXPECT_EQ(aOther.events[0].item.Get(), moved.Get());
    // An item that moves on before its event is not announced where it was.
    moved = QueryAs<MailItem>(moved.Get())->Move(world.Mail().OutlookFolder(u"b", u"Inbox").Get());
    moved = QueryAs<MailItem>(moved.Get())->Move(world.Mail().OutlookFolder(u"a", u"Other").Get());
    world.Deliver(u"a", u"Inbox", kSpamText);  // raises the waiting events first
    EXPECT_TRUE(bInbox.events.empty());
    EXPECT_EQ(aOther.events.size(), 2u);
    EXPECT_EQ(aInbox.events.size(), 2u);

    for (Subscription& s : subscriptions)
        QueryAs<EventSource>(s.items.Get())->Unadvise(EventInterface::ItemsEvents, s.cookie);
    for (RecordingSink* sink : {&aInbox, &aInboxToo, &bInbox, &aOther}) sink->events.clear();
    subscriptions.clear();
    mail = nullptr;
    moved = nullptr;
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace host::fake
