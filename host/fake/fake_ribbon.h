// The in-memory Outlook's side of the ribbon: the ribbon object it hands to
// Ribbon_OnLoad, the controls it passes to the callbacks (with the window
// they are in as context), an inspector window, and the XML DOM class the
// add-in creates by its ProgID.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/accounts.h"
#include "host/fake/fake_accounts.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_xml.h"
#include "host/office.h"

namespace host::fake {

class FakeRibbonUI final : public Counted<RibbonUI> {
public:
    FakeRibbonUI(Ledger& ledger, HostCalls& calls);
    Object* Query(Iface iface) noexcept override;
    void Invalidate() override;

    std::function<void()> onInvalidate;
    std::size_t Invalidations() const noexcept { return m_invalidations; }

private:
    HostCalls& m_calls;
    std::size_t m_invalidations = 0;
};

class FakeInspector final : public Counted<Inspector> {
public:
    FakeInspector(Ledger& ledger, HostCalls& calls);
    Object* Query(Iface iface) noexcept override;
    // The in-memory inspector shows no item.
    Ref<Object> CurrentItem() override;

private:
    HostCalls& m_calls;
};

class FakeRibbonControl final : public Counted<RibbonControl> {
public:
    FakeRibbonControl(Ledger& ledger, HostCalls& calls, std::u16string id, Object* context, int number);
    Object* Query(Iface iface) noexcept override;
    std::u16string Id() override;
    Ref<Object> Context() override;

private:
    HostCalls& m_calls;
    std::u16string m_id;
    Object* m_context;  // kept by the world
};

// The classes the add-in creates through COM: the account manager (answered
// by accounts) and "MSXML.DOMDocument".
class FakeClasses final : public ComClasses {
public:
    FakeClasses(Ledger& ledger, HostCalls& calls, FakeAccounts& accounts);
    ~FakeClasses();
    HRESULT CreateAccountManager(Ref<AccountManager>& out) override;
    HRESULT CreateXmlDocument(std::u16string_view progId, Ref<XmlDocument>& out) override;

private:
    Ledger& m_ledger;
    HostCalls& m_calls;
    FakeAccounts& m_accounts;
    std::vector<std::unique_ptr<FakeXmlDocument>> m_documents;
};

}  // namespace host::fake
