// The mail adapters over real COM and the real mapi32: Outlook's namespace,
// folders, items, mail items and selection reached by name; MAPI properties,
// stores, folders and the session through the provider's interfaces and
// mapi32's helpers; the account manager and the helper and notify objects it
// is handed. The providers here are small COM objects of the test's own.

#include <windows.h>

#include <mapidefs.h>
#include <mapix.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/com_error.h"
#include "host/mapi.h"
#include "host/outlook.h"
#include "host/win/win_accounts.h"
#include "host/win/win_mail.h"
#include "host/win/win_mapi.h"
#include "host/win/win_outlook.h"
#include "host/win/win_variant.h"
#include "sim/win/account_manager_face.h"
#include "tests/win/com_test_objects.h"

namespace {

using testcom::ErrorOf;

using host::Iface;
using host::PropValue;
using host::Ref;
using host::win::IOlkAccountHelper;
using host::win::IOlkAccountManager;
using host::win::IOlkAccountNotify;
using testcom::ComScope;
using testcom::TestObject;

constexpr IID kItemsEvents = {0x00063077, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kApplicationEvents = {0x0006304E, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kProfSect = {0x00020304, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

ULONG RefsOf(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

VARIANT Text(const wchar_t* text)  // the caller frees it (VariantClear)
{
    VARIANT v = {};
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Object(VARTYPE vt, IUnknown* object)  // with a reference of its own
{
    VARIANT v = {};
    v.vt = vt;
    v.punkVal = object;
    if (object) object->AddRef();
    return v;
}

VARIANT Copy(const VARIANT& v)  // the caller frees it (VariantClear)
{
    VARIANT copy = {};
    VariantCopy(&copy, const_cast<VARIANT*>(&v));
    return copy;
}

IDispatch* D(TestObject* object)
{
    return object ? object->Dispatch() : nullptr;
}

std::wstring TextOf(const VARIANT& v)
{
    return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"<not text>";
}

// ---- COM objects of the test ----

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects die through Release
#pragma GCC diagnostic ignored "-Wunused-parameter"  // the MAPI methods no test calls

// The MAPI methods a test object does not override answer as a provider
// without them does.
#define QEV_NO_SUPPORT            \
    {                             \
        return MAPI_E_NO_SUPPORT; \
    }

struct PropNoSupport : IMAPIProp {
    MAPI_IMAPIPROP_METHODS(QEV_NO_SUPPORT)
};
struct SectionNoSupport : IProfSect {
    MAPI_IMAPIPROP_METHODS(QEV_NO_SUPPORT)
};
struct StoreNoSupport : IMsgStore {
    MAPI_IMAPIPROP_METHODS(QEV_NO_SUPPORT)
    MAPI_IMSGSTORE_METHODS(QEV_NO_SUPPORT)
};
struct FolderNoSupport : IMAPIFolder {
    MAPI_IMAPIPROP_METHODS(QEV_NO_SUPPORT)
    MAPI_IMAPICONTAINER_METHODS(QEV_NO_SUPPORT)
    MAPI_IMAPIFOLDER_METHODS(QEV_NO_SUPPORT)
};
struct TableNoSupport : IMAPITable {
    MAPI_IMAPITABLE_METHODS(QEV_NO_SUPPORT)
};
struct SessionNoSupport : IMAPISession {
    MAPI_IMAPISESSION_METHODS(QEV_NO_SUPPORT)
};
struct AdminNoSupport : IMsgServiceAdmin {
    MAPI_IMSGSERVICEADMIN_METHODS(QEV_NO_SUPPORT)
};

#undef QEV_NO_SUPPORT

// A test object answering IUnknown and the ids it lists.
template <class Interface>
class Counted : public host::win::ComObject<host::win::AtomicCount, host::win::Row<Interface>> {
public:
    explicit Counted(std::vector<IID> iids) : m_iids(std::move(iids)) {}
    ULONG Refs() const { return this->RefCount().Get(); }

private:
    void* QueryMore(REFIID iid) noexcept override
    {
        for (const IID& own : m_iids)
            if (IsEqualIID(iid, own)) return static_cast<Interface*>(this);
        return nullptr;
    }

    std::vector<IID> m_iids;
};

// A value the provider holds.
struct Value {
    ULONG tag = PR_NULL;
    std::vector<BYTE> data;  // string (with its terminator) or bytes
    bool nullPointer = false;
    LONG number = 0;  // PT_LONG, PT_ERROR
};

Value Unicode(ULONG tag, const std::wstring& text)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {tag, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}
Value String8(ULONG tag, const std::string& text)
{
    return {tag, std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1)};
}
Value Binary(ULONG tag, std::vector<BYTE> bytes)
{
    return {tag, std::move(bytes)};
}
Value NullPointer(ULONG tag)
{
    Value v;
    v.tag = tag;
    v.nullPointer = true;
    return v;
}
Value Number(ULONG tag, LONG number)
{
    Value v;
    v.tag = tag;
    v.number = number;
    return v;
}

// The value into out, its data allocated more on parent, as providers do.
void Fill(SPropValue& out, const Value& value, void* parent)
{
    const host::win::MapiLibrary& mapi = host::win::Mapi();
    std::memset(&out, 0, sizeof(out));
    out.ulPropTag = value.tag;
    void* data = nullptr;
    if (!value.nullPointer && !value.data.empty()) {
        mapi.allocateMore(static_cast<ULONG>(value.data.size()), parent, &data);
        std::memcpy(data, value.data.data(), value.data.size());
    }
    switch (PROP_TYPE(value.tag)) {
        case PT_UNICODE:
            out.Value.lpszW = static_cast<LPWSTR>(data);
            break;
        case PT_STRING8:
            out.Value.lpszA = static_cast<LPSTR>(data);
            break;
        case PT_BINARY:
            out.Value.bin.cb = static_cast<ULONG>(value.data.size());
            out.Value.bin.lpb = static_cast<LPBYTE>(data);
            break;
        case PT_ERROR:
            out.Value.err = value.number;
            break;
        default:
            out.Value.l = value.number;
            break;
    }
}

struct Opened {
    ULONG tag;
    IID iid;
    bool iidGiven;
    ULONG options;
    ULONG flags;
};

// IMAPIProp over a map of values by the tag asked for; the value's own tag
// may differ from it, as a provider's may.
template <class NoSupport>
class PropObject : public Counted<NoSupport> {
public:
    using Counted<NoSupport>::Counted;

    std::map<ULONG, Value> props;
    HRESULT getPropsResult = S_OK;
    HRESULT openResult = S_OK;
    std::vector<Opened> opened;

    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override
    {
        *values = nullptr;
        if (FAILED(getPropsResult)) return getPropsResult;
        if (!tags) return MAPI_E_NO_SUPPORT;
        SPropValue* out = nullptr;
        host::win::Mapi().allocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * tags->cValues),
                                         reinterpret_cast<void**>(&out));
        bool missing = false;
        for (ULONG i = 0; i < tags->cValues; ++i) {
            const ULONG tag = tags->aulPropTag[i];
            const auto it = props.find(tag);
            if (it == props.end()) {
                Fill(out[i], Number(PROP_TAG(PT_ERROR, PROP_ID(tag)), MAPI_E_NOT_FOUND), out);
                missing = true;
            } else {
                Fill(out[i], it->second, out);
            }
        }
        *count = tags->cValues;
        *values = out;
        return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
    }

    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG options, ULONG flags, LPUNKNOWN* out) override
    {
        opened.push_back({tag, iid ? *iid : IID_NULL, iid != nullptr, options, flags});
        *out = nullptr;
        if (FAILED(openResult)) return openResult;
        IStream* stream = nullptr;
        CreateStreamOnHGlobal(nullptr, TRUE, &stream);
        stream->Write("abc", 3, nullptr);
        *out = stream;
        return S_OK;
    }
};

using MessageObject = PropObject<PropNoSupport>;

struct EntryCall {
    std::vector<BYTE> entryId;
    bool iidGiven;
    ULONG flags;
};

std::vector<BYTE> BytesOf(ULONG size, const void* bytes)
{
    const auto* begin = static_cast<const BYTE*>(bytes);
    return begin ? std::vector<BYTE>(begin, begin + size) : std::vector<BYTE>{};
}

// A folder: CreateFolder records its arguments and answers another folder.
class FolderObject final : public PropObject<FolderNoSupport> {
public:
    FolderObject() : PropObject({kIidMapiProp(), kIidMapiContainer(), host::win::kIidMapiFolder}) {}

    struct Created {
        ULONG type;
        std::wstring name;
        bool commentGiven;
        bool iidGiven;
        ULONG flags;
    };
    std::vector<Created> created;
    HRESULT createResult = S_OK;

    HRESULT STDMETHODCALLTYPE CreateFolder(ULONG type, LPTSTR name, LPTSTR comment, LPCIID iid, ULONG flags,
                                           LPMAPIFOLDER* folder) override
    {
        const std::wstring text = (flags & MAPI_UNICODE) ? std::wstring(reinterpret_cast<LPCWSTR>(name))
                                                         : Widened(reinterpret_cast<LPCSTR>(name));
        created.push_back({type, text, comment != nullptr, iid != nullptr, flags});
        *folder = nullptr;
        if (FAILED(createResult)) return createResult;
        *folder = new FolderObject;
        return S_OK;
    }

    static IID kIidMapiProp() { return host::win::kIidMapiProp; }
    static IID kIidMapiContainer() { return {0x0002030B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }
    static std::wstring Widened(LPCSTR text) { return L"narrow:" + std::wstring(text, text + std::strlen(text)); }
};

// A store: OpenEntry and GetReceiveFolder record their arguments.
class StoreObject final : public PropObject<StoreNoSupport> {
public:
    StoreObject() : PropObject({host::win::kIidMapiProp, host::win::kIidMsgStore}) {}

    std::vector<EntryCall> entries;
    std::vector<HRESULT> entryResults;  // one per call, S_OK when none is left
    std::vector<BYTE> receiveFolder = {0x00, 0x11, 0xFE};
    HRESULT receiveResult = S_OK;
    std::wstring receiveClass;
    ULONG receiveFlags = 0;

    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG size, LPENTRYID entryId, LPCIID iid, ULONG flags, ULONG* type,
                                        LPUNKNOWN* out) override
    {
        entries.push_back({BytesOf(size, entryId), iid != nullptr, flags});
        *out = nullptr;
        const HRESULT hr = entries.size() <= entryResults.size() ? entryResults[entries.size() - 1] : S_OK;
        if (FAILED(hr)) return hr;
        *type = MAPI_FOLDER;
        *out = static_cast<IMAPIFolder*>(new FolderObject);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetReceiveFolder(LPTSTR messageClass, ULONG flags, ULONG* size, LPENTRYID* entryId,
                                               LPTSTR* explicitClass) override
    {
        receiveFlags = flags;
        receiveClass = (flags & MAPI_UNICODE) ? std::wstring(reinterpret_cast<LPCWSTR>(messageClass))
                                              : FolderObject::Widened(reinterpret_cast<LPCSTR>(messageClass));
        *entryId = nullptr;
        if (explicitClass) *explicitClass = nullptr;
        if (FAILED(receiveResult)) return receiveResult;
        const host::win::MapiLibrary& mapi = host::win::Mapi();
        void* bytes = nullptr;
        mapi.allocateBuffer(static_cast<ULONG>(receiveFolder.size()), &bytes);
        std::memcpy(bytes, receiveFolder.data(), receiveFolder.size());
        *entryId = static_cast<LPENTRYID>(bytes);
        *size = static_cast<ULONG>(receiveFolder.size());
        if (explicitClass) {
            void* text = nullptr;
            mapi.allocateBuffer(sizeof(L"IPM"), &text);
            std::memcpy(text, L"IPM", sizeof(L"IPM"));
            *explicitClass = static_cast<LPTSTR>(text);
        }
        return S_OK;
    }
};

// The stores table: one column per row; records how it is read.
class TableObject final : public Counted<TableNoSupport> {
public:
    TableObject() : Counted({host::win::kIidMapiTable}) {}

    std::vector<Value> rows;  // the PR_ENTRYID column of each row (a row without it: PR_NULL)
    std::vector<ULONG> columns;
    ULONG position = 0;

    HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray tags, ULONG) override
    {
        columns.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRowCount(ULONG, ULONG* count) override
    {
        *count = static_cast<ULONG>(rows.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG count, LONG* sought) override
    {
        if (origin != BOOKMARK_BEGINNING) return MAPI_E_NO_SUPPORT;
        position = static_cast<ULONG>(count);
        if (sought) *sought = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction restriction, ULONG) override
    {
        return restriction ? MAPI_E_NO_SUPPORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet order, ULONG) override
    {
        return order && order->cSorts ? MAPI_E_NO_SUPPORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryRows(LONG count, ULONG, LPSRowSet* out) override
    {
        const host::win::MapiLibrary& mapi = host::win::Mapi();
        const ULONG left = static_cast<ULONG>(rows.size()) - position;
        const ULONG n = count < 0 ? 0 : std::min(left, static_cast<ULONG>(count));
        SRowSet* set = nullptr;
        mapi.allocateBuffer(static_cast<ULONG>(sizeof(SRowSet) + sizeof(SRow) * (n ? n : 1)),
                            reinterpret_cast<void**>(&set));
        set->cRows = n;
        for (ULONG i = 0; i < n; ++i) {
            SRow& row = set->aRow[i];
            row.ulAdrEntryPad = 0;
            const Value& value = rows[position + i];
            if (value.tag == PR_NULL) {  // each row's values are a buffer of their own
                row.cValues = 0;
                row.lpProps = nullptr;
                continue;
            }
            mapi.allocateBuffer(sizeof(SPropValue), reinterpret_cast<void**>(&row.lpProps));
            row.cValues = 1;
            Fill(*row.lpProps, value, row.lpProps);
        }
        position += n;
        *out = set;
        return S_OK;
    }
};

class SectionObject final : public PropObject<SectionNoSupport> {
public:
    SectionObject() : PropObject({host::win::kIidMapiProp, kProfSect}) {}
};

class AdminObject final : public Counted<AdminNoSupport> {
public:
    AdminObject() : Counted({{0x0002031D, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}}) {}

    std::vector<GUID> sections;
    bool iidGiven = false;
    ULONG flags = 99;
    SectionObject* section = new SectionObject;

    HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID iid, ULONG sectionFlags,
                                                 LPPROFSECT* out) override
    {
        GUID asked = {};
        std::memcpy(&asked, uid, sizeof(asked));
        sections.push_back(asked);
        iidGiven = iid != nullptr;
        flags = sectionFlags;
        section->AddRef();
        *out = section;
        return S_OK;
    }

private:
    ~AdminObject() override { section->Release(); }
};

struct StoreCall {
    ULONG_PTR window;
    std::vector<BYTE> entryId;
    bool iidGiven;
    ULONG flags;
};

class SessionObject final : public Counted<SessionNoSupport> {
public:
    SessionObject() : Counted({host::win::kIidMapiSession}) {}

    TableObject* table = new TableObject;
    AdminObject* admin = new AdminObject;
    HRESULT tableResult = S_OK;
    HRESULT adminResult = S_OK;
    std::vector<ULONG> tableFlags;
    std::vector<ULONG> adminFlags;
    std::vector<StoreCall> stores;

    HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG flags, LPMAPITABLE* out) override
    {
        tableFlags.push_back(flags);
        *out = nullptr;
        if (FAILED(tableResult)) return tableResult;
        table->AddRef();
        *out = table;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR window, ULONG size, LPENTRYID entryId, LPCIID iid, ULONG flags,
                                           LPMDB* out) override
    {
        stores.push_back({window, BytesOf(size, entryId), iid != nullptr, flags});
        *out = new StoreObject;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdminServices(ULONG flags, LPSERVICEADMIN* out) override
    {
        adminFlags.push_back(flags);
        *out = nullptr;
        if (FAILED(adminResult)) return adminResult;
        admin->AddRef();
        *out = admin;
        return S_OK;
    }

private:
    ~SessionObject() override
    {
        table->Release();
        admin->Release();
    }
};

// An automation object that is a mail item when told so: it answers
// _MailItem besides IDispatch and forwards calls to a TestObject.
class MailObject final
    : public host::win::ComObject<host::win::AtomicCount,
                                  host::win::Row<IDispatch, IID_IDispatch, host::win::kIidMailItem>> {
public:
    MailObject(TestObject* inner, bool mail) : m_inner(inner), m_mail(mail) {}

    TestObject* Inner() const { return m_inner; }

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
        return m_inner->Invoke(id, iid, lcid, flags, params, result, info, argError);
    }

private:
    ~MailObject() override { m_inner->Release(); }
    bool Offers(REFIID iid) const noexcept override { return m_mail || !IsEqualIID(iid, host::win::kIidMailItem); }

    TestObject* m_inner;
    bool m_mail;
};

// The account manager as far as the add-in uses it: keeps the helper Init
// gave and the notify objects Advise gave, under cookies.
class ManagerObject final : public qev::sim::win::AccountManagerFace<host::win::AtomicCount> {
public:
    ULONG Refs() const { return RefCount().Get(); }

    IOlkAccountHelper* helper = nullptr;
    DWORD initFlags = 99;
    std::map<DWORD, IOlkAccountNotify*> notifies;
    std::vector<DWORD> cookiesSeen;  // what each Advise found in its cookie
    std::vector<DWORD> unadvised;
    HRESULT initResult = S_OK;
    HRESULT adviseResult = S_OK;

    // Lets go of the helper and every notify, as a manager that is released does.
    void Close()
    {
        if (helper) helper->Release();
        helper = nullptr;
        for (const auto& [cookie, notify] : notifies) notify->Release();
        notifies.clear();
    }

    HRESULT STDMETHODCALLTYPE Init(IOlkAccountHelper* given, DWORD flags) override
    {
        initFlags = flags;
        if (FAILED(initResult)) return initResult;
        if (!given) return E_INVALIDARG;
        if (helper) helper->Release();
        helper = given;
        helper->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IOlkAccountNotify* notify, DWORD* cookie) override
    {
        if (!notify || !cookie) return E_INVALIDARG;
        cookiesSeen.push_back(*cookie);
        if (FAILED(adviseResult)) return adviseResult;
        *cookie = m_nextCookie++;
        notify->AddRef();
        notifies[*cookie] = notify;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        unadvised.push_back(cookie);
        const auto it = notifies.find(cookie);
        if (it == notifies.end()) return E_INVALIDARG;
        it->second->Release();
        notifies.erase(it);
        return S_OK;
    }

private:
    ~ManagerObject() override { Close(); }

    DWORD m_nextCookie = 0x51;
};

#pragma GCC diagnostic pop

// ---- Outlook's object model ----

enum : DISPID {
    kGetNamespace = 20,
    kActiveExplorer,
    kCurrentFolder,
    kSelection,
    kClass,
    kDefaultItemType,
    kItems,
    kName,
    kCount,
    kItem,
    kMapiObject,
    kGetFolderFromId,
    kUnRead,
    kMove,
    kHtmlBody,
};

// An Outlook of one explorer showing one folder with a selection of a mail
// and a meeting request; the namespace finds that folder by its id.
struct TestOutlook {
    TestObject* application = nullptr;
    TestObject* explorer = nullptr;
    TestObject* nameSpace = nullptr;
    TestObject* folder = nullptr;
    TestObject* items = nullptr;
    TestObject* selection = nullptr;
    MailObject* mail = nullptr;
    MailObject* meeting = nullptr;
    MailObject* moved = nullptr;
    MessageObject* message = nullptr;
    SessionObject* session = nullptr;

    VARIANT_BOOL unread = VARIANT_TRUE;
    VARIANT unreadValue = {};  // when not VT_EMPTY, what UnRead gives instead
    bool folderHasItems = true;
    std::vector<VARIANT> namespaceArgs;  // copies (cleared at the end)
    std::vector<VARIANT> folderIdArgs;
    std::vector<VARIANT> selectionArgs;
    std::vector<VARIANT> moveArgs;  // as given: not owned

    TestOutlook()
    {
        message = new MessageObject({host::win::kIidMapiProp});
        message->props[PR_SUBJECT_W] = Unicode(PR_SUBJECT_W, L"hello");
        session = new SessionObject;
        moved = new MailObject(new TestObject({}, nullptr), true);
        items = new TestObject({{L"Count", kCount}},
                               [](const TestObject::Call&, VARIANT* result, EXCEPINFO*) {
                                   result->vt = VT_I4;
                                   result->lVal = 3;
                                   return S_OK;
                               },
                               {kItemsEvents});
        folder = new TestObject(
            {{L"Class", kClass}, {L"DefaultItemType", kDefaultItemType}, {L"Items", kItems}, {L"Name", kName}},
            [this](const TestObject::Call& call, VARIANT* result, EXCEPINFO*) {
                switch (call.id) {
                    case kClass:
                        *result = testcom::I4(2);
                        return S_OK;
                    case kDefaultItemType:  // Outlook's enums may come as any integer type
                        result->vt = VT_I2;
                        result->iVal = 0;
                        return S_OK;
                    case kItems:
                        *result = Object(VT_DISPATCH, folderHasItems ? D(items) : nullptr);
                        return S_OK;
                    case kName:
                        *result = Text(L"Spam");
                        return S_OK;
                }
                return DISP_E_MEMBERNOTFOUND;
            });
        auto mailHandler = [this](const TestObject::Call& call, VARIANT* result, EXCEPINFO* info) -> HRESULT {
            switch (call.id) {
                case kMapiObject:
                    *result = Object(VT_UNKNOWN, static_cast<IMAPIProp*>(message));
                    return S_OK;
                case kUnRead:
                    if (call.flags & DISPATCH_PROPERTYPUT) {
                        if (call.args.size() != 1 || call.args[0].vt != VT_BOOL) return DISP_E_TYPEMISMATCH;
                        unread = call.args[0].boolVal;
                        return S_OK;
                    }
                    if (unreadValue.vt != VT_EMPTY) {
                        *result = Copy(unreadValue);
                        return S_OK;
                    }
                    *result = testcom::Bool(unread);
                    return S_OK;
                case kMove: {
                    if (call.args.size() != 1) return DISP_E_BADPARAMCOUNT;
                    moveArgs.push_back(call.args[0]);
                    *result = Object(VT_DISPATCH, moved);
                    return S_OK;
                }
                case kHtmlBody:
                    info->scode = E_ACCESSDENIED;
                    info->bstrDescription = SysAllocString(L"The operation failed.");
                    return DISP_E_EXCEPTION;
            }
            return DISP_E_MEMBERNOTFOUND;
        };
        const std::map<std::wstring, DISPID> mailNames = {
            {L"MAPIOBJECT", kMapiObject}, {L"UnRead", kUnRead}, {L"Move", kMove}, {L"HTMLBody", kHtmlBody}};
        mail = new MailObject(new TestObject(mailNames, mailHandler), true);
        meeting = new MailObject(new TestObject(mailNames, mailHandler), false);
        selection = new TestObject({{L"Count", kCount}, {L"Item", kItem}},
                                   [this](const TestObject::Call& call, VARIANT* result, EXCEPINFO*) -> HRESULT {
                                       if (call.id == kCount) {
                                           *result = testcom::I4(2);
                                           return S_OK;
                                       }
                                       if (call.args.size() != 1) return DISP_E_BADPARAMCOUNT;
                                       selectionArgs.push_back(call.args[0]);
                                       const VARIANT& index = call.args[0];
                                       if (index.vt != VT_INT) return DISP_E_TYPEMISMATCH;
                                       if (index.intVal < 1 || index.intVal > 2) return DISP_E_BADINDEX;
                                       *result = Object(VT_DISPATCH, index.intVal == 1 ? mail : meeting);
                                       return S_OK;
                                   });
        explorer = new TestObject({{L"CurrentFolder", kCurrentFolder}, {L"Selection", kSelection}},
                                  [this](const TestObject::Call& call, VARIANT* result, EXCEPINFO*) {
                                      *result = Object(VT_DISPATCH, D(call.id == kCurrentFolder ? folder : selection));
                                      return S_OK;
                                  });
        nameSpace = new TestObject({{L"MAPIOBJECT", kMapiObject}, {L"GetFolderFromID", kGetFolderFromId}},
                                   [this](const TestObject::Call& call, VARIANT* result, EXCEPINFO*) -> HRESULT {
                                       if (call.id == kMapiObject) {
                                           *result = Object(VT_UNKNOWN, static_cast<IMAPISession*>(session));
                                           return S_OK;
                                       }
                                       if (!(call.flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
                                       for (const VARIANT& arg : call.args) folderIdArgs.push_back(Copy(arg));
                                       const bool known = call.args.size() == 2 && TextOf(call.args[0]) == L"00AB10";
                                       *result = Object(VT_DISPATCH, known ? D(folder) : nullptr);
                                       return S_OK;
                                   });
        application = new TestObject({{L"GetNamespace", kGetNamespace}, {L"ActiveExplorer", kActiveExplorer}},
                                     [this](const TestObject::Call& call, VARIANT* result, EXCEPINFO*) -> HRESULT {
                                         if (call.id == kActiveExplorer) {
                                             *result = Object(VT_DISPATCH, D(explorer));
                                             return S_OK;
                                         }
                                         if (call.flags != DISPATCH_METHOD) return DISP_E_MEMBERNOTFOUND;
                                         for (const VARIANT& arg : call.args) namespaceArgs.push_back(Copy(arg));
                                         *result = Object(VT_DISPATCH, D(nameSpace));
                                         return S_OK;
                                     });
    }
    ~TestOutlook()
    {
        for (std::vector<VARIANT>* args : {&namespaceArgs, &folderIdArgs})
            for (VARIANT& arg : *args) VariantClear(&arg);
        VariantClear(&unreadValue);
        for (IUnknown* object : All()) object->Release();
    }
    TestOutlook(const TestOutlook&) = delete;
    TestOutlook& operator=(const TestOutlook&) = delete;

    std::vector<IUnknown*> All() const
    {
        return {static_cast<IDispatch*>(application),
                static_cast<IDispatch*>(explorer),
                static_cast<IDispatch*>(nameSpace),
                static_cast<IDispatch*>(folder),
                static_cast<IDispatch*>(items),
                static_cast<IDispatch*>(selection),
                mail,
                meeting,
                moved,
                static_cast<IMAPIProp*>(message),
                static_cast<IMAPISession*>(session)};
    }
    std::vector<ULONG> Refs() const
    {
        std::vector<ULONG> refs;
        for (IUnknown* object : All()) refs.push_back(RefsOf(object));
        return refs;
    }
};

TEST(WinMail, ExplorerFolderAndSelectionAsTheAddinReadsThem)
{
    const ComScope com;
    TestOutlook outlook;
    const std::vector<ULONG> refs = outlook.Refs();
    {
        const Ref<host::Application> app = host::win::WrapApplication(outlook.application);
        const Ref<host::Explorer> explorer = app->ActiveExplorer();
        ASSERT_TRUE(explorer);
        const Ref<host::Folder> folder = explorer->CurrentFolder();
        ASSERT_TRUE(folder);
        EXPECT_EQ(host::win::ComUnknownOf(folder.Get()), static_cast<IDispatch*>(outlook.folder));
        EXPECT_EQ(folder->Class(), 2);
        EXPECT_EQ(folder->DefaultItemType(), 0);
        EXPECT_EQ(folder->Name(), u"Spam");
        const Ref<host::Items> items = folder->GetItems();
        ASSERT_TRUE(items);
        EXPECT_EQ(items->Count(), 3);
        outlook.folderHasItems = false;
        EXPECT_FALSE(folder->GetItems()) << "a folder without items gives none, not an error";

        const Ref<host::Selection> selection = explorer->GetSelection();
        ASSERT_TRUE(selection);
        EXPECT_EQ(selection->Count(), 2);
        const Ref<host::Object> first = selection->Item(1);
        const Ref<host::Object> second = selection->Item(2);
        ASSERT_EQ(outlook.selectionArgs.size(), 2u);
        EXPECT_EQ(outlook.selectionArgs[0].vt, VT_INT) << "Outlook wants the index as a VT_INT";
        EXPECT_EQ(outlook.selectionArgs[0].intVal, 1);
        EXPECT_TRUE(host::QueryAs<host::MailItem>(first.Get()));
        EXPECT_FALSE(host::QueryAs<host::MailItem>(second.Get())) << "a meeting request is no mail item";
        EXPECT_TRUE(host::QueryAs<host::Dispatch>(second.Get()));
        EXPECT_EQ(ErrorOf([&] { selection->Item(3); }), DISP_E_BADINDEX);
    }
    EXPECT_EQ(outlook.Refs(), refs) << "every wrapper released what it held";
}

TEST(WinMail, MailItemReadsMarksAndMovesThroughItsAutomationFace)
{
    const ComScope com;
    TestOutlook outlook;
    const std::vector<ULONG> refs = outlook.Refs();
    {
        const Ref<host::MailItem> mail = host::QueryAs<host::MailItem>(host::win::WrapDispatch(outlook.mail).Get());
        ASSERT_TRUE(mail);
        EXPECT_EQ(host::win::ComUnknownOf(mail.Get()), static_cast<IDispatch*>(outlook.mail));

        // UnRead: the value exactly as the item gave it, so that only a
        // boolean VARIANT_TRUE counts as unread.
        const struct {
            VARIANT value;
            host::Variant::Type type;
            std::int16_t boolValue;
        } unread[] = {
            {testcom::Bool(VARIANT_TRUE), host::Variant::Type::Bool, -1},
            {testcom::Bool(VARIANT_FALSE), host::Variant::Type::Bool, 0},
            {testcom::Bool(1), host::Variant::Type::Bool, 1},  // not canonical: kept
            {testcom::I4(-1), host::Variant::Type::Int32, 0},  // not a boolean: not converted
        };
        for (const auto& c : unread) {
            VariantClear(&outlook.unreadValue);
            outlook.unreadValue = c.value;
            const host::Variant got = mail->UnRead();
            EXPECT_EQ(got.type, c.type) << "vt " << c.value.vt;
            EXPECT_EQ(got.boolValue, c.boolValue) << "vt " << c.value.vt;
        }
        VariantClear(&outlook.unreadValue);
        mail->SetUnRead(false);
        EXPECT_EQ(outlook.unread, VARIANT_FALSE);
        EXPECT_EQ(outlook.mail->Inner()->Calls().back().flags, DISPATCH_PROPERTYPUT);
        EXPECT_EQ(mail->UnRead().boolValue, 0);
        mail->SetUnRead(true);
        EXPECT_EQ(outlook.unread, VARIANT_TRUE);

        // Move: the folder goes as its IDispatch; the moved item comes back.
        const Ref<host::Folder> spam = host::win::WrapFolder(outlook.folder);
        const Ref<host::Object> moved = mail->Move(spam.Get());
        ASSERT_EQ(outlook.moveArgs.size(), 1u);
        EXPECT_EQ(outlook.moveArgs[0].vt, VT_DISPATCH);
        EXPECT_EQ(outlook.moveArgs[0].pdispVal, static_cast<IDispatch*>(outlook.folder));
        EXPECT_EQ(host::win::ComUnknownOf(moved.Get()), static_cast<IDispatch*>(outlook.moved));
        EXPECT_TRUE(host::QueryAs<host::MailItem>(moved.Get()));
        EXPECT_EQ(ErrorOf([&] { mail->Move(nullptr); }), E_POINTER);

        // HTMLBody's failure carries the item's own error and description.
        std::u16string description;
        EXPECT_EQ(ErrorOf([&] { mail->HtmlBody(); }, &description), E_ACCESSDENIED);
        EXPECT_EQ(description, u"The operation failed.");

        // MAPIOBJECT: the message's IMAPIProp, read through mapi32.
        const Ref<host::Object> mapiObject = mail->MapiObject();
        ASSERT_TRUE(mapiObject);
        EXPECT_FALSE(host::QueryAs<host::MapiSession>(mapiObject.Get()));
        const Ref<host::MapiProp> prop = host::QueryAs<host::MapiProp>(mapiObject.Get());
        ASSERT_TRUE(prop);
        std::optional<PropValue> subject;
        EXPECT_EQ(prop->GetOneProp(PR_SUBJECT_W, subject), S_OK);
        ASSERT_TRUE(subject);
        EXPECT_EQ(subject->unicode, u"hello");
    }
    EXPECT_EQ(outlook.Refs(), refs);
}

// Keeps the item of each item-add event.
struct ItemSink final : host::EventSink {
    void OnEvent(std::int32_t dispId, std::span<const host::Variant> args) override
    {
        ids.push_back(dispId);
        if (args.size() == 1 && args[0].type == host::Variant::Type::Dispatch)
            items.push_back(host::win::ComUnknownOf(args[0].object.Get()));
    }
    std::vector<std::int32_t> ids;
    std::vector<IUnknown*> items;
};

TEST(WinMail, QueryAnswersWhatTheObjectIs)
{
    const ComScope com;
    TestOutlook outlook;
    auto* store = new StoreObject;
    auto* folder = new FolderObject;
    auto* manager = new ManagerObject;
    const Iface all[] = {Iface::Namespace,   Iface::Folder,        Iface::Items,    Iface::Selection,
                         Iface::MailItem,    Iface::MapiProp,      Iface::MsgStore, Iface::MapiFolder,
                         Iface::MapiSession, Iface::AccountManager};
    const struct {
        IUnknown* object;
        std::string answers;  // one letter per interface of all
    } cases[] = {
        {static_cast<IDispatch*>(outlook.folder), "yyyynnnnnn"},
        {outlook.mail, "yyyyynnnnn"},
        {outlook.meeting, "yyyynnnnnn"},
        {static_cast<IMAPIProp*>(outlook.message), "nnnnnynnnn"},
        {static_cast<IMsgStore*>(store), "nnnnnyynnn"},
        {static_cast<IMAPIFolder*>(folder), "nnnnnynynn"},
        {static_cast<IMAPISession*>(outlook.session), "nnnnnnnnyn"},
        {static_cast<IOlkAccountManager*>(manager), "nnnnnnnnny"},
    };
    for (const auto& c : cases) {
        const ULONG before = RefsOf(c.object);
        {
            const Ref<host::Object> object = host::win::WrapUnknown(c.object);
            std::string answers;
            for (const Iface iface : all) {
                host::Object* answer = object->Query(iface);
                answers += answer ? 'y' : 'n';
                if (!answer) continue;
                // The answer is itself for that interface, and COM's object.
                host::Object* again = answer->Query(iface);
                EXPECT_EQ(again, answer);
                if (again) again->Release();
                EXPECT_NE(host::win::ComUnknownOf(answer), nullptr);
                answer->Release();
            }
            EXPECT_EQ(answers, c.answers);
        }
        EXPECT_EQ(RefsOf(c.object), before);
    }
    store->Release();
    static_cast<IMAPIFolder*>(folder)->Release();
    manager->Release();
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

TEST(WinMail, QueryResultReportsTheObjectsOwnFailure)
{
    const ComScope com;
    TestOutlook outlook;
    const auto gone = host::win::Make<GoneProxy>();
    const struct {
        IUnknown* object;
        HRESULT mailItem;
    } cases[] = {
        {outlook.mail, S_OK},
        {outlook.meeting, E_NOINTERFACE},
        {gone.Get(), RPC_E_DISCONNECTED},
    };
    for (const auto& c : cases) {
        const Ref<host::Object> object = host::win::WrapUnknown(c.object);
        Ref<host::MailItem> item;
        EXPECT_EQ(host::QueryAs<host::MailItem>(object.Get(), item), c.mailItem);
        EXPECT_EQ(static_cast<bool>(item), c.mailItem == S_OK);
        // The wrapper answers what it is itself, whatever the object says.
        host::Object* self = nullptr;
        EXPECT_EQ(object->QueryResult(Iface::Unknown, self), S_OK);
        if (self) self->Release();
    }
}

// The sinks the adapters subscribe: an inbox's answers every call as
// Outlook's own item sinks do (no type information, E_NOTIMPL for every
// event) and is advised with Outlook's "no cookie" value; the application's
// answers events with S_OK.
TEST(WinMail, SinksAnswerAsTheirEventsExpect)
{
    const ComScope com;
    const struct {
        host::EventInterface iface;
        IID iid;
        DWORD preset;
        HRESULT invoke, typeInfo0;
    } cases[] = {
        {host::EventInterface::ItemsEvents, kItemsEvents, 0xFEFEFEFE, E_NOTIMPL, E_FAIL},
        {host::EventInterface::ApplicationEvents, kApplicationEvents, 0, S_OK, DISP_E_BADINDEX},
    };
    for (const auto& c : cases) {
        const auto source =
            host::win::Make<TestObject>(std::map<std::wstring, DISPID>{}, nullptr, std::vector<IID>{c.iid});
        ItemSink sink;
        const Ref<host::EventSource> events =
            host::QueryAs<host::EventSource>(host::win::WrapUnknown(source->Dispatch()).Get());
        ASSERT_TRUE(events);
        const std::uint32_t cookie = events->Advise(c.iface, &sink);
        testcom::TestConnectionPoint* point = source->Point(c.iid);
        EXPECT_EQ(point->presets, std::vector<DWORD>{c.preset});
        const host::win::ComPtr<IDispatch> object = host::win::ComPtr<IDispatch>::Adopt(point->LastSink());
        ASSERT_TRUE(object);

        UINT count = 7;
        EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 0u);
        ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
        EXPECT_EQ(object->GetTypeInfo(0, 0, &info), c.typeInfo0);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(object->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
        std::wstring name = L"ItemAdd";
        LPOLESTR names[] = {name.data()};
        DISPID id = 5;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(id, DISPID_UNKNOWN);
        // Handled or not, the event gets the same answer.
        for (const DISPID event : {DISPID(0xF001), DISPID(0xF002)}) {
            VARIANT arg = testcom::I4(1);
            DISPPARAMS params = {&arg, nullptr, 1, 0};
            EXPECT_EQ(object->Invoke(event, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
                      c.invoke);
        }
        EXPECT_EQ(sink.ids, (std::vector<std::int32_t>{0xF001, 0xF002}));
        events->Unadvise(c.iface, cookie);
        point->Close();
    }
}

// ---- MAPI ----

std::string Describe(const std::optional<PropValue>& value)
{
    if (!value) return "none";
    char tag[16];
    std::snprintf(tag, sizeof(tag), "%08lX", static_cast<unsigned long>(value->tag));
    std::string text = tag;
    if (!value->pointerSet) return text + " null";
    switch (host::PropType(value->tag)) {
        case host::kPtUnicode:
            return text + " W " + std::string(value->unicode.begin(), value->unicode.end());
        case host::kPtString8:
            return text + " A " + value->string8;
        case host::kPtBinary: {
            text += " B";
            for (std::uint8_t b : value->binary) {
                char hex[4];
                std::snprintf(hex, sizeof(hex), " %02X", b);
                text += hex;
            }
            return text;
        }
        default:
            return text + " set";
    }
}

constexpr ULONG kHeadersW = 0x007D001F;
constexpr ULONG kHeadersA = 0x007D001E;
constexpr ULONG kStoreEntryId = 0x0FFB0102;
constexpr ULONG kHtmlA = 0x1013001E;
constexpr ULONG kFlags = 0x0E070003;  // PT_LONG

TEST(WinMapi, GetOnePropCopiesEachTypeAndTellsNullPointers)
{
    ASSERT_EQ(host::win::Mapi().status, S_OK) << "mapi32 and its helpers";
    const auto message = host::win::ComPtr<MessageObject>::Adopt(new MessageObject({host::win::kIidMapiProp}));
    message->props[kHeadersW] = Unicode(kHeadersW, L"Received: x\r\nFrom: \x00e9<a@b>");
    message->props[kHeadersA] = String8(kHeadersA, "X-Spam: Yes");
    message->props[PR_BODY_W] = NullPointer(PR_BODY_W);
    message->props[PR_BODY_A] = String8(PR_BODY_A, "");
    message->props[kHtmlA] = NullPointer(kHtmlA);
    message->props[kStoreEntryId] = Binary(kStoreEntryId, {0x00, 0xFF, 0x10, 0x00});
    message->props[PR_ENTRYID] = NullPointer(PR_ENTRYID);
    message->props[PR_SUBJECT_W] = String8(PR_SUBJECT_A, "asked W, given A");  // the value's own tag counts
    message->props[kFlags] = Number(kFlags, 0);
    message->props[PR_MESSAGE_SIZE] = Number(PR_MESSAGE_SIZE, 0x1234);

    const struct {
        ULONG tag;
        HRESULT result;
        std::string value;
    } cases[] = {
        {kHeadersW, S_OK, "007D001F W Received: x\r\nFrom: \xe9<a@b>"},
        {kHeadersA, S_OK, "007D001E A X-Spam: Yes"},
        {PR_BODY_W, S_OK, "1000001F null"},
        {PR_BODY_A, S_OK, "1000001E A "},
        {kHtmlA, S_OK, "1013001E null"},
        {kStoreEntryId, S_OK, "0FFB0102 B 00 FF 10 00"},
        {PR_ENTRYID, S_OK, "0FFF0102 null"},
        {PR_SUBJECT_W, S_OK, "0037001E A asked W, given A"},
        {kFlags, S_OK, "0E070003 null"},  // the union read as a pointer, as the add-in checks it
        {PR_MESSAGE_SIZE, S_OK, "0E080003 set"},
        {0x1013001F, MAPI_E_NOT_FOUND, "none"},  // not there: mapi32 turns the PT_ERROR value into the failure
    };
    const Ref<host::MapiProp> prop = host::win::WrapMapiProp(message.Get());
    for (const auto& c : cases) {
        std::optional<PropValue> value = PropValue{};
        EXPECT_EQ(prop->GetOneProp(c.tag, value), c.result) << std::hex << c.tag;
        EXPECT_EQ(Describe(value), c.value) << std::hex << c.tag;
    }
    // The provider's own failure passes through, nothing kept.
    message->getPropsResult = E_ACCESSDENIED;
    std::optional<PropValue> value = PropValue{};
    EXPECT_EQ(prop->GetOneProp(kHeadersW, value), E_ACCESSDENIED);
    EXPECT_FALSE(value);
}

TEST(WinMapi, OpenPropertyAsksForAStreamAndPassesFailuresOn)
{
    const ComScope com;
    const auto message = host::win::ComPtr<MessageObject>::Adopt(new MessageObject({host::win::kIidMapiProp}));
    const ULONG refs = RefsOf(static_cast<IMAPIProp*>(message.Get()));
    {
        const Ref<host::MapiProp> prop = host::win::WrapMapiProp(message.Get());
        Ref<host::Object> opened;
        EXPECT_EQ(prop->OpenProperty(kHeadersA, opened), S_OK);
        const Ref<host::Stream> stream = host::QueryAs<host::Stream>(opened.Get());
        ASSERT_TRUE(stream);
        EXPECT_EQ(stream->Size(), 3u);
        ASSERT_EQ(message->opened.size(), 1u);
        const Opened& call = message->opened[0];
        EXPECT_EQ(call.tag, kHeadersA);
        EXPECT_TRUE(call.iidGiven);
        EXPECT_TRUE(IsEqualIID(call.iid, IID_IStream));
        EXPECT_EQ(call.options, 0u);
        EXPECT_EQ(call.flags, 0u);

        message->openResult = MAPI_E_NOT_FOUND;
        EXPECT_EQ(prop->OpenProperty(kHeadersW, opened), MAPI_E_NOT_FOUND);
        EXPECT_FALSE(opened);
    }
    EXPECT_EQ(RefsOf(static_cast<IMAPIProp*>(message.Get())), refs);
}

TEST(WinMapi, SessionListsStoresOpensThemAndNamesTheProfile)
{
    auto* session = new SessionObject;
    const ULONG tableRefs = RefsOf(session->table);
    const Ref<host::MapiSession> wrapped = host::win::WrapMapiSession(session);

    // Every row's PR_ENTRYID column in table order, whatever its type.
    const std::vector<BYTE> first = {0x00, 0x00, 0x00, 0x00, 0xDC, 0xA7};
    const std::vector<BYTE> second = {0x00, 0x00, 0x00, 0x00, 0x01};
    session->table->rows = {Binary(PR_ENTRYID, first),
                            Number(PROP_TAG(PT_ERROR, PROP_ID(PR_ENTRYID)), MAPI_E_NOT_FOUND),
                            Value{},  // a row without the column
                            NullPointer(PR_ENTRYID)};
    for (int i = 0; i < 70; ++i) session->table->rows.push_back(Binary(PR_ENTRYID, second));  // more than a batch
    std::vector<PropValue> rows(1);
    ASSERT_EQ(wrapped->StoreEntryIds(MAPI_UNICODE, rows), S_OK);
    EXPECT_EQ(session->tableFlags, std::vector<ULONG>{MAPI_UNICODE});
    ASSERT_EQ(rows.size(), 74u);
    EXPECT_EQ(rows[0].tag, PR_ENTRYID);
    EXPECT_EQ(rows[0].binary, first);
    EXPECT_EQ(host::PropType(rows[1].tag), static_cast<std::uint32_t>(PT_ERROR));
    EXPECT_EQ(rows[2].tag, 0u);
    EXPECT_FALSE(rows[2].pointerSet);
    EXPECT_EQ(rows[3].tag, PR_ENTRYID);
    EXPECT_FALSE(rows[3].pointerSet);
    EXPECT_EQ(rows[73].binary, second);
    EXPECT_EQ(session->table->columns, std::vector<ULONG>{PR_ENTRYID}) << "the one column asked for";
    EXPECT_EQ(RefsOf(session->table), tableRefs) << "the table was released";

    session->tableResult = MAPI_E_NOT_INITIALIZED;
    EXPECT_EQ(wrapped->StoreEntryIds(MAPI_UNICODE, rows), MAPI_E_NOT_INITIALIZED);
    EXPECT_TRUE(rows.empty());

    // OpenMsgStore: no window, the id, no interface id, the flags.
    Ref<host::Object> store;
    EXPECT_EQ(wrapped->OpenMsgStore(first, 0x15, store), S_OK);
    ASSERT_EQ(session->stores.size(), 1u);
    EXPECT_EQ(session->stores[0].window, 0u);
    EXPECT_EQ(session->stores[0].entryId, first);
    EXPECT_FALSE(session->stores[0].iidGiven);
    EXPECT_EQ(session->stores[0].flags, 0x15u);
    EXPECT_TRUE(host::QueryAs<host::MsgStore>(store.Get()));

    // The profile name: AdminServices(0), the global section, PR_PROFILE_NAME_W.
    std::optional<PropValue> name;
    EXPECT_EQ(wrapped->ProfileName(name), MAPI_E_NOT_FOUND) << "a section without the name";
    EXPECT_FALSE(name);
    session->admin->section->props[PR_PROFILE_NAME_W] = Unicode(PR_PROFILE_NAME_W, L"Outlook");
    EXPECT_EQ(wrapped->ProfileName(name), S_OK);
    EXPECT_EQ(Describe(name), "3D12001F W Outlook");
    EXPECT_EQ(session->adminFlags, (std::vector<ULONG>{0, 0}));
    ASSERT_EQ(session->admin->sections.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(session->admin->sections[0], host::win::kGlobalProfileSection));
    EXPECT_FALSE(session->admin->iidGiven);
    EXPECT_EQ(session->admin->flags, 0u);
    session->adminResult = MAPI_E_NO_ACCESS;
    EXPECT_EQ(wrapped->ProfileName(name), MAPI_E_NO_ACCESS);
    EXPECT_FALSE(name);
}

TEST(WinMapi, HexFromBinWritesUpperCaseDigitsAsEightBitText)
{
    const host::win::MapiLibrary& mapi = host::win::Mapi();
    ASSERT_TRUE(mapi);
    BYTE bytes[] = {0x00, 0x0A, 0xBC, 0xFF, 0x5E};
    char text[16];
    std::memset(text, 'x', sizeof(text));
    mapi.hexFromBin(bytes, sizeof(bytes), text);
    EXPECT_STREQ(text, "000ABCFF5E");
}

// ---- the account manager ----

// The add-in's side of the account manager: what it is asked and answers.
struct TestAccounts final : host::AccountHelper, host::AccountNotify {
    std::u16string name = u"Outlook";
    host::Ref<host::Object> session;
    std::vector<std::vector<std::uint32_t>> notified;
    std::vector<std::uint32_t> counts;  // the count each GetIdentity was given

    HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count) override
    {
        if (!buffer || !count) return E_INVALIDARG;
        counts.push_back(*count);
        const bool fits = name.size() + 1 <= *count;
        if (fits) std::char_traits<char16_t>::copy(buffer, name.c_str(), name.size() + 1);
        *count = static_cast<std::uint32_t>(name.size());
        return fits ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT GetMapiSession(host::Ref<host::Object>& out) override
    {
        out = session;
        return session ? S_OK : E_NOTIMPL;
    }
    HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags) override
    {
        notified.push_back({code, accountId, flags});
        return S_OK;
    }
};

TEST(WinAccounts, ManagerGetsHelperAndNotifyObjectsThatForwardUntilCutOff)
{
    const ComScope com;
    auto* manager = new ManagerObject;
    auto* session = new SessionObject;
    TestAccounts accounts;
    accounts.session = host::win::WrapUnknown(static_cast<IMAPISession*>(session));
    const ULONG sessionRefs = RefsOf(static_cast<IMAPISession*>(session));
    IOlkAccountHelper* helper = nullptr;
    IOlkAccountNotify* notify = nullptr;
    {
        const Ref<host::AccountManager> wrapped =
            host::QueryAs<host::AccountManager>(host::win::WrapUnknown(manager).Get());
        ASSERT_TRUE(wrapped);
        EXPECT_EQ(wrapped->Init(&accounts, 0), S_OK);
        EXPECT_EQ(manager->initFlags, 0u);
        helper = manager->helper;
        ASSERT_NE(helper, nullptr);
        helper->AddRef();
        EXPECT_EQ(RefsOf(helper), 3u) << "the wrapper's (to cut it off), the manager's and the test's";

        // The helper object: its interfaces and its forwarding.
        IUnknown* answer = nullptr;
        EXPECT_EQ(helper->QueryInterface(host::win::kIidOlkAccountHelper, reinterpret_cast<void**>(&answer)), S_OK);
        answer->Release();
        EXPECT_EQ(helper->QueryInterface(host::win::kIidOlkAccountNotify, reinterpret_cast<void**>(&answer)),
                  E_NOINTERFACE);
        EXPECT_EQ(answer, nullptr);
        EXPECT_EQ(helper->PlaceHolder1(nullptr), E_NOTIMPL);
        EXPECT_EQ(helper->HandsOffSession(), E_NOTIMPL);
        wchar_t buffer[8] = {};
        const struct {
            DWORD given;
            HRESULT result;
            DWORD count;
        } identities[] = {{8, S_OK, 7}, {7, E_OUTOFMEMORY, 7}};  // no room for the NUL: refused
        for (const auto& c : identities) {
            DWORD count = c.given;
            EXPECT_EQ(helper->GetIdentity(buffer, &count), c.result);
            EXPECT_EQ(count, c.count);
        }
        EXPECT_STREQ(buffer, L"Outlook");
        EXPECT_EQ(accounts.counts, (std::vector<std::uint32_t>{8, 7}));
        EXPECT_EQ(helper->GetIdentity(buffer, nullptr), E_INVALIDARG) << "the null count reaches the add-in";

        IUnknown* given = nullptr;
        EXPECT_EQ(helper->GetMapiSession(&given), S_OK);
        EXPECT_EQ(given, static_cast<IMAPISession*>(session));
        given->Release();
        EXPECT_EQ(helper->GetMapiSession(nullptr), E_INVALIDARG);

        // Advise: the caller's preset cookie goes in, the manager's comes out.
        std::uint32_t cookie = 0xFEFEFEFE;
        EXPECT_EQ(wrapped->Advise(&accounts, &cookie), S_OK);
        EXPECT_EQ(cookie, 0x51u);
        EXPECT_EQ(manager->cookiesSeen, std::vector<DWORD>{0xFEFEFEFE});
        notify = manager->notifies.at(0x51);
        notify->AddRef();
        for (const IID& iid : {host::win::kIidOlkAccountNotify, host::win::kIidOlkErrorUnknown}) {
            EXPECT_EQ(notify->QueryInterface(iid, reinterpret_cast<void**>(&answer)), S_OK);
            answer->Release();
        }
        LPWSTR error = reinterpret_cast<LPWSTR>(1);
        EXPECT_EQ(notify->GetLastError(E_FAIL, &error), E_NOTIMPL);
        EXPECT_EQ(error, nullptr);
        EXPECT_EQ(notify->Notify(2, 7, 0x10), S_OK);
        EXPECT_EQ(accounts.notified, (std::vector<std::vector<std::uint32_t>>{{2, 7, 0x10}}));

        // Unadvise passes the cookie on and cuts the notify off at once.
        EXPECT_EQ(wrapped->Unadvise(cookie), S_OK);
        EXPECT_EQ(manager->unadvised, std::vector<DWORD>{0x51});
        EXPECT_EQ(notify->Notify(3, 7, 0), S_OK);
        EXPECT_EQ(accounts.notified.size(), 1u);

        // A refused Advise leaves nothing behind.
        manager->adviseResult = E_OUTOFMEMORY;
        EXPECT_EQ(wrapped->Advise(&accounts, &cookie), E_OUTOFMEMORY);
        EXPECT_TRUE(manager->notifies.empty());
    }
    // The wrapper is gone; the manager still holds the helper, which now
    // answers as one without a profile.
    DWORD count = 8;
    wchar_t buffer[8] = {};
    EXPECT_EQ(helper->GetIdentity(buffer, &count), E_UNEXPECTED);
    IUnknown* given = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(helper->GetMapiSession(&given), E_NOTIMPL);
    EXPECT_EQ(given, nullptr);
    EXPECT_EQ(accounts.counts.size(), 2u);

    manager->Close();
    EXPECT_EQ(helper->Release(), 0u) << "only the test held the helper";
    EXPECT_EQ(notify->Release(), 0u) << "only the test held the notify";
    EXPECT_EQ(manager->Release(), 0u);
    accounts.session.Reset();
    EXPECT_EQ(RefsOf(static_cast<IMAPISession*>(session)), sessionRefs - 1);
    session->Release();
}

TEST(WinAccounts, ComClassesCreateTheManagerByItsClassInProcess)
{
    const ComScope com;
    host::win::WinComClasses classes;
    auto* stale = new ManagerObject;
    Ref<host::AccountManager> manager = host::win::WrapAccountManager(stale);
    stale->Release();  // the wrapper holds the only reference now
    // No Outlook here: the class is not registered, and no manager is left.
    EXPECT_EQ(classes.CreateAccountManager(manager), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(manager);

    // A class object for the manager's class id, as Outlook (or the simulated
    // Outlook) registers one.
    std::vector<IID> asked;
    qev::sim::win::AccountManagerClass factory([&asked](REFIID iid, void** out) {
        asked.push_back(iid);
        const auto made = host::win::Make<ManagerObject>();
        return made->QueryInterface(iid, out);
    });
    ASSERT_EQ(factory.Register(), S_OK);
    EXPECT_EQ(classes.CreateAccountManager(manager), S_OK);
    ASSERT_TRUE(manager);
    ASSERT_FALSE(asked.empty());
    EXPECT_TRUE(IsEqualIID(asked.back(), host::win::kIidOlkAccountManager));
    TestAccounts accounts;
    EXPECT_EQ(manager->Init(&accounts, 0), S_OK);
    std::uint32_t cookie = 0xFEFEFEFE;
    EXPECT_EQ(manager->Advise(&accounts, &cookie), S_OK);
    EXPECT_EQ(manager->Unadvise(cookie), S_OK);
    manager.Reset();
    EXPECT_EQ(factory.Revoke(), S_OK);
}

}  // namespace
