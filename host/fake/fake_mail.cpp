#include "host/fake/fake_mail.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "host/com_error.h"
#include "host/fake/fake_apartment.h"
#include "host/fake/fake_filter.h"
#include "host/fake/fake_system.h"
#include "host/fake/fake_text.h"

namespace host::fake {

class FakeNamespace;
class FakeMapiSession;
class FakeMsgStore;
class FakeMapiFolder;
class FakeFolder;
class FakeItems;
class FakeItem;
class FakeMessage;
class FakeSelection;

// ---- the profile's records ----

struct FakeMail::FolderRec {
    StoreRec* store = nullptr;
    FolderRec* parent = nullptr;
    std::u16string name;
    std::int32_t folderClass = 2;
    std::int32_t defaultItemType = 0;
    std::vector<std::uint8_t> entryId;
    std::vector<std::unique_ptr<FolderRec>> children;
    std::vector<ItemRec*> items;  // in order
    std::uint64_t changes = 0;    // items added or taken out so far
    std::unique_ptr<FakeFolder> outlook;
    std::unique_ptr<FakeItems> itemsObject;
    std::unique_ptr<FakeMapiFolder> mapi;

    // From the store's root, '/' between names; "" for the root.
    std::u16string Path() const
    {
        if (!parent) return {};
        std::u16string above = parent->Path();
        return above.empty() ? name : above + u"/" + name;
    }
    FolderRec* Child(std::u16string_view childName) const
    {
        for (const auto& child : children)
            if (EqualNoCase(child->name, childName)) return child.get();
        return nullptr;
    }
};

struct FakeMail::StoreRec {
    std::u16string name;
    std::u16string displayName;
    int number = 0;
    StoreOptions options;
    bool inProfile = true;
    std::vector<std::uint8_t> entryId;
    std::array<std::uint8_t, 16> recordKey{};
    std::unique_ptr<FolderRec> root;
    FolderRec* inbox = nullptr;
    FolderRec* deletedItems = nullptr;
    FolderRec* receiveFolder = nullptr;
    std::unique_ptr<FakeMsgStore> object;
    std::vector<std::uint32_t> openStoreFlags;
    std::vector<std::uint32_t> openEntryFlags;
};

struct FakeMail::ItemRec {
    FolderRec* folder = nullptr;  // null once moved away
    Message message;
    std::vector<std::uint8_t> entryId;
    std::string ledgerName;
    std::unique_ptr<FakeItem> outlook;
    std::unique_ptr<FakeMessage> mapi;
};

struct FakeMail::View {
    FolderRec* folder = nullptr;
    std::vector<ItemRec*> selected;
};

// The namespace, the session, and objects made on demand.
struct FakeMail::Objects {
    std::unique_ptr<FakeNamespace> ns;
    std::unique_ptr<FakeMapiSession> session;
    Pool<FakeSelection> selections;
    Pool<FakeStream> streams;
    std::vector<std::unique_ptr<FakeItems>> restricted;  // collections Restrict made
};

// What the objects reach of the profile.
class MailObjects {
public:
    using StoreRec = FakeMail::StoreRec;
    using FolderRec = FakeMail::FolderRec;
    using ItemRec = FakeMail::ItemRec;

    static HostCalls& Calls(FakeMail& mail) noexcept { return mail.m_calls; }
    static Ledger& LedgerOf(FakeMail& mail) noexcept { return mail.m_ledger; }
    static void Emit(FakeMail& mail, const MailEvent& event)
    {
        if (mail.m_listener) mail.m_listener(event);
    }
    static void Fault(FakeMail& mail, std::string what) { mail.m_faults.push_back(std::move(what)); }
    static const std::vector<std::unique_ptr<StoreRec>>& StoresOf(FakeMail& mail) noexcept { return mail.m_stores; }
    static MapiSession& Session(FakeMail& mail) noexcept { return mail.Session(); }
    static const std::optional<std::u16string>& ProfileName(FakeMail& mail) noexcept { return mail.m_profileName; }
    static bool ProfileNameEightBit(FakeMail& mail) noexcept { return mail.m_profileNameEightBit; }

