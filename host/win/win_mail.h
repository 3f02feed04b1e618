// Outlook's mail objects over the real COM, late bound like the application:
// the namespace "MAPI", folders (MAPIFolder), their item collections
// (_Items, with ItemsEvents), mail items (_MailItem) and an explorer's
// selection. Every name is looked up with GetIDsOfNames; failed calls raise
// ComError with the object's own error and description.
//
// Each wrapper holds one reference to its COM object. Query answers the
// wrapper's own interface (Items also EventSource) and everything else as
// the object answers it (see QueryCom).
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "host/outlook.h"

namespace host::win {

// _MailItem, {00063034-0000-0000-C000-000000000046}: Query(Iface::MailItem)
// answers only for objects that give this interface.
inline constexpr IID kIidMailItem = {0x00063034, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Each null for a null pointer.
Ref<Namespace> WrapNamespace(IDispatch* nameSpace);
Ref<Folder> WrapFolder(IDispatch* folder);
Ref<Items> WrapItems(IDispatch* items);
// mailItem is the object's _MailItem interface (a dual interface: its
// IDispatch face is what the wrapper calls).
Ref<MailItem> WrapMailItem(IDispatch* mailItem);
Ref<Selection> WrapSelection(IDispatch* selection);

}  // namespace host::win
