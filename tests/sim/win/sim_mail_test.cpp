// The Windows mail adapters (host/win: win_mail, win_mapi, win_accounts)
// against the simulated Outlook's COM objects, for what the mail corpus
// played through qev.dll never reaches: the explorer's folder and selection,
// an UnRead that is not canonical, a table of stores longer than one read, a
// value given under another tag than the one asked for, the failure of a
// proxy whose server is gone, and the account manager's callbacks cut off
// once the add-in lets go.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/com_error.h"
#include "host/mapi.h"
#include "host/outlook.h"
#include "host/utf.h"
#include "host/win/com_object.h"
#include "host/win/win_accounts.h"
#include "host/win/win_mail.h"
#include "host/win/win_outlook.h"
#include "sim/win/account_manager_face.h"
#include "sim/win/sim_mail.h"
#include "sim/win/sim_outlook.h"

namespace {

using namespace qev::sim::win;
using host::Ref;
using host::fake::Message;

template <class F>
HRESULT ErrorOf(F&& call)
{
    try {
        call();
    } catch (const host::ComError& e) {
        return e.Error();
    }
    return S_OK;
}

// Outlook's application with its mail, the model's stores behind it.
struct Profile {
    Ledger ledger;
    SimApplication application{ledger};
    SimMail mail{ledger};