    static FolderRec& MakeFolder(FakeMail& mail, StoreRec& store, FolderRec* parent, std::u16string name);
    static ItemRec& MakeItem(FakeMail& mail, FolderRec& folder, Message message);
    static ItemRec& Move(FakeMail& mail, ItemRec& item, FolderRec& destination);
    static FakeStream& MakeStream(FakeMail& mail, const ItemRec& item, std::uint32_t tag,
                                  std::vector<std::uint8_t> bytes);
    static FakeItems& MakeRestricted(FakeMail& mail, FolderRec& folder, std::vector<ItemRec*> members);
};

namespace {

using StoreRec = FakeMail::StoreRec;
using FolderRec = FakeMail::FolderRec;
using ItemRec = FakeMail::ItemRec;

// The provider id inside every store's entry id.
constexpr std::array<std::uint8_t, 16> kProviderUid = {0x38, 0xA1, 0xBB, 0x10, 0x05, 0xE5, 0x10, 0x1A,
                                                       0xA1, 0xBB, 0x08, 0x00, 0x2B, 0x2A, 0x56, 0xC2};
constexpr std::uint16_t kFolderIdType = 0x0001;
constexpr std::uint16_t kMessageIdType = 0x0007;

std::string Utf8Name(std::u16string_view store, std::u16string_view path)
{
    return Utf8(store) + "/" + Utf8(path);
}

// A store's entry id. Stores pair up: the second of each pair extends the
// first's id by one byte, and each pair sorts before the one added earlier.
std::vector<std::uint8_t> StoreEntryIdFor(int number)
{
    std::vector<std::uint8_t> id = {0, 0, 0, 0};
    id.insert(id.end(), kProviderUid.begin(), kProviderUid.end());
    id.push_back(static_cast<std::uint8_t>(0xB0 - (number - 1) / 2));
    if (number % 2 == 0) id.push_back(0x01);
    return id;
}

std::vector<std::uint8_t> ObjectEntryId(const StoreRec& store, std::uint16_t type, std::uint32_t number)
{
    std::vector<std::uint8_t> id = {0, 0, 0, 0};
    id.insert(id.end(), store.recordKey.begin(), store.recordKey.end());
    id.push_back(static_cast<std::uint8_t>(type & 0xFF));
    id.push_back(static_cast<std::uint8_t>(type >> 8));
    for (int shift = 24; shift >= 0; shift -= 8) id.push_back(static_cast<std::uint8_t>(number >> shift));
    return id;
}

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b)
{
    return std::ranges::equal(a, b);
}

// The bytes of hexadecimal text as HexFromBin writes it (upper case, two
// digits a byte); nothing for any other text.
std::optional<std::vector<std::uint8_t>> ParseHex(std::u16string_view text)
{
    if (text.size() % 2 != 0) return std::nullopt;
    auto digit = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = digit(text[i]);
        const int lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

// The bytes as Outlook's EntryID property gives them: HexFromBin's text.
std::u16string HexText(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

PropValue Binary(std::uint32_t tag, std::vector<std::uint8_t> bytes)
{
    return PropValue::Binary(tag, std::move(bytes));
}

PropValue Unicode(std::uint32_t tag, std::u16string text)
{
    return PropValue::Unicode(tag, std::move(text));
}

FolderRec* FindFolder(FolderRec& folder, std::span<const std::uint8_t> entryId)
{
    if (SameBytes(folder.entryId, entryId)) return &folder;
    for (const auto& child : folder.children)
        if (FolderRec* found = FindFolder(*child, entryId)) return found;
    return nullptr;
}

ItemRec* FindItem(FolderRec& folder, std::span<const std::uint8_t> entryId)
{
    for (ItemRec* item : folder.items)
        if (SameBytes(item->entryId, entryId)) return item;
    for (const auto& child : folder.children)
        if (ItemRec* found = FindItem(*child, entryId)) return found;
    return nullptr;
}

std::vector<std::uint8_t> ValueBytes(const PropValue& value)
{
    if (!value.pointerSet) return {};
    switch (PropType(value.tag)) {
        case kPtUnicode: {
            std::vector<std::uint8_t> bytes;
            for (const char16_t c : value.unicode) {
                bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>(c >> 8));
            }
            return bytes;
        }
        case kPtString8:
            return {value.string8.begin(), value.string8.end()};
        default:
            return {value.binary.begin(), value.binary.end()};
    }
}

std::u16string EscapeHtml(std::u16string_view text)
{
    std::u16string out;
    for (const char16_t c : text) {
        switch (c) {
            case u'<':
                out += u"&lt;";
                break;
            case u'>':
                out += u"&gt;";
                break;
            case u'&':
                out += u"&amp;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

const ComError& ItemGone()
{
    static const ComError error(kMapiObjectDeleted, u"The item has been moved or deleted.");
    return error;
}

}  // namespace

// ---- Outlook's side ----

class FakeNamespace final : public Counted<Namespace> {
public:
    explicit FakeNamespace(FakeMail& mail) : Counted(MailObjects::LedgerOf(mail), "Namespace", "MAPI"), m_mail(mail) {}

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("Namespace.QueryInterface"))) return nullptr;
        if (iface != Iface::Unknown && iface != Iface::Namespace) return nullptr;
        return Hand(static_cast<Namespace*>(this));
    }

    Ref<Object> MapiObject() override
    {
        MailObjects::Calls(m_mail).Enter("Namespace.MAPIOBJECT");
        MapiSession& session = MailObjects::Session(m_mail);
        return Ref<Object>::Share(&session);
    }

    Ref<Folder> GetFolderFromID(std::u16string_view entryIdHex, std::u16string_view storeIdHex) override;

private:
    FakeMail& m_mail;
};

class FakeFolder final : public Counted<Folder> {
public:
    FakeFolder(FakeMail& mail, FolderRec& folder)
        : Counted(MailObjects::LedgerOf(mail), "Folder", Utf8Name(folder.store->name, folder.Path())),
          m_mail(mail),
          m_folder(folder)
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("Folder.QueryInterface"))) return nullptr;
        if (iface != Iface::Unknown && iface != Iface::Folder) return nullptr;
        return Hand(static_cast<Folder*>(this));
    }
    std::int32_t Class() override
    {
        MailObjects::Calls(m_mail).Enter("Folder.Class");
        return m_folder.folderClass;
    }
    std::int32_t DefaultItemType() override
    {
        MailObjects::Calls(m_mail).Enter("Folder.DefaultItemType");
        return m_folder.defaultItemType;
    }
    Ref<Items> GetItems() override;
    std::u16string Name() override
    {
        MailObjects::Calls(m_mail).Enter("Folder.Name");
        // The root folder is called by its store's name.
        return m_folder.parent ? m_folder.name : m_folder.store->displayName;
    }
    std::u16string EntryID() override
    {
        MailObjects::Calls(m_mail).Enter("Folder.EntryID");
        return HexText(m_folder.entryId);
    }
    Ref<Object> MapiObject() override;

    FakeMail& Mail() const noexcept { return m_mail; }
    FolderRec& Record() const noexcept { return m_folder; }

private:
    FakeMail& m_mail;
    FolderRec& m_folder;
};

// A folder's items, or the items Restrict picked from them (a collection of
// its own, which keeps the items it picked while they stay in the folder).
// Sort orders this collection object only.
class FakeItems final : public Counted<Items> {
public:
    FakeItems(FakeMail& mail, FolderRec& folder)
        : Counted(MailObjects::LedgerOf(mail), "Items", Utf8Name(folder.store->name, folder.Path())),
          m_mail(mail),
          m_folder(folder),
          m_points({EventInterface::ItemsEvents})
    {
    }
    FakeItems(FakeMail& mail, FolderRec& folder, std::vector<ItemRec*> members, std::uint32_t number)
        : Counted(MailObjects::LedgerOf(mail), "Items",
                  Utf8Name(folder.store->name, folder.Path()) + " restricted " + std::to_string(number)),
          m_mail(mail),
          m_folder(folder),
          m_points({EventInterface::ItemsEvents}),
          m_members(std::move(members))
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("Items.QueryInterface"))) return nullptr;
        switch (iface) {
            case Iface::Unknown:
            case Iface::EventSource:
            case Iface::Items:
                return Hand(static_cast<Items*>(this));
            default:
                return nullptr;
        }
    }
    std::uint32_t Advise(EventInterface iface, EventSink* sink) override
    {
        MailObjects::Calls(m_mail).Enter("Items.Advise");
        return m_points.Advise(iface, sink);
    }
    void Unadvise(EventInterface iface, std::uint32_t cookie) override
    {
        m_points.Cut(iface, cookie);
        MailObjects::Calls(m_mail).Enter("Items.Unadvise");
        m_points.Unadvise(iface, cookie);
    }
    std::int32_t Count() override
    {
        MailObjects::Calls(m_mail).Enter("Items.Count");
        return static_cast<std::int32_t>(View().size());
    }
    Ref<Object> Item(std::int32_t index) override;
    Ref<Items> Restrict(std::u16string_view filter) override;
    void Sort(std::u16string_view property, bool descending) override;

    ConnectionPoints& Points() noexcept { return m_points; }
    // Restrict's pick holds the item (a whole folder's collection holds only
    // what is in the folder).
    bool Picked(const ItemRec* item) const
    {
        return m_members && std::ranges::find(*m_members, item) != m_members->end();
    }

