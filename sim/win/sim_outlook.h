// The simulated Outlook's objects, as real COM objects: the application, its
// explorers collection, the explorers, and the add-in instance object, each
// reached late bound through IDispatch; the application and the explorers
// raise their events through connection points.
//
// Every object's references are kept in one ledger. An object's count starts
// at 1, the simulated Outlook's own reference, which it keeps until it ends:
// no object is freed by a Release, and a Release that would take Outlook's
// own reference is recorded as a fault instead. So a run can show that the
// add-in gave back every reference it took, exactly once.
//
// All objects live on the thread that made them (Outlook's user-interface
// thread) and are called there.
#pragma once

#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/fake/fake_ledger.h"
#include "host/object.h"
#include "host/win/com_object.h"
#include "host/win/win_variant.h"

namespace qev::sim::win {

// {0006304E-0000-0000-C000-000000000046}: ApplicationEvents; Quit is 0xF007.
extern const IID kApplicationEvents;
// {0006304F-0000-0000-C000-000000000046}: ExplorerEvents.
extern const IID kExplorerEvents;
inline constexpr DISPID kQuitEvent = 0xF007;

// ---- references ----

struct LedgerEntry {
    std::string kind;  // "Application", "Explorer", ...
    std::string name;  // "Explorer 1", ...
    ULONG count = 1;
    ULONG overReleases = 0;
};

class Ledger {
public:
    LedgerEntry& Open(std::string kind, std::string name);
    ULONG AddRef(LedgerEntry& entry) noexcept;
    // A release that would take Outlook's own reference frees nothing; it is
    // recorded and the count stays.
    ULONG Release(LedgerEntry& entry) noexcept;
    ULONG Count(const LedgerEntry& entry) const;
    // One line per object whose references did not all come back, or came
    // back too often.
    std::vector<std::string> Problems() const;

