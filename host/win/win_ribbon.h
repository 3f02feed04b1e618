// Office's ribbon objects over the real COM, late bound (names looked up with
// GetIDsOfNames): the ribbon Outlook hands Ribbon_OnLoad (IRibbonUI:
// Invalidate), the control a callback is about (IRibbonControl: Id, Context)
// and Outlook's inspector window (_Inspector: CurrentItem). Each is answered
// when the COM object gives that interface; calls go through its IDispatch,
// so no Office type library or header is needed.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "host/office.h"

namespace host::win {

// {000C03A7-0000-0000-C000-000000000046}, {000C0395-...}, {00063005-...}.
inline constexpr IID kIidRibbonUI = {0x000C03A7, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidRibbonControl = {
    0x000C0395, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidInspector = {0x00063005, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Each null for a null pointer; the pointer is the interface the object gave
// (a dual interface, so its IDispatch).
Ref<RibbonUI> WrapRibbonUI(IDispatch* ribbon);
Ref<RibbonControl> WrapRibbonControl(IDispatch* control);
Ref<Inspector> WrapInspector(IDispatch* inspector);

}  // namespace host::win
