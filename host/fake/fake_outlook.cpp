#include "host/fake/fake_outlook.h"

#include "host/com_error.h"
#include "host/fake/fake_office.h"
#include "host/fake/fake_text.h"

namespace host::fake {

const char* EventInterfaceName(EventInterface iface) noexcept
{
    switch (iface) {
        case EventInterface::ApplicationEvents:
            return "ApplicationEvents";
        case EventInterface::ExplorerEvents:
            return "ExplorerEvents";
        case EventInterface::ItemsEvents:
            return "ItemsEvents";
        case EventInterface::CommandBarButtonEvents:
            return "CommandBarButtonEvents";
    }
    return "?";
}

// ---- connection points ----

ConnectionPoints::ConnectionPoints(std::vector<EventInterface> supported)
{
    for (const EventInterface iface : supported) m_points[iface];
}

ConnectionPoints::Point& ConnectionPoints::Find(EventInterface iface)
{
    const auto it = m_points.find(iface);
    if (it == m_points.end()) throw ComError(CONNECT_E_NOCONNECTION);
    return it->second;
}

std::uint32_t ConnectionPoints::Advise(EventInterface iface, EventSink* sink)
{
    Point& point = Find(iface);
    if (!sink) throw ComError(E_POINTER);
    const std::uint32_t cookie = point.nextCookie++;
    point.sinks.emplace(cookie, sink);
    return cookie;
}

void ConnectionPoints::Unadvise(EventInterface iface, std::uint32_t cookie)
{
    Point& point = Find(iface);
    if (point.sinks.erase(cookie) == 0) throw ComError(CONNECT_E_NOCONNECTION);
}

void ConnectionPoints::Cut(EventInterface iface, std::uint32_t cookie) noexcept
{
    const auto it = m_points.find(iface);
    if (it == m_points.end()) return;
    const auto found = it->second.sinks.find(cookie);
    if (found != it->second.sinks.end()) found->second = nullptr;
}

std::size_t ConnectionPoints::Fire(EventInterface iface, std::int32_t dispId, std::span<const Variant> args)
{
    const auto it = m_points.find(iface);
    if (it == m_points.end()) return 0;
    // The cookies of this moment: a sink that subscribes during the event
    // waits for the next one, a sink that leaves is not called.
    std::vector<std::uint32_t> cookies;
    for (const auto& [cookie, sink] : it->second.sinks) cookies.push_back(cookie);
    std::size_t called = 0;
    for (const std::uint32_t cookie : cookies) {
        const auto found = it->second.sinks.find(cookie);
        if (found == it->second.sinks.end() || !found->second) continue;
        found->second->OnEvent(dispId, args);
        ++called;
    }
    return called;
}

std::size_t ConnectionPoints::Subscriptions(EventInterface iface) const
{
    const auto it = m_points.find(iface);
    return it == m_points.end() ? 0 : it->second.sinks.size();
}

std::vector<std::string> ConnectionPoints::Live() const
{
    std::vector<std::string> live;
    for (const auto& [iface, point] : m_points)
        for (const auto& [cookie, sink] : point.sinks)
            live.push_back(std::string(EventInterfaceName(iface)) + " cookie " + std::to_string(cookie));
    return live;
}

// ---- explorer ----

FakeExplorer::FakeExplorer(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop,
                           const CommandBarListener& listener, int number)
    : Counted(ledger, "Explorer", "Explorer " + std::to_string(number)),
      m_calls(calls),
      m_number(number),
      m_points({EventInterface::ExplorerEvents}),
      m_bars(std::make_unique<FakeCommandBars>(ledger, calls, desktop, listener, number))
{
}

FakeExplorer::~FakeExplorer() = default;

Ref<CommandBars> FakeExplorer::GetCommandBars()
{
    m_calls.Enter("Explorer.CommandBars");
    return Ref<CommandBars>::Share(m_bars.get());
}

Object* FakeExplorer::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("Explorer.QueryInterface"))) return nullptr;
    switch (iface) {
        case Iface::Unknown:
        case Iface::EventSource:
        case Iface::Explorer:
            return Hand(static_cast<host::Explorer*>(this));
        default:
            return nullptr;
    }
}

std::uint32_t FakeExplorer::Advise(EventInterface iface, EventSink* sink)
{
    m_calls.Enter("Explorer.Advise");
    return m_points.Advise(iface, sink);
}

void FakeExplorer::Unadvise(EventInterface iface, std::uint32_t cookie)
{
    m_points.Cut(iface, cookie);
    m_calls.Enter("Explorer.Unadvise");
    m_points.Unadvise(iface, cookie);
}

// ---- application ----

FakeApplication::FakeApplication(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop)
    : Counted(ledger, "Application", "Application"),
      m_calls(calls),
      m_ledger(ledger),
      m_desktop(desktop),
      m_barListener(std::make_unique<CommandBarListener>()),
      m_points({EventInterface::ApplicationEvents})
{
    SetExplorerCount(1);
}

