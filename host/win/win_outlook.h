// Outlook's objects over the real COM: host objects that wrap IDispatch and
// IUnknown pointers, reach Outlook late bound (names looked up with
// GetIDsOfNames) and subscribe event sinks through connection points.
//
// Every wrapper holds one reference to its COM object and releases it when
// the last host reference goes. Query answers a host interface when the COM
// object has the matching one: Unknown always, Dispatch (IDispatch), Stream
// (IStream), EventSource (IConnectionPointContainer); Namespace, Folder, Items
// and Selection (IDispatch); MailItem (_MailItem); MapiProp, MsgStore,
// MapiFolder, MapiSession (IMAPIProp, IMsgStore, IMAPIFolder, IMAPISession);
// AccountManager (IOlkAccountManager); CommandBarButton (Office's
// _CommandBarButton), CommandBars, CommandBar and CommandBarControls
// (IDispatch); RibbonUI, RibbonControl and Inspector (Office's IRibbonUI and
// IRibbonControl, Outlook's _Inspector); XmlElement (IXMLDOMElement).
// Application, Explorer, XmlDocument and Picture only on the wrappers made
// for them. Failures of COM calls raise ComError.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objidl.h>
#include <ocidl.h>

#include "host/outlook.h"
#include "host/variant.h"

namespace host::win {

// The interface id of an event interface.
const IID& EventInterfaceId(EventInterface iface) noexcept;

// Outlook's Application object: Version, Explorers.Count, Explorers.Item(i),
// and its events. Null for a null pointer.
Ref<Application> WrapApplication(IDispatch* application);

// An explorer of Outlook. Null for a null pointer.
Ref<Explorer> WrapExplorer(IDispatch* explorer);

// Any automation object (an event's argument, an item): its Query answers
// Dispatch with a host::Dispatch that calls it by name. Null for a null pointer.
Ref<Object> WrapDispatch(IDispatch* object);

// Any COM object. Null for a null pointer.
Ref<Object> WrapUnknown(IUnknown* object);

// An IStream. Null for a null pointer.
Ref<Stream> WrapStream(IStream* stream);

}  // namespace host::win
