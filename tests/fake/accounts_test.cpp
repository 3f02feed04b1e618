#include "host/fake/fake_accounts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "host/fake/fake_world.h"

namespace host::fake {
namespace {

// Plays the add-in's side: the helper answers from the profile, the sink
// notes each notification with the stores the table lists at that moment.
class Client final : public AccountHelper, public AccountNotify {
public:
    explicit Client(FakeWorld& world) : m_world(world) {}

    struct Heard {
        std::uint32_t code;
        std::uint32_t accountId;
        std::size_t stores;
    };
    std::vector<Heard> heard;

    HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count) override
    {
        if (!buffer || !count) return E_INVALIDARG;
        Ref<Object> session = m_world.Application().GetNamespace(u"MAPI")->MapiObject();
        std::optional<PropValue> name;
        if (FAILED(QueryAs<MapiSession>(session.Get())->ProfileName(name)) || !name) return E_UNEXPECTED;
        const std::u16string text(name->unicode);
        const std::uint32_t room = *count;
        *count = static_cast<std::uint32_t>(text.size());
        if (text.size() + 1 > room) return E_OUTOFMEMORY;
        std::memcpy(buffer, text.c_str(), (text.size() + 1) * sizeof(char16_t));
        return S_OK;
    }
    HRESULT GetMapiSession(Ref<Object>& session) override
    {
        Ref<Object> object = m_world.Application().GetNamespace(u"MAPI")->MapiObject();
        session = QueryAs<MapiSession>(object.Get());
        return session ? S_OK : E_NOINTERFACE;
    }
    HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t) override
    {
        std::vector<PropValue> rows;
        m_world.Mail().Session().StoreEntryIds(0x80000000, rows);
        heard.push_back({code, accountId, rows.size()});
        return S_OK;
    }

private:
    FakeWorld& m_world;
};

// The account manager as Outlook's: Init asks the helper for the profile's
// name (again with a larger buffer when it did not fit), Advise before Init
// is refused, and a sink hears AN_ACCOUNT_CREATED / AN_ACCOUNT_DELETED once
// the profile's store table has changed.
TEST(FakeAccounts, ManagerNotifiesItsSinksAfterTheProfileChanged)
{
    FakeWorld world;
    world.AddStore(u"a", u"A");
    world.Mail().SetProfileName(u"A rather long profile name that does not fit into sixty-four characters");
    Client client(world);
    Ref<AccountManager> manager;
    ASSERT_EQ(world.Services().classes.CreateAccountManager(manager), S_OK);
    std::uint32_t cookie = 0;
    EXPECT_EQ(manager->Advise(&client, &cookie), E_UNEXPECTED);  // not initialized
    ASSERT_EQ(manager->Init(&client, 0), S_OK);
    // Init asked the helper, growing the buffer when the name did not fit.
    EXPECT_EQ(world.Accounts().LastIdentity(),
              u"A rather long profile name that does not fit into sixty-four characters");
    EXPECT_TRUE(world.Accounts().LastSessionMatched());
    ASSERT_EQ(manager->Advise(&client, &cookie), S_OK);
    EXPECT_EQ(manager->Advise(nullptr, &cookie), E_INVALIDARG);

    world.AccountAdd(u"b", u"Mailbox B");  // a new store
    world.AccountAdd(u"b", u"Mailbox B");  // already there: only the notification
    world.AccountRemove(u"a");
    world.AccountNotify(7);
    const std::uint32_t a = client.heard[2].accountId;
    const std::uint32_t b = client.heard[0].accountId;
    EXPECT_NE(a, b);
    const std::vector<std::tuple<std::uint32_t, std::uint32_t, std::size_t>> expected = {
        {kAccountCreated, b, 2}, {kAccountCreated, b, 2}, {kAccountDeleted, a, 1}, {7, 0, 1}};
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::size_t>> heard;
    for (const auto& h : client.heard) heard.emplace_back(h.code, h.accountId, h.stores);
    EXPECT_EQ(heard, expected);
    EXPECT_FALSE(world.Mail().InProfile(u"a"));
    // A store that comes back keeps its account.
    world.AccountAdd(u"a", u"A");
    EXPECT_EQ(client.heard.back().accountId, a);
    EXPECT_EQ(client.heard.back().stores, 2u);

    // Left subscribed and unreleased: both show.
    const std::vector<std::string> problems = world.ReleaseProblems();
    EXPECT_NE(std::find(problems.begin(), problems.end(), R"(AccountManager "1": 1 reference not released)"),
              problems.end());
    EXPECT_NE(std::find(problems.begin(), problems.end(), R"(subscription left: AccountManager "1" cookie 1)"),
              problems.end());
    EXPECT_EQ(manager->Unadvise(cookie), S_OK);
    EXPECT_EQ(manager->Unadvise(cookie), E_INVALIDARG);
    world.AccountNotify(1);
    EXPECT_EQ(client.heard.size(), 5u);
    manager = nullptr;
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace host::fake
