#include "sim/win/sim_outlook.h"

#include <olectl.h>

#include "sim/win/sim_cmdbars.h"

namespace qev::sim::win {

const IID kApplicationEvents = {0x0006304E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kExplorerEvents = {0x0006304F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

constexpr DISPID kVersion = 1;
constexpr DISPID kExplorersProperty = 2;
constexpr DISPID kActiveExplorer = 3;
constexpr DISPID kGetNamespace = 4;
constexpr DISPID kCurrentFolder = 1;
constexpr DISPID kSelection = 2;
constexpr DISPID kCommandBarsProperty = 3;
constexpr DISPID kCount = 1;
constexpr DISPID kItem = 2;

}  // namespace

// ---- Ledger ----

LedgerEntry& Ledger::Open(std::string kind, std::string name)
{
    const std::lock_guard lock(m_mutex);
    m_entries.push_back({std::move(kind), std::move(name)});
    return m_entries.back();
}

ULONG Ledger::AddRef(LedgerEntry& entry) noexcept
{
    const std::lock_guard lock(m_mutex);
    return ++entry.count;
}

ULONG Ledger::Release(LedgerEntry& entry) noexcept
{
    const std::lock_guard lock(m_mutex);
    if (entry.count <= 1) {
        ++entry.overReleases;
        return entry.count;
    }
    return --entry.count;
}

ULONG Ledger::Count(const LedgerEntry& entry) const
{
    const std::lock_guard lock(m_mutex);
    return entry.count;
}

std::vector<std::string> Ledger::Problems() const
{
    const std::lock_guard lock(m_mutex);
    std::vector<std::string> problems;
    for (const LedgerEntry& entry : m_entries) {
        const std::string what = entry.kind + " \"" + entry.name + "\": ";
        if (entry.count > 1) {
            const ULONG out = entry.count - 1;
            problems.push_back(what + std::to_string(out) + (out == 1 ? " reference" : " references") +
                               " not released");
        }
        if (entry.overReleases > 0) {
            problems.push_back(what + "released " + std::to_string(entry.overReleases) +
                               (entry.overReleases == 1 ? " time" : " times") + " more than referenced");
        }
    }
    return problems;
}

// ---- automation errors ----

HRESULT Reported(HRESULT hr, EXCEPINFO* exception, std::u16string& description)
{
    switch (hr) {
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_BADPARAMCOUNT:
        case DISP_E_TYPEMISMATCH:
        case DISP_E_PARAMNOTOPTIONAL:
            return hr;
        default:
            if (exception) {
                *exception = EXCEPINFO{};
                exception->scode = hr;
                if (!description.empty())
                    exception->bstrDescription = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(description.data()),
                                                                   static_cast<UINT>(description.size()));
            }
            description.clear();
            return DISP_E_EXCEPTION;
    }
}

HRESULT LedgerCount::Injected(const wchar_t* member) noexcept
{
    try {
        std::string name = m_entry.kind + ".";
        for (const wchar_t* c = member; *c; ++c) name += static_cast<char>(*c);  // the table's names are ASCII
        return m_ledger.Calls().CheckNoThrow(name);
    } catch (...) {
        return S_OK;  // a name that cannot be made was not asked to fail
    }
}

// ---- SimConnectionPoint ----

SimConnectionPoint::SimConnectionPoint(Ledger& ledger, const std::string& ownerKind, const std::string& owner,
                                       const IID& iid, const char* ifaceName, IConnectionPointContainer& container)
    : ComObject(ledger, "ConnectionPoint", owner + " " + ifaceName),
      m_ledger(ledger),
      m_ownerKind(ownerKind),
      m_iid(iid),
      m_owner(owner),
      m_ifaceName(ifaceName),
      m_container(container)
{
}

SimConnectionPoint::~SimConnectionPoint()
{
    for (auto& [cookie, sink] : m_sinks) sink->Release();
}

HRESULT SimConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

HRESULT SimConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container) return E_POINTER;
    *container = &m_container;
    m_container.AddRef();
    return S_OK;
}

