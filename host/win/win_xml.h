// The XML DOM over MSXML ("MSXML.DOMDocument", msxml3): documents and
// elements reached through IXMLDOMDocument and IXMLDOMElement. Every call
// answers with MSXML's own HRESULT.
//
// msxml3.dll is loaded from the system folder (SystemMsxml) before the first
// document is created, and kept for the process. On Windows the ProgID's
// class names msxml3.dll by its full path and COM loads it from there with
// LOAD_WITH_ALTERED_SEARCH_PATH. Wine (8.0) registers that class
// ({2933BF90-...}) with its msxml.dll, whose DllGetClassObject is an export
// forwarded to "msxml3.DllGetClassObject"; the forwarder loads msxml3.dll by
// its bare name in the process's own search order, which begins with the
// host program's folder, and msxml3's imports (urlmon.dll among them) after
// it. The planting test showed a msxml3.dll beside the host program taken
// there, and a urlmon.dll there once msxml3 came from the system folder
// through the forwarder. With msxml3.dll loaded from the system folder
// first (its imports from there too), the forwarder finds the module loaded.
#pragma once

#include <windows.h>

#include <objbase.h>

#include "host/xml.h"

namespace host::win {

// {2933BF81-7B36-11D2-B20E-00C04F983E60} and {2933BF86-...}.
inline constexpr IID kIidXmlDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIidXmlElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// msxml3.dll from the system folder, loaded once and kept for the process;
// null when it could not be loaded (creating a document then fails as COM
// says).
HMODULE SystemMsxml() noexcept;

// A host element over an object that answers IXMLDOMElement; null for null.
Ref<XmlElement> WrapXmlElement(IUnknown* element);

}  // namespace host::win
