#include "host/win/win_mapi.h"

#include <cstring>
#include <memory>
#include <string>

#include "host/win/win_libraries.h"
#include "host/win/win_wrapper.h"

namespace host::win {
namespace {

constexpr HRESULT kNoObject = E_UNEXPECTED;
constexpr ULONG kRowsPerQuery = 64;  // rows asked for at a time when the table is read here

template <class Function>
void Find(HMODULE module, const char* name, const char* decorated, Function& function) noexcept
{
    FARPROC found = GetProcAddress(module, name);
    if (!found) found = GetProcAddress(module, decorated);
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

MapiLibrary LoadMapi() noexcept
{
    MapiLibrary library;
    // Its imports from the system folder too: a full path alone would have
    // them searched beside the host program first.
    const HMODULE module = LoadSystemLibrary(L"mapi32.dll");
    if (!module) {
        library.status = HRESULT_FROM_WIN32(GetLastError());
        return library;
    }
    Find(module, "MAPIAllocateBuffer", "MAPIAllocateBuffer@8", library.allocateBuffer);
    Find(module, "MAPIAllocateMore", "MAPIAllocateMore@12", library.allocateMore);
    Find(module, "MAPIFreeBuffer", "MAPIFreeBuffer@4", library.freeBuffer);
    Find(module, "HrGetOneProp", "HrGetOneProp@12", library.getOneProp);
    Find(module, "HrQueryAllRows", "HrQueryAllRows@24", library.queryAllRows);
    Find(module, "FreeProws", "FreeProws@4", library.freeRows);
    Find(module, "HexFromBin", "HexFromBin@12", library.hexFromBin);
    const bool complete = library.allocateBuffer && library.allocateMore && library.freeBuffer && library.getOneProp &&
                          library.queryAllRows && library.freeRows && library.hexFromBin;
    // The module stays loaded: buffers it handed out may outlive any owner here.
    library.status = complete ? S_OK : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return library;
}

// Owns one MAPI buffer.
template <class T>
class MapiBuffer {
public:
    explicit MapiBuffer(const MapiLibrary& mapi) noexcept : m_mapi(mapi) {}
    MapiBuffer(const MapiBuffer&) = delete;
    MapiBuffer& operator=(const MapiBuffer&) = delete;
    ~MapiBuffer()
    {
        if (m_p) m_mapi.freeBuffer(m_p);
    }
    T** Out() noexcept { return &m_p; }
    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

private:
    const MapiLibrary& m_mapi;
    T* m_p = nullptr;
};

// Owns one row set (FreeProws).
class RowSet {
public:
    explicit RowSet(const MapiLibrary& mapi) noexcept : m_mapi(mapi) {}
    RowSet(const RowSet&) = delete;
    RowSet& operator=(const RowSet&) = delete;
    ~RowSet() { Reset(); }
    void Reset() noexcept
    {
        if (m_rows) m_mapi.freeRows(m_rows);
        m_rows = nullptr;
    }
    LPSRowSet* Out() noexcept
    {
        Reset();
        return &m_rows;
    }
    LPSRowSet Get() const noexcept { return m_rows; }
    explicit operator bool() const noexcept { return m_rows != nullptr; }

private:
    const MapiLibrary& m_mapi;
    LPSRowSet m_rows = nullptr;
};

LPENTRYID EntryIdOf(std::span<const std::uint8_t> entryId) noexcept
{
    return entryId.empty() ? nullptr : reinterpret_cast<LPENTRYID>(const_cast<std::uint8_t*>(entryId.data()));
}

// Text for a MAPI call: UTF-16 with MAPI_UNICODE in flags, else the ANSI code page.
class MapiText {
public:
    MapiText(std::u16string_view text, ULONG flags) : m_wide(text)
    {
        if (flags & MAPI_UNICODE) return;
        const int size = WideCharToMultiByte(CP_ACP, 0, W(m_wide.c_str()), -1, nullptr, 0, nullptr, nullptr);
        m_narrow.assign(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
        if (size > 0) WideCharToMultiByte(CP_ACP, 0, W(m_wide.c_str()), -1, m_narrow.data(), size, nullptr, nullptr);
        m_useNarrow = true;
    }
    // LPTSTR as the headers spell it: either form passes through it.
    LPTSTR Get() noexcept
    {
        return m_useNarrow ? reinterpret_cast<LPTSTR>(m_narrow.data()) : reinterpret_cast<LPTSTR>(m_wide.data());
    }

private:
    std::u16string m_wide;
    std::string m_narrow;
    bool m_useNarrow = false;
};

HRESULT ReadOneProp(IMAPIProp* prop, ULONG tag, std::optional<PropValue>& out)
{
    out.reset();
    const MapiLibrary& mapi = Mapi();
    if (!mapi) return mapi.status;
    LPSPropValue raw = nullptr;
    const HRESULT hr = mapi.getOneProp(prop, tag, &raw);
    if (!raw) return hr;
    // The value is handed over in mapi32's buffer, which goes when the last
    // copy of the value does (the shared pointer frees it if it cannot be made).
    const std::shared_ptr<const void> buffer(raw, [release = mapi.freeBuffer](const void* p) {
        release(const_cast<void*>(p));
    });
    // A failed read leaves nothing; a success without a value (a provider
    // that broke the rule) is reported as it came.
    if (SUCCEEDED(hr)) out = PropValueIn(*raw, buffer);
    return hr;
}

HRESULT ObjectResult(HRESULT hr, IUnknown* object, Ref<Object>& out)
{
    const auto owned = ComPtr<IUnknown>::Adopt(object);
    out = SUCCEEDED(hr) ? WrapUnknown(owned.Get()) : nullptr;
    return hr;
}

// IMAPIProp's part, shared by every MAPI wrapper. Base is the seam's interface
// and Interface the MAPI interface the wrapper holds (an IMAPIProp).
template <class Base, class Interface>
class PropWrapper : public Wrapper<Base> {
public:
    explicit PropWrapper(Interface* object) noexcept : Wrapper<Base>(object), m_com(object) {}

    HRESULT GetOneProp(std::uint32_t tag, std::optional<PropValue>& out) override
    {
        return ReadOneProp(m_com, tag, out);
    }

    HRESULT OpenProperty(std::uint32_t tag, Ref<Object>& out) override
    {
        out = nullptr;
        IUnknown* stream = nullptr;
        const HRESULT hr = m_com->OpenProperty(tag, &IID_IStream, 0, 0, &stream);
        return ObjectResult(hr, stream, out);
    }

protected:
    Interface* Com() const noexcept { return m_com; }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Base::kIface; }

    Interface* m_com;  // the wrapper's own reference
};

class WinMapiProp final : public PropWrapper<MapiProp, IMAPIProp> {
public:
    using PropWrapper::PropWrapper;
};

class WinMsgStore final : public PropWrapper<MsgStore, IMsgStore> {
public:
    using PropWrapper::PropWrapper;

    HRESULT OpenEntry(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out) override
    {
        out = nullptr;
        ULONG type = 0;
        IUnknown* entry = nullptr;
        const HRESULT hr =
            Com()->OpenEntry(static_cast<ULONG>(entryId.size()), EntryIdOf(entryId), nullptr, flags, &type, &entry);
        return ObjectResult(hr, entry, out);
    }

    HRESULT GetReceiveFolder(std::u16string_view messageClass, std::uint32_t flags,
                             std::vector<std::uint8_t>& entryId) override
    {
        entryId.clear();
        const MapiLibrary& mapi = Mapi();
        if (!mapi) return mapi.status;
        MapiText text(messageClass, flags);
        ULONG size = 0;
        MapiBuffer<ENTRYID> folder(mapi);
        MapiBuffer<TCHAR> explicitClass(mapi);
        const HRESULT hr = Com()->GetReceiveFolder(text.Get(), flags, &size, folder.Out(), explicitClass.Out());
        if (SUCCEEDED(hr) && folder) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(folder.Get());
            entryId.assign(bytes, bytes + size);
        }
        return hr;
    }
};

class WinMapiFolder final : public PropWrapper<MapiFolder, IMAPIFolder> {
public:
    using PropWrapper::PropWrapper;

