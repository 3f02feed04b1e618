#include "host/win/win_ribbon.h"

#include "host/win/win_wrapper.h"

namespace host::win {
namespace {

class WinRibbonUI final : public Wrapper<RibbonUI> {
public:
    explicit WinRibbonUI(IDispatch* ribbon) noexcept : Wrapper(ribbon), m_ribbon(ribbon) {}

    void Invalidate() override { CallMethod(m_ribbon, u"Invalidate"); }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::RibbonUI; }

    IDispatch* m_ribbon;  // the wrapper's own reference
};

class WinRibbonControl final : public Wrapper<RibbonControl> {
public:
    explicit WinRibbonControl(IDispatch* control) noexcept : Wrapper(control), m_control(control) {}

    std::u16string Id() override { return TextOf(GetProperty(m_control, u"Id")); }

    // Any object (or none) may be the context; the ribbon asks it for the
    // inspector interface.
    Ref<Object> Context() override { return WrapUnknown(UnknownOf(GetProperty(m_control, u"Context")).Get()); }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::RibbonControl; }

    IDispatch* m_control;  // the wrapper's own reference
};

class WinInspector final : public Wrapper<Inspector> {
public:
    explicit WinInspector(IDispatch* inspector) noexcept : Wrapper(inspector), m_inspector(inspector) {}

    Ref<Object> CurrentItem() override
    {
        return WrapUnknown(UnknownOf(GetProperty(m_inspector, u"CurrentItem")).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::Inspector; }

    IDispatch* m_inspector;  // the wrapper's own reference
};

}  // namespace

Ref<RibbonUI> WrapRibbonUI(IDispatch* ribbon)
{
    return WrapAs<RibbonUI, WinRibbonUI>(ribbon);
}

Ref<RibbonControl> WrapRibbonControl(IDispatch* control)
{
    return WrapAs<RibbonControl, WinRibbonControl>(control);
}

Ref<Inspector> WrapInspector(IDispatch* inspector)
{
    return WrapAs<Inspector, WinInspector>(inspector);
}

}  // namespace host::win
