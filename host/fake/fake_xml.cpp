#include "host/fake/fake_xml.h"

#include "host/utf.h"

namespace host::fake {
namespace {

// MSXML's answers: a name that is no XML name, a second document element.
constexpr HRESULT kInvalidCharacter = static_cast<HRESULT>(0x80004005);
constexpr HRESULT kOnlyOneTopElement = static_cast<HRESULT>(0xC00CE556);
constexpr HRESULT kWrongDocument = static_cast<HRESULT>(0x80070057);

bool IsXmlName(std::u16string_view name)
{
    if (name.empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':' || c > 0x7F;
        const bool other = (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
        if (!letter && (i == 0 || !other)) return false;
    }
    return true;
}

}  // namespace

// ---- element ----

FakeXmlElement::FakeXmlElement(Ledger& ledger, HostCalls& calls, FakeXmlDocument& document, pugi::xml_node node,
                               int number)
    : Counted(ledger, "XmlElement", "XmlElement " + std::to_string(number)),
      m_calls(calls),
      m_document(document),
      m_node(node)
{
}

Object* FakeXmlElement::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("XmlElement.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::XmlElement) return Hand(static_cast<XmlElement*>(this));
    return nullptr;
}

HRESULT FakeXmlElement::AppendChild(XmlElement* child)
{
    if (const HRESULT hr = m_calls.Check("XmlElement.appendChild"); FAILED(hr)) return hr;
    return m_document.Attach(m_node, child);
}

HRESULT FakeXmlElement::SetAttribute(std::u16string_view name, std::u16string_view value)
{
    if (const HRESULT hr = m_calls.Check("XmlElement.setAttribute"); FAILED(hr)) return hr;
    if (!IsXmlName(name)) return kInvalidCharacter;
    const std::string key = Utf8(name);
    pugi::xml_attribute attribute = m_node.attribute(key.c_str());
    if (!attribute) attribute = m_node.append_attribute(key.c_str());
    attribute.set_value(Utf8(value).c_str());
    return S_OK;
}

// ---- document ----

FakeXmlDocument::FakeXmlDocument(Ledger& ledger, HostCalls& calls, int number)
    : Counted(ledger, "XmlDocument", "XmlDocument " + std::to_string(number)),
      m_ledger(ledger),
      m_calls(calls),
      m_number(number)
{
}

FakeXmlDocument::~FakeXmlDocument() = default;

Object* FakeXmlDocument::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("XmlDocument.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::XmlDocument) return Hand(static_cast<XmlDocument*>(this));
    return nullptr;
}

FakeXmlElement* FakeXmlDocument::Wrap(pugi::xml_node node)
{
    for (const auto& element : m_elements)
        if (element->Node() == node) return element.get();
    const int number = m_number * 1000 + static_cast<int>(m_elements.size()) + 1;
    m_elements.push_back(std::make_unique<FakeXmlElement>(m_ledger, m_calls, *this, node, number));
    return m_elements.back().get();
}

HRESULT FakeXmlDocument::CreateElement(std::u16string_view name, Ref<XmlElement>& out)
{
    out.Reset();
    if (const HRESULT hr = m_calls.Check("XmlDocument.createElement"); FAILED(hr)) return hr;
    if (!IsXmlName(name)) return kInvalidCharacter;
    const pugi::xml_node node = m_detached.append_child(Utf8(name).c_str());
    out = Ref<XmlElement>::Share(Wrap(node));
    return S_OK;
}

HRESULT FakeXmlDocument::AppendChild(XmlElement* child)
{
    if (const HRESULT hr = m_calls.Check("XmlDocument.appendChild"); FAILED(hr)) return hr;
    if (m_document.document_element()) return kOnlyOneTopElement;
    return Attach(m_document, child);
}

HRESULT FakeXmlDocument::Attach(pugi::xml_node parent, XmlElement* child)
{
    if (!child) return E_INVALIDARG;
    FakeXmlElement* element = nullptr;
    for (const auto& e : m_elements)
        if (e.get() == static_cast<FakeXmlElement*>(child)) element = e.get();
    if (!element) return kWrongDocument;
    // pugixml moves nodes within one document only: the element's subtree is
    // copied into place and the element follows its copy.
    const pugi::xml_node old = element->Node();
    const pugi::xml_node placed = parent.append_copy(old);
    if (!placed) return E_OUTOFMEMORY;
    old.parent().remove_child(old);
    element->Rebind(placed);
    return S_OK;
}

HRESULT FakeXmlDocument::SelectSingleNode(std::u16string_view xpath, Ref<Object>& node)
{
    node.Reset();
    if (const HRESULT hr = m_calls.Check("XmlDocument.selectSingleNode"); FAILED(hr)) return hr;
    try {
        const pugi::xpath_node found = m_document.select_node(Utf8(xpath).c_str());
        if (!found.node()) return S_FALSE;
        node = Ref<Object>::Share(static_cast<XmlElement*>(Wrap(found.node())));
        return S_OK;
    } catch (const pugi::xpath_exception&) {
        return E_FAIL;
    }
}

HRESULT FakeXmlDocument::Xml(std::u16string& out)
{
    if (const HRESULT hr = m_calls.Check("XmlDocument.xml"); FAILED(hr)) return hr;
    struct Writer final : pugi::xml_writer {
        std::string text;
        void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
    } writer;
    m_document.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    out = Utf16(writer.text);
    return S_OK;
}

}  // namespace host::fake