    // The world's host calls: the mail model's, and every member of an
    // automation object here, named "Kind.Member" as the in-memory world
    // names the same call, so that `fail` fails it in both.
    host::fake::HostCalls& Calls() noexcept { return m_calls; }

private:
    mutable std::mutex m_mutex;
    std::deque<LedgerEntry> m_entries;  // stable addresses
    host::fake::HostCalls m_calls;
};

// The count of an object of the simulated Outlook: its ledger entry. The
// object dies with the world, never through Release.
class LedgerCount {
public:
    static constexpr bool kDeletes = false;
    LedgerCount(Ledger& ledger, std::string kind, std::string name)
        : m_ledger(ledger), m_entry(ledger.Open(std::move(kind), std::move(name)))
    {
    }
    ULONG Up() noexcept { return m_ledger.AddRef(m_entry); }
    ULONG Down() noexcept { return m_ledger.Release(m_entry); }
    ULONG Get() const { return m_ledger.Count(m_entry); }
    // The failure the world was told to give this member, or S_OK.
    HRESULT Injected(const wchar_t* member) noexcept;

private:
    Ledger& m_ledger;
    LedgerEntry& m_entry;
};

// The count of a COM face of a model object: the model object's own, so that
// the model's ledger shows every reference the add-in took and gave back.
class HostObjectCount {
public:
    static constexpr bool kDeletes = false;
    explicit HostObjectCount(host::Object* object) noexcept : m_object(object) {}
    ULONG Up() noexcept { return m_object->AddRef(); }
    ULONG Down() noexcept { return m_object->Release(); }
    // The model object's own calls answer for the face.
    static HRESULT Injected(const wchar_t*) noexcept { return S_OK; }

private:
    host::Object* m_object;
};

// For the members' Call: a property read; a result holding object (null
// stays null) with a reference for the caller.
inline bool IsGet(WORD flags) noexcept
{
    return (flags & DISPATCH_PROPERTYGET) != 0;
}
inline void SetDispatch(VARIANT& result, IDispatch* object) noexcept
{
    result.vt = VT_DISPATCH;
    result.pdispVal = object;
    if (object) object->AddRef();
}

// How a failed call reaches an automation caller: the dispatch errors as they
// are, anything else as DISP_E_EXCEPTION with the HRESULT and description
// (which it clears).
HRESULT Reported(HRESULT hr, EXCEPINFO* exception, std::u16string& description);

// An automation object of the simulated Outlook, without a type library:
// names are looked up in the object's own table (without case, as
// GetIDsOfNames compares them); subclasses answer Call. Count is whose
// references it counts. An object that raises events (IsSource) also answers
// IConnectionPointContainer and gives its points.
template <class Count>
class SimDispatchOf
    : public host::win::ComObject<Count, host::win::Row<IDispatch, IID_IDispatch>,
                                  host::win::Row<IConnectionPointContainer, IID_IConnectionPointContainer>> {
    using Base = host::win::ComObject<Count, host::win::Row<IDispatch, IID_IDispatch>,
                                      host::win::Row<IConnectionPointContainer, IID_IConnectionPointContainer>>;

public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (!info) return E_POINTER;
        *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids) return E_POINTER;
        if (count == 0) return S_OK;
        // Only the member's name is looked up; argument names are not known.
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        for (const Name& name : m_names) {
            if (host::win::SameName(names[0], name.name)) {
                ids[0] = name.id;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override
    {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_POINTER;
        // A property put names its one argument DISPID_PROPERTYPUT.
        const bool putArgument = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 &&
                                 params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
                                 params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (params->cNamedArgs > 0 && !putArgument) return DISP_E_NONAMEDARGS;
        VARIANT value;
        VariantInit(&value);
        const Name* member = NameOf(id);
        HRESULT hr = member ? this->RefCount().Injected(member->name) : S_OK;
        if (SUCCEEDED(hr)) hr = Call(id, flags, *params, value, argError);
        if (SUCCEEDED(hr)) {
            if (result)
                *result = value;
            else
                VariantClear(&value);
            return S_OK;
        }
        VariantClear(&value);
        if (result) VariantInit(result);
        return Reported(hr, exception, m_description);
    }

    // IConnectionPointContainer, for sources.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override
    {
        if (!points) return E_POINTER;
        *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
    {
        if (!point) return E_POINTER;
        *point = PointFor(iid);
        if (!*point) return CONNECT_E_NOCONNECTION;
        (*point)->AddRef();
        return S_OK;
    }

    ULONG References() const { return this->RefCount().Get(); }

protected:
    struct Name {
        const wchar_t* name;
        DISPID id;
    };
    template <class... CountArgs>
    explicit SimDispatchOf(std::vector<Name> names, CountArgs&&... countArgs)
        : Base(std::forward<CountArgs>(countArgs)...), m_names(std::move(names))
    {
    }

    // A member's call: S_OK with *result set, or an HRESULT. A failure other
    // than the dispatch errors reaches the caller as DISP_E_EXCEPTION with
    // that HRESULT, as automation servers report it.
    virtual HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) = 0;
    // The text the failing Call's automation error carries.
    void SetDescription(std::u16string text) { m_description = std::move(text); }

    // A source: it has connection points, and the one for iid (or null).
    virtual bool HasPoints() const noexcept { return false; }
    virtual IConnectionPoint* PointFor(REFIID) noexcept { return nullptr; }

private:
    bool Offers(REFIID iid) const noexcept override
    {
        return HasPoints() || !IsEqualIID(iid, IID_IConnectionPointContainer);
    }
    const Name* NameOf(DISPID id) const noexcept
    {
        for (const Name& name : m_names)
            if (name.id == id) return &name;
        return nullptr;
    }

    std::vector<Name> m_names;
    std::u16string m_description;
};

using SimDispatch = SimDispatchOf<LedgerCount>;

// One connection point: the subscriptions to one event interface of one
// source. Cookies count from 1.
class SimConnectionPoint final
    : public host::win::ComObject<LedgerCount, host::win::Row<IConnectionPoint, IID_IConnectionPoint>> {
public:
    // ownerKind names its calls as the in-memory world does ("Explorer.Advise").
    SimConnectionPoint(Ledger& ledger, const std::string& ownerKind, const std::string& owner, const IID& iid,
                       const char* ifaceName, IConnectionPointContainer& container);
    ~SimConnectionPoint() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

    const IID& Iid() const noexcept { return m_iid; }
    const std::string& Owner() const noexcept { return m_owner; }
    // Calls every sink with the event, in the order of subscription; a sink
    // that is unsubscribed while the event is delivered is not called
    // afterwards. Returns how many were called.
    std::size_t Fire(DISPID id);
    std::size_t Fire(DISPID id, DISPPARAMS& params);
    // Lets every sink go, as a source does that ends its events.
    void DropAll();
    // "ApplicationEvents cookie 1", one line per live subscription.
    std::vector<std::string> Live() const;

private:
    Ledger& m_ledger;
    const std::string m_ownerKind;
    const IID m_iid;
    const std::string m_owner;
    const char* m_ifaceName;
    IConnectionPointContainer& m_container;
    DWORD m_nextCookie = 1;
    std::map<DWORD, IDispatch*> m_sinks;  // each holds the reference Advise took
};

// A source of events: IDispatch and IConnectionPointContainer with one point.
class SimSource : public SimDispatch {
public:
    SimConnectionPoint& Point() noexcept { return m_point; }
    const SimConnectionPoint& Point() const noexcept { return m_point; }

protected:
    SimSource(Ledger& ledger, std::string kind, std::string name, std::vector<Name> names, const IID& events,
              const char* eventsName);

private:
    IConnectionPoint* PointFor(REFIID iid) noexcept override
    {
        return IsEqualIID(iid, m_point.Iid()) ? &m_point : nullptr;
    }
    bool HasPoints() const noexcept override { return true; }

    SimConnectionPoint m_point;
};

// What the explorers and the application give of the mail (sim_mail.h).
class MailSide {
public:
    // Application.GetNamespace(type).
    virtual HRESULT Namespace(const DISPPARAMS& params, VARIANT& result) = 0;
    // Explorer.CurrentFolder and Explorer.Selection of explorer number explorer.
    virtual HRESULT CurrentFolder(int explorer, VARIANT& result) = 0;
    virtual HRESULT Selection(int explorer, VARIANT& result) = 0;

protected:
    ~MailSide() = default;
};

class CommandBarEvents;
class SimCommandBars;

class SimExplorer final : public SimSource {
public:
    SimExplorer(Ledger& ledger, int number, MailSide* const& mail, CommandBarEvents* const& barEvents);
    ~SimExplorer() override;
    int Number() const noexcept { return m_number; }
    SimCommandBars& CommandBars() noexcept { return *m_commandBars; }

private:
    // CurrentFolder, Selection and CommandBars.
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;

    int m_number;
    MailSide* const& m_mail;
    std::unique_ptr<SimCommandBars> m_commandBars;
};

class SimApplication;

// Application.Explorers: Count, Item(index) with a 1-based integer index.
class SimExplorers final : public SimDispatch {
public:
    SimExplorers(Ledger& ledger, SimApplication& application);

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;

    SimApplication& m_application;
};

// Application: Version, Explorers, ActiveExplorer, and ApplicationEvents.
class SimApplication final : public SimSource {
public:
    explicit SimApplication(Ledger& ledger);
    ~SimApplication();

    // What Version answers (default 16.0.0.1234); nothing makes the read fail.
    void SetVersion(std::optional<std::wstring> version) { m_version = std::move(version); }
    // The open explorers, numbered from 1. Explorers that close stay (the
    // add-in may hold them) and come back when the count grows.
    void SetExplorerCount(int count);
    int ExplorerCount() const noexcept { return m_open; }
    SimExplorer* ExplorerAt(int number);  // null outside 1..count

    // The application's Quit event.
    void Quit() { Point().Fire(kQuitEvent); }
    // The mail that GetNamespace and the explorers give (null: none).
    void SetMail(MailSide* mail) noexcept { m_mail = mail; }
    // Who hears of what the add-in does to the explorers' command bars.
    void SetCommandBarEvents(CommandBarEvents* events) noexcept { m_barEvents = events; }
    // Every live subscription of the application, its explorers and their buttons.
    std::vector<std::string> LiveSubscriptions() const;

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;

    Ledger& m_ledgerOfAll;
    std::optional<std::wstring> m_version = L"16.0.0.1234";
    int m_open = 1;
    std::vector<std::unique_ptr<SimExplorer>> m_explorers;
    std::unique_ptr<SimExplorers> m_collection;
    MailSide* m_mail = nullptr;
    CommandBarEvents* m_barEvents = nullptr;
};

// The COMAddIn object Outlook hands OnConnection; the add-in calls nothing on it.
class SimAddInInstance final : public SimDispatch {
public:
    explicit SimAddInInstance(Ledger& ledger);

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;
};

}  // namespace qev::sim::win