private:
    enum class SortKey { None, ReceivedTime };

    // The items in this collection's order, rebuilt when the folder changed.
    const std::vector<ItemRec*>& View();

    FakeMail& m_mail;
    FolderRec& m_folder;
    ConnectionPoints m_points;
    std::optional<std::vector<ItemRec*>> m_members;  // Restrict's pick; nothing: the whole folder
    SortKey m_sortKey = SortKey::None;
    bool m_descending = false;
    std::vector<ItemRec*> m_view;
    std::optional<std::uint64_t> m_viewOf;  // the folder's change count the view was made at
};

// A mail item or a meeting request: IDispatch always, _MailItem for mail only.
class FakeItem final : public Counted<MailItem>, public Dispatch {
public:
    FakeItem(FakeMail& mail, ItemRec& item)
        : Counted(MailObjects::LedgerOf(mail), item.message.kind == ItemKind::Mail ? "MailItem" : "MeetingItem",
                  item.ledgerName),
          m_mail(mail),
          m_item(item)
    {
    }

    std::uint32_t AddRef() noexcept override { return Counted::AddRef(); }
    std::uint32_t Release() noexcept override { return Counted::Release(); }
    Object* Query(Iface iface) noexcept override
    {
        Object* out = nullptr;
        QueryResult(iface, out);
        return out;
    }
    // A failed query reports its own result, as a proxy whose server went
    // away does; an interface the item does not have is E_NOINTERFACE.
    HRESULT QueryResult(Iface iface, Object*& out) noexcept override
    {
        out = nullptr;
        if (const HRESULT hr = MailObjects::Calls(m_mail).CheckNoThrow("Item.QueryInterface"); FAILED(hr)) return hr;
        switch (iface) {
            case Iface::Unknown:
            case Iface::Dispatch:
                out = Hand(static_cast<Dispatch*>(this));
                break;
            case Iface::MailItem:
                if (m_item.message.kind == ItemKind::Mail) out = Hand(static_cast<MailItem*>(this));
                break;
            default:
                break;
        }
        return out ? S_OK : E_NOINTERFACE;
    }

    // Dispatch: the add-in reaches items through their typed face only.
    bool IdOfName(std::u16string_view, std::int32_t&) override
    {
        MailObjects::Calls(m_mail).Enter("Item.GetIDsOfNames");
        return false;
    }
    HRESULT Invoke(std::int32_t, std::span<const Variant>) override
    {
        const HRESULT hr = MailObjects::Calls(m_mail).Check("Item.Invoke");
        return FAILED(hr) ? hr : DISP_E_MEMBERNOTFOUND;
    }

    // MailItem
    Ref<Object> MapiObject() override;
    Variant UnRead() override
    {
        Enter("MailItem.UnRead");
        return Variant::RawBool(m_item.message.unRead);
    }
    void SetUnRead(bool unread) override
    {
        Enter("MailItem.SetUnRead");
        const bool wasUnread = m_item.message.unRead == kVariantTrue;
        m_item.message.unRead = unread ? kVariantTrue : kVariantFalse;
        if (wasUnread && !unread) {
            MailEvent event;
            event.kind = MailEvent::Kind::Read;
            event.store = m_item.folder->store->name;
            event.path = m_item.folder->Path();
            event.subject = m_item.message.subject;
            MailObjects::Emit(m_mail, event);
        }
    }
    Ref<Object> Move(Folder* destination) override;
    std::u16string HtmlBody() override;
    std::u16string EntryID() override
    {
        Enter("MailItem.EntryID");
        return HexText(m_item.entryId);
    }
    std::optional<double> ReceivedTime() override
    {
        Enter("MailItem.ReceivedTime");
        return m_item.message.receivedTime;
    }

    Dispatch* Face() noexcept { return this; }

private:
    void Enter(std::string_view what)
    {
        MailObjects::Calls(m_mail).Enter(what);
        if (!m_item.folder) throw ItemGone();
    }

    FakeMail& m_mail;
    ItemRec& m_item;
};

class FakeSelection final : public Counted<Selection> {
public:
    FakeSelection(FakeMail& mail, std::uint32_t number, std::vector<ItemRec*> items)
        : Counted(MailObjects::LedgerOf(mail), "Selection", "Selection " + std::to_string(number)),
          m_mail(mail),
          m_items(std::move(items))
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("Selection.QueryInterface"))) return nullptr;
        if (iface != Iface::Unknown && iface != Iface::Selection) return nullptr;
        return Hand(static_cast<Selection*>(this));
    }
    std::int32_t Count() override
    {
        MailObjects::Calls(m_mail).Enter("Selection.Count");
        return static_cast<std::int32_t>(m_items.size());
    }
    Ref<Object> Item(std::int32_t index) override
    {
        MailObjects::Calls(m_mail).Enter("Selection.Item");
        if (index < 1 || static_cast<std::size_t>(index) > m_items.size()) throw ComError(DISP_E_BADINDEX);
        return Ref<Object>::Share(m_items[static_cast<std::size_t>(index - 1)]->outlook->Face());
    }

    bool Holds(const ItemRec* item) const { return std::ranges::find(m_items, item) != m_items.end(); }

private:
    FakeMail& m_mail;
    std::vector<ItemRec*> m_items;
};

// ---- MAPI's side ----

class FakeMapiSession final : public Counted<MapiSession> {
public:
    explicit FakeMapiSession(FakeMail& mail)
        : Counted(MailObjects::LedgerOf(mail), "MapiSession", "profile"), m_mail(mail)
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("Session.QueryInterface"))) return nullptr;
        if (iface != Iface::Unknown && iface != Iface::MapiSession) return nullptr;
        return Hand(static_cast<MapiSession*>(this));
    }

    HRESULT StoreEntryIds(std::uint32_t, std::vector<PropValue>& rows) override
    {
        rows.clear();
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("GetMsgStoresTable"); FAILED(hr)) return hr;
        for (const auto& store : MailObjects::StoresOf(m_mail))
            if (store->inProfile && store->options.listed) rows.push_back(Binary(kPrEntryId, store->entryId));
        return S_OK;
    }

    HRESULT OpenMsgStore(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out) override;

    HRESULT ProfileName(std::optional<PropValue>& out) override
    {
        out.reset();
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("OpenProfileSection"); FAILED(hr)) return hr;
        const auto& name = MailObjects::ProfileName(m_mail);
        if (!name) return MAPI_E_NOT_FOUND;
        if (MailObjects::ProfileNameEightBit(m_mail)) {
            out = PropValue::String8(kPrProfileNameA, NarrowWindows1252(*name));
        } else {
            out = Unicode(kPrProfileNameW, *name);
        }
        return S_OK;
    }