    Profile() { application.SetMail(&mail); }
    host::fake::FakeMail& Model() { return mail.Model(); }
    std::vector<std::string> Problems()
    {
        std::vector<std::string> all = ledger.Problems();
        for (const std::string& line : mail.Problems()) all.push_back(line);
        return all;
    }
};

Message Item(std::u16string subject, host::fake::ItemKind kind = host::fake::ItemKind::Mail, std::int16_t unRead = -1)
{
    Message message;
    message.subject = std::move(subject);
    message.kind = kind;
    message.unRead = unRead;
    return message;
}

// Forwards to an automation object and keeps the type of every argument.
class ArgumentTypes final
    : public host::win::ComObject<host::win::AtomicCount, host::win::Row<IDispatch, IID_IDispatch>> {
public:
    explicit ArgumentTypes(IDispatch* inner) : m_inner(host::win::ComPtr<IDispatch>::Share(inner)) {}
    std::vector<VARTYPE> types;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return m_inner->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override
    {
        return m_inner->GetTypeInfo(index, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override
    {
        return m_inner->GetIDsOfNames(iid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT* argError) override
    {
        for (UINT i = 0; params && i < params->cArgs; ++i) types.push_back(params->rgvarg[i].vt);
        return m_inner->Invoke(id, iid, lcid, flags, params, result, info, argError);
    }

private:
    host::win::ComPtr<IDispatch> m_inner;
};

TEST(SimMailAdapters, ExplorerFolderAndSelectionAsTheAddinReadsThem)
{
    Profile profile;
    host::fake::FakeMail& model = profile.Model();
    model.AddStore(u"a", u"Mailbox - Ann");
    model.Deliver(u"a", u"Inbox", Item(u"one"));
    model.Deliver(u"a", u"Inbox", Item(u"two", host::fake::ItemKind::Meeting));
    model.Deliver(u"a", u"Inbox", Item(u"three", host::fake::ItemKind::Mail, 1));  // not canonical
    profile.mail.Select(*profile.application.ExplorerAt(1), u"a", u"Inbox", {1, 2, 3});
    {
        const Ref<host::Application> app = host::win::WrapApplication(&profile.application);
        const Ref<host::Explorer> explorer = app->ActiveExplorer();
        ASSERT_TRUE(explorer);
        const Ref<host::Folder> folder = explorer->CurrentFolder();
        ASSERT_TRUE(folder);
        EXPECT_EQ(folder->Class(), 2);
        EXPECT_EQ(folder->DefaultItemType(), 0);
        EXPECT_EQ(folder->Name(), u"Inbox");
        const Ref<host::Items> items = folder->GetItems();
        ASSERT_TRUE(items);
        EXPECT_EQ(items->Count(), 3);

        ASSERT_TRUE(explorer->GetSelection());
        VARIANT shown = {};
        ASSERT_EQ(profile.mail.Selection(1, shown), S_OK);
        const auto spy = host::win::Make<ArgumentTypes>(shown.pdispVal);
        VariantClear(&shown);
        const Ref<host::Selection> selection = host::win::WrapSelection(spy.Get());
        EXPECT_EQ(selection->Count(), 3);
        const Ref<host::MailItem> first = host::QueryAs<host::MailItem>(selection->Item(1).Get());
        const Ref<host::Object> second = selection->Item(2);
        const Ref<host::MailItem> third = host::QueryAs<host::MailItem>(selection->Item(3).Get());
        ASSERT_TRUE(first && third);
        EXPECT_FALSE(host::QueryAs<host::MailItem>(second.Get())) << "a meeting request is no mail item";
        EXPECT_TRUE(host::QueryAs<host::Dispatch>(second.Get()));
        EXPECT_EQ(ErrorOf([&] { selection->Item(4); }), DISP_E_BADINDEX);
        EXPECT_EQ(spy->types, std::vector<VARTYPE>(4, VT_INT)) << "Outlook takes the index as a VT_INT";

        // UnRead exactly as the item gives it, so that only VARIANT_TRUE counts as unread.
        EXPECT_EQ(first->UnRead().boolValue, -1);
        const host::Variant raw = third->UnRead();
        EXPECT_EQ(raw.type, host::Variant::Type::Bool);
        EXPECT_EQ(raw.boolValue, 1);
        first->SetUnRead(false);
        EXPECT_EQ(model.UnReadOf(u"a", u"Inbox", 1), 0);
    }
    EXPECT_EQ(profile.Problems(), std::vector<std::string>{}) << "every wrapper released what it held";
}

TEST(SimMailAdapters, SessionReadsEveryStoreAndTheProfileNameUnderItsOwnTag)
{
    Profile profile;
    host::fake::FakeMail& model = profile.Model();
    std::vector<std::vector<std::uint8_t>> listed;
    for (int i = 1; i <= 70; ++i) {  // more than one QueryRows of the store table
        const std::u16string name = u"s" + host::Utf16(std::to_string(i));
        model.AddStore(name, u"Store " + name);
        if (i == 2)
            model.SetListed(name, false);
        else
            listed.push_back(model.StoreEntryId(name));
    }
    model.SetProfileName(u"Outlook", true);
    {
        const Ref<host::Namespace> nameSpace = host::win::WrapApplication(&profile.application)->GetNamespace(u"MAPI");
        ASSERT_TRUE(nameSpace);
        const Ref<host::MapiSession> session = host::QueryAs<host::MapiSession>(nameSpace->MapiObject().Get());
        ASSERT_TRUE(session);
        std::vector<host::PropValue> rows;
        ASSERT_EQ(session->StoreEntryIds(0x80000000 /* MAPI_UNICODE */, rows), S_OK);
        std::vector<std::vector<std::uint8_t>> got;
        for (const host::PropValue& row : rows) got.emplace_back(row.binary.begin(), row.binary.end());
        EXPECT_EQ(got.size(), listed.size());
        EXPECT_TRUE(got == listed) << "the ids of the listed stores, in table order";

        // Asked for PR_PROFILE_NAME_W, given the 8-bit value: its own tag tells.
        std::optional<host::PropValue> name;
        EXPECT_EQ(session->ProfileName(name), S_OK);
        ASSERT_TRUE(name);
        EXPECT_EQ(name->tag, host::fake::kPrProfileNameA);
        EXPECT_EQ(name->string8, "Outlook");
    }
    EXPECT_EQ(profile.Problems(), std::vector<std::string>{});
}

// A proxy whose server is gone: every interface but IUnknown fails.
class GoneProxy final : public host::win::ComObject<host::win::AtomicCount, host::win::Row<IUnknown>> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) return ComObject::QueryInterface(iid, out);
        if (out) *out = nullptr;
        return RPC_E_DISCONNECTED;
    }
};

TEST(SimMailAdapters, QueryResultReportsTheObjectsOwnFailure)
{
    Profile profile;
    profile.Model().AddStore(u"a", u"Mailbox - Ann");
    profile.Model().Deliver(u"a", u"Inbox", Item(u"invitation", host::fake::ItemKind::Meeting));
    IUnknown* meeting = profile.mail.HandOut(profile.Model().Item(u"a", u"Inbox", 1));
    const auto gone = host::win::Make<GoneProxy>();
    const struct {
        IUnknown* object;
        HRESULT mailItem;
    } cases[] = {
        {meeting, E_NOINTERFACE},
        {gone.Get(), RPC_E_DISCONNECTED},
    };
    for (const auto& c : cases) {
        const Ref<host::Object> object = host::win::WrapUnknown(c.object);
        Ref<host::MailItem> item;
        EXPECT_EQ(host::QueryAs<host::MailItem>(object.Get(), item), c.mailItem);
        EXPECT_FALSE(item);
        // The wrapper answers what it is itself, whatever the object says.
        host::Object* self = nullptr;
        EXPECT_EQ(object->QueryResult(host::Iface::Unknown, self), S_OK);
        if (self) self->Release();
    }
    meeting->Release();
    EXPECT_EQ(profile.Problems(), std::vector<std::string>{});
}

// An account manager that keeps what it was given and calls it whenever it
// likes, even after Unadvise: nothing the add-in can rule out.
class KeepingManager final : public AccountManagerFace<host::win::AtomicCount> {
public:
    host::win::ComPtr<host::win::IOlkAccountHelper> helper;
    host::win::ComPtr<host::win::IOlkAccountNotify> notify;

