#include "sim/win/sim_mail.h"

#include "host/ole_date.h"

#include <mapidefs.h>
#include <mapiguid.h>
#include <mapix.h>
#include <olectl.h>

#include <cstring>

#include "host/com_error.h"
#include "host/mapi.h"
#include "host/outlook.h"
#include "host/variant.h"
#include "host/win/com_object.h"
#include "host/win/win_mapi.h"

namespace qev::sim::win {

namespace {

using host::Iface;
using host::Object;
using host::Ref;

// {00063077-0000-0000-C000-000000000046}: ItemsEvents; ItemAdd is 0xF001.
constexpr IID kItemsEvents = {0x00063077, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00063034-0000-0000-C000-000000000046}: _MailItem.
constexpr IID kMailItem = {0x00063034, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidMessage = {0x00020307, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidProfSect = {0x00020304, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kIidMsgServiceAdmin = {0x0002031D, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

enum : DISPID {
    kMapiObject = 1,
    kGetFolderFromId,
    kClass,
    kDefaultItemType,
    kItemsProperty,
    kName,
    kCount,
    kUnRead,
    kMove,
    kHtmlBody,
    kItemMethod,
    kEntryId,
    kRestrict,
    kSort,
    kReceivedTime,
};

std::u16string TextOf(const wchar_t* text)
{
    if (!text) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

std::u16string MapiText(const void* text, ULONG flags)
{
    if (!text) return {};
    if (flags & MAPI_UNICODE) return TextOf(static_cast<const wchar_t*>(text));
    std::u16string out;
    for (const char* c = static_cast<const char*>(text); *c; ++c) out.push_back(static_cast<unsigned char>(*c));
    return out;
}

BSTR BstrOf(std::u16string_view text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}

// Runs a call of the model; its ComError becomes the HRESULT (and the
// description the automation error carries).
template <class F>
HRESULT Guard(std::u16string* description, F&& call)
{
    try {
        call();
        return S_OK;
    } catch (const host::ComError& e) {
        if (description) *description = e.Description();
        return e.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

const host::win::MapiLibrary& Lib()
{
    return host::win::Mapi();
}

void* Allocate(ULONG size)
{
    void* p = nullptr;
    if (!Lib() || Lib().allocateBuffer(size, &p) != S_OK) return nullptr;
    std::memset(p, 0, size);
    return p;
}

void* AllocateMore(ULONG size, void* base)
{
    void* p = nullptr;
    if (Lib().allocateMore(size, base, &p) != S_OK) return nullptr;
    std::memset(p, 0, size);
    return p;
}

// One model value into value, its memory allocated more on base.
void FillValue(SPropValue& value, const host::PropValue& from, void* base)
{
    value.ulPropTag = from.tag;
    switch (host::PropType(from.tag)) {
        case host::kPtUnicode: {
            if (!from.pointerSet) break;
            auto* text = static_cast<wchar_t*>(AllocateMore(static_cast<ULONG>((from.unicode.size() + 1) * 2), base));
            std::memcpy(text, from.unicode.data(), from.unicode.size() * 2);
            value.Value.lpszW = text;
            break;
        }
        case host::kPtString8: {
            if (!from.pointerSet) break;
            auto* text = static_cast<char*>(AllocateMore(static_cast<ULONG>(from.string8.size() + 1), base));
            std::memcpy(text, from.string8.data(), from.string8.size());
            value.Value.lpszA = text;
            break;
        }
        case host::kPtBinary: {
            value.Value.bin.cb = static_cast<ULONG>(from.binary.size());
            if (!from.pointerSet) break;
            auto* bytes = static_cast<BYTE*>(AllocateMore(static_cast<ULONG>(from.binary.size() + 1), base));
            if (!from.binary.empty()) std::memcpy(bytes, from.binary.data(), from.binary.size());
            value.Value.bin.lpb = bytes;
            break;
        }
        default:
            value.Value.x = from.pointerSet ? 1 : 0;
            break;
    }
}

// GetProps over a property source that answers one tag at a time: a missing
// property is a PT_ERROR value and MAPI_W_ERRORS_RETURNED, as providers
// answer; any other failure fails the call.
template <class GetOne>
HRESULT GetPropsOf(LPSPropTagArray tags, ULONG* count, LPSPropValue* values, GetOne&& getOne)
{
    if (!count || !values) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    if (!tags || tags->cValues == 0) return MAPI_E_NO_SUPPORT;
    const ULONG n = tags->cValues;
    auto* array = static_cast<SPropValue*>(Allocate(static_cast<ULONG>(sizeof(SPropValue) * n)));
    if (!array) return MAPI_E_NOT_ENOUGH_MEMORY;
    bool errors = false;
    for (ULONG i = 0; i < n; ++i) {
        std::optional<host::PropValue> value;
        const HRESULT hr = getOne(tags->aulPropTag[i], value);
        if (hr == MAPI_E_NOT_FOUND || (SUCCEEDED(hr) && !value)) {
            array[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tags->aulPropTag[i]));
            array[i].Value.err = MAPI_E_NOT_FOUND;
            errors = true;
            continue;
        }
        if (FAILED(hr)) {
            Lib().freeBuffer(array);
            return hr;
        }
        FillValue(array[i], *value, array);
    }
    *count = n;
    *values = array;
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

// Outlook reads the dates of a filter by the user's short date and time
// formats. The model reads one form only ("3/2/2026 9:05 AM"), so each date
// compared with ReceivedTime is read here as Outlook would (VarDateFromStr
// with the user's locale) and handed on in the model's form; a text the
// locale cannot read is handed on as it is, for the model to refuse.
std::u16string InModelDates(std::u16string filter)
{
    static constexpr std::u16string_view kDated = u"[ReceivedTime]";
    for (std::size_t at = filter.find(kDated); at != std::u16string::npos; at = filter.find(kDated, at + 1)) {
        const std::size_t open = filter.find_first_of(u"'\"", at + kDated.size());
        if (open == std::u16string::npos) break;
        const std::size_t close = filter.find(filter[open], open + 1);
        if (close == std::u16string::npos) break;
        std::wstring text(filter.begin() + static_cast<std::ptrdiff_t>(open + 1),
                                filter.begin() + static_cast<std::ptrdiff_t>(close));
        DATE date = 0;
        if (FAILED(VarDateFromStr(text.data(), LOCALE_USER_DEFAULT, 0, &date))) continue;
        filter.replace(open + 1, close - open - 1, host::FilterDateText(date));
    }
    return filter;
}

}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#pragma GCC diagnostic ignored "-Wunused-parameter"

// ---- the faces ----

// Every COM face: its references are the model object's (or, for objects of
// the simulated Outlook alone, an entry of its ledger).
class Face {
public:
    virtual ~Face() = default;
    virtual IUnknown* Unknown() noexcept = 0;

protected:
    Face(SimMail& mail, Object* object) : m_mail(mail), m_object(object) {}
    Face(SimMail& mail, const std::string& kind, const std::string& name)
        : m_mail(mail), m_entry(&mail.SimLedger().Open(kind, name))
    {
    }

public:
    // The face's references: its model object's, or its ledger entry's.
    ULONG Up() noexcept
    {
        return m_object ? m_object->AddRef() : m_mail.SimLedger().AddRef(*m_entry);
    }
    ULONG Down() noexcept
    {
        return m_object ? m_object->Release() : m_mail.SimLedger().Release(*m_entry);
    }
    // The model object, with one reference.
    Ref<Object> Held() const noexcept { return Ref<Object>::Share(m_object); }
    template <class T>
    Ref<T> As() const
    {
        return host::QueryAs<T>(m_object);
    }

protected:

    SimMail& m_mail;
    Object* m_object = nullptr;
    LedgerEntry* m_entry = nullptr;
};

class FaceCount {
public:
    static constexpr bool kDeletes = false;  // faces die with the world
    explicit FaceCount(Face* face) noexcept : m_face(face) {}
    ULONG Up() noexcept { return m_face->Up(); }
    ULONG Down() noexcept { return m_face->Down(); }

private:
    Face* m_face;
};

// A face that answers the interfaces of Rows.
template <class... Rows>
class FaceObject : public Face, public host::win::ComObject<FaceCount, Rows...> {
    using Base = host::win::ComObject<FaceCount, Rows...>;

public:
    FaceObject(SimMail& mail, Object* object) : Face(mail, object), Base(static_cast<Face*>(this)) {}
    FaceObject(SimMail& mail, const std::string& kind, const std::string& name)
        : Face(mail, kind, name), Base(static_cast<Face*>(this))
    {
    }
    IUnknown* Unknown() noexcept override { return this->AsUnknown(); }
};

#define QEV_NO_SUPPORT \
    override           \
    {                  \
        return MAPI_E_NO_SUPPORT; \
    }

namespace {

// The stream of one property.
class StreamFace final : public FaceObject<host::win::Row<IStream, IID_IStream, IID_ISequentialStream>> {
public:
    StreamFace(SimMail& mail, Object* object) : FaceObject(mail, object) {}
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override
    {
        std::uint32_t got = 0;
        const HRESULT hr = Guard(nullptr, [&] { got = As<host::Stream>()->Read(buffer, size); });
        if (read) *read = got;
        return FAILED(hr) ? hr : (got < size ? S_FALSE : S_OK);
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override
    {
        if (!stat) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        std::uint64_t size = 0;
        const HRESULT hr = Guard(nullptr, [&] { size = As<host::Stream>()->Size(); });
        if (FAILED(hr)) return hr;
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

// IMAPIProp's methods over the model's MapiProp.
#define QEV_MAPI_PROP_FACE                                                                                        \
    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) QEV_NO_SUPPORT                          \
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return S_OK; }                                      \
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray*) QEV_NO_SUPPORT                                \
    HRESULT STDMETHODCALLTYPE SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) QEV_NO_SUPPORT                 \
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray*) QEV_NO_SUPPORT                  \
    HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG, \
                                     LPSPropProblemArray*) QEV_NO_SUPPORT                                        \
    HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,           \
                                        LPSPropProblemArray*) QEV_NO_SUPPORT                                     \
    HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**)           \
        QEV_NO_SUPPORT                                                                                           \
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) QEV_NO_SUPPORT      \
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override \
    {                                                                                                            \
        Ref<host::MapiProp> prop = As<host::MapiProp>();                                                         \
        if (!prop) return MAPI_E_CALL_FAILED;                                                                    \
        return GetPropsOf(tags, count, values, [&](ULONG tag, std::optional<host::PropValue>& v) {               \
            return prop->GetOneProp(tag, v);                                                                     \
        });                                                                                                      \
    }                                                                                                            \
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG, ULONG, LPUNKNOWN* out) override         \
    {                                                                                                            \
        if (!out) return MAPI_E_INVALID_PARAMETER;                                                               \
        *out = nullptr;                                                                                          \
        if (!iid || !IsEqualIID(*iid, IID_IStream)) return MAPI_E_INTERFACE_NOT_SUPPORTED;                       \
        Ref<host::MapiProp> prop = As<host::MapiProp>();                                                         \
        Ref<Object> stream;                                                                                      \
        const HRESULT hr = prop->OpenProperty(tag, stream);                                                      \
        if (FAILED(hr)) return hr;                                                                               \
        *out = m_mail.HandOut(std::move(stream));                                                                \
        return *out ? S_OK : MAPI_E_CALL_FAILED;                                                                 \
    }

class MessageFace final : public FaceObject<host::win::Row<IMAPIProp, host::win::kIidMapiProp>> {
public:
    MessageFace(SimMail& mail, Object* object) : FaceObject(mail, object) {}
    QEV_MAPI_PROP_FACE
};

ULONG ObjectTypeOf(Object* object)
{
    if (Ref<host::MsgStore> s = host::QueryAs<host::MsgStore>(object)) return MAPI_STORE;
    if (Ref<host::MapiFolder> f = host::QueryAs<host::MapiFolder>(object)) return MAPI_FOLDER;
    return MAPI_MESSAGE;
}

class FolderFace final : public FaceObject<host::win::Row<IMAPIFolder, host::win::kIidMapiProp, host::win::kIidMapiFolder>> {
public:
    FolderFace(SimMail& mail, Object* object) : FaceObject(mail, object) {}
    QEV_MAPI_PROP_FACE
    // IMAPIContainer
    HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG, LPMAPITABLE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG, LPMAPITABLE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) QEV_NO_SUPPORT
    // IMAPIFolder
    HRESULT STDMETHODCALLTYPE CreateMessage(LPCIID, ULONG, LPMESSAGE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CopyMessages(LPENTRYLIST, LPCIID, LPVOID, ULONG, LPMAPIPROGRESS, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE DeleteMessages(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CreateFolder(ULONG type, LPTSTR name, LPTSTR, LPCIID, ULONG flags,
                                           LPMAPIFOLDER* out) override
    {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        Ref<Object> folder;
        const HRESULT hr = As<host::MapiFolder>()->CreateFolder(type, MapiText(name, flags), flags, folder);
        if (FAILED(hr)) return hr;
        IUnknown* unknown = m_mail.HandOut(std::move(folder));
        *out = static_cast<IMAPIFolder*>(static_cast<FolderFace*>(m_mail.FaceBehind(unknown)));
        return *out ? hr : MAPI_E_CALL_FAILED;
    }
    HRESULT STDMETHODCALLTYPE CopyFolder(ULONG, LPENTRYID, LPCIID, LPVOID, LPTSTR, ULONG, LPMAPIPROGRESS,
                                         ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE DeleteFolder(ULONG, LPENTRYID, ULONG, LPMAPIPROGRESS, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetReadFlags(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetMessageStatus(ULONG, LPENTRYID, ULONG, ULONG, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SaveContentsSort(LPSSortOrderSet, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE EmptyFolder(ULONG, LPMAPIPROGRESS, ULONG) QEV_NO_SUPPORT
};

class StoreFace final : public FaceObject<host::win::Row<IMsgStore, host::win::kIidMapiProp, host::win::kIidMsgStore>> {
public:
    StoreFace(SimMail& mail, Object* object) : FaceObject(mail, object) {}
    QEV_MAPI_PROP_FACE
    HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG size, LPENTRYID entryId, LPCIID, ULONG flags, ULONG* type,
                                        LPUNKNOWN* out) override
    {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(entryId);
        Ref<Object> entry;
        const HRESULT hr = As<host::MsgStore>()->OpenEntry(std::span<const std::uint8_t>(bytes, size), flags, entry);
        if (FAILED(hr)) return hr;
        if (type) *type = ObjectTypeOf(entry.Get());
        *out = m_mail.HandOut(std::move(entry));
        return *out ? hr : MAPI_E_CALL_FAILED;
    }
    HRESULT STDMETHODCALLTYPE SetReceiveFolder(LPTSTR, ULONG, ULONG, LPENTRYID) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetReceiveFolder(LPTSTR messageClass, ULONG flags, ULONG* size, LPENTRYID* entryId,
                                               LPTSTR* explicitClass) override
    {
        if (!size || !entryId) return MAPI_E_INVALID_PARAMETER;
        *size = 0;
        *entryId = nullptr;
        if (explicitClass) *explicitClass = nullptr;
        std::vector<std::uint8_t> id;
        const HRESULT hr = As<host::MsgStore>()->GetReceiveFolder(MapiText(messageClass, flags), flags, id);
        if (FAILED(hr)) return hr;
        auto* bytes = static_cast<std::uint8_t*>(Allocate(static_cast<ULONG>(id.size() + 1)));
        if (!bytes) return MAPI_E_NOT_ENOUGH_MEMORY;
        if (!id.empty()) std::memcpy(bytes, id.data(), id.size());
        *size = static_cast<ULONG>(id.size());
        *entryId = reinterpret_cast<LPENTRYID>(bytes);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetReceiveFolderTable(ULONG, LPMAPITABLE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE StoreLogoff(ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE AbortSubmit(ULONG, LPENTRYID, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetOutgoingQueue(ULONG, LPMAPITABLE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetLockState(LPMESSAGE, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE FinishedMsg(ULONG, ULONG, LPENTRYID) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE NotifyNewMail(LPNOTIFICATION) QEV_NO_SUPPORT
};

// The session's table of stores: one row per store of the profile, the
// columns the caller sets (PR_ENTRYID is the one the table holds).
class StoreTableFace final : public FaceObject<host::win::Row<IMAPITable, host::win::kIidMapiTable>> {
public:
    StoreTableFace(SimMail& mail, std::uint32_t number, std::vector<host::PropValue> rows)
        : FaceObject(mail, "MapiTable", "stores " + std::to_string(number)), m_rows(std::move(rows))
    {
    }
    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE Advise(ULONG, LPMAPIADVISESINK, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetStatus(ULONG*, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray columns, ULONG) override
    {
        if (!columns) return MAPI_E_INVALID_PARAMETER;
        m_columns.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryColumns(ULONG, LPSPropTagArray*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetRowCount(ULONG, ULONG* count) override
    {
        if (!count) return MAPI_E_INVALID_PARAMETER;
        *count = static_cast<ULONG>(m_rows.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rows, LONG* sought) override
    {
        LONG from = 0;
        if (origin == BOOKMARK_CURRENT) from = static_cast<LONG>(m_position);
        else if (origin == BOOKMARK_END) from = static_cast<LONG>(m_rows.size());
        else if (origin != BOOKMARK_BEGINNING) return MAPI_E_INVALID_BOOKMARK;
        LONG to = from + rows;
        if (to < 0) to = 0;
        if (to > static_cast<LONG>(m_rows.size())) to = static_cast<LONG>(m_rows.size());
        m_position = static_cast<std::size_t>(to);
        if (sought) *sought = to - from;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE QueryPosition(ULONG*, ULONG*, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction, BOOKMARK, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE QueryRows(LONG count, ULONG, LPSRowSet* out) override
    {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        if (count < 0) return MAPI_E_NO_SUPPORT;
        const std::size_t left = m_rows.size() - m_position;
        const std::size_t n = std::min(left, static_cast<std::size_t>(count));
        const ULONG columns = m_columns.empty() ? 1 : static_cast<ULONG>(m_columns.size());
        auto* set = static_cast<SRowSet*>(Allocate(static_cast<ULONG>(sizeof(SRowSet) + sizeof(SRow) * (n + 1))));
        if (!set) return MAPI_E_NOT_ENOUGH_MEMORY;
        for (std::size_t r = 0; r < n; ++r) {
            const host::PropValue& row = m_rows[m_position + r];
            auto* values = static_cast<SPropValue*>(Allocate(static_cast<ULONG>(sizeof(SPropValue) * columns)));
            for (ULONG c = 0; c < columns; ++c) {
                const ULONG tag = m_columns.empty() ? PR_ENTRYID : m_columns[c];
                if (tag == row.tag) {
                    FillValue(values[c], row, values);
                } else {
                    values[c].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
                    values[c].Value.err = MAPI_E_NOT_FOUND;
                }
            }
            set->aRow[r].cValues = columns;
            set->aRow[r].lpProps = values;
        }
        set->cRows = static_cast<ULONG>(n);
        m_position += n;
        *out = set;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Abort() QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG, ULONG, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK*) QEV_NO_SUPPORT

private:
    std::vector<host::PropValue> m_rows;
    std::vector<ULONG> m_columns;
    std::size_t m_position = 0;
};

// The profile's global section: PR_PROFILE_NAME_W.
class ProfileSectionFace final : public FaceObject<host::win::Row<IProfSect, host::win::kIidMapiProp, kIidProfSect>> {
public:
    ProfileSectionFace(SimMail& mail, std::uint32_t number, host::MapiSession* session)
        : FaceObject(mail, "ProfSect", "global " + std::to_string(number)), m_session(session)
    {
    }
    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                     LPSPropProblemArray*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                        LPSPropProblemArray*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**)
        QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values) override
    {
        return GetPropsOf(tags, count, values, [&](ULONG tag, std::optional<host::PropValue>& v) -> HRESULT {
            if (PROP_ID(tag) != PROP_ID(PR_PROFILE_NAME_W)) return MAPI_E_NOT_FOUND;
            return m_session->ProfileName(v);
        });
    }

private:
    host::MapiSession* m_session;  // the profile's, which lives as long as the world
};

class AdminFace final : public FaceObject<host::win::Row<IMsgServiceAdmin, kIidMsgServiceAdmin>> {
public:
    AdminFace(SimMail& mail, std::uint32_t number, host::MapiSession* session)
        : FaceObject(mail, "MsgServiceAdmin", "admin " + std::to_string(number)), m_session(session)
    {
    }
    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetMsgServiceTable(ULONG, LPMAPITABLE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CreateMsgService(LPTSTR, LPTSTR, ULONG_PTR, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE DeleteMsgService(LPMAPIUID) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CopyMsgService(LPMAPIUID, LPTSTR, LPCIID, LPCIID, LPVOID, ULONG_PTR, ULONG)
        QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE RenameMsgService(LPMAPIUID, ULONG, LPTSTR) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE ConfigureMsgService(LPMAPIUID, ULONG_PTR, ULONG, ULONG, LPSPropValue) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID, ULONG, LPPROFSECT* out) override
    {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        if (!uid || std::memcmp(uid, &host::win::kGlobalProfileSection, sizeof(MAPIUID)) != 0)
            return MAPI_E_NOT_FOUND;
        auto& section = m_mail.Keep(std::make_unique<ProfileSectionFace>(m_mail, ++m_sections, m_session));
        section.AddRef();
        *out = &section;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MsgServiceTransportOrder(ULONG, LPMAPIUID, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE AdminProviders(LPMAPIUID, ULONG, LPPROVIDERADMIN*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetPrimaryIdentity(LPMAPIUID, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetProviderTable(ULONG, LPMAPITABLE*) QEV_NO_SUPPORT

private:
    host::MapiSession* m_session;  // the profile's, which lives as long as the world
    std::uint32_t m_sections = 0;
};

class SessionFace final : public FaceObject<host::win::Row<IMAPISession, host::win::kIidMapiSession>> {
public:
    SessionFace(SimMail& mail, Object* object) : FaceObject(mail, object) {}
    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG flags, LPMAPITABLE* out) override
    {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        std::vector<host::PropValue> rows;
        const HRESULT hr = As<host::MapiSession>()->StoreEntryIds(flags, rows);
        if (FAILED(hr)) return hr;
        auto& table = m_mail.Keep(std::make_unique<StoreTableFace>(m_mail, ++m_tables, std::move(rows)));
        table.AddRef();
        *out = &table;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR, ULONG size, LPENTRYID entryId, LPCIID, ULONG flags,
                                           LPMDB* out) override
    {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        *out = nullptr;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(entryId);
        Ref<Object> store;
        const HRESULT hr = As<host::MapiSession>()->OpenMsgStore(std::span<const std::uint8_t>(bytes, size), flags, store);
        if (FAILED(hr)) return hr;
        IUnknown* unknown = m_mail.HandOut(std::move(store));
        *out = static_cast<IMsgStore*>(static_cast<StoreFace*>(m_mail.FaceBehind(unknown)));
        return *out ? hr : MAPI_E_CALL_FAILED;
    }
    HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR, LPCIID, ULONG, LPADRBOOK*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID, LPCIID, ULONG, LPPROFSECT*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG, LPMAPITABLE*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR, ULONG, LPTSTR, LPMESSAGE) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG, ULONG*, LPTSTR**) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG*, LPENTRYID*) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR, ULONG, ULONG) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG, ULONG, LPENTRYID) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE AdminServices(ULONG, LPSERVICEADMIN* out) override
    {
        if (!out) return MAPI_E_INVALID_PARAMETER;
        auto& admin = m_mail.Keep(
            std::make_unique<AdminFace>(m_mail, ++m_admins, As<host::MapiSession>().Get()));
        admin.AddRef();
        *out = &admin;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR, LPMDB, LPMAPIFOLDER, LPCIID, ULONG, LPMESSAGE, ULONG, ULONG, ULONG,
                                       ULONG, LPSTR) QEV_NO_SUPPORT
    HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID, LPMESSAGE, ULONG*) QEV_NO_SUPPORT

private:
    std::uint32_t m_tables = 0;
    std::uint32_t m_admins = 0;
};

// ---- Outlook's side ----

class OutlookFace;

// The add-in's sink of one ItemsEvents subscription, as the model calls it.
class SinkBridge final : public host::EventSink {
public:
    SinkBridge(SimMail& mail, IDispatch* sink) : m_mail(mail), m_sink(sink) {}
    void OnEvent(std::int32_t dispId, std::span<const host::Variant> args) override;
    IDispatch* Sink() const noexcept { return m_sink; }

private:
    SimMail& m_mail;
    IDispatch* m_sink;  // the reference Advise took
};

class ItemsPoint final
    : public host::win::ComObject<LedgerCount, host::win::Row<IConnectionPoint, IID_IConnectionPoint>> {
public:
    ItemsPoint(SimMail& mail, OutlookFace& owner, const std::string& name);
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override
    {
        if (!iid) return E_POINTER;
        *iid = kItemsEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    SimMail& m_mail;
    OutlookFace& m_owner;
    std::map<DWORD, std::unique_ptr<SinkBridge>> m_sinks;
    std::vector<std::unique_ptr<SinkBridge>> m_retired;
};

// The namespace, a folder, an Items collection, an item or a selection:
// late bound, names looked up in one table.
class OutlookFace final : public SimDispatchOf<HostObjectCount>, public Face {
public:
    OutlookFace(SimMail& mail, Object* object, std::string kind, bool mail_item, bool items)
        : SimDispatchOf({{L"MAPIOBJECT", kMapiObject},
                       {L"GetFolderFromID", kGetFolderFromId},
                       {L"Class", kClass},
                       {L"DefaultItemType", kDefaultItemType},
                       {L"Items", kItemsProperty},
                       {L"Name", kName},
                       {L"Count", kCount},
                       {L"UnRead", kUnRead},
                       {L"Move", kMove},
                       {L"HTMLBody", kHtmlBody},
                       {L"Item", kItemMethod},
                       {L"EntryID", kEntryId},
                       {L"Restrict", kRestrict},
                       {L"Sort", kSort},
                       {L"ReceivedTime", kReceivedTime}},
                        object),
          Face(mail, object),
          m_mailItem(mail_item),
          m_items(items)
    {
        if (items) m_point = std::make_unique<ItemsPoint>(mail, *this, kind);
    }

    IUnknown* Unknown() noexcept override { return static_cast<IDispatch*>(this); }

    Object* Model() const noexcept { return m_object; }

private:
    // A mail item also answers _MailItem; an Items collection raises ItemsEvents.
    void* QueryMore(REFIID iid) noexcept override
    {
        return m_mailItem && IsEqualIID(iid, kMailItem) ? static_cast<IDispatch*>(this) : nullptr;
    }
    bool HasPoints() const noexcept override { return m_items; }
    IConnectionPoint* PointFor(REFIID iid) noexcept override
    {
        return m_point && IsEqualIID(iid, kItemsEvents) ? m_point.get() : nullptr;
    }
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT*) override;
    static HRESULT Arg(const DISPPARAMS& params, UINT index, VARTYPE type, VARIANT& out)
    {
        // Arguments come last to first.
        if (index >= params.cArgs) return DISP_E_PARAMNOTOPTIONAL;
        VariantInit(&out);
        const HRESULT hr = VariantChangeType(&out, &params.rgvarg[params.cArgs - 1 - index], 0, type);
        return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
    }

    bool m_mailItem;
    bool m_items;
    std::unique_ptr<ItemsPoint> m_point;
};

ItemsPoint::ItemsPoint(SimMail& mail, OutlookFace& owner, const std::string& name)
    : ComObject(mail.SimLedger(), "ConnectionPoint", name + " ItemsEvents"), m_mail(mail), m_owner(owner)
{
}

HRESULT ItemsPoint::GetConnectionPointContainer(IConnectionPointContainer** out)
{
    if (!out) return E_POINTER;
    return m_owner.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

HRESULT ItemsPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return CONNECT_E_CANNOTCONNECT;
    auto bridge = std::make_unique<SinkBridge>(m_mail, dispatch);
    std::uint32_t got = 0;
    const HRESULT hr = Guard(nullptr, [&] {
        got = host::QueryAs<host::EventSource>(m_owner.Model())->Advise(host::EventInterface::ItemsEvents,
                                                                       bridge.get());
    });
    if (FAILED(hr)) {
        dispatch->Release();
        return hr;
    }
    *cookie = got;
    m_sinks[got] = std::move(bridge);
    return S_OK;
}

HRESULT ItemsPoint::Unadvise(DWORD cookie)
{
    const auto found = m_sinks.find(cookie);
    if (found == m_sinks.end()) return CONNECT_E_NOCONNECTION;
    const HRESULT hr = Guard(nullptr, [&] {
        host::QueryAs<host::EventSource>(m_owner.Model())->Unadvise(host::EventInterface::ItemsEvents, cookie);
    });
    if (FAILED(hr)) return hr;
    found->second->Sink()->Release();
    // The bridge stays: the model may be delivering through it right now.
    m_retired.push_back(std::move(found->second));
    m_sinks.erase(found);
    return S_OK;
}

// What ItemsSinkTime() reports, in performance-counter ticks.
LARGE_INTEGER g_sinkTicks{};
std::uint64_t g_sinkCalls = 0;
LARGE_INTEGER g_firstSinkCall{};
LARGE_INTEGER g_lastSinkReturn{};

void SinkBridge::OnEvent(std::int32_t dispId, std::span<const host::Variant> args)
{
    std::vector<VARIANT> vars(args.size());
    // The arguments go last to first; the sink borrows them for the call.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const host::Variant& arg = args[i];
        VARIANT& v = vars[args.size() - 1 - i];
        VariantInit(&v);
        switch (arg.type) {
            case host::Variant::Type::Bool:
                v.vt = VT_BOOL;
                v.boolVal = arg.boolValue;
                break;
            case host::Variant::Type::Int32:
                v.vt = VT_I4;
                v.lVal = arg.intValue;
                break;
            case host::Variant::Type::Unknown:
            case host::Variant::Type::Dispatch: {
                Face* face = arg.object ? &m_mail.FaceOf(arg.object.Get()) : nullptr;
                v.vt = arg.type == host::Variant::Type::Dispatch ? VT_DISPATCH : VT_UNKNOWN;
                v.punkVal = face ? face->Unknown() : nullptr;
                break;
            }
            default:
                break;
        }
    }
    DISPPARAMS params = {vars.data(), nullptr, static_cast<UINT>(vars.size()), 0};
    VARIANT result;
    VariantInit(&result);
    LARGE_INTEGER before;
    LARGE_INTEGER after;
    QueryPerformanceCounter(&before);
    m_sink->Invoke(dispId, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    QueryPerformanceCounter(&after);
    g_sinkTicks.QuadPart += after.QuadPart - before.QuadPart;
    if (g_sinkCalls++ == 0) g_firstSinkCall = before;
    g_lastSinkReturn = after;
    VariantClear(&result);
}

HRESULT OutlookFace::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT*)
{
    const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
    const bool method = (flags & DISPATCH_METHOD) != 0;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    std::u16string description;
    HRESULT hr = S_OK;
    auto handDispatch = [&](Ref<Object> object) {
        IUnknown* unknown = m_mail.HandOut(std::move(object));
        result.vt = VT_DISPATCH;
        result.pdispVal = static_cast<IDispatch*>(unknown);
    };
    switch (id) {
        case kMapiObject: {
            if (!get) return DISP_E_MEMBERNOTFOUND;
            hr = Guard(&description, [&] {
                Ref<Object> object;
                if (Ref<host::Namespace> ns = As<host::Namespace>()) object = ns->MapiObject();
                else if (Ref<host::MailItem> item = As<host::MailItem>()) object = item->MapiObject();
                else if (Ref<host::Folder> folder = As<host::Folder>()) object = folder->MapiObject();
                else throw host::ComError(DISP_E_MEMBERNOTFOUND);
                result.vt = VT_UNKNOWN;
                result.punkVal = m_mail.HandOut(std::move(object));
            });
            break;
        }
        case kGetFolderFromId: {
            if (!method) return DISP_E_MEMBERNOTFOUND;
            Ref<host::Namespace> ns = As<host::Namespace>();
            if (!ns) return DISP_E_MEMBERNOTFOUND;
            VARIANT entry;
            VARIANT store;
            VariantInit(&store);
            if (HRESULT a = Arg(params, 0, VT_BSTR, entry); FAILED(a)) return a;
            if (params.cArgs > 1 && FAILED(Arg(params, 1, VT_BSTR, store))) {
                VariantClear(&entry);
                return DISP_E_TYPEMISMATCH;
            }
            hr = Guard(&description, [&] {
                handDispatch(ns->GetFolderFromID(TextOf(entry.bstrVal), store.vt == VT_BSTR ? TextOf(store.bstrVal)
                                                                                              : std::u16string()));
            });
            VariantClear(&entry);
            VariantClear(&store);
            break;
        }
        case kEntryId:
            if (Ref<host::MailItem> item = As<host::MailItem>()) {
                if (!get) return DISP_E_MEMBERNOTFOUND;
                hr = Guard(&description, [&] {
                    result.vt = VT_BSTR;
                    result.bstrVal = BstrOf(item->EntryID());
                });
                break;
            }
            [[fallthrough]];
        case kClass:
        case kDefaultItemType:
        case kName:
        case kItemsProperty: {
            Ref<host::Folder> folder = As<host::Folder>();
            if (!folder || !get) return DISP_E_MEMBERNOTFOUND;
            hr = Guard(&description, [&] {
                if (id == kClass) {
                    result.vt = VT_I4;
                    result.lVal = folder->Class();
                } else if (id == kDefaultItemType) {
                    result.vt = VT_I4;
                    result.lVal = folder->DefaultItemType();
                } else if (id == kName) {
                    result.vt = VT_BSTR;
                    result.bstrVal = BstrOf(folder->Name());
                } else if (id == kEntryId) {
                    result.vt = VT_BSTR;
                    result.bstrVal = BstrOf(folder->EntryID());
                } else {
                    handDispatch(folder->GetItems());
                }
            });
            break;
        }
        case kCount: {
            if (!get) return DISP_E_MEMBERNOTFOUND;
            hr = Guard(&description, [&] {
                result.vt = VT_I4;
                if (Ref<host::Items> items = As<host::Items>()) result.lVal = items->Count();
                else if (Ref<host::Selection> selection = As<host::Selection>()) result.lVal = selection->Count();
                else throw host::ComError(DISP_E_MEMBERNOTFOUND);
            });
            break;
        }
        case kItemMethod: {
            Ref<host::Selection> selection = As<host::Selection>();
            Ref<host::Items> items = As<host::Items>();
            if (!selection && !items) return DISP_E_MEMBERNOTFOUND;
            VARIANT index;
            if (HRESULT a = Arg(params, 0, VT_I4, index); FAILED(a)) return a;
            hr = Guard(&description, [&] {
                handDispatch(selection ? selection->Item(index.lVal) : items->Item(index.lVal));
            });
            break;
        }
        case kRestrict: {
            // The model evaluates the filter it is given (host/fake/fake_filter.h),
            // its dates read by the user's locale first.
            Ref<host::Items> items = As<host::Items>();
            if (!items || !method) return DISP_E_MEMBERNOTFOUND;
            VARIANT filter;
            if (HRESULT a = Arg(params, 0, VT_BSTR, filter); FAILED(a)) return a;
            hr = Guard(&description, [&] { handDispatch(items->Restrict(InModelDates(TextOf(filter.bstrVal)))); });
            VariantClear(&filter);
            break;
        }
        case kSort: {
            Ref<host::Items> items = As<host::Items>();
            if (!items || !method) return DISP_E_MEMBERNOTFOUND;
            VARIANT property;
            VARIANT descending;
            VariantInit(&descending);
            if (HRESULT a = Arg(params, 0, VT_BSTR, property); FAILED(a)) return a;
            // Descending is optional: ascending when left out.
            const bool given = params.cArgs > 1 && params.rgvarg[params.cArgs - 2].vt != VT_ERROR;
            if (given && FAILED(Arg(params, 1, VT_BOOL, descending))) {
                VariantClear(&property);
                return DISP_E_TYPEMISMATCH;
            }
            hr = Guard(&description, [&] {
                items->Sort(TextOf(property.bstrVal), given && descending.boolVal != VARIANT_FALSE);
            });
            VariantClear(&property);
            break;
        }
        case kReceivedTime: {
            Ref<host::MailItem> item = As<host::MailItem>();
            if (!item || !get) return DISP_E_MEMBERNOTFOUND;
            hr = Guard(&description, [&] {
                result.vt = VT_DATE;
                result.date = item->ReceivedTime().value_or(host::kOleDateNone);  // Outlook's "none"
            });
            break;
        }
        case kUnRead: {
            Ref<host::MailItem> item = As<host::MailItem>();
            if (!item) return DISP_E_MEMBERNOTFOUND;
            if (put) {
                VARIANT value;
                if (HRESULT a = Arg(params, 0, VT_BOOL, value); FAILED(a)) return a;
                hr = Guard(&description, [&] { item->SetUnRead(value.boolVal != VARIANT_FALSE); });
            } else {
                hr = Guard(&description, [&] {
                    result.vt = VT_BOOL;
                    result.boolVal = item->UnRead().boolValue;  // the model keeps a boolean
                });
            }
            break;
        }
        case kMove: {
            Ref<host::MailItem> item = As<host::MailItem>();
            if (!item || !method) return DISP_E_MEMBERNOTFOUND;
            VARIANT target;
            if (HRESULT a = Arg(params, 0, VT_DISPATCH, target); FAILED(a)) return a;
            Face* face = m_mail.FaceBehind(target.pdispVal);
            VariantClear(&target);
            Ref<host::Folder> folder = face ? face->As<host::Folder>() : nullptr;
            if (!folder) return DISP_E_TYPEMISMATCH;
            hr = Guard(&description, [&] { handDispatch(item->Move(folder.Get())); });
            break;
        }
        case kHtmlBody: {
            Ref<host::MailItem> item = As<host::MailItem>();
            if (!item || !get) return DISP_E_MEMBERNOTFOUND;
            hr = Guard(&description, [&] {
                result.vt = VT_BSTR;
                result.bstrVal = BstrOf(item->HtmlBody());
            });
            break;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        SetDescription(description);
    }
    return hr;
}

}  // namespace

#pragma GCC diagnostic pop

// ---- the mail world ----

SimMail::SimMail(Ledger& ledger) : m_simLedger(ledger), m_calls(ledger.Calls()), m_mail(m_ledger, m_calls) {}

SimMail::~SimMail() = default;

Face& SimMail::FaceOf(Object* object)
{
    Object* canonical = object->Query(Iface::Unknown);
    canonical->Release();
    const auto found = m_faces.find(canonical);
    if (found != m_faces.end()) return *found->second;
    auto answers = [&](Iface iface) {
        Object* as = canonical->Query(iface);
        if (as) as->Release();
        return as != nullptr;
    };
    std::unique_ptr<Face> face;
    if (answers(Iface::Namespace)) face = std::make_unique<OutlookFace>(*this, canonical, "Namespace", false, false);
    else if (answers(Iface::Folder)) face = std::make_unique<OutlookFace>(*this, canonical, "Folder", false, false);
    else if (answers(Iface::Items)) face = std::make_unique<OutlookFace>(*this, canonical, "Items", false, true);
    else if (answers(Iface::Selection)) face = std::make_unique<OutlookFace>(*this, canonical, "Selection", false, false);
    else if (answers(Iface::Dispatch))
        face = std::make_unique<OutlookFace>(*this, canonical, "Item", answers(Iface::MailItem), false);
    else if (answers(Iface::MapiSession)) face = std::make_unique<SessionFace>(*this, canonical);
    else if (answers(Iface::MsgStore)) face = std::make_unique<StoreFace>(*this, canonical);
    else if (answers(Iface::MapiFolder)) face = std::make_unique<FolderFace>(*this, canonical);
    else if (answers(Iface::MapiProp)) face = std::make_unique<MessageFace>(*this, canonical);
    else face = std::make_unique<StreamFace>(*this, canonical);
    Face& made = *face;
    // Every COM pointer the face hands out leads back to it.
    m_pointers[made.Unknown()] = &made;
    if (auto* outlook = dynamic_cast<OutlookFace*>(&made))
        m_pointers[reinterpret_cast<IUnknown*>(static_cast<IConnectionPointContainer*>(outlook))] = &made;
    m_faces.emplace(canonical, std::move(face));
    return made;
}

Face* SimMail::FaceBehind(IUnknown* unknown)
{
    const auto found = m_pointers.find(unknown);
    return found == m_pointers.end() ? nullptr : found->second;
}

host::Ref<host::Object> SimMail::ModelBehind(IUnknown* unknown)
{
    Face* face = FaceBehind(unknown);
    return face ? face->Held() : nullptr;
}

IUnknown* SimMail::HandOut(Ref<Object> object)
{
    if (!object) return nullptr;
    Face& face = FaceOf(object.Get());
    // The reference the model handed moves to the COM caller, who gives it
    // back through the face.
    object.Detach();
    return face.Unknown();
}

void SimMail::Select(SimExplorer& explorer, std::u16string_view store, std::u16string_view path,
                     const std::vector<std::size_t>& items)
{
    const int number = explorer.Number();
    while (static_cast<int>(m_explorers.size()) < number)
        m_explorers.push_back(std::make_unique<host::fake::FakeExplorer>(
            m_ledger, m_calls, m_unusedDesktop, m_unusedBarListener, static_cast<int>(m_explorers.size()) + 1));
    host::Ref<host::Folder> before = m_mail.CurrentFolder(number);
    m_mail.Select(*m_explorers[static_cast<std::size_t>(number) - 1], store, path, items);
    host::Ref<host::Folder> after = m_mail.CurrentFolder(number);
    const bool switched = before.Get() != after.Get();
    before.Reset();
    after.Reset();
    if (switched) explorer.Point().Fire(host::kDispIdFolderSwitch);
    explorer.Point().Fire(host::kDispIdSelectionChange);
}

HRESULT SimMail::Namespace(const DISPPARAMS& params, VARIANT& result)
{
    if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT type;
    VariantInit(&type);
    if (FAILED(VariantChangeType(&type, &params.rgvarg[0], 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
    const bool mapi = TextOf(type.bstrVal) == u"MAPI";
    VariantClear(&type);
    if (!mapi) return E_INVALIDARG;
    host::Namespace& ns = m_mail.NamespaceObject();
    ns.AddRef();
    result.vt = VT_DISPATCH;
    result.pdispVal = static_cast<IDispatch*>(HandOut(Ref<Object>::Adopt(&ns)));
    return S_OK;
}

HRESULT SimMail::CurrentFolder(int explorer, VARIANT& result)
{
    Ref<host::Folder> folder = m_mail.CurrentFolder(explorer);
    result.vt = VT_DISPATCH;
    result.pdispVal = static_cast<IDispatch*>(HandOut(std::move(folder)));
    return S_OK;
}

HRESULT SimMail::Selection(int explorer, VARIANT& result)
{
    Ref<host::Selection> selection = m_mail.SelectionOf(explorer);
    result.vt = VT_DISPATCH;
    result.pdispVal = static_cast<IDispatch*>(HandOut(std::move(selection)));
    return S_OK;
}

std::vector<std::string> SimMail::Problems() const
{
    std::vector<std::string> problems = m_ledger.Problems();
    for (const std::string& line : m_mail.LiveSubscriptions()) problems.push_back("subscription left: " + line);
    for (const std::string& line : m_mail.Faults()) problems.push_back(line);
    return problems;
}

SinkTime ItemsSinkTime() noexcept
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const auto ms = [&](LONGLONG ticks) {
        return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency.QuadPart);
    };
    return {g_sinkCalls, ms(g_sinkTicks.QuadPart), ms(g_lastSinkReturn.QuadPart - g_firstSinkCall.QuadPart)};
}

}  // namespace qev::sim::win
