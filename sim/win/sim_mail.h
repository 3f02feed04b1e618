// The simulated Outlook's mail, as the real COM and MAPI objects the add-in
// reaches: the namespace "MAPI" (MAPIOBJECT, GetFolderFromID), folders, item
// collections with their ItemsEvents connection point, mail items and
// meeting requests, the explorer's selection; and on MAPI's side the
// profile's session (the table of stores, OpenMsgStore, the profile section),
// message stores, folders, messages and property streams.
//
// The profile itself (stores, entry ids, folders, items, the moves and their
// events) is the same model the native runner plays, host::fake::FakeMail:
// both runners hold the same bytes and raise the same events in the same
// order, and this file only gives each of its objects its COM face. A face
// counts its references on the model's object, so the model's ledger shows
// every reference the add-in took and gave back.
//
// All objects live on the simulated Outlook's thread and are called there.
#pragma once

#include <oaidl.h>
#include <ocidl.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/fake/fake_desktop.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_mail.h"
#include "host/fake/fake_office.h"
#include "host/fake/fake_outlook.h"
#include "host/win/win_libraries.h"
#include "sim/win/sim_outlook.h"

namespace qev::sim::win {

class Face;

class SimMail final : public MailSide {
public:
    explicit SimMail(Ledger& ledger);
    ~SimMail();
    SimMail(const SimMail&) = delete;
    SimMail& operator=(const SimMail&) = delete;

    host::fake::FakeMail& Model() noexcept { return m_mail; }
    host::fake::Ledger& ModelLedger() noexcept { return m_ledger; }
    host::fake::HostCalls& ModelCalls() noexcept { return m_calls; }

    // The active explorer (number 1) shows the folder with those items
    // selected; raises FolderSwitch when the folder changes, then
    // SelectionChange, on explorer.
    void Select(SimExplorer& explorer, std::u16string_view store, std::u16string_view path,
                const std::vector<std::size_t>& items);

    // MailSide
    HRESULT Namespace(const DISPPARAMS& params, VARIANT& result) override;
    HRESULT CurrentFolder(int explorer, VARIANT& result) override;
    HRESULT Selection(int explorer, VARIANT& result) override;

    // The COM face of a model object (held by the world; no reference added).
    Face& FaceOf(host::Object* object);
    // The face behind a COM pointer the add-in hands back, or null.
    Face* FaceBehind(IUnknown* unknown);
    // The model object behind it, with one reference; null for a foreign one.
    host::Ref<host::Object> ModelBehind(IUnknown* unknown);
    // Hands one reference of object, owned by the caller, out as a COM
    // pointer of the face (the reference moves to the COM caller).
    IUnknown* HandOut(host::Ref<host::Object> object);
    Ledger& SimLedger() noexcept { return m_simLedger; }

    // Lines for ReleaseProblems: references, live subscriptions, misuse.
    std::vector<std::string> Problems() const;

private:
    Ledger& m_simLedger;
    host::fake::Ledger m_ledger;
    host::fake::HostCalls& m_calls;  // the world's (Ledger::Calls)
    host::fake::FakeMail m_mail;
    // The model's explorers come with command bars of their own that nothing
    // reaches: the add-in is given the simulated Outlook's (sim_cmdbars.h).
    host::win::WinLibraries m_unusedLibraries;
    host::fake::FakeDesktop m_unusedDesktop{m_calls, m_unusedLibraries};
    host::fake::CommandBarListener m_unusedBarListener;
    std::vector<std::unique_ptr<host::fake::FakeExplorer>> m_explorers;  // the model's view of each explorer
    std::map<host::Object*, std::unique_ptr<Face>> m_faces;  // by the model object's IUnknown face
    std::map<IUnknown*, Face*> m_pointers;                   // every COM pointer of a face
    std::vector<std::unique_ptr<Face>> m_others;  // objects of the simulated Outlook alone (tables, sections)
    friend class Face;
public:
    // Keeps an object of the simulated Outlook's own (not in the model) until the world ends.
    template <class T>
    T& Keep(std::unique_ptr<T> face)
    {
        T& kept = *face;
        m_others.push_back(std::move(face));
        return kept;
    }
};

// The time the add-in's items sinks spent in their calls (ItemAdd) in this
// process so far, and how many calls: the add-in's own part of filing new
// mail, without the simulated Outlook's delivery around it. span is the time
// from the first call's start to the last one's end: the whole of it, both
// parts, without the process's start and end.
struct SinkTime {
    std::uint64_t calls = 0;
    double milliseconds = 0;
    double span = 0;
};
SinkTime ItemsSinkTime() noexcept;

}  // namespace qev::sim::win
