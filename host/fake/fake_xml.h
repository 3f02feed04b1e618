// The in-memory XML DOM, over pugixml: documents whose elements are made
// detached and appended later, attributes kept in the order set, XPath 1.0
// for selectSingleNode, and a serialisation without declaration or
// indentation, as MSXML's xml property gives.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "host/fake/fake_ledger.h"
#include "host/xml.h"

namespace host::fake {

class FakeXmlDocument;

class FakeXmlElement final : public Counted<XmlElement> {
public:
    FakeXmlElement(Ledger& ledger, HostCalls& calls, FakeXmlDocument& document, pugi::xml_node node, int number);

    Object* Query(Iface iface) noexcept override;
    HRESULT AppendChild(XmlElement* child) override;
    HRESULT SetAttribute(std::u16string_view name, std::u16string_view value) override;

    pugi::xml_node Node() const noexcept { return m_node; }
    void Rebind(pugi::xml_node node) noexcept { m_node = node; }

private:
    HostCalls& m_calls;
    FakeXmlDocument& m_document;
    pugi::xml_node m_node;
};

class FakeXmlDocument final : public Counted<XmlDocument> {
public:
    FakeXmlDocument(Ledger& ledger, HostCalls& calls, int number);
    ~FakeXmlDocument();

    Object* Query(Iface iface) noexcept override;
    HRESULT CreateElement(std::u16string_view name, Ref<XmlElement>& out) override;
    HRESULT AppendChild(XmlElement* child) override;
    HRESULT SelectSingleNode(std::u16string_view xpath, Ref<Object>& node) override;
    HRESULT Xml(std::u16string& out) override;

    // Moves child (made by this document) under parent (the document when null).
    HRESULT Attach(pugi::xml_node parent, XmlElement* child);

private:
    FakeXmlElement* Wrap(pugi::xml_node node);

    Ledger& m_ledger;
    HostCalls& m_calls;
    int m_number;
    pugi::xml_document m_document;
    pugi::xml_document m_detached;  // elements made and not appended yet
    std::vector<std::unique_ptr<FakeXmlElement>> m_elements;
};

}  // namespace host::fake
