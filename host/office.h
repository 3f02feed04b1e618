// Office's objects the add-in's user interface uses: the ribbon of Outlook
// 2010 and later, the command bars of Outlook 2003 and 2007.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/object.h"
#include "host/outlook.h"

namespace host {

// The ribbon as Outlook hands it to the add-in when the add-in's tab loads
// (IRibbonUI).
class RibbonUI : public Object {
public:
    static constexpr Iface kIface = Iface::RibbonUI;

    // Has Outlook ask every callback of the add-in's tab again; throws ComError.
    virtual void Invalidate() = 0;

protected:
    ~RibbonUI() = default;
};

// The control a ribbon callback is about (IRibbonControl).
class RibbonControl : public Object {
public:
    static constexpr Iface kIface = Iface::RibbonControl;

    // Id: the control's id in the markup; throws ComError.
    virtual std::u16string Id() = 0;
    // Context: the window the control is in (an explorer or an inspector),
    // or null; throws ComError.
    virtual Ref<Object> Context() = 0;

protected:
    ~RibbonControl() = default;
};

// An inspector window of Outlook (_Inspector).
class Inspector : public Object {
public:
    static constexpr Iface kIface = Iface::Inspector;

    // CurrentItem: the item the window shows, or null; throws ComError.
    virtual Ref<Object> CurrentItem() = 0;

protected:
    ~Inspector() = default;
};

// Office's MsoControlType and MsoButtonStyle values the add-in uses.
inline constexpr std::int32_t kMsoControlButton = 1;
inline constexpr std::int32_t kMsoButtonIconAndCaption = 3;
inline constexpr std::int32_t kMsoBarNoCustomize = 1;

// A button on a command bar (CommandBarButton). Its Click event comes through
// its connection points (CommandBarButtonEvents). Every call throws ComError
// on failure.
class CommandBarButton : public EventSource {
public:
    static constexpr Iface kIface = Iface::CommandBarButton;

    virtual void SetCaption(std::u16string_view caption) = 0;
    virtual void SetTooltipText(std::u16string_view tooltip) = 0;
    virtual void SetTag(std::u16string_view tag) = 0;
    virtual void SetStyle(std::int32_t style) = 0;
    virtual void SetEnabled(bool enabled) = 0;
    // Takes the picture on the clipboard as the button's face.
    virtual void PasteFace() = 0;

protected:
    ~CommandBarButton() = default;
};

// A bar's controls (CommandBarControls).
class CommandBarControls : public Object {
public:
    static constexpr Iface kIface = Iface::CommandBarControls;

    // Add(Type, Id, Parameter, Before, Temporary) with only Type (as a 32-bit
    // integer) and Temporary given: the new control, which may or may not be
    // a CommandBarButton; throws ComError.
    virtual Ref<Object> Add(std::int32_t type, bool temporary) = 0;

protected:
    ~CommandBarControls() = default;
};

// One command bar (CommandBar). Every call throws ComError on failure.
class CommandBar : public Object {
public:
    static constexpr Iface kIface = Iface::CommandBar;

    virtual std::int32_t Position() = 0;
    virtual std::int32_t Top() = 0;
    virtual std::int32_t Left() = 0;
    virtual bool Visible() = 0;
    virtual void SetPosition(std::int32_t position) = 0;
    virtual void SetTop(std::int32_t top) = 0;
    virtual void SetLeft(std::int32_t left) = 0;
    virtual void SetProtection(std::int32_t protection) = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual Ref<CommandBarControls> Controls() = 0;

protected:
    ~CommandBar() = default;
};

// An explorer's command bars (CommandBars).
class CommandBars : public Object {
public:
    static constexpr Iface kIface = Iface::CommandBars;

    // Add(Name, Position, MenuBar, Temporary) with Position and MenuBar not
    // given: the new bar; throws ComError (Office refuses a name in use).
    virtual Ref<CommandBar> Add(std::u16string_view name, bool temporary) = 0;

protected:
    ~CommandBars() = default;
};

}  // namespace host