HRESULT SimConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    if (const HRESULT hr = m_ledger.Calls().CheckNoThrow(m_ownerKind + ".Advise"); FAILED(hr)) return hr;
    // Outlook calls its sinks through the event interface's IDispatch.
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&dispatch))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = m_nextCookie++;
    m_sinks.emplace(*cookie, dispatch);
    return S_OK;
}

HRESULT SimConnectionPoint::Unadvise(DWORD cookie)
{
    const auto it = m_sinks.find(cookie);
    if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
    if (const HRESULT hr = m_ledger.Calls().CheckNoThrow(m_ownerKind + ".Unadvise"); FAILED(hr)) return hr;
    IDispatch* sink = it->second;
    m_sinks.erase(it);
    sink->Release();
    return S_OK;
}

HRESULT SimConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    if (!connections) return E_POINTER;
    *connections = nullptr;
    return E_NOTIMPL;
}

std::size_t SimConnectionPoint::Fire(DISPID id)
{
    DISPPARAMS none = {};
    return Fire(id, none);
}

void SimConnectionPoint::DropAll()
{
    // A sink may let its source go while it is released: take them out first.
    std::map<DWORD, IDispatch*> sinks;
    sinks.swap(m_sinks);
    for (auto& [cookie, sink] : sinks) sink->Release();
}

std::size_t SimConnectionPoint::Fire(DISPID id, DISPPARAMS& params)
{
    std::vector<DWORD> cookies;
    for (const auto& entry : m_sinks) cookies.push_back(entry.first);
    std::size_t called = 0;
    for (DWORD cookie : cookies) {
        const auto it = m_sinks.find(cookie);
        if (it == m_sinks.end()) continue;  // unsubscribed by an earlier sink
        IDispatch* sink = it->second;
        sink->AddRef();  // the sink may unsubscribe itself while it runs
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        sink->Release();
        ++called;
    }
    return called;
}

std::vector<std::string> SimConnectionPoint::Live() const
{
    std::vector<std::string> live;
    for (const auto& entry : m_sinks)
        live.push_back(std::string(m_ifaceName) + " cookie " + std::to_string(entry.first));
    return live;
}

// ---- SimSource ----

SimSource::SimSource(Ledger& ledger, std::string kind, std::string name, std::vector<Name> names, const IID& events,
                     const char* eventsName)
    : SimDispatch(std::move(names), ledger, kind, name), m_point(ledger, kind, name, events, eventsName, *this)
{
}

// ---- SimExplorer ----

SimExplorer::SimExplorer(Ledger& ledger, int number, MailSide* const& mail, CommandBarEvents* const& barEvents)
    : SimSource(ledger, "Explorer", "Explorer " + std::to_string(number),
                {{L"CurrentFolder", kCurrentFolder}, {L"Selection", kSelection}, {L"CommandBars", kCommandBarsProperty}},
                kExplorerEvents, "ExplorerEvents"),
      m_number(number),
      m_mail(mail),
      m_commandBars(std::make_unique<SimCommandBars>(ledger, "Explorer " + std::to_string(number), barEvents))
{
}

SimExplorer::~SimExplorer() = default;