private:
    FakeMail& m_mail;
};

class FakeMsgStore final : public Counted<MsgStore> {
public:
    FakeMsgStore(FakeMail& mail, StoreRec& store)
        : Counted(MailObjects::LedgerOf(mail), "MsgStore", Utf8(store.name)), m_mail(mail), m_store(store)
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("MsgStore.QueryInterface"))) return nullptr;
        switch (iface) {
            case Iface::Unknown:
            case Iface::MapiProp:
            case Iface::MsgStore:
                return Hand(static_cast<MsgStore*>(this));
            default:
                return nullptr;
        }
    }

    HRESULT GetOneProp(std::uint32_t tag, std::optional<PropValue>& out) override
    {
        out.reset();
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("MsgStore.HrGetOneProp"); FAILED(hr)) return hr;
        switch (tag) {
            case kPrEntryId:
            case kPrStoreEntryId:
                out = Binary(tag, m_store.entryId);
                return S_OK;
            case kPrDisplayNameW:
                out = Unicode(tag, m_store.displayName);
                return S_OK;
            case kPrIpmWastebasketEntryId:
                out = Binary(tag, m_store.deletedItems->entryId);
                return S_OK;
            default:
                return MAPI_E_NOT_FOUND;
        }
    }
    HRESULT OpenProperty(std::uint32_t, Ref<Object>& out) override
    {
        out = nullptr;
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("MsgStore.OpenProperty"); FAILED(hr)) return hr;
        return MAPI_E_NOT_FOUND;
    }

    HRESULT OpenEntry(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out) override;

    HRESULT GetReceiveFolder(std::u16string_view, std::uint32_t, std::vector<std::uint8_t>& entryId) override
    {
        entryId.clear();
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("GetReceiveFolder"); FAILED(hr)) return hr;
        // Every message class falls back to the store's one receive folder.
        if (!m_store.receiveFolder) return MAPI_E_NOT_FOUND;
        entryId = m_store.receiveFolder->entryId;
        return S_OK;
    }

private:
    FakeMail& m_mail;
    StoreRec& m_store;
};

class FakeMapiFolder final : public Counted<MapiFolder> {
public:
    FakeMapiFolder(FakeMail& mail, FolderRec& folder)
        : Counted(MailObjects::LedgerOf(mail), "MapiFolder", Utf8Name(folder.store->name, folder.Path())),
          m_mail(mail),
          m_folder(folder)
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("MapiFolder.QueryInterface"))) return nullptr;
        switch (iface) {
            case Iface::Unknown:
            case Iface::MapiProp:
            case Iface::MapiFolder:
                return Hand(static_cast<MapiFolder*>(this));
            default:
                return nullptr;
        }
    }

    HRESULT GetOneProp(std::uint32_t tag, std::optional<PropValue>& out) override
    {
        out.reset();
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("MapiFolder.HrGetOneProp"); FAILED(hr)) return hr;
        switch (tag) {
            case kPrEntryId:
                out = Binary(tag, m_folder.entryId);
                return S_OK;
            case kPrStoreEntryId:
                out = Binary(tag, m_folder.store->entryId);
                return S_OK;
            case kPrParentEntryId:
                out = Binary(tag, (m_folder.parent ? m_folder.parent : &m_folder)->entryId);
                return S_OK;
            case kPrDisplayNameW:
                out = Unicode(tag, m_folder.parent ? m_folder.name : m_folder.store->displayName);
                return S_OK;
            default:
                return MAPI_E_NOT_FOUND;
        }
    }
    HRESULT OpenProperty(std::uint32_t, Ref<Object>& out) override
    {
        out = nullptr;
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("MapiFolder.OpenProperty"); FAILED(hr)) return hr;
        return MAPI_E_NOT_FOUND;
    }

    HRESULT CreateFolder(std::uint32_t folderType, std::u16string_view name, std::uint32_t flags,
                         Ref<Object>& out) override
    {
        out = nullptr;
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("CreateFolder"); FAILED(hr)) return hr;
        constexpr std::uint32_t kDeferredErrors = 0x00000008;
        if (flags & ~(kMapiUnicode | kOpenIfExists | kDeferredErrors)) return MAPI_E_UNKNOWN_FLAGS;
        if (folderType != kFolderGeneric) return MAPI_E_NO_SUPPORT;
        if (name.empty() || name.find(u'/') != std::u16string_view::npos) return E_INVALIDARG;
        FolderRec* folder = m_folder.Child(name);
        if (folder) {
            if (!(flags & kOpenIfExists)) return kMapiCollision;
        } else {
            folder = &MailObjects::MakeFolder(m_mail, *m_folder.store, &m_folder, std::u16string(name));
            MailEvent event;
            event.kind = MailEvent::Kind::Create;
            event.store = folder->store->name;
            event.path = folder->Path();
            MailObjects::Emit(m_mail, event);
        }
        out = Ref<Object>::Share(static_cast<MapiFolder*>(folder->mapi.get()));
        return S_OK;
    }

private:
    FakeMail& m_mail;
    FolderRec& m_folder;
};

