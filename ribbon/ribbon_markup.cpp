// The ribbon's markup, built at every request with the platform's XML DOM
// from the element table, which the build fills and gives full ids to.
#include <new>
#include <span>
#include <vector>
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
                    std::span<const Attribute> attributes, host::Ref<host::XmlElement>& element)
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

// One row's element under its parent; the row takes the full ids. The tab
// hangs under tabs; a group finds its tab, a button or label control its
// group, by the query text of its kind.
HRESULT AddRow(host::XmlDocument& document, host::XmlElement* tabs, RibbonElement& row)
{
    const bool isTab = row.kind == ElementKind::Tab;
    const bool isGroup = row.kind == ElementKind::Group;
    const bool isButton = row.kind == ElementKind::Button;
    if (!isTab && !isGroup && !isButton && row.kind != ElementKind::LabelControl) return S_OK;  // skipped

    const std::u16string id = FullId(row.kind, row.id);
    std::vector<Attribute> attributes{{u"id", id}};
    if (isButton && !row.imageMso.empty())
        attributes.push_back({u"imageMso", row.imageMso});
    else if (isButton && row.imageKind != ImageKind::None && row.imageId != 0)
        attributes.push_back({u"getImage", u"Ribbon_OnGetImage"});
    if (isTab || isGroup) {
        attributes.insert(attributes.end(), {{u"getLabel", u"Ribbon_OnGetLabel"}, {u"getVisible", u"Ribbon_OnGetVisible"}});
    } else {
        attributes.insert(attributes.end(), {{u"getVisible", u"Ribbon_OnGetVisible"},
                                             {u"getEnabled", u"Ribbon_OnGetEnabled"},
                                             {u"getLabel", u"Ribbon_OnGetLabel"}});
        if (isButton)
            attributes.insert(attributes.end(), {{u"getSize", u"Ribbon_OnGetSize"}, {u"onAction", u"Ribbon_OnAction"}});
        attributes.insert(attributes.end(), {{u"getScreentip", u"Ribbon_OnGetScreentip"},
                                             {u"getSupertip", u"Ribbon_OnGetSupertip"}});
    }

    HRESULT hr = S_OK;
    std::u16string parentId;
    host::Ref<host::XmlElement> parent = host::Ref<host::XmlElement>::Share(tabs);
    if (!isTab) {
        parentId = FullId(isGroup ? ElementKind::Tab : ElementKind::Group, row.parentId);
        const std::u16string query = isGroup ? u"//tab[@id = \"" + parentId + u"\"]" : u"//group[@id=\"" + parentId + u"\"]";
        parent = FindParent(document, query, hr);
        if (FAILED(hr)) return hr;
    }
    const std::u16string_view name = isTab ? u"tab" : isGroup ? u"group" : isButton ? u"button" : u"labelControl";
    host::Ref<host::XmlElement> element;
    hr = MakeElement(document, parent.Get(), name, attributes, element);
    if (FAILED(hr)) return hr;
    row.id = id;
    if (!isTab) row.parentId = parentId;
    return S_OK;
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
    const Attribute customUIAttributes[] = {{u"xmlns", kCustomUiNamespace}, {u"onLoad", u"Ribbon_OnLoad"}};
    hr = MakeElement(*document, nullptr, u"customUI", customUIAttributes, customUI);
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
