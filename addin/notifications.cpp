// The engine's notifications, as they arrive on the add-in's thread through
// IConnect: the engine link takes the new state, the buttons follow it.
#include "addin/connect.h"
#include "addin/trace.h"

namespace qev {

HRESULT CConnect::SetServerStatus(const host::Variant& up)
{
    try {
        // Only a boolean counts; any other variant is ignored.
        if (up.type == host::Variant::Type::Bool) SetServerStatus_(up.boolValue == host::kVariantTrue);
    } catch (...) {
        TraceCaughtException(u"SetServerStatus");
    }
    return S_OK;
}

HRESULT CConnect::ImportSettings(const host::Variant& settings)
{
    try {
        if (m_engine.ImportSettings(settings)) m_toolbar.SetToolbarStatus_();
    } catch (...) {
        TraceCaughtException(u"ImportSettings");
    }
    return S_OK;
}

void CConnect::SetServerStatus_(bool up)
{
    QEV_TRACE(kTraceProgress, u"[as][qev] SetServerStatus_<%d>...\n", up ? 1 : 0);
    m_engine.SetServerStatus(up);
    m_toolbar.SetToolbarStatus_();
}

}  // namespace qev