// A message's MAPI object (the item's MAPIOBJECT).
class FakeMessage final : public Counted<MapiProp> {
public:
    FakeMessage(FakeMail& mail, ItemRec& item)
        : Counted(MailObjects::LedgerOf(mail), "Message", item.ledgerName), m_mail(mail), m_item(item)
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(MailObjects::Calls(m_mail).CheckNoThrow("Message.QueryInterface"))) return nullptr;
        if (iface != Iface::Unknown && iface != Iface::MapiProp) return nullptr;
        return Hand(static_cast<MapiProp*>(this));
    }

    HRESULT GetOneProp(std::uint32_t tag, std::optional<PropValue>& out) override
    {
        out.reset();
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("Message.HrGetOneProp"); FAILED(hr)) return hr;
        if (!m_item.folder) return kMapiObjectDeleted;
        switch (tag) {
            case kPrEntryId:
                out = Binary(tag, m_item.entryId);
                return S_OK;
            case kPrStoreEntryId:
                out = Binary(tag, m_item.folder->store->entryId);
                return S_OK;
            case kPrParentEntryId:
                out = Binary(tag, m_item.folder->entryId);
                return S_OK;
            default:
                break;
        }
        const auto it = m_item.message.properties.find(tag);
        if (it == m_item.message.properties.end()) return MAPI_E_NOT_FOUND;
        if (!it->second.value) return it->second.readFailure;
        out = *it->second.value;
        return S_OK;
    }

    HRESULT OpenProperty(std::uint32_t tag, Ref<Object>& out) override
    {
        out = nullptr;
        if (const HRESULT hr = MailObjects::Calls(m_mail).Check("Message.OpenProperty"); FAILED(hr)) return hr;
        if (!m_item.folder) return kMapiObjectDeleted;
        const auto it = m_item.message.properties.find(tag);
        if (it == m_item.message.properties.end()) return MAPI_E_NOT_FOUND;
        const MessageProperty& property = it->second;
        std::vector<std::uint8_t> bytes;
        if (property.stream) {
            bytes = *property.stream;
        } else if (property.value) {
            bytes = ValueBytes(*property.value);
        } else {
            return property.readFailure;
        }
        FakeStream& stream = MailObjects::MakeStream(m_mail, m_item, tag, std::move(bytes));
        out = Ref<Object>::Share(static_cast<Stream*>(&stream));
        return S_OK;
    }

private:
    FakeMail& m_mail;
    ItemRec& m_item;
};

// ---- the objects' methods that reach across ----

Ref<Folder> FakeNamespace::GetFolderFromID(std::u16string_view entryIdHex, std::u16string_view storeIdHex)
{
    MailObjects::Calls(m_mail).Enter("Namespace.GetFolderFromID");
    const auto entryId = ParseHex(entryIdHex);
    const auto storeId = ParseHex(storeIdHex);
    if (!entryId || entryId->empty() || !storeId) throw ComError(E_INVALIDARG, u"Could not open the item. Try again.");
    for (const auto& store : MailObjects::StoresOf(m_mail)) {
        if (!store->inProfile) continue;
        if (!storeId->empty() && !SameBytes(store->entryId, *storeId)) continue;
        if (FolderRec* folder = FindFolder(*store->root, *entryId))
            return Ref<Folder>::Share(static_cast<Folder*>(folder->outlook.get()));
    }
    throw ComError(MAPI_E_NOT_FOUND, u"The operation failed. An object could not be found.");
}

Ref<Items> FakeFolder::GetItems()
{
    MailObjects::Calls(m_mail).Enter("Folder.Items");
    return Ref<Items>::Share(m_folder.itemsObject.get());
}

const std::vector<ItemRec*>& FakeItems::View()
{
    if (m_viewOf == m_folder.changes) return m_view;
    m_view.clear();
    if (m_members) {
        for (ItemRec* item : *m_members)
            if (item->folder == &m_folder) m_view.push_back(item);  // items moved away leave the collection
    } else {
        m_view = m_folder.items;
    }
    // Items without the property come first, as the lowest values.
    auto less = [](const ItemRec* a, const ItemRec* b) {
        const auto& x = a->message.receivedTime;
        const auto& y = b->message.receivedTime;
        return y && (!x || *x < *y);
    };
    if (m_sortKey != SortKey::None) {
        std::stable_sort(m_view.begin(), m_view.end(), [&](const ItemRec* a, const ItemRec* b) {
            return m_descending ? less(b, a) : less(a, b);
        });
    }
    m_viewOf = m_folder.changes;
    return m_view;
}

Ref<Object> FakeItems::Item(std::int32_t index)
{
    MailObjects::Calls(m_mail).Enter("Items.Item");
    const auto& view = View();
    if (index < 1 || static_cast<std::size_t>(index) > view.size()) throw ComError(DISP_E_BADINDEX);
    return Ref<Object>::Share(view[static_cast<std::size_t>(index - 1)]->outlook->Face());
}

Ref<Items> FakeItems::Restrict(std::u16string_view filter)
{
    MailObjects::Calls(m_mail).Enter("Items.Restrict");
    if (m_folder.store->options.restrictRefused)
        throw ComError(static_cast<HRESULT>(0x80040117L), u"The operation failed.");  // MAPI_E_TOO_COMPLEX
    const auto parsed = ItemFilter::Parse(filter);
    if (!parsed) throw ComError(DISP_E_EXCEPTION, u"Cannot parse condition. Error at \"" + std::u16string(filter) + u"\".");
    std::vector<ItemRec*> picked;
    for (ItemRec* item : View())
        if (parsed->Admits(item->message)) picked.push_back(item);
    return Ref<Items>::Share(&MailObjects::MakeRestricted(m_mail, m_folder, std::move(picked)));
}

void FakeItems::Sort(std::u16string_view property, bool descending)
{
    MailObjects::Calls(m_mail).Enter("Items.Sort");
    if (EqualNoCase(property, u"[ReceivedTime]")) {
        m_sortKey = SortKey::ReceivedTime;
    } else {
        throw ComError(DISP_E_EXCEPTION, u"The property \"" + std::u16string(property) + u"\" is unknown.");
    }
    m_descending = descending;
    m_viewOf.reset();
}

Ref<Object> FakeFolder::MapiObject()
{
    MailObjects::Calls(m_mail).Enter("Folder.MAPIOBJECT");
    return Ref<Object>::Share(static_cast<MapiFolder*>(m_folder.mapi.get()));
}

Ref<Object> FakeItem::MapiObject()
{
    Enter("MailItem.MAPIOBJECT");
    return Ref<Object>::Share(static_cast<MapiProp*>(m_item.mapi.get()));
}

Ref<Object> FakeItem::Move(Folder* destination)
{
    Enter("MailItem.Move");
    auto* target = dynamic_cast<FakeFolder*>(destination);
    if (!target) throw ComError(E_INVALIDARG);
    if (&target->Mail() != &m_mail) {
        MailObjects::Fault(m_mail, "Move into a folder of another world: " + LedgerName());
        throw ComError(E_INVALIDARG);
    }
    ItemRec& moved = MailObjects::Move(m_mail, m_item, target->Record());
    return Ref<Object>::Share(moved.outlook->Face());
}

