#include "host/win/win_office.h"

#include "host/win/win_wrapper.h"

namespace host::win {
namespace {

void Put(IDispatch* object, std::u16string_view name, const VARIANT& value)
{
    InvokeByName(object, name, DISPATCH_PROPERTYPUT, std::span<const VARIANT>(&value, 1));
}

void PutText(IDispatch* object, std::u16string_view name, std::u16string_view text)
{
    const Bstr value(text);
    Put(object, name, TextArgument(value));
}

bool BoolOf(const ComVariant& value)
{
    if (value.Type() == VT_BOOL) return value.Get().boolVal != VARIANT_FALSE;
    return Int32Of(value) != 0;
}

class WinCommandBarButton final : public SourceWrapper<CommandBarButton> {
public:
    explicit WinCommandBarButton(IDispatch* button) noexcept : SourceWrapper(button), m_button(button) {}

    void SetCaption(std::u16string_view caption) override { PutText(m_button, u"Caption", caption); }
    void SetTooltipText(std::u16string_view tooltip) override { PutText(m_button, u"TooltipText", tooltip); }
    void SetTag(std::u16string_view tag) override { PutText(m_button, u"Tag", tag); }
    void SetStyle(std::int32_t style) override { Put(m_button, u"Style", Int32Argument(style)); }
    void SetEnabled(bool enabled) override { Put(m_button, u"Enabled", BoolArgument(enabled)); }
    void PasteFace() override { CallMethod(m_button, u"PasteFace"); }

private:
    bool Answers(Iface iface) const noexcept override
    {
        return iface == Iface::CommandBarButton || iface == Iface::EventSource;
    }

    IDispatch* m_button;  // the wrapper's own reference
};

class WinCommandBarControls final : public Wrapper<CommandBarControls> {
public:
    explicit WinCommandBarControls(IDispatch* controls) noexcept : Wrapper(controls), m_controls(controls) {}

    Ref<Object> Add(std::int32_t type, bool temporary) override
    {
        // Add(Type, Id, Parameter, Before, Temporary).
        const VARIANT args[] = {Int32Argument(type), MissingArgument(), MissingArgument(), MissingArgument(),
                                BoolArgument(temporary)};
        const ComVariant control = CallMethod(m_controls, u"Add", args);
        return WrapUnknown(UnknownOf(control).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::CommandBarControls; }

    IDispatch* m_controls;  // the wrapper's own reference
};

class WinCommandBar final : public Wrapper<CommandBar> {
public:
    explicit WinCommandBar(IDispatch* bar) noexcept : Wrapper(bar), m_bar(bar) {}

    std::int32_t Position() override { return Int32Of(GetProperty(m_bar, u"Position")); }
    std::int32_t Top() override { return Int32Of(GetProperty(m_bar, u"Top")); }
    std::int32_t Left() override { return Int32Of(GetProperty(m_bar, u"Left")); }
    bool Visible() override { return BoolOf(GetProperty(m_bar, u"Visible")); }
    void SetPosition(std::int32_t position) override { Put(m_bar, u"Position", Int32Argument(position)); }
    void SetTop(std::int32_t top) override { Put(m_bar, u"Top", Int32Argument(top)); }
    void SetLeft(std::int32_t left) override { Put(m_bar, u"Left", Int32Argument(left)); }
    void SetProtection(std::int32_t protection) override { Put(m_bar, u"Protection", Int32Argument(protection)); }
    void SetVisible(bool visible) override { Put(m_bar, u"Visible", BoolArgument(visible)); }

    Ref<CommandBarControls> Controls() override
    {
        return WrapCommandBarControls(DispatchOf(GetProperty(m_bar, u"Controls")).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::CommandBar; }

    IDispatch* m_bar;  // the wrapper's own reference
};

class WinCommandBars final : public Wrapper<CommandBars> {
public:
    explicit WinCommandBars(IDispatch* bars) noexcept : Wrapper(bars), m_bars(bars) {}

    Ref<CommandBar> Add(std::u16string_view name, bool temporary) override
    {
        // Add(Name, Position, MenuBar, Temporary).
        const Bstr text(name);
        const VARIANT args[] = {TextArgument(text), MissingArgument(), MissingArgument(), BoolArgument(temporary)};
        return WrapCommandBar(DispatchOf(CallMethod(m_bars, u"Add", args)).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::CommandBars; }

    IDispatch* m_bars;  // the wrapper's own reference
};

}  // namespace

Ref<CommandBars> WrapCommandBars(IDispatch* bars)
{
    return WrapAs<CommandBars, WinCommandBars>(bars);
}

Ref<CommandBar> WrapCommandBar(IDispatch* bar)
{
    return WrapAs<CommandBar, WinCommandBar>(bar);
}

Ref<CommandBarControls> WrapCommandBarControls(IDispatch* controls)
{
    return WrapAs<CommandBarControls, WinCommandBarControls>(controls);
}

Ref<CommandBarButton> WrapCommandBarButton(IDispatch* button)
{
    return WrapAs<CommandBarButton, WinCommandBarButton>(button);
}

}  // namespace host::win
