// Office's command bars over the real COM, late bound like Outlook's objects
// (names looked up with GetIDsOfNames, properties set with DISPATCH_PROPERTYPUT
// and its named argument): an explorer's CommandBars, a CommandBar, its
// Controls, and a CommandBarButton with its Click event through the
// button's connection points.
//
// Arguments the add-in leaves out are passed the way C++ callers of Office
// pass them: VT_ERROR with DISP_E_PARAMNOTFOUND, Office's "missing".
//
// Each wrapper holds one reference to its COM object. Query: see QueryCom;
// a CommandBarButton is an object that answers Office's _CommandBarButton,
// which is what tells a button from the other kinds of control.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "host/office.h"

namespace host::win {

// Office's dual interfaces of the command bars.
inline constexpr IID kIidCommandBars = {0x000C0302, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidCommandBar = {0x000C0304, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidCommandBarControls = {
    0x000C0306, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidCommandBarButton = {
    0x000C030E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Each null for a null pointer. The pointers are the objects' IDispatch (a
// dual interface of Office serves as one).
Ref<CommandBars> WrapCommandBars(IDispatch* bars);
Ref<CommandBar> WrapCommandBar(IDispatch* bar);
Ref<CommandBarControls> WrapCommandBarControls(IDispatch* controls);
Ref<CommandBarButton> WrapCommandBarButton(IDispatch* button);

}  // namespace host::win