std::u16string FakeItem::HtmlBody()
{
    Enter("MailItem.HTMLBody");
    const Message& m = m_item.message;
    if (m.objectModelHtml) return *m.objectModelHtml;
    auto text = [&m](std::uint32_t tag) -> std::optional<std::u16string> {
        const auto it = m.properties.find(tag);
        if (it == m.properties.end() || !it->second.value || !it->second.value->pointerSet) return std::nullopt;
        const PropValue& v = *it->second.value;
        if (PropType(v.tag) == kPtUnicode) return std::u16string(v.unicode);
        if (PropType(v.tag) == kPtString8) return WidenWindows1252(v.string8);
        return std::nullopt;
    };
    if (auto html = text(kPrHtmlW)) return *html;
    if (auto html = text(kPrHtmlA)) return *html;
    // Outlook renders a plain body as HTML of its own.
    auto plain = text(kPrBodyW);
    if (!plain) plain = text(kPrBodyA);
    if (!plain) return {};
    return u"<html><body><pre>" + EscapeHtml(*plain) + u"</pre></body></html>";
}

HRESULT FakeMapiSession::OpenMsgStore(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out)
{
    out = nullptr;
    if (const HRESULT hr = MailObjects::Calls(m_mail).Check("OpenMsgStore"); FAILED(hr)) return hr;
    for (const auto& store : MailObjects::StoresOf(m_mail)) {
        if (!store->inProfile || !SameBytes(store->entryId, entryId)) continue;
        store->openStoreFlags.push_back(flags);
        out = Ref<Object>::Share(static_cast<MsgStore*>(store->object.get()));
        return S_OK;
    }
    return MAPI_E_NOT_FOUND;
}

HRESULT FakeMsgStore::OpenEntry(std::span<const std::uint8_t> entryId, std::uint32_t flags, Ref<Object>& out)
{
    out = nullptr;
    if (const HRESULT hr = MailObjects::Calls(m_mail).Check("OpenEntry"); FAILED(hr)) return hr;
    m_store.openEntryFlags.push_back(flags);
    if (m_store.options.unicodeRejected && (flags & kMapiUnicode)) return MAPI_E_UNKNOWN_FLAGS;
    // No entry id opens the root folder.
    FolderRec* folder = entryId.empty() ? m_store.root.get() : FindFolder(*m_store.root, entryId);
    if (folder) {
        out = Ref<Object>::Share(static_cast<MapiFolder*>(folder->mapi.get()));
        return S_OK;
    }
    if (ItemRec* item = FindItem(*m_store.root, entryId)) {
        out = Ref<Object>::Share(static_cast<MapiProp*>(item->mapi.get()));
        return S_OK;
    }
    return MAPI_E_NOT_FOUND;
}

// ---- MailObjects ----

FolderRec& MailObjects::MakeFolder(FakeMail& mail, StoreRec& store, FolderRec* parent, std::u16string name)
{
    auto folder = std::make_unique<FolderRec>();
    folder->store = &store;
    folder->parent = parent;
    folder->name = std::move(name);
    folder->entryId = ObjectEntryId(store, kFolderIdType, mail.m_nextObjectNumber++);
    FolderRec& rec = *folder;
    if (parent) {
        parent->children.push_back(std::move(folder));
    } else {
        store.root = std::move(folder);
    }
    rec.outlook = std::make_unique<FakeFolder>(mail, rec);
    rec.itemsObject = std::make_unique<FakeItems>(mail, rec);
    rec.mapi = std::make_unique<FakeMapiFolder>(mail, rec);
    return rec;
}

ItemRec& MailObjects::MakeItem(FakeMail& mail, FolderRec& folder, Message message)
{
    auto item = std::make_unique<ItemRec>();
    item->folder = &folder;
    item->message = std::move(message);
    item->entryId = ObjectEntryId(*folder.store, kMessageIdType, mail.m_nextObjectNumber++);
    item->ledgerName = Utf8Name(folder.store->name, folder.Path()) + " #" + std::to_string(++mail.m_itemsMade);
    item->outlook = std::make_unique<FakeItem>(mail, *item);
    item->mapi = std::make_unique<FakeMessage>(mail, *item);
    ItemRec& rec = *item;
    mail.m_items.push_back(std::move(item));
    folder.items.push_back(&rec);
    ++folder.changes;
    return rec;
}

FakeItems& MailObjects::MakeRestricted(FakeMail& mail, FolderRec& folder, std::vector<ItemRec*> members)
{
    auto& made = mail.m_objects->restricted;
    const auto number = static_cast<std::uint32_t>(made.size() + 1);
    made.push_back(std::make_unique<FakeItems>(mail, folder, std::move(members), number));
    return *made.back();
}

ItemRec& MailObjects::Move(FakeMail& mail, ItemRec& item, FolderRec& destination)
{
    // The message gets a new entry id in its new place; the item that was
    // moved stays behind, gone.
    FolderRec& source = *item.folder;
    std::erase(source.items, &item);
    ++source.changes;
    item.folder = nullptr;
    ItemRec& moved = MakeItem(mail, destination, item.message);
    MailEvent event;
    event.kind = MailEvent::Kind::Move;
    event.store = source.store->name;
    event.path = source.Path();
    event.toStore = destination.store->name;
    event.toPath = destination.Path();
    event.subject = moved.message.subject;
    Emit(mail, event);
    mail.m_pending.push_back({&destination, &moved});
    return moved;
}

FakeStream& MailObjects::MakeStream(FakeMail& mail, const ItemRec& item, std::uint32_t tag,
                                    std::vector<std::uint8_t> bytes)
{
    char tagText[16];
    std::snprintf(tagText, sizeof tagText, "0x%08X", tag);
    const std::string name = item.ledgerName + " " + tagText;
    return mail.m_objects->streams.Make(mail.m_ledger, mail.m_calls, name, std::move(bytes), std::nullopt);
}

// ---- events ----

std::string MailEvent::Render(const std::function<std::string(std::u16string_view)>& escapeText) const
{
    auto quoted = [&](std::u16string_view text) { return "\"" + escapeText(text) + "\""; };
    switch (kind) {
        case Kind::Move:
            return "MOVE " + Utf8(store) + " " + quoted(path) + " -> " + Utf8(toStore) + " " + quoted(toPath) + " " +
                   quoted(subject);
        case Kind::Read:
            return "READ " + Utf8(store) + " " + quoted(path) + " " + quoted(subject);
        case Kind::Create:
            return "CREATE " + Utf8(store) + " " + quoted(path);
    }
    return {};
}

// ---- FakeMail ----

FakeMail::FakeMail(Ledger& ledger, HostCalls& calls)
    : m_ledger(ledger), m_calls(calls), m_objects(std::make_unique<Objects>())
{
    m_objects->ns = std::make_unique<FakeNamespace>(*this);
    m_objects->session = std::make_unique<FakeMapiSession>(*this);
}

