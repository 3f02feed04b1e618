// Outlook's objects as the add-in reaches them: late bound, through IDispatch
// on Windows; the in-memory Outlook in the native build.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "host/hresult.h"
#include "host/object.h"
#include "host/variant.h"

namespace host {

// The event interfaces the add-in subscribes to through connection points.
enum class EventInterface {
    ApplicationEvents,       // {0006304E-0000-0000-C000-000000000046}
    ExplorerEvents,          // {0006304F-0000-0000-C000-000000000046}
    ItemsEvents,             // {00063077-0000-0000-C000-000000000046}
    CommandBarButtonEvents,  // {000C0351-0000-0000-C000-000000000046}
};

// Dispatch ids of the events the add-in handles.
inline constexpr std::int32_t kDispIdNewMail = 0xF003;           // application
inline constexpr std::int32_t kDispIdQuit = 0xF007;              // application
inline constexpr std::int32_t kDispIdFolderSwitch = 0xF002;      // explorer
inline constexpr std::int32_t kDispIdSelectionChange = 0xF007;   // explorer
inline constexpr std::int32_t kDispIdItemAdd = 0xF001;           // items
inline constexpr std::int32_t kDispIdClick = 1;                  // command bar button

// Receives the events of one subscription, on the add-in's thread.
class EventSink {
public:
    virtual void OnEvent(std::int32_t dispId, std::span<const Variant> args) = 0;

protected:
    ~EventSink() = default;
};

// An object with connection points (IConnectionPointContainer).
class EventSource : public Object {
public:
    static constexpr Iface kIface = Iface::EventSource;

    // Finds the connection point of iface and subscribes sink; returns the
    // cookie. Throws ComError when the object has no such point or refuses.
    virtual std::uint32_t Advise(EventInterface iface, EventSink* sink) = 0;
    // Ends the subscription with that cookie; throws ComError on failure.
    // The sink is never called once this is called, whatever the source
    // answers: the subscriber may go away right after.
    virtual void Unadvise(EventInterface iface, std::uint32_t cookie) = 0;

protected:
    ~EventSource() = default;
};

// The item collection of a folder (_Items); its events are ItemsEvents.
class Items : public EventSource {
public:
    static constexpr Iface kIface = Iface::Items;

    virtual std::int32_t Count() = 0;  // throws ComError
    // Item(index), 1-based in the collection's order, the index passed as a
    // VT_I4; throws ComError.
    virtual Ref<Object> Item(std::int32_t index) = 0;
    // Restrict(filter): a new collection of the items the filter admits, in
    // Outlook's Jet syntax ("[UnRead] = True AND [ReceivedTime] >= '3/2/2026
    // 9:05 AM'"); throws ComError when the store refuses the filter.
    virtual Ref<Items> Restrict(std::u16string_view filter) = 0;
    // Sort(property, descending), property written "[ReceivedTime]": orders
    // this collection object; throws ComError.
    virtual void Sort(std::u16string_view property, bool descending) = 0;

protected:
    ~Items() = default;
};

// An Outlook folder (MAPIFolder of the object model).
class Folder : public Object {
public:
    static constexpr Iface kIface = Iface::Folder;

    // Class (2 is olFolder) and DefaultItemType (0 is olMailItem); throw ComError.
    virtual std::int32_t Class() = 0;
    virtual std::int32_t DefaultItemType() = 0;
    // Items, or null when the folder has none; throws ComError.
    virtual Ref<Items> GetItems() = 0;
    virtual std::u16string Name() = 0;
    // EntryID: the folder's entry id as hexadecimal text (empty when it has
    // none); throws ComError.
    virtual std::u16string EntryID() = 0;
    // MAPIOBJECT: the folder's MAPI object (to ask for MapiProp), or null;
    // throws ComError.
    virtual Ref<Object> MapiObject() = 0;

protected:
    ~Folder() = default;
};

// A mail item (_MailItem, {00063034-0000-0000-C000-000000000046}).
class MailItem : public Object {
public:
    static constexpr Iface kIface = Iface::MailItem;

