// The in-memory Outlook: the application, its explorers and the add-in
// instance object, each a counted object of the world; the application and
// the explorers raise their events through connection points.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/fake/fake_ledger.h"
#include "host/outlook.h"

namespace host::fake {

// "ApplicationEvents", "ExplorerEvents", ...
const char* EventInterfaceName(EventInterface iface) noexcept;

// The connection points of one object (IConnectionPointContainer): one point
// per event interface the object supports, each with its subscriptions.
class ConnectionPoints {
public:
    explicit ConnectionPoints(std::vector<EventInterface> supported);

    // Cookies are unique per point and start at 1. A point the object does not
    // have gives ComError(CONNECT_E_NOCONNECTION), as FindConnectionPoint
    // does; a null sink gives ComError(E_POINTER).
    std::uint32_t Advise(EventInterface iface, EventSink* sink);
    // ComError(CONNECT_E_NOCONNECTION) for a point the object does not have
    // or a cookie that names no subscription.
    void Unadvise(EventInterface iface, std::uint32_t cookie);
    // Cuts the sink of that subscription off before the source is asked to
    // end it, as the Windows side does: a subscription the source then
    // refuses to end stays (and is reported), but calls nobody.
    void Cut(EventInterface iface, std::uint32_t cookie) noexcept;

    // Calls every sink subscribed to iface, in the order of subscription. A
    // sink that unsubscribes (itself or another) while the event is delivered
    // is not called afterwards. Returns how many sinks were called; an
    // exception from a sink reaches the caller.
    std::size_t Fire(EventInterface iface, std::int32_t dispId, std::span<const Variant> args = {});

    std::size_t Subscriptions(EventInterface iface) const;
    // "ApplicationEvents cookie 1", one line per live subscription.
    std::vector<std::string> Live() const;

private:
    struct Point {
        std::uint32_t nextCookie = 1;
        std::map<std::uint32_t, EventSink*> sinks;  // by cookie, in subscription order
    };
    Point& Find(EventInterface iface);

    std::map<EventInterface, Point> m_points;
};

// What the explorers show: the mail world answers it (FakeMail).
class ExplorerView {
public:
    // The folder explorer number explorer shows, or null; one reference for the caller.
    virtual Ref<Folder> CurrentFolder(int explorer) = 0;
    // Its selection, or null; one reference for the caller.
    virtual Ref<Selection> SelectionOf(int explorer) = 0;

protected:
    ~ExplorerView() = default;
};

class FakeCommandBars;
class FakeDesktop;
struct CommandBarListener;

class FakeExplorer final : public Counted<Explorer> {
public:
    // The explorer's command bars paste their faces from desktop's clipboard
    // and report to listener.
    FakeExplorer(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop, const CommandBarListener& listener,
                 int number);
    ~FakeExplorer();

    // Object: Unknown, EventSource, Explorer.
    Object* Query(Iface iface) noexcept override;
    // EventSource: ExplorerEvents.
    std::uint32_t Advise(EventInterface iface, EventSink* sink) override;
    void Unadvise(EventInterface iface, std::uint32_t cookie) override;

    // Explorer: what the view says; no view: no folder and no selection.
    Ref<Folder> CurrentFolder() override;
    Ref<Selection> GetSelection() override;
    Ref<CommandBars> GetCommandBars() override;

    int Number() const noexcept { return m_number; }
    FakeCommandBars& Bars() noexcept { return *m_bars; }
    ConnectionPoints& Points() noexcept { return m_points; }
    void SetView(ExplorerView* view) noexcept { m_view = view; }

private:
    HostCalls& m_calls;
    int m_number;
    ExplorerView* m_view = nullptr;
    ConnectionPoints m_points;
    std::unique_ptr<FakeCommandBars> m_bars;
};

class FakeApplication final : public Counted<Application> {
public:
    FakeApplication(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop);
    ~FakeApplication();

    // Object: Unknown, EventSource, Application.
    Object* Query(Iface iface) noexcept override;
    // EventSource: ApplicationEvents.
    std::uint32_t Advise(EventInterface iface, EventSink* sink) override;
    void Unadvise(EventInterface iface, std::uint32_t cookie) override;
    // Application
    std::u16string Version() override;
    std::int32_t ExplorerCount() override;
    // 1-based; an index outside 1..count gives ComError(DISP_E_BADINDEX).
    Ref<Explorer> ExplorerItem(std::int32_t index) override;
    // "MAPI" (in any case): the namespace the world set; another type gives
    // ComError(E_INVALIDARG); no namespace set: null.
    Ref<Namespace> GetNamespace(std::u16string_view type) override;
    // Explorer number 1, or null with none open.
    Ref<Explorer> ActiveExplorer() override;

    // What Version answers; nothing makes the read fail with failure.
    void SetVersion(std::optional<std::u16string> version, HRESULT failure = E_FAIL);
    // The open explorers, numbered from 1. Explorers that close stay in the
    // world (the add-in may still hold them) and come back when the count grows.
    void SetExplorerCount(int count);
    FakeExplorer* ExplorerAt(int number);  // 1-based; null outside the open ones
    // The mail world's namespace "MAPI" and what every explorer shows.
    void SetNamespace(Namespace* ns) noexcept { m_namespace = ns; }
    void SetExplorerView(ExplorerView* view);

    ConnectionPoints& Points() noexcept { return m_points; }
    // The application's Quit event.
    void Quit();
    // Every live subscription of the application and all its explorers.
    std::vector<std::string> LiveSubscriptions() const;
    // Told of what the add-in does to the explorers' command bars.
    CommandBarListener& BarListener() noexcept { return *m_barListener; }

private:
    HostCalls& m_calls;
    Ledger& m_ledger;
    FakeDesktop& m_desktop;
    std::unique_ptr<CommandBarListener> m_barListener;
    std::optional<std::u16string> m_version = u"16.0.0.1234";
    HRESULT m_versionFailure = E_FAIL;
    int m_open = 1;
    std::vector<std::unique_ptr<FakeExplorer>> m_explorers;
    Namespace* m_namespace = nullptr;
    ExplorerView* m_view = nullptr;
    ConnectionPoints m_points;
};

// The add-in instance object Outlook passes to OnConnection (COMAddIn). It
// has no names the add-in calls.
class FakeAddInInstance final : public Counted<Dispatch> {
public:
    FakeAddInInstance(Ledger& ledger, HostCalls& calls);

    // Object: Unknown, Dispatch.
    Object* Query(Iface iface) noexcept override;
    // Knows no name; Invoke answers DISP_E_MEMBERNOTFOUND.
    bool IdOfName(std::u16string_view name, std::int32_t& dispId) override;
    HRESULT Invoke(std::int32_t dispId, std::span<const Variant> args) override;

private:
    HostCalls& m_calls;
};

}  // namespace host::fake