FakeMail::~FakeMail() = default;

Namespace& FakeMail::NamespaceObject() noexcept
{
    return *m_objects->ns;
}

MapiSession& FakeMail::Session() noexcept
{
    return *m_objects->session;
}

FakeMail::StoreRec& FakeMail::StoreNamed(std::u16string_view name) const
{
    for (const auto& store : m_stores)
        if (store->name == name) return *store;
    throw MailWorldError("no store " + Utf8(name));
}

FakeMail::FolderRec& FakeMail::FolderAt(std::u16string_view store, std::u16string_view path) const
{
    FolderRec* folder = StoreNamed(store).root.get();
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find(u'/', start);
        if (end == std::u16string_view::npos) end = path.size();
        folder = folder->Child(path.substr(start, end - start));
        if (!folder) throw MailWorldError("no folder \"" + Utf8(path) + "\" in store " + Utf8(store));
        start = end + 1;
    }
    return *folder;
}

void FakeMail::AddStore(std::u16string name, std::u16string displayName, StoreOptions options)
{
    if (HasStore(name)) throw MailWorldError("store " + Utf8(name) + " exists already");
    auto store = std::make_unique<StoreRec>();
    StoreRec& rec = *store;
    rec.name = std::move(name);
    rec.displayName = std::move(displayName);
    rec.number = static_cast<int>(m_stores.size()) + 1;
    rec.options = options;
    rec.entryId = StoreEntryIdFor(rec.number);
    rec.recordKey = {'q', 'e', 'v', '.', 's', 't', 'o', 'r', 'e', 0, 0, 0};
    for (int shift = 24, i = 12; shift >= 0; shift -= 8, ++i)
        rec.recordKey[i] = static_cast<std::uint8_t>(rec.number >> shift);
    m_stores.push_back(std::move(store));
    MailObjects::MakeFolder(*this, rec, nullptr, rec.displayName);
    rec.inbox = &MailObjects::MakeFolder(*this, rec, rec.root.get(), u"Inbox");
    rec.deletedItems = &MailObjects::MakeFolder(*this, rec, rec.root.get(), u"Deleted Items");
    rec.receiveFolder = rec.inbox;
    rec.object = std::make_unique<FakeMsgStore>(*this, rec);
}

bool FakeMail::HasStore(std::u16string_view name) const
{
    return std::ranges::any_of(m_stores, [&](const auto& store) { return store->name == name; });
}

void FakeMail::SetInProfile(std::u16string_view store, bool inProfile)
{
    StoreNamed(store).inProfile = inProfile;
}

bool FakeMail::InProfile(std::u16string_view store) const
{
    return StoreNamed(store).inProfile;
}

void FakeMail::SetListed(std::u16string_view store, bool listed)
{
    StoreNamed(store).options.listed = listed;
}

void FakeMail::SetRestrictRefused(std::u16string_view store, bool refused)
{
    StoreNamed(store).options.restrictRefused = refused;
}

void FakeMail::SetReceiveFolder(std::u16string_view store, std::optional<std::u16string> path)
{
    StoreRec& rec = StoreNamed(store);
    rec.receiveFolder = path ? &FolderAt(store, *path) : nullptr;
}

void FakeMail::AddFolder(std::u16string_view store, std::u16string_view path, std::optional<std::int32_t> folderClass,
                         std::optional<std::int32_t> defaultItemType)
{
    StoreRec& rec = StoreNamed(store);
    FolderRec* folder = rec.root.get();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(u'/', start);
        if (end == std::u16string_view::npos) end = path.size();
        const std::u16string_view name = path.substr(start, end - start);
        if (name.empty()) throw MailWorldError("empty folder name in \"" + Utf8(path) + "\"");
        FolderRec* child = folder->Child(name);
        folder = child ? child : &MailObjects::MakeFolder(*this, rec, folder, std::u16string(name));
        start = end + 1;
    }
    if (folderClass) folder->folderClass = *folderClass;
    if (defaultItemType) folder->defaultItemType = *defaultItemType;
}

bool FakeMail::HasFolder(std::u16string_view store, std::u16string_view path) const
{
    try {
        FolderAt(store, path);
        return true;
    } catch (const MailWorldError&) {
        return false;
    }
}

std::vector<std::u16string> FakeMail::Subfolders(std::u16string_view store, std::u16string_view path) const
{
    std::vector<std::u16string> names;
    for (const auto& child : FolderAt(store, path).children) names.push_back(child->name);
    return names;
}

std::vector<std::uint8_t> FakeMail::StoreEntryId(std::u16string_view store) const
{
    return StoreNamed(store).entryId;
}

std::vector<std::uint8_t> FakeMail::FolderEntryId(std::u16string_view store, std::u16string_view path) const
{
    return FolderAt(store, path).entryId;
}

std::vector<std::u16string> FakeMail::Stores() const
{
    std::vector<std::u16string> names;
    for (const auto& store : m_stores) names.push_back(store->name);
    return names;
}

std::vector<std::uint32_t> FakeMail::OpenMsgStoreFlags(std::u16string_view store) const
{
    return StoreNamed(store).openStoreFlags;
}

std::vector<std::uint32_t> FakeMail::OpenEntryFlags(std::u16string_view store) const
{
    return StoreNamed(store).openEntryFlags;
}

void FakeMail::SetProfileName(std::optional<std::u16string> name, bool eightBit)
{
    m_profileName = std::move(name);
    m_profileNameEightBit = eightBit;
}

// ---- items ----

void FakeMail::Deliver(std::u16string_view store, std::u16string_view path, Message message)
{
    FolderRec& folder = FolderAt(store, path);
    if (!folder.store->inProfile) throw MailWorldError("store " + Utf8(store) + " is not in the profile");
    ItemRec& item = MailObjects::MakeItem(*this, folder, std::move(message));
    m_pending.push_back({&folder, &item});
    FlushEvents();
}

void FakeMail::Place(std::u16string_view store, std::u16string_view path, Message message)
{
    FolderRec& folder = FolderAt(store, path);
    MailObjects::MakeItem(*this, folder, std::move(message));
}

void FakeMail::DeliverMany(std::u16string_view store, std::u16string_view path, std::vector<Message> messages,
                           std::size_t events)
{
    FolderRec& folder = FolderAt(store, path);
    if (!folder.store->inProfile) throw MailWorldError("store " + Utf8(store) + " is not in the profile");
    for (std::size_t i = 0; i < messages.size(); ++i) {
        ItemRec& item = MailObjects::MakeItem(*this, folder, std::move(messages[i]));
        if (i < events) m_pending.push_back({&folder, &item});
    }
    FlushEvents();
}

