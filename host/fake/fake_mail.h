// The in-memory mail profile: message stores with entry ids, folders and
// items, seen from both sides the add-in uses. Outlook's side is the
// namespace "MAPI" (GetFolderFromID), folders, item collections with their
// ItemsEvents, mail items and the explorer's folder and selection; MAPI's side
// is the session with its table of stores, message stores (OpenEntry,
// GetReceiveFolder), folders (CreateFolder) and messages with typed
// properties and property streams. Every object is a counted object of the
// world and every method a host call.
//
// A store S has a root folder (path ""), "Inbox" (its receive folder for
// every message class, "IPM.Note" included) and "Deleted Items" (its
// PR_IPM_WASTEBASKET_ENTRYID). Paths name folders from the root, components
// joined with '/' and compared without regard to ASCII case, as folder
// names are. Entry ids are unique bytes; the ids of stores 1 and 2 (3 and 4,
// ...) differ only in that the second has one byte more, so comparisons must
// look at the length. Outlook takes them as upper-case hexadecimal text, as
// MAPI's HexFromBin writes them.
//
// Events. Each new item of a folder (Deliver, or Move into it) raises the
// item-add event (0xF001, one VT_DISPATCH argument: the item) on that
// folder's Items, once per subscriber. As in Outlook, which raises it from its
// message loop, the event of an item moved by the add-in waits until the
// world has control again (Deliver, Select, the account statements,
// FakeWorld::Pump, or FlushEvents); a delivered item's event is raised before Deliver returns.
// What happens to the mail is reported to the listener as it happens: MOVE,
// READ (an unread item set read) and CREATE (CreateFolder made a folder).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/fake/fake_ledger.h"
#include "host/fake/fake_message.h"
#include "host/fake/fake_outlook.h"
#include "host/mapi.h"
#include "host/outlook.h"

namespace host::fake {

struct StoreOptions {
    // OpenEntry with MAPI_UNICODE answers MAPI_E_UNKNOWN_FLAGS, as some
    // providers do.
    bool unicodeRejected = false;
    // Items.Restrict of its folders fails with MAPI_E_TOO_COMPLEX, as a
    // provider that cannot evaluate restrictions answers.
    bool restrictRefused = false;
    // In the session's table of stores. A store left out is still in the
    // profile (OpenMsgStore and GetFolderFromID reach it) but CollectStoreIds
    // does not find it.
    bool listed = true;
};

// What happened to the mail, for the transcript's "* " lines.
struct MailEvent {
    enum class Kind { Move, Read, Create };
    Kind kind = Kind::Move;
    std::u16string store;    // MOVE: where from; READ: the item's store; CREATE: the folder's store
    std::u16string path;     //   and folder
    std::u16string toStore;  // MOVE: where to
    std::u16string toPath;
    std::u16string subject;  // MOVE, READ

    // `MOVE S "FROM" -> S "TO" "SUBJECT"`, `READ S "PATH" "SUBJECT"`,
    // `CREATE S "PATH"`: store names in UTF-8, texts in double quotes through escapeText.
    std::string Render(const std::function<std::string(std::u16string_view)>& escapeText) const;
};

struct FolderCount {
    std::size_t items = 0;
    std::size_t unread = 0;  // items whose UnRead is VARIANT_TRUE
    bool operator==(const FolderCount&) const = default;
};

// The world's statements about mail throw this for a store, folder or item
// that the world does not have, or a state it cannot reach.
class MailWorldError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class FakeMail final : public ExplorerView {
public:
    FakeMail(Ledger& ledger, HostCalls& calls);
    ~FakeMail();
    FakeMail(const FakeMail&) = delete;
    FakeMail& operator=(const FakeMail&) = delete;

    // ---- stores and folders ----

    // A new store (numbered from 1 in the order added) in the profile, with its
    // root folder named displayName, Inbox and Deleted Items.
    void AddStore(std::u16string name, std::u16string displayName, StoreOptions options = {});
    bool HasStore(std::u16string_view name) const;
    // The store joins the profile (and its table), or leaves both: a store out
    // of the profile cannot be opened and its folders are not found.
    void SetInProfile(std::u16string_view store, bool inProfile);
    bool InProfile(std::u16string_view store) const;
    void SetListed(std::u16string_view store, bool listed);
    void SetRestrictRefused(std::u16string_view store, bool refused);
    // The receive folder GetReceiveFolder answers (a path), or nothing:
    // MAPI_E_NOT_FOUND. Initially "Inbox".
    void SetReceiveFolder(std::u16string_view store, std::optional<std::u16string> path);
    // A folder at path with the folders on the way. New folders are mail
    // folders (class 2, default item type 0) unless told otherwise; a folder
    // that exists takes the class and default item type given and keeps what
    // is not given.
    void AddFolder(std::u16string_view store, std::u16string_view path,
                   std::optional<std::int32_t> folderClass = std::nullopt,
                   std::optional<std::int32_t> defaultItemType = std::nullopt);
    bool HasFolder(std::u16string_view store, std::u16string_view path) const;
    // The names of a folder's subfolders, in the order they were made.
    std::vector<std::u16string> Subfolders(std::u16string_view store, std::u16string_view path) const;