    HRESULT CreateFolder(std::uint32_t folderType, std::u16string_view name, std::uint32_t flags,
                         Ref<Object>& out) override
    {
        out = nullptr;
        MapiText text(name, flags);
        IMAPIFolder* folder = nullptr;
        const HRESULT hr = Com()->CreateFolder(folderType, text.Get(), nullptr, nullptr, flags, &folder);
        return ObjectResult(hr, folder, out);
    }
};

// The column PR_ENTRYID of every row of rows, appended.
void AppendEntryIds(const SRowSet& rows, std::vector<PropValue>& out)
{
    for (ULONG i = 0; i < rows.cRows; ++i) {
        const SRow& row = rows.aRow[i];
        if (row.cValues >= 1 && row.lpProps) {
            out.push_back(PropValueOf(row.lpProps[0]));
        } else {
            PropValue none;  // a row without the column: PR_NULL, nothing in it
            none.pointerSet = false;
            out.push_back(std::move(none));
        }
    }
}

// The table read whole as HrQueryAllRows reads it, for a mapi32 whose
// HrQueryAllRows is a stub.
HRESULT ReadAllRows(const MapiLibrary& mapi, IMAPITable* table, LPSPropTagArray columns, std::vector<PropValue>& out)
{
    HRESULT hr = table->SetColumns(columns, 0);
    if (FAILED(hr)) return hr;
    hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
    if (FAILED(hr)) return hr;
    for (;;) {
        RowSet rows(mapi);
        hr = table->QueryRows(kRowsPerQuery, 0, rows.Out());
        if (FAILED(hr)) return hr;
        if (!rows || rows.Get()->cRows == 0) return S_OK;
        AppendEntryIds(*rows.Get(), out);
    }
}

class WinMapiSession final : public Wrapper<MapiSession> {
public:
    explicit WinMapiSession(IMAPISession* session) noexcept : Wrapper(session), m_session(session) {}