FolderCount FakeMail::Count(std::u16string_view store, std::u16string_view path) const
{
    const FolderRec& folder = FolderAt(store, path);
    FolderCount count;
    count.items = folder.items.size();
    count.unread = static_cast<std::size_t>(
        std::ranges::count_if(folder.items, [](const ItemRec* item) { return item->message.unRead == kVariantTrue; }));
    return count;
}

std::vector<std::u16string> FakeMail::Subjects(std::u16string_view store, std::u16string_view path) const
{
    std::vector<std::u16string> subjects;
    for (const ItemRec* item : FolderAt(store, path).items) subjects.push_back(item->message.subject);
    return subjects;
}

std::int16_t FakeMail::UnReadOf(std::u16string_view store, std::u16string_view path, std::size_t index) const
{
    const FolderRec& folder = FolderAt(store, path);
    if (index < 1 || index > folder.items.size())
        throw MailWorldError("no item " + std::to_string(index) + " in \"" + Utf8(path) + "\"");
    return folder.items[index - 1]->message.unRead;
}

void FakeMail::Empty(std::u16string_view store, std::u16string_view path)
{
    FolderRec& folder = FolderAt(store, path);
    for (ItemRec* item : folder.items) item->folder = nullptr;
    folder.items.clear();
    ++folder.changes;
}

std::size_t FakeMail::DropGoneItems()
{
    auto pointedAt = [this](const ItemRec* item) {
        for (const Pending& pending : m_pending)
            if (pending.item == item) return true;
        for (const auto& view : m_views)
            if (std::ranges::find(view->selected, item) != view->selected.end()) return true;
        for (const auto& restricted : m_objects->restricted)
            if (restricted->Picked(item)) return true;
        bool selected = false;
        m_objects->selections.ForEach([&](const FakeSelection& selection) { selected = selected || selection.Holds(item); });
        return selected;
    };
    const std::size_t before = m_items.size();
    std::erase_if(m_items, [&](const std::unique_ptr<ItemRec>& item) {
        if (item->folder || !item->outlook->Settled() || !item->mapi->Settled() || pointedAt(item.get())) return false;
        item->outlook->CloseEntry();
        item->mapi->CloseEntry();
        return true;
    });
    return before - m_items.size();
}

std::size_t FakeMail::FlushEvents()
{
    // A handler that moves items into watched folders makes more events; a
    // handler that keeps doing that for ever is stopped.
    constexpr std::size_t kLimit = 100000;
    std::size_t called = 0;
    std::size_t raised = 0;
    while (!m_pending.empty()) {
        const Pending next = m_pending.front();
        m_pending.pop_front();
        if (next.item->folder != next.folder) continue;  // moved on before its event
        if (++raised > kLimit) {
            m_faults.push_back("item-add events without end: the handlers keep moving items");
            m_pending.clear();
            break;
        }
        Variant item;
        item.type = Variant::Type::Dispatch;
        item.object = Ref<Object>::Share(next.item->outlook->Face());
        const Variant args[] = {std::move(item)};
        called += next.folder->itemsObject->Points().Fire(EventInterface::ItemsEvents, kDispIdItemAdd, args);
    }
    return called;
}

// ---- the explorer ----

void FakeMail::Select(FakeExplorer& explorer, std::u16string_view store, std::u16string_view path,
                      const std::vector<std::size_t>& items)
{
    FolderRec& folder = FolderAt(store, path);
    std::vector<ItemRec*> selected;
    for (const std::size_t index : items) {
        if (index < 1 || index > folder.items.size())
            throw MailWorldError("no item " + std::to_string(index) + " in \"" + Utf8(path) + "\"");
        selected.push_back(folder.items[index - 1]);
    }
    const auto number = static_cast<std::size_t>(explorer.Number());
    while (m_views.size() < number) m_views.push_back(std::make_unique<View>());
    View& view = *m_views[number - 1];
    const bool switched = view.folder != &folder;
    view.folder = &folder;
    view.selected = std::move(selected);
    if (switched) explorer.Points().Fire(EventInterface::ExplorerEvents, kDispIdFolderSwitch);
    explorer.Points().Fire(EventInterface::ExplorerEvents, kDispIdSelectionChange);
}

Ref<Folder> FakeMail::CurrentFolder(int explorer)
{
    if (explorer < 1 || static_cast<std::size_t>(explorer) > m_views.size()) return nullptr;
    FolderRec* folder = m_views[static_cast<std::size_t>(explorer - 1)]->folder;
    if (!folder) return nullptr;
    return Ref<Folder>::Share(folder->outlook.get());
}

Ref<Selection> FakeMail::SelectionOf(int explorer)
{
    std::vector<ItemRec*> items;
    if (explorer >= 1 && static_cast<std::size_t>(explorer) <= m_views.size()) {
        const View& view = *m_views[static_cast<std::size_t>(explorer - 1)];
        for (ItemRec* item : view.selected)
            if (item->folder == view.folder) items.push_back(item);
    }
    auto& selections = m_objects->selections;
    const auto number = static_cast<std::uint32_t>(selections.Number());
    return Ref<Selection>::Share(&selections.Make(*this, number, std::move(items)));
}

// ---- what the add-in reaches ----

Ref<Folder> FakeMail::OutlookFolder(std::u16string_view store, std::u16string_view path)
{
    return Ref<Folder>::Share(FolderAt(store, path).outlook.get());
}

Ref<Object> FakeMail::Item(std::u16string_view store, std::u16string_view path, std::size_t index)
{
    const FolderRec& folder = FolderAt(store, path);
    if (index < 1 || index > folder.items.size())
        throw MailWorldError("no item " + std::to_string(index) + " in \"" + Utf8(path) + "\"");
    return Ref<Object>::Share(folder.items[index - 1]->outlook->Face());
}

// ---- reports ----

void FakeMail::OnEvent(std::function<void(const MailEvent&)> listener)
{
    m_listener = std::move(listener);
}

std::vector<std::string> FakeMail::LiveSubscriptions() const
{
    std::vector<std::string> live;
    const std::function<void(const FolderRec&)> visit = [&](const FolderRec& folder) {
        for (const std::string& line : folder.itemsObject->Points().Live())
            live.push_back("Items \"" + folder.itemsObject->LedgerName() + "\" " + line);
        for (const auto& child : folder.children) visit(*child);
    };
    for (const auto& store : m_stores) visit(*store->root);
    return live;
}

std::vector<std::string> FakeMail::Faults() const
{
    return m_faults;
}

}  // namespace host::fake