    // MAPIOBJECT: the item's MAPI object (to ask for MapiProp), or null; throws ComError.
    virtual Ref<Object> MapiObject() = 0;
    // UnRead exactly as the item gives it: an automation boolean when Outlook
    // keeps to its type library; the caller decides what counts as unread.
    // Throws ComError.
    virtual Variant UnRead() = 0;
    virtual void SetUnRead(bool unread) = 0;
    // Move: the moved item; throws ComError.
    virtual Ref<Object> Move(Folder* destination) = 0;
    // HTMLBody; throws ComError.
    virtual std::u16string HtmlBody() = 0;
    // EntryID: hexadecimal text (empty before the item was saved); throws ComError.
    virtual std::u16string EntryID() = 0;
    // ReceivedTime as an OLE date in local time (host/ole_date.h); nothing
    // when the item has none (Outlook answers 1/1/4501). Throws ComError.
    virtual std::optional<double> ReceivedTime() = 0;

protected:
    ~MailItem() = default;
};

// An explorer's selection.
class Selection : public Object {
public:
    static constexpr Iface kIface = Iface::Selection;

    virtual std::int32_t Count() = 0;
    // Item(index), the index passed as a VT_INT variant; throws ComError.
    virtual Ref<Object> Item(std::int32_t index) = 0;

protected:
    ~Selection() = default;
};

// The namespace "MAPI".
class Namespace : public Object {
public:
    static constexpr Iface kIface = Iface::Namespace;

    // MAPIOBJECT: the profile's MAPI session (to ask for MapiSession), or null; throws ComError.
    virtual Ref<Object> MapiObject() = 0;
    // GetFolderFromID(entry id as hexadecimal text, store id as a VT_BSTR
    // variant holding hexadecimal text); null when none; throws ComError.
    virtual Ref<Folder> GetFolderFromID(std::u16string_view entryIdHex, std::u16string_view storeIdHex) = 0;

protected:
    ~Namespace() = default;
};

class CommandBars;

class Explorer : public EventSource {
public:
    static constexpr Iface kIface = Iface::Explorer;

    // CommandBars: the explorer's command bars (office.h); throws ComError.
    virtual Ref<CommandBars> GetCommandBars() = 0;

    // CurrentFolder and Selection; null when there is none; throw ComError.
    virtual Ref<Folder> CurrentFolder() = 0;
    virtual Ref<Selection> GetSelection() = 0;

protected:
    ~Explorer() = default;
};

class Application : public EventSource {
public:
    static constexpr Iface kIface = Iface::Application;

    // Application.Version; throws ComError when the read fails.
    virtual std::u16string Version() = 0;
    // Application.Explorers.Count; throws ComError.
    virtual std::int32_t ExplorerCount() = 0;
    // Application.Explorers.Item(index), index passed as an integer variant; throws ComError.
    virtual Ref<Explorer> ExplorerItem(std::int32_t index) = 0;
    // GetNamespace(type): null when none; throws ComError.
    virtual Ref<Namespace> GetNamespace(std::u16string_view type) = 0;
    // ActiveExplorer: null when Outlook shows none; throws ComError.
    virtual Ref<Explorer> ActiveExplorer() = 0;

protected:
    ~Application() = default;
};

// The add-in object's own late-bound face, as the engine's thread reaches it.
class Dispatch : public Object {
public:
    static constexpr Iface kIface = Iface::Dispatch;

    // GetIDsOfNames for one name; false when the name is unknown.
    virtual bool IdOfName(std::u16string_view name, std::int32_t& dispId) = 0;
    // Invoke as a method with these arguments.
    virtual HRESULT Invoke(std::int32_t dispId, std::span<const Variant> args) = 0;
    // A property read by name (GetIDsOfNames, then Invoke with
    // DISPATCH_PROPERTYGET); an object without the name answers
    // DISP_E_UNKNOWNNAME.
    virtual HRESULT GetProperty(std::u16string_view name, Variant& value)
    {
        (void)name;
        value = Variant{};
        return DISP_E_UNKNOWNNAME;
    }

protected:
    ~Dispatch() = default;
};

}  // namespace host
