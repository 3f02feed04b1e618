#include "host/win/win_xml.h"

#include <msxml2.h>

#include "host/win/win_accounts.h"
#include "host/win/win_libraries.h"
#include "host/win/win_variant.h"
#include "host/win/win_wrapper.h"

namespace host::win {
namespace {

// The element's or document's node that a child is appended to, and the
// node of the child (an element made by this DOM).
HRESULT Append(IXMLDOMNode* parent, XmlElement* child)
{
    IUnknown* unknown = ComUnknownOf(child);
    if (!unknown) return E_INVALIDARG;
    ComPtr<IXMLDOMNode> node;
    HRESULT hr = unknown->QueryInterface(IID_IXMLDOMNode, node.OutVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IXMLDOMNode> appended;
    return parent->appendChild(node.Get(), appended.Out());
}

class WinXmlElement final : public Wrapper<XmlElement> {
public:
    explicit WinXmlElement(IXMLDOMElement* element) noexcept : Wrapper(element), m_element(element) {}

    HRESULT AppendChild(XmlElement* child) override { return Append(m_element, child); }

    HRESULT SetAttribute(std::u16string_view name, std::u16string_view value) override
    {
        const Bstr attribute(name);
        const Bstr text(value);
        return m_element->setAttribute(attribute.Get(), TextArgument(text));
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::XmlElement; }

    IXMLDOMElement* m_element;  // the wrapper's own reference
};

class WinXmlDocument final : public Wrapper<XmlDocument> {
public:
    explicit WinXmlDocument(IXMLDOMDocument* document) noexcept : Wrapper(document), m_document(document) {}

    HRESULT CreateElement(std::u16string_view name, Ref<XmlElement>& out) override
    {
        out.Reset();
        const Bstr tag(name);
        ComPtr<IXMLDOMElement> element;
        const HRESULT hr = m_document->createElement(tag.Get(), element.Out());
        if (FAILED(hr)) return hr;
        if (!element) return E_POINTER;
        out = WrapXmlElement(element.Get());
        return hr;
    }

    HRESULT AppendChild(XmlElement* child) override { return Append(m_document, child); }

    HRESULT SelectSingleNode(std::u16string_view xpath, Ref<Object>& node) override
    {
        node.Reset();
        const Bstr query(xpath);
        ComPtr<IXMLDOMNode> found;
        const HRESULT hr = m_document->selectSingleNode(query.Get(), found.Out());
        if (FAILED(hr) || !found) return FAILED(hr) ? hr : S_FALSE;
        node = WrapUnknown(found.Get());
        return S_OK;
    }

    HRESULT Xml(std::u16string& out) override
    {
        Bstr text;
        const HRESULT hr = m_document->get_xml(text.Out());
        if (FAILED(hr)) return hr;
        out = text.Text();
        return S_OK;
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::XmlDocument; }

    IXMLDOMDocument* m_document;  // the wrapper's own reference
};

}  // namespace

HMODULE SystemMsxml() noexcept
{
    static const HMODULE module = LoadSystemLibrary(L"msxml3.dll");
    return module;
}

Ref<XmlElement> WrapXmlElement(IUnknown* element)
{
    if (!element) return nullptr;
    ComPtr<IXMLDOMElement> typed;
    if (FAILED(element->QueryInterface(kIidXmlElement, typed.OutVoid())) || !typed) return nullptr;
    return Ref<XmlElement>::Adopt(new WinXmlElement(typed.Get()));
}

HRESULT WinComClasses::CreateXmlDocument(std::u16string_view progId, Ref<XmlDocument>& out)
{
    out = nullptr;
    SystemMsxml();
    const std::u16string name(progId);
    CLSID clsid = {};
    HRESULT hr = CLSIDFromProgID(W(name.c_str()), &clsid);
    if (FAILED(hr)) return hr;
    IXMLDOMDocument* created = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDocument, reinterpret_cast<void**>(&created));
    const auto document = ComPtr<IXMLDOMDocument>::Adopt(created);
    if (FAILED(hr)) return hr;
    if (!document) return E_POINTER;
    try {
        out = Ref<XmlDocument>::Adopt(new WinXmlDocument(document.Get()));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return hr;
}

}  // namespace host::win
