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

private:
    mutable std::mutex m_mutex;
    std::deque<LedgerEntry> m_entries;  // stable addresses
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects die with the simulated Outlook

// The IDispatch of an object without a type library: names are looked up in
// the object's own table. Subclasses answer Call.
class SimDispatch : public IDispatch {
public:
    SimDispatch(const SimDispatch&) = delete;
    SimDispatch& operator=(const SimDispatch&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return m_ledger.AddRef(m_entry); }
    ULONG STDMETHODCALLTYPE Release() override { return m_ledger.Release(m_entry); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

    ULONG References() const { return m_ledger.Count(m_entry); }

protected:
    struct Name {
        const wchar_t* name;
        DISPID id;
    };
    SimDispatch(Ledger& ledger, std::string kind, std::string name, std::vector<Name> names);
    ~SimDispatch() = default;

    // A member's call: S_OK with *result set, or an HRESULT. A failure other
    // than the dispatch errors reaches the caller as DISP_E_EXCEPTION with
    // that HRESULT, as automation servers report it.
    virtual HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) = 0;
    // The text the failing Call's automation error carries.
    void SetDescription(std::u16string text) { m_description = std::move(text); }

    Ledger& m_ledger;
    LedgerEntry& m_entry;

private:
    std::vector<Name> m_names;
    std::u16string m_description;
};

// One connection point: the subscriptions to one event interface of one
// source. Cookies count from 1.
class SimConnectionPoint final : public IConnectionPoint {
public:
    SimConnectionPoint(Ledger& ledger, const std::string& owner, const IID& iid, const char* ifaceName,
                       IConnectionPointContainer& container);
    SimConnectionPoint(const SimConnectionPoint&) = delete;
    SimConnectionPoint& operator=(const SimConnectionPoint&) = delete;
    ~SimConnectionPoint();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_ledger.AddRef(m_entry); }
    ULONG STDMETHODCALLTYPE Release() override { return m_ledger.Release(m_entry); }
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
    // "ApplicationEvents cookie 1", one line per live subscription.
    std::vector<std::string> Live() const;

private:
    Ledger& m_ledger;
    LedgerEntry& m_entry;
    const IID m_iid;
    const std::string m_owner;
    const char* m_ifaceName;
    IConnectionPointContainer& m_container;
    DWORD m_nextCookie = 1;
    std::map<DWORD, IDispatch*> m_sinks;  // each holds the reference Advise took
};

// A source of events: IDispatch and IConnectionPointContainer with one point.
class SimSource : public SimDispatch, public IConnectionPointContainer {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return SimDispatch::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return SimDispatch::Release(); }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    SimConnectionPoint& Point() noexcept { return m_point; }
    const SimConnectionPoint& Point() const noexcept { return m_point; }

protected:
    SimSource(Ledger& ledger, std::string kind, std::string name, std::vector<Name> names, const IID& events,
              const char* eventsName);
    ~SimSource() = default;

private:
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

class SimExplorer final : public SimSource {
public:
    SimExplorer(Ledger& ledger, int number, MailSide* const& mail);
    int Number() const noexcept { return m_number; }

private:
    // CurrentFolder and Selection.
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;

    int m_number;
    MailSide* const& m_mail;
};

class SimApplication;

// Application.Explorers: Count, Item(index) with a 1-based integer index.
class SimExplorers final : public SimDispatch {
public:
    SimExplorers(Ledger& ledger, SimApplication& application);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

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
    // Every live subscription of the application and of its explorers.
    std::vector<std::string> LiveSubscriptions() const;

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;

    Ledger& m_ledgerOfAll;
    std::optional<std::wstring> m_version = L"16.0.0.1234";
    int m_open = 1;
    std::vector<std::unique_ptr<SimExplorer>> m_explorers;
    std::unique_ptr<SimExplorers> m_collection;
    MailSide* m_mail = nullptr;
};

// The COMAddIn object Outlook hands OnConnection; the add-in calls nothing on it.
class SimAddInInstance final : public SimDispatch {
public:
    explicit SimAddInInstance(Ledger& ledger);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;
};

#pragma GCC diagnostic pop

}  // namespace qev::sim::win