    HRESULT STDMETHODCALLTYPE Init(host::win::IOlkAccountHelper* given, DWORD) override
    {
        helper = host::win::ComPtr<host::win::IOlkAccountHelper>::Share(given);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(host::win::IOlkAccountNotify* given, DWORD* cookie) override
    {
        notify = host::win::ComPtr<host::win::IOlkAccountNotify>::Share(given);
        *cookie = 7;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return S_OK; }
};

struct Callbacks final : host::AccountHelper, host::AccountNotify {
    int calls = 0;
    HRESULT GetIdentity(char16_t*, std::uint32_t*) override { return ++calls, S_OK; }
    HRESULT GetMapiSession(Ref<host::Object>&) override { return ++calls, E_NOTIMPL; }
    HRESULT Notify(std::uint32_t, std::uint32_t, std::uint32_t) override { return ++calls, S_OK; }
};

TEST(SimMailAdapters, AccountCallbacksAreCutOffWhenTheAddinLetsGo)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const auto keeping = host::win::Make<KeepingManager>();
    Callbacks callbacks;
    Ref<host::AccountManager> manager = host::win::WrapAccountManager(keeping.Get());
    EXPECT_EQ(manager->Init(&callbacks, 0), S_OK);
    std::uint32_t cookie = 0;
    EXPECT_EQ(manager->Advise(&callbacks, &cookie), S_OK);
    ASSERT_TRUE(keeping->helper && keeping->notify);
    wchar_t buffer[8] = {};
    DWORD count = 8;
    EXPECT_EQ(keeping->helper->GetIdentity(buffer, &count), S_OK);
    EXPECT_EQ(keeping->notify->Notify(2, 1, 0), S_OK);
    EXPECT_EQ(callbacks.calls, 2);

    // Unadvise cuts the notify off at once, whatever the manager keeps.
    EXPECT_EQ(manager->Unadvise(cookie), S_OK);
    EXPECT_EQ(keeping->notify->Notify(3, 1, 0), S_OK);
    // Without Outlook's class no manager is made, and the one held is let go.
    host::win::WinComClasses classes;
    EXPECT_EQ(classes.CreateAccountManager(manager), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(manager);
    // The wrapper gone, the helper answers as one without a profile.
    EXPECT_EQ(keeping->helper->GetIdentity(buffer, &count), E_UNEXPECTED);
    IUnknown* session = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(keeping->helper->GetMapiSession(&session), E_NOTIMPL);
    EXPECT_EQ(session, nullptr);
    EXPECT_EQ(callbacks.calls, 2);
    CoUninitialize();
}

}  // namespace