    HRESULT StoreEntryIds(std::uint32_t flags, std::vector<PropValue>& rows) override
    {
        rows.clear();
        const MapiLibrary& mapi = Mapi();
        if (!mapi) return mapi.status;
        ComPtr<IMAPITable> table;
        HRESULT hr = m_session->GetMsgStoresTable(flags, table.Out());
        if (FAILED(hr)) return hr;
        if (!table) return kNoObject;
        SPropTagArray columns = {1, {PR_ENTRYID}};
        RowSet all(mapi);
        hr = mapi.queryAllRows(table.Get(), &columns, nullptr, nullptr, 0, all.Out());
        if (hr == MAPI_E_CALL_FAILED && !all) {
            std::vector<PropValue> read;
            if (SUCCEEDED(ReadAllRows(mapi, table.Get(), &columns, read))) {
                rows = std::move(read);
                return S_OK;
            }
            return hr;  // what mapi32 said, not what the table said afterwards
        }
        if (FAILED(hr)) return hr;
        if (all) AppendEntryIds(*all.Get(), rows);
        return hr;
    }

    HRESULT OpenMsgStore(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out) override
    {
        out = nullptr;
        IMsgStore* store = nullptr;
        const HRESULT hr =
            m_session->OpenMsgStore(0, static_cast<ULONG>(entryId.size()), EntryIdOf(entryId), nullptr, flags, &store);
        return ObjectResult(hr, store, out);
    }

    HRESULT ProfileName(std::optional<PropValue>& out) override
    {
        out.reset();
        ComPtr<IMsgServiceAdmin> admin;
        HRESULT hr = m_session->AdminServices(0, admin.Out());
        if (FAILED(hr)) return hr;
        if (!admin) return kNoObject;
        MAPIUID section = {};
        static_assert(sizeof(section) == sizeof(kGlobalProfileSection));
        std::memcpy(&section, &kGlobalProfileSection, sizeof(section));
        ComPtr<IProfSect> profile;
        hr = admin->OpenProfileSection(&section, nullptr, 0, profile.Out());
        if (FAILED(hr)) return hr;
        if (!profile) return kNoObject;
        ComPtr<IMAPIProp> prop;
        hr = profile->QueryInterface(kIidMapiProp, prop.OutVoid());
        if (FAILED(hr)) return hr;
        if (!prop) return kNoObject;
        return ReadOneProp(prop.Get(), PR_PROFILE_NAME_W, out);
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::MapiSession; }

    IMAPISession* m_session;  // the wrapper's own reference
};

}  // namespace

const MapiLibrary& Mapi() noexcept
{
    static const MapiLibrary library = LoadMapi();
    return library;
}

PropValue PropValueIn(const SPropValue& value, std::shared_ptr<const void> buffer)
{
    PropValue out;
    out.tag = value.ulPropTag;
    out.buffer = std::move(buffer);
    switch (PROP_TYPE(value.ulPropTag)) {
        case PT_UNICODE:
            out.pointerSet = value.Value.lpszW != nullptr;
            if (out.pointerSet) out.unicode = std::u16string_view(U(value.Value.lpszW));
            break;
        case PT_STRING8:
            out.pointerSet = value.Value.lpszA != nullptr;
            if (out.pointerSet) out.string8 = std::string_view(value.Value.lpszA);
            break;
        case PT_BINARY:
            out.pointerSet = value.Value.bin.lpb != nullptr;
            if (out.pointerSet) out.binary = std::span<const std::uint8_t>(value.Value.bin.lpb, value.Value.bin.cb);
            break;
        default: {
            void* raw = nullptr;
            std::memcpy(&raw, &value.Value, sizeof(raw));
            out.pointerSet = raw != nullptr;
            break;
        }
    }
    return out;
}

PropValue PropValueOf(const SPropValue& value)
{
    const PropValue in = PropValueIn(value, nullptr);
    if (!in.pointerSet) return in;
    switch (PROP_TYPE(value.ulPropTag)) {
        case PT_UNICODE:
            return PropValue::Unicode(in.tag, std::u16string(in.unicode));
        case PT_STRING8:
            return PropValue::String8(in.tag, std::string(in.string8));
        case PT_BINARY:
            return PropValue::Binary(in.tag, {in.binary.begin(), in.binary.end()});
        default:
            return in;
    }
}

Ref<MapiProp> WrapMapiProp(IMAPIProp* prop)
{
    if (!prop) return nullptr;
    return Ref<MapiProp>::Adopt(new WinMapiProp(prop));
}

Ref<MsgStore> WrapMsgStore(IMsgStore* store)
{
    if (!store) return nullptr;
    return Ref<MsgStore>::Adopt(new WinMsgStore(store));
}

Ref<MapiFolder> WrapMapiFolder(IMAPIFolder* folder)
{
    if (!folder) return nullptr;
    return Ref<MapiFolder>::Adopt(new WinMapiFolder(folder));
}

Ref<MapiSession> WrapMapiSession(IMAPISession* session)
{
    if (!session) return nullptr;
    return Ref<MapiSession>::Adopt(new WinMapiSession(session));
}

}  // namespace host::win