HRESULT SimExplorer::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT*)
{
    if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
    if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (id == kCommandBarsProperty) {
        SetDispatch(result, m_commandBars.get());
        return S_OK;
    }
    if (!m_mail) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
        case kCurrentFolder:
            return m_mail->CurrentFolder(m_number, result);
        case kSelection:
            return m_mail->Selection(m_number, result);
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- SimExplorers ----

SimExplorers::SimExplorers(Ledger& ledger, SimApplication& application)
    : SimDispatch({{L"Count", kCount}, {L"Item", kItem}}, ledger, "Explorers", "Explorers"), m_application(application)
{
}

HRESULT SimExplorers::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError)
{
    if (id == kCount) {
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
        result.vt = VT_I4;
        result.lVal = m_application.ExplorerCount();
        return S_OK;
    }
    if (id == kItem) {
        if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
        // The index: an integer, or a reference to one (a VARIANT held by reference included).
        const VARIANT* arg = &params.rgvarg[0];
        if (arg->vt == (VT_VARIANT | VT_BYREF) && arg->pvarVal) arg = arg->pvarVal;
        LONG index = 0;
        switch (arg->vt) {
            case VT_I4:
                index = arg->lVal;
                break;
            case VT_INT:
                index = arg->intVal;
                break;
            case VT_I4 | VT_BYREF:
                index = *arg->plVal;
                break;
            case VT_INT | VT_BYREF:
                index = *arg->pintVal;
                break;
            default:
                if (argError) *argError = 0;
                return DISP_E_TYPEMISMATCH;
        }
        SimExplorer* explorer = m_application.ExplorerAt(index);
        if (!explorer) return DISP_E_BADINDEX;
        SetDispatch(result, explorer);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- SimApplication ----

SimApplication::SimApplication(Ledger& ledger)
    : SimSource(ledger, "Application", "Application",
                {{L"Version", kVersion},
                 {L"Explorers", kExplorersProperty},
                 {L"ActiveExplorer", kActiveExplorer},
                 {L"GetNamespace", kGetNamespace}},
                kApplicationEvents, "ApplicationEvents"),
      m_ledgerOfAll(ledger),
      m_collection(std::make_unique<SimExplorers>(ledger, *this))
{
    SetExplorerCount(1);
}

SimApplication::~SimApplication() = default;

void SimApplication::SetExplorerCount(int count)
{
    m_open = count < 0 ? 0 : count;
    while (static_cast<int>(m_explorers.size()) < m_open)
        m_explorers.push_back(
            std::make_unique<SimExplorer>(m_ledgerOfAll, static_cast<int>(m_explorers.size()) + 1, m_mail, m_barEvents));
}

SimExplorer* SimApplication::ExplorerAt(int number)
{
    if (number < 1 || number > m_open) return nullptr;
    return m_explorers[static_cast<std::size_t>(number) - 1].get();
}

std::vector<std::string> SimApplication::LiveSubscriptions() const
{
    std::vector<std::string> live;
    for (const std::string& line : Point().Live()) live.push_back(Point().Owner() + " " + line);
    for (const auto& explorer : m_explorers) {
        for (const std::string& line : explorer->Point().Live()) live.push_back(explorer->Point().Owner() + " " + line);
        for (std::string& line : explorer->CommandBars().LiveSubscriptions()) live.push_back(std::move(line));
    }
    return live;
}

HRESULT SimApplication::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT*)
{
    if (id == kGetNamespace) {
        if (!(flags & DISPATCH_METHOD) || !m_mail) return DISP_E_MEMBERNOTFOUND;
        return m_mail->Namespace(params, result);
    }
    if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
    if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    switch (id) {
        case kVersion: {
            if (!m_version) return E_FAIL;
            result.vt = VT_BSTR;
            result.bstrVal = SysAllocStringLen(m_version->data(), static_cast<UINT>(m_version->size()));
            return result.bstrVal || m_version->empty() ? S_OK : E_OUTOFMEMORY;
        }
        case kExplorersProperty:
            SetDispatch(result, m_collection.get());
            return S_OK;
        case kActiveExplorer:
            SetDispatch(result, ExplorerAt(1));
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- SimAddInInstance ----

SimAddInInstance::SimAddInInstance(Ledger& ledger) : SimDispatch({}, ledger, "AddIn", "COMAddIn qev.Connect") {}

HRESULT SimAddInInstance::Call(DISPID, WORD, const DISPPARAMS&, VARIANT&, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace qev::sim::win
