// The ribbon's markup, built at every request with the platform's XML DOM
// from the element table, which the build fills and gives full ids to.
#include <new>
#include <string>
#include <string_view>

#include "host/com_error.h"
#include "ribbon/ribbon.h"

namespace qev {
namespace {

constexpr char16_t kDomProgId[] = u"MSXML.DOMDocument";
constexpr char16_t kCustomUiNamespace[] = u"http://schemas.microsoft.com/office/2006/01/customui";

struct Attribute {
    std::u16string_view name;
    std::u16string_view value;
};

// Creates an element, appends it to its parent (the document itself when
// there is none) and sets its attributes in order.
HRESULT MakeElement(host::XmlDocument& document, host::XmlElement* parent, std::u16string_view name,
                    std::initializer_list<Attribute> attributes, host::Ref<host::XmlElement>& element)
{
    HRESULT hr = document.CreateElement(name, element);
    if (FAILED(hr)) return hr;
    hr = parent ? parent->AppendChild(element.Get()) : document.AppendChild(element.Get());
    if (FAILED(hr)) return hr;
    for (const Attribute& attribute : attributes) {
        hr = element->SetAttribute(attribute.name, attribute.value);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// The element an XPath query finds; null when it finds none or no element.
host::Ref<host::XmlElement> FindParent(host::XmlDocument& document, const std::u16string& query, HRESULT& hr)
{
    host::Ref<host::Object> node;
    hr = document.SelectSingleNode(query, node);
    if (FAILED(hr)) return nullptr;
    hr = S_OK;
    return host::QueryAs<host::XmlElement>(node.Get());
}

std::u16string FullId(ElementKind kind, std::u16string_view shortId)
{
    static constexpr std::u16string_view kMarkers[] = {u".x-tabs.", u".x-groups.", u".x-buttons.",
                                                       u".x-labelcontrols."};
    return std::u16string(kRibbonIdNamespace).append(kMarkers[static_cast<int>(kind)]).append(shortId);
}

// One row's element under its parent; the row takes the full ids.
HRESULT AddRow(host::XmlDocument& document, host::XmlElement* tabs, RibbonElement& row)
{
    host::Ref<host::XmlElement> element;
    switch (row.kind) {
        case ElementKind::Tab: {
            const std::u16string id = FullId(row.kind, row.id);
            const HRESULT hr = MakeElement(
                document, tabs, u"tab",
                {{u"id", id}, {u"getLabel", u"Ribbon_OnGetLabel"}, {u"getVisible", u"Ribbon_OnGetVisible"}}, element);
            if (FAILED(hr)) return hr;
            row.id = id;
            return S_OK;
        }
        case ElementKind::Group: {
            const std::u16string id = FullId(row.kind, row.id);
            const std::u16string parentId = FullId(ElementKind::Tab, row.parentId);
            HRESULT hr = S_OK;
            const host::Ref<host::XmlElement> parent =
                FindParent(document, u"//tab[@id = \"" + parentId + u"\"]", hr);
            if (FAILED(hr)) return hr;
            hr = MakeElement(document, parent.Get(), u"group",
                             {{u"id", id}, {u"getLabel", u"Ribbon_OnGetLabel"}, {u"getVisible", u"Ribbon_OnGetVisible"}},
                             element);
            if (FAILED(hr)) return hr;
            row.id = id;
            row.parentId = parentId;
            return S_OK;
        }
        case ElementKind::Button:
        case ElementKind::LabelControl: {
            const std::u16string id = FullId(row.kind, row.id);
            const std::u16string parentId = FullId(ElementKind::Group, row.parentId);
            HRESULT hr = S_OK;
            const host::Ref<host::XmlElement> parent =
                FindParent(document, u"//group[@id=\"" + parentId + u"\"]", hr);
            if (FAILED(hr)) return hr;
            if (row.kind == ElementKind::Button) {
                Attribute image{};
                if (!row.imageMso.empty())
                    image = {u"imageMso", row.imageMso};
                else if (row.imageKind != ImageKind::None && row.imageId != 0)
                    image = {u"getImage", u"Ribbon_OnGetImage"};
                const Attribute tail[] = {{u"getVisible", u"Ribbon_OnGetVisible"},
                                          {u"getEnabled", u"Ribbon_OnGetEnabled"},
                                          {u"getLabel", u"Ribbon_OnGetLabel"},
                                          {u"getSize", u"Ribbon_OnGetSize"},
                                          {u"onAction", u"Ribbon_OnAction"},
                                          {u"getScreentip", u"Ribbon_OnGetScreentip"},
                                          {u"getSupertip", u"Ribbon_OnGetSupertip"}};
                hr = MakeElement(document, parent.Get(), u"button", {{u"id", id}}, element);
                if (SUCCEEDED(hr) && !image.name.empty()) hr = element->SetAttribute(image.name, image.value);
                for (const Attribute& a : tail) {
                    if (FAILED(hr)) break;
                    hr = element->SetAttribute(a.name, a.value);
                }
            } else {
                hr = MakeElement(document, parent.Get(), u"labelControl",
                                 {{u"id", id},
                                  {u"getVisible", u"Ribbon_OnGetVisible"},
                                  {u"getEnabled", u"Ribbon_OnGetEnabled"},
                                  {u"getLabel", u"Ribbon_OnGetLabel"},
                                  {u"getScreentip", u"Ribbon_OnGetScreentip"},
                                  {u"getSupertip", u"Ribbon_OnGetSupertip"}},
                                 element);
            }
            if (FAILED(hr)) return hr;
            row.id = id;
            row.parentId = parentId;
            return S_OK;
        }
    }
    return S_OK;  // a kind the markup does not know: skipped
}

}  // namespace

HRESULT Ribbon::GetCustomUI(std::u16string_view ribbonId, std::u16string* markup)
{
    if (!markup) return E_POINTER;
    try {
        return BuildRibbonXml(ribbonId, *markup);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const host::ComError& e) {
        return e.Error();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT Ribbon::BuildRibbonXml(std::u16string_view /*ribbonId: every ribbon gets the same*/, std::u16string& markup)
{
    host::Ref<host::XmlDocument> document;
    HRESULT hr = m_services.classes.CreateXmlDocument(kDomProgId, document);
    if (FAILED(hr)) return hr;

    host::Ref<host::XmlElement> customUI, ribbon, tabs;
    hr = MakeElement(*document, nullptr, u"customUI", {{u"xmlns", kCustomUiNamespace}, {u"onLoad", u"Ribbon_OnLoad"}},
                     customUI);
    if (SUCCEEDED(hr)) hr = MakeElement(*document, customUI.Get(), u"ribbon", {}, ribbon);
    if (SUCCEEDED(hr)) hr = MakeElement(*document, ribbon.Get(), u"tabs", {}, tabs);
    if (FAILED(hr)) return hr;

    FillElements_();
    for (RibbonElement& row : m_elements.Rows()) {
        hr = AddRow(*document, tabs.Get(), row);
        if (FAILED(hr)) return hr;
    }
    return document->Xml(markup);
}

}  // namespace qev
