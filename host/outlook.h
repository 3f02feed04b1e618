// Outlook's objects as the add-in reaches them: late bound, through IDispatch
// on Windows; the in-memory Outlook in the native build.
#pragma once

#include <cstdint>
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
    virtual void Unadvise(EventInterface iface, std::uint32_t cookie) = 0;

protected:
    ~EventSource() = default;
};

class Explorer : public EventSource {
public:
    static constexpr Iface kIface = Iface::Explorer;

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

protected:
    ~Dispatch() = default;
};

}  // namespace host
