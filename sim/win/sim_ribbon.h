// The simulated Outlook's ribbon, as Outlook 2010 and later drive an add-in's
// tab: the markup asked for through the add-in's IRibbonExtensibility and
// read with MSXML; Ribbon_OnLoad and every callback called by name through
// the add-in's IDispatch (GetIDsOfNames with the one name, then Invoke with
// the control as the last argument and the answer taken from pVarResult);
// Outlook's ribbon object (IRibbonUI), its controls (IRibbonControl: Id,
// Context) and an inspector window (_Inspector) as objects of the ledger.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/win/win_variant.h"
#include "sim/win/product_folder.h"
#include "sim/win/sim_outlook.h"
#include "sim/world.h"

namespace qev::sim::win {

class SimRibbonUI;
class SimRibbonControl;
class SimInspector;

class SimRibbon {
public:
    // onInvalidate runs when the add-in calls the ribbon object's Invalidate.
    SimRibbon(Ledger& ledger, SimApplication& application, std::function<void()> onInvalidate);
    ~SimRibbon();
    SimRibbon(const SimRibbon&) = delete;
    SimRibbon& operator=(const SimRibbon&) = delete;

    World::MarkupAnswer Markup(IUnknown* addin, const std::string& ribbonId);
    std::uint32_t Load(IUnknown* addin, bool null);
    World::CallbackAnswer Call(IUnknown* addin, const std::string& callback, const std::string& controlId,
                               RibbonContext context);

    // The explorer's tab of the last markup as Outlook shows it now (its
    // labels, pictures and enabled state, asked of the add-in) drawn into
    // file; empty on success, else what failed.
    std::string Draw(IUnknown* addin, bool rightToLeft, const std::wstring& file);

    // The last markup's elements in document order: name ("tab", "group",
    // "button") and id.
    const std::vector<std::pair<std::string, std::string>>& Elements() const noexcept { return m_elements; }

private:
    // The callback by name through the add-in's IDispatch, with argument
    // (null passes a null object); a failure the method raised comes back as
    // its own HRESULT.
    HRESULT Invoke(IUnknown* addin, const std::wstring& name, IDispatch* argument, host::win::ComVariant& result);
    SimRibbonControl& NewControl(const std::string& id, RibbonContext context);
    // What a callback answers about a control of the explorer's tab: its
    // result, or an empty variant when it failed.
    host::win::ComVariant Ask(IUnknown* addin, const std::string& callback, const std::string& controlId);

    Ledger& m_ledger;
    SimApplication& m_application;
    std::unique_ptr<SimRibbonUI> m_ribbonUI;
    std::unique_ptr<SimInspector> m_inspector;
    std::vector<std::unique_ptr<SimRibbonControl>> m_controls;  // one per call, kept for the ledger
    std::vector<std::pair<std::string, std::string>> m_elements;
};

// Registers the project's stand-in of Office's type library (its ribbon
// interfaces), which Outlook's machines have and Wine has not. It stays
// registered, as Office's does; std::runtime_error when it cannot be.
void RegisterOfficeStandIn(const BuiltFiles& files);

// A picture's size as the transcript shows it ("picture WxH"), or "-" when
// the object is no picture with a bitmap.
std::string PictureText(IUnknown* picture);

}  // namespace qev::sim::win
