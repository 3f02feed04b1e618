// The simulated Outlook's command bars, as Office's automation objects: an
// explorer's CommandBars, its bars, each bar's Controls and the buttons on
// them, reached late bound through IDispatch (names looked up without case)
// and answering Office's interface ids as well.
//
// What Office does and this keeps:
// - CommandBars.Add(Name, Position, MenuBar, Temporary): every argument
//   optional (VT_ERROR with DISP_E_PARAMNOTFOUND, or left off, is missing); a
//   name already in use fails; a new bar is invisible.
// - Controls.Add(Type, Id, Parameter, Before, Temporary): a button for
//   msoControlButton (also when Type is missing), appended.
// - PasteFace takes CF_BITMAP from the real clipboard and fails when there is
//   none.
// - A click raises Click (dispid 1: the button as VT_DISPATCH, then the
//   cancel-default flag as VT_BYREF|VT_BOOL) on every live button with the
//   clicked button's Tag. A button is live while the add-in holds it: once its
//   count is back to Outlook's own reference, its sinks are let go.
//
// Every object counts its references in the world's ledger and lives until
// the world ends. All of them live on Outlook's thread and are called there.
#pragma once

#include <oaidl.h>
#include <ocidl.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/win/sim_outlook.h"

namespace qev::sim::win {

// {000C0351-0000-0000-C000-000000000046}: _CommandBarButtonEvents; Click is 1.
extern const IID kCommandBarButtonEvents;

class SimButton;
class SimCommandBar;

// What the add-in does to the bars that shows in a transcript.
class CommandBarEvents {
public:
    virtual void ButtonMade(SimButton& button) = 0;
    // The add-in set the bar's Visible.
    virtual void VisibleSet(SimCommandBar& bar) = 0;
    virtual void EnabledSet(SimButton& button, bool enabled) = 0;

protected:
    ~CommandBarEvents() = default;
};

class SimButton final : public SimSource {
public:
    SimButton(Ledger& ledger, const std::string& name, CommandBarEvents* const& events);
    ~SimButton() override;

    ULONG STDMETHODCALLTYPE Release() override;

    const std::u16string& Caption() const noexcept { return m_caption; }
    const std::u16string& Tag() const noexcept { return m_tag; }
    bool Enabled() const noexcept { return m_enabled; }
    // The picture PasteFace took (a DIB section of the button's own), or null.
    HBITMAP Face() const noexcept { return m_face; }
    std::optional<std::pair<LONG, LONG>> FaceSize() const;
    // The add-in holds it (more than Outlook's own reference).
    bool Live() const { return References() > 1; }

    // Click to this button's sinks, with the button as their Ctrl.
    void RaiseClick();

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;
    HRESULT PasteFace();
    void* QueryMore(REFIID iid) noexcept override;

    CommandBarEvents* const& m_events;
    std::u16string m_caption;
    std::u16string m_tooltip;
    std::u16string m_tag;
    LONG m_style = 0;  // msoButtonAutomatic
    bool m_enabled = true;
    HBITMAP m_face = nullptr;
};

// A bar's Controls: Count and Add.
class SimControls final : public SimDispatch {
public:
    SimControls(Ledger& ledger, SimCommandBar& bar);

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;
    void* QueryMore(REFIID iid) noexcept override;

    SimCommandBar& m_bar;
};

// The state the user sees and moves.
struct BarPlace {
    LONG position = 4;  // msoBarFloating
    LONG top = 0;
    LONG left = 0;
    bool visible = false;
};

class SimCommandBar final : public SimDispatch {
public:
    SimCommandBar(Ledger& ledger, std::u16string name, LONG position, CommandBarEvents* const& events);

    const std::u16string& Name() const noexcept { return m_name; }
    BarPlace& Place() noexcept { return m_place; }
    const BarPlace& Place() const noexcept { return m_place; }
    LONG Protection() const noexcept { return m_protection; }
    const std::vector<std::unique_ptr<SimButton>>& Buttons() const noexcept { return m_buttons; }
    SimButton& AddButton();

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;
    void* QueryMore(REFIID iid) noexcept override;

    Ledger& m_ledger;
    CommandBarEvents* const& m_events;
    std::u16string m_name;
    BarPlace m_place;
    LONG m_protection = 0;
    bool m_enabled = true;
    std::unique_ptr<SimControls> m_controls;
    std::vector<std::unique_ptr<SimButton>> m_buttons;
};

// An explorer's CommandBars: Count and Add.
class SimCommandBars final : public SimDispatch {
public:
    SimCommandBars(Ledger& ledger, const std::string& owner, CommandBarEvents* const& events);

    const std::vector<std::unique_ptr<SimCommandBar>>& Bars() const noexcept { return m_bars; }
    // The bar added last, or null.
    SimCommandBar* Newest() const noexcept { return m_bars.empty() ? nullptr : m_bars.back().get(); }
    // Every button of every bar with this tag, in the order they were made.
    std::vector<SimButton*> ButtonsTagged(const std::u16string& tag) const;
    // Every live subscription of a button.
    std::vector<std::string> LiveSubscriptions() const;

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError) override;
    void* QueryMore(REFIID iid) noexcept override;

    Ledger& m_ledger;
    CommandBarEvents* const& m_events;
    std::string m_owner;
    std::vector<std::unique_ptr<SimCommandBar>> m_bars;
};

}  // namespace qev::sim::win
