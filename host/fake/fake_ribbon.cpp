#include "host/fake/fake_ribbon.h"

#include "host/com_error.h"

namespace host::fake {
namespace {

constexpr HRESULT kClassStringInvalid = static_cast<HRESULT>(0x800401F3);  // CO_E_CLASSSTRING

}  // namespace

FakeRibbonUI::FakeRibbonUI(Ledger& ledger, HostCalls& calls) : Counted(ledger, "RibbonUI", "RibbonUI"), m_calls(calls) {}

Object* FakeRibbonUI::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("RibbonUI.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::RibbonUI) return Hand(static_cast<RibbonUI*>(this));
    return nullptr;
}

void FakeRibbonUI::Invalidate()
{
    m_calls.Enter("RibbonUI.Invalidate");
    ++m_invalidations;
    if (onInvalidate) onInvalidate();
}

FakeInspector::FakeInspector(Ledger& ledger, HostCalls& calls)
    : Counted(ledger, "Inspector", "Inspector 1"), m_calls(calls)
{
}

Object* FakeInspector::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("Inspector.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::Inspector) return Hand(static_cast<Inspector*>(this));
    return nullptr;
}

Ref<Object> FakeInspector::CurrentItem()
{
    m_calls.Enter("Inspector.CurrentItem");
    return nullptr;
}

FakeRibbonControl::FakeRibbonControl(Ledger& ledger, HostCalls& calls, std::u16string id, Object* context,
                                     int number)
    : Counted(ledger, "RibbonControl", "RibbonControl " + std::to_string(number)),
      m_calls(calls),
      m_id(std::move(id)),
      m_context(context)
{
}

Object* FakeRibbonControl::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("RibbonControl.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::RibbonControl) return Hand(static_cast<RibbonControl*>(this));
    return nullptr;
}

std::u16string FakeRibbonControl::Id()
{
    m_calls.Enter("RibbonControl.Id");
    return m_id;
}

Ref<Object> FakeRibbonControl::Context()
{
    m_calls.Enter("RibbonControl.Context");
    return Ref<Object>::Share(m_context);
}

FakeClasses::FakeClasses(Ledger& ledger, HostCalls& calls, FakeAccounts& accounts)
    : m_ledger(ledger), m_calls(calls), m_accounts(accounts)
{
}

FakeClasses::~FakeClasses() = default;

HRESULT FakeClasses::CreateAccountManager(Ref<AccountManager>& out)
{
    return m_accounts.CreateAccountManager(out);
}

HRESULT FakeClasses::CreateXmlDocument(std::u16string_view progId, Ref<XmlDocument>& out)
{
    out.Reset();
    if (const HRESULT hr = m_calls.Check("CLSIDFromProgID"); FAILED(hr)) return hr;
    if (progId != u"MSXML.DOMDocument") return kClassStringInvalid;
    if (const HRESULT hr = m_calls.Check("CoCreateInstance.DOMDocument"); FAILED(hr)) return hr;
    const int number = static_cast<int>(m_documents.size()) + 1;
    m_documents.push_back(std::make_unique<FakeXmlDocument>(m_ledger, m_calls, number));
    out = Ref<XmlDocument>::Share(m_documents.back().get());
    return S_OK;
}

}  // namespace host::fake