FakeApplication::~FakeApplication() = default;

Object* FakeApplication::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("Application.QueryInterface"))) return nullptr;
    switch (iface) {
        case Iface::Unknown:
        case Iface::EventSource:
        case Iface::Application:
            return Hand(static_cast<host::Application*>(this));
        default:
            return nullptr;
    }
}

std::uint32_t FakeApplication::Advise(EventInterface iface, EventSink* sink)
{
    m_calls.Enter("Application.Advise");
    return m_points.Advise(iface, sink);
}

void FakeApplication::Unadvise(EventInterface iface, std::uint32_t cookie)
{
    m_points.Cut(iface, cookie);
    m_calls.Enter("Application.Unadvise");
    m_points.Unadvise(iface, cookie);
}

std::u16string FakeApplication::Version()
{
    m_calls.Enter("Application.Version");
    if (!m_version) throw ComError(m_versionFailure);
    return *m_version;
}

std::int32_t FakeApplication::ExplorerCount()
{
    m_calls.Enter("Explorers.Count");
    return m_open;
}

Ref<Folder> FakeExplorer::CurrentFolder()
{
    m_calls.Enter("Explorer.CurrentFolder");
    return m_view ? m_view->CurrentFolder(m_number) : nullptr;
}

Ref<Selection> FakeExplorer::GetSelection()
{
    m_calls.Enter("Explorer.Selection");
    return m_view ? m_view->SelectionOf(m_number) : nullptr;
}

Ref<Explorer> FakeApplication::ExplorerItem(std::int32_t index)
{
    m_calls.Enter("Explorers.Item");
    FakeExplorer* explorer = ExplorerAt(index);
    if (!explorer) throw ComError(DISP_E_BADINDEX);
    return Ref<host::Explorer>::Share(explorer);
}

Ref<Namespace> FakeApplication::GetNamespace(std::u16string_view type)
{
    m_calls.Enter("Application.GetNamespace");
    if (!EqualNoCase(type, u"MAPI")) throw ComError(E_INVALIDARG);
    return Ref<Namespace>::Share(m_namespace);
}

Ref<Explorer> FakeApplication::ActiveExplorer()
{
    m_calls.Enter("Application.ActiveExplorer");
    return Ref<host::Explorer>::Share(ExplorerAt(1));
}

void FakeApplication::SetVersion(std::optional<std::u16string> version, HRESULT failure)
{
    m_version = std::move(version);
    m_versionFailure = failure;
}

void FakeApplication::SetExplorerCount(int count)
{
    m_open = count < 0 ? 0 : count;
    while (static_cast<int>(m_explorers.size()) < m_open) {
        const int number = static_cast<int>(m_explorers.size()) + 1;
        m_explorers.push_back(std::make_unique<FakeExplorer>(m_ledger, m_calls, m_desktop, *m_barListener, number));
        m_explorers.back()->SetView(m_view);
    }
}

void FakeApplication::SetExplorerView(ExplorerView* view)
{
    m_view = view;
    for (const auto& explorer : m_explorers) explorer->SetView(view);
}

FakeExplorer* FakeApplication::ExplorerAt(int number)
{
    if (number < 1 || number > m_open) return nullptr;
    return m_explorers[static_cast<std::size_t>(number - 1)].get();
}

void FakeApplication::Quit()
{
    m_points.Fire(EventInterface::ApplicationEvents, kDispIdQuit);
}

std::vector<std::string> FakeApplication::LiveSubscriptions() const
{
    std::vector<std::string> live;
    for (const std::string& line : m_points.Live()) live.push_back("Application " + line);
    for (const auto& explorer : m_explorers)
    {
        for (const std::string& line : explorer->Points().Live()) live.push_back(explorer->LedgerName() + " " + line);
        for (std::string& line : explorer->Bars().LiveSubscriptions()) live.push_back(std::move(line));
    }
    return live;
}

// ---- add-in instance ----

FakeAddInInstance::FakeAddInInstance(Ledger& ledger, HostCalls& calls)
    : Counted(ledger, "AddIn", "COMAddIn qev.Connect"), m_calls(calls)
{
}

Object* FakeAddInInstance::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("AddIn.QueryInterface"))) return nullptr;
    if (iface != Iface::Unknown && iface != Iface::Dispatch) return nullptr;
    return Hand(static_cast<Dispatch*>(this));
}

bool FakeAddInInstance::IdOfName(std::u16string_view, std::int32_t&)
{
    m_calls.Enter("AddIn.GetIDsOfNames");
    return false;
}

HRESULT FakeAddInInstance::Invoke(std::int32_t, std::span<const Variant>)
{
    const HRESULT hr = m_calls.Check("AddIn.Invoke");
    return FAILED(hr) ? hr : DISP_E_MEMBERNOTFOUND;
}

}  // namespace host::fake
