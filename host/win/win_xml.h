// The XML DOM over MSXML ("MSXML.DOMDocument", msxml3): documents and
// elements reached through IXMLDOMDocument and IXMLDOMElement. Every call
// answers with MSXML's own HRESULT.
#pragma once

#include <windows.h>

#include <objbase.h>

#include "host/xml.h"

namespace host::win {

// {2933BF81-7B36-11D2-B20E-00C04F983E60} and {2933BF86-...}.
inline constexpr IID kIidXmlDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIidXmlElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// A host element over an object that answers IXMLDOMElement; null for null.
Ref<XmlElement> WrapXmlElement(IUnknown* element);

}  // namespace host::win
