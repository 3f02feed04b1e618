// The XML document object model the ribbon's markup is built with: MSXML's
// DOMDocument on Windows ("MSXML.DOMDocument", version 3), a DOM with XPath
// in the native build. Every call answers with an HRESULT, as MSXML does.
#pragma once

#include <string>
#include <string_view>

#include "host/hresult.h"
#include "host/object.h"

namespace host {

// An element of the document (IXMLDOMElement).
class XmlElement : public Object {
public:
    static constexpr Iface kIface = Iface::XmlElement;

    // appendChild: the child becomes this element's last child.
    virtual HRESULT AppendChild(XmlElement* child) = 0;
    // setAttribute with a string value; attributes keep the order they were set in.
    virtual HRESULT SetAttribute(std::u16string_view name, std::u16string_view value) = 0;

protected:
    ~XmlElement() = default;
};

// A document (IXMLDOMDocument).
class XmlDocument : public Object {
public:
    static constexpr Iface kIface = Iface::XmlDocument;

    // createElement: a new element that belongs to no parent yet.
    virtual HRESULT CreateElement(std::u16string_view name, Ref<XmlElement>& out) = 0;
    // appendChild on the document itself.
    virtual HRESULT AppendChild(XmlElement* child) = 0;
    // selectSingleNode: the first node the XPath expression selects (a node
    // that is asked for XmlElement by the caller), or S_FALSE and null when
    // none.
    virtual HRESULT SelectSingleNode(std::u16string_view xpath, Ref<Object>& node) = 0;
    // The xml property: the document's own serialisation.
    virtual HRESULT Xml(std::u16string& out) = 0;

protected:
    ~XmlDocument() = default;
};

}  // namespace host