    std::vector<std::uint8_t> StoreEntryId(std::u16string_view store) const;
    std::vector<std::uint8_t> FolderEntryId(std::u16string_view store, std::u16string_view path) const;
    // Stores by the order they were added (names).
    std::vector<std::u16string> Stores() const;
    // The flags of every OpenMsgStore of the store, and of every OpenEntry it
    // answered (refused ones included), in order.
    std::vector<std::uint32_t> OpenMsgStoreFlags(std::u16string_view store) const;
    std::vector<std::uint32_t> OpenEntryFlags(std::u16string_view store) const;

    // PR_PROFILE_NAME_W of the profile (initially "Outlook"); nothing:
    // MAPI_E_NOT_FOUND; eightBit: the value comes back as PT_STRING8.
    void SetProfileName(std::optional<std::u16string> name, bool eightBit = false);

    // ---- items ----

    // Adds the message as the folder's last item and raises its item-add
    // event (after any event still waiting). Throws MailWorldError for a store
    // out of the profile.
    void Deliver(std::u16string_view store, std::u16string_view path, Message message);
    // Adds the message as the folder's last item and raises no event: mail
    // that arrived while Outlook was closed.
    void Place(std::u16string_view store, std::u16string_view path, Message message);
    // Adds the messages together, as one synchronisation does, and raises the
    // item-add events of the first `events` of them only (Outlook drops the
    // rest of a large one).
    void DeliverMany(std::u16string_view store, std::u16string_view path, std::vector<Message> messages,
                     std::size_t events);
    FolderCount Count(std::u16string_view store, std::u16string_view path) const;
    // The user deletes every item of the folder for good: they leave it as
    // items moved away do.
    void Empty(std::u16string_view store, std::u16string_view path);
    // Frees the records of items that left their folders (moved away or
    // deleted) once every reference to their objects has come back and
    // nothing of the world points at them any more, their ledger entries
    // with them; returns how many went. A long run keeps only the items it
    // still holds.
    std::size_t DropGoneItems();
    // The item records kept, gone ones included.
    std::size_t ItemRecords() const noexcept { return m_items.size(); }
    // The subjects of the folder's items, in order.
    std::vector<std::u16string> Subjects(std::u16string_view store, std::u16string_view path) const;
    // The raw UnRead of the folder's item number index (1-based).
    std::int16_t UnReadOf(std::u16string_view store, std::u16string_view path, std::size_t index) const;
    // Raises the item-add events still waiting; returns how many sinks were called.
    std::size_t FlushEvents();
    std::size_t PendingEvents() const noexcept { return m_pending.size(); }

    // ---- the explorer ----

    // Explorer number explorer shows that folder with those items selected
    // (1-based, in the folder's order; MailWorldError outside it). Raises
    // FolderSwitch when the folder changes, then SelectionChange. Until its
    // first Select an explorer shows no folder.
    void Select(FakeExplorer& explorer, std::u16string_view store, std::u16string_view path,
                const std::vector<std::size_t>& items);

    // ExplorerView: the folder shown, or null; a new Selection object holding
    // the selected items that are still in that folder.
    Ref<Folder> CurrentFolder(int explorer) override;
    Ref<Selection> SelectionOf(int explorer) override;

    // ---- what the add-in reaches ----

    // The namespace "MAPI" and the profile's session (the world keeps them; not
    // counted as handed out).
    Namespace& NamespaceObject() noexcept;
    MapiSession& Session() noexcept;
    // The Outlook folder at path, as GetFolderFromID would give it, with one
    // reference for the caller.
    Ref<Folder> OutlookFolder(std::u16string_view store, std::u16string_view path);
    // The Outlook item number index (1-based) of the folder, one reference for
    // the caller (as the item-add event's argument is: the IDispatch face).
    Ref<Object> Item(std::u16string_view store, std::u16string_view path, std::size_t index);

    // ---- reports ----

    void OnEvent(std::function<void(const MailEvent&)> listener);
    // "Items \"S/Inbox\" ItemsEvents cookie 1", one line per live subscription.
    std::vector<std::string> LiveSubscriptions() const;
    // Misuse the world saw (a Move into a folder of another world, ...).
    std::vector<std::string> Faults() const;

    // ---- the objects' side (used by the objects in fake_mail.cpp) ----
    struct StoreRec;
    struct FolderRec;
    struct ItemRec;

private:
    friend class MailObjects;

    StoreRec& StoreNamed(std::u16string_view name) const;
    FolderRec& FolderAt(std::u16string_view store, std::u16string_view path) const;

    Ledger& m_ledger;
    HostCalls& m_calls;
    std::vector<std::unique_ptr<StoreRec>> m_stores;
    std::vector<std::unique_ptr<ItemRec>> m_items;  // items made, gone ones until DropGoneItems frees them
    std::uint64_t m_itemsMade = 0;
    struct Pending {
        FolderRec* folder;
        ItemRec* item;
    };
    std::deque<Pending> m_pending;
    struct View;
    std::vector<std::unique_ptr<View>> m_views;  // by explorer number - 1
    std::function<void(const MailEvent&)> m_listener;
    std::vector<std::string> m_faults;
    std::optional<std::u16string> m_profileName = u"Outlook";
    bool m_profileNameEightBit = false;
    std::uint32_t m_nextObjectNumber = 1;
    struct Objects;
    std::unique_ptr<Objects> m_objects;  // the namespace and the session
};

}  // namespace host::fake
