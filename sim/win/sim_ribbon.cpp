#include "sim/win/sim_ribbon.h"

#include <msxml2.h>
#include <olectl.h>

#include "addin/com/office_ribbon.h"
#include "host/utf.h"
#include "host/win/win_ribbon.h"
#include "host/win/win_xml.h"
#include "sim/transcript.h"
#include "sim/win/ribbon_picture.h"

namespace qev::sim::win {

using host::win::Bstr;
using host::win::ComPtr;
using host::win::ComVariant;

// ---- Outlook's objects ----

// The ribbon object Outlook hands Ribbon_OnLoad; IRibbonUI is a dual
// interface, answered here by the object's IDispatch.
class SimRibbonUI final : public SimDispatch {
public:
    SimRibbonUI(Ledger& ledger, std::function<void()> onInvalidate)
        : SimDispatch({{L"Invalidate", 1}, {L"InvalidateControl", 2}}, ledger, "RibbonUI", "RibbonUI"),
          m_onInvalidate(std::move(onInvalidate))
    {
    }

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT&, UINT*) override
    {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (id == 1) {
            if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            m_onInvalidate();
            return S_OK;
        }
        return id == 2 ? S_OK : DISP_E_MEMBERNOTFOUND;
    }
    void* QueryMore(REFIID iid) noexcept override
    {
        return IsEqualIID(iid, host::win::kIidRibbonUI) ? static_cast<IDispatch*>(this) : nullptr;
    }

    std::function<void()> m_onInvalidate;
};

// An inspector window: it shows no item, as the in-memory one.
class SimInspector final : public SimDispatch {
public:
    explicit SimInspector(Ledger& ledger) : SimDispatch({{L"CurrentItem", 1}}, ledger, "Inspector", "Inspector 1") {}

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT*) override
    {
        if (id != 1 || !IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
        SetDispatch(result, nullptr);
        return S_OK;
    }
    void* QueryMore(REFIID iid) noexcept override
    {
        return IsEqualIID(iid, host::win::kIidInspector) ? static_cast<IDispatch*>(this) : nullptr;
    }
};

// A control of the tab, in a window (its Context) or in none.
class SimRibbonControl final : public SimDispatch {
public:
    SimRibbonControl(Ledger& ledger, int number, std::u16string id, IDispatch* context)
        : SimDispatch({{L"Id", 1}, {L"Context", 2}, {L"Tag", 3}}, ledger, "RibbonControl",
                      "RibbonControl " + std::to_string(number)),
          m_id(std::move(id)),
          m_context(context)
    {
    }

private:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT*) override
    {
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
        switch (id) {
            case 1:
            case 3: {
                Bstr text(id == 1 ? m_id : std::u16string());
                result.vt = VT_BSTR;
                result.bstrVal = text.Detach();
                return S_OK;
            }
            case 2:
                SetDispatch(result, m_context);
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }
    void* QueryMore(REFIID iid) noexcept override
    {
        return IsEqualIID(iid, host::win::kIidRibbonControl) ? static_cast<IDispatch*>(this) : nullptr;
    }

    std::u16string m_id;
    IDispatch* m_context;  // the world's
};

// ---- the markup, read with MSXML ----

namespace {

std::u16string NodeName(IXMLDOMNode* node)
{
    Bstr name;
    if (FAILED(node->get_nodeName(name.Out()))) throw Failure("MSXML cannot name a node of the markup");
    return name.Text();
}

// The namespace a node is in; empty for none.
std::u16string NamespaceOf(IXMLDOMNode* node)
{
    Bstr uri;
    if (FAILED(node->get_namespaceURI(uri.Out()))) return {};
    return uri.Text();
}

// "@ " + two blanks per depth + the element's name and its attributes, in
// document order; each element's name and id go to elements.
void Canonical(IXMLDOMNode* node, int depth, std::vector<std::string>& lines,
               std::vector<std::pair<std::string, std::string>>& elements)
{
    const std::u16string outer = depth == 0 ? std::u16string() : NamespaceOf(node);
    ComPtr<IXMLDOMNodeList> children;
    long count = 0;
    if (FAILED(node->get_childNodes(children.Out())) || !children || FAILED(children->get_length(&count)))
        throw Failure("MSXML cannot list the markup's nodes");
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        DOMNodeType type = NODE_INVALID;
        if (FAILED(children->get_item(i, child.Out())) || !child || FAILED(child->get_nodeType(&type)))
            throw Failure("MSXML cannot read a node of the markup");
        if (type != NODE_ELEMENT) continue;
        const std::string name = host::Utf8(NodeName(child.Get()));
        std::string line = "@ " + std::string(static_cast<std::size_t>(2 * depth), ' ') + name;
        std::string id;
        // A default namespace declared here, written first (where the add-in
        // sets it). Wine's msxml3 has no attribute node for a declaration it
        // parsed (its attribute list answers E_OUTOFMEMORY), so the
        // declaration is read from the namespace the element is in.
        Bstr prefix;
        const std::u16string inner = NamespaceOf(child.Get());
        if (SUCCEEDED(child->get_prefix(prefix.Out())) && prefix.Text().empty() && inner != outer)
            line += " xmlns=\"" + EscapeText(inner) + "\"";
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        long attributeCount = 0;
        if (FAILED(child->get_attributes(attributes.Out())) || !attributes ||
            FAILED(attributes->get_length(&attributeCount)))
            throw Failure("MSXML cannot list an element's attributes");
        for (long j = 0; j < attributeCount; ++j) {
            ComPtr<IXMLDOMNode> attribute;
            ComVariant value;
            if (FAILED(attributes->get_item(j, attribute.Out())) || !attribute) continue;  // a declaration, above
            const std::string attributeName = host::Utf8(NodeName(attribute.Get()));
            if (attributeName == "xmlns") continue;
            if (FAILED(attribute->get_nodeValue(value.Out())))
                throw Failure("MSXML cannot read an attribute of the markup");
            const std::u16string text = host::win::TextOf(value);
            if (attributeName == "id") id = host::Utf8(text);
            line += " " + attributeName + "=\"" + EscapeText(text) + "\"";
        }
        lines.push_back(std::move(line));
        elements.emplace_back(name, std::move(id));
        Canonical(child.Get(), depth + 1, lines, elements);
    }
}

std::vector<std::string> MarkupLines(BSTR markup, std::vector<std::pair<std::string, std::string>>& elements)
{
    // As Outlook's MSXML comes on Windows: from the system folder, whatever
    // Wine's msxml.dll forwards by name (host/win/win_xml.h).
    host::win::SystemMsxml();
    CLSID clsid = {};
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(CLSIDFromProgID(L"MSXML.DOMDocument", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, host::win::kIidXmlDocument, document.OutVoid())))
        throw Failure("MSXML is not there to read the markup");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(document->loadXML(markup, &loaded)) || loaded != VARIANT_TRUE)
        throw Failure("the markup is not well-formed XML");
    std::vector<std::string> lines;
    elements.clear();
    Canonical(document.Get(), 0, lines, elements);
    return lines;
}

// Outlook's names of the callbacks as the markup gives them.
std::wstring MethodOf(const std::string& callback)
{
    static const std::pair<const char*, const wchar_t*> kMethods[] = {
        {"getLabel", L"Ribbon_OnGetLabel"},       {"getScreentip", L"Ribbon_OnGetScreentip"},
        {"getSupertip", L"Ribbon_OnGetSupertip"}, {"getSize", L"Ribbon_OnGetSize"},
        {"getVisible", L"Ribbon_OnGetVisible"},   {"getEnabled", L"Ribbon_OnGetEnabled"},
        {"getImage", L"Ribbon_OnGetImage"},       {"getImageMso", L"Ribbon_OnGetImageMso"},
        {"onAction", L"Ribbon_OnAction"},
    };
    for (const auto& [name, method] : kMethods)
        if (callback == name) return method;
    throw Failure("no ribbon callback " + callback);
}

// A callback's answer as the transcript shows it.
std::string AnswerText(const ComVariant& value)
{
    switch (value.Type()) {
        case VT_EMPTY:
            return "-";
        case VT_BSTR:
            return "\"" + EscapeText(Bstr::TextOf(value.Get().bstrVal)) + "\"";
        case VT_BOOL:
            return value.Get().boolVal != VARIANT_FALSE ? "true" : "false";
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return PictureText(value.Get().punkVal);
        default:
            return std::to_string(host::win::Int32Of(value));
    }
}

}  // namespace

std::string PictureText(IUnknown* picture)
{
    ComPtr<IPicture> typed;
    OLE_HANDLE handle = 0;
    if (!picture || FAILED(picture->QueryInterface(IID_IPicture, typed.OutVoid())) || FAILED(typed->get_Handle(&handle)))
        return "-";
    BITMAP info = {};
    if (GetObjectW(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof(info), &info) != sizeof(info))
        return "-";
    return "picture " + std::to_string(info.bmWidth) + "x" + std::to_string(info.bmHeight);
}

void RegisterOfficeStandIn(const BuiltFiles& files)
{
    std::wstring path = files.addinFolder + L"\\generated\\office_ribbon.tlb";
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(hr)) {
        hr = RegisterTypeLib(library, path.data(), nullptr);
        library->Release();
    }
    if (FAILED(hr))
        throw std::runtime_error("cannot register the stand-in of Office's type library (" + std::to_string(hr) + ")");
}

// ---- the ribbon ----

SimRibbon::SimRibbon(Ledger& ledger, SimApplication& application, std::function<void()> onInvalidate)
    : m_ledger(ledger),
      m_application(application),
      m_ribbonUI(std::make_unique<SimRibbonUI>(ledger, std::move(onInvalidate))),
      m_inspector(std::make_unique<SimInspector>(ledger))
{
}

SimRibbon::~SimRibbon() = default;

World::MarkupAnswer SimRibbon::Markup(IUnknown* addin, const std::string& ribbonId)
{
    // Outlook asks through the interface's vtable.
    ComPtr<IRibbonExtensibility> extensibility;
    if (FAILED(addin->QueryInterface(IID_IRibbonExtensibility, extensibility.OutVoid())) || !extensibility)
        throw Failure("the add-in does not answer IRibbonExtensibility");
    const Bstr id(host::Utf16(ribbonId));
    Bstr markup;
    World::MarkupAnswer answer;
    answer.hr = static_cast<std::uint32_t>(extensibility->GetCustomUI(id.Get(), markup.Out()));
    if (SUCCEEDED(static_cast<HRESULT>(answer.hr))) answer.lines = MarkupLines(markup.Get(), m_elements);
    return answer;
}

std::uint32_t SimRibbon::Load(IUnknown* addin, bool null)
{
    ComVariant ignored;
    return static_cast<std::uint32_t>(Invoke(addin, L"Ribbon_OnLoad", null ? nullptr : m_ribbonUI.get(), ignored));
}

World::CallbackAnswer SimRibbon::Call(IUnknown* addin, const std::string& callback, const std::string& controlId,
                                      RibbonContext context)
{
    const std::wstring method = MethodOf(callback);
    ComVariant result;
    World::CallbackAnswer answer;
    const HRESULT hr = Invoke(addin, method, &NewControl(controlId, context), result);
    answer.hr = static_cast<std::uint32_t>(hr);
    if (SUCCEEDED(hr)) answer.value = AnswerText(result);
    return answer;
}

ComVariant SimRibbon::Ask(IUnknown* addin, const std::string& callback, const std::string& controlId)
{
    ComVariant result;
    if (FAILED(Invoke(addin, MethodOf(callback), &NewControl(controlId, RibbonContext::Explorer), result)))
        result.Out();
    return result;
}

std::string SimRibbon::Draw(IUnknown* addin, bool rightToLeft, const std::wstring& file)
{
    if (m_elements.empty()) return "Outlook has no markup of the add-in's to draw";
    RibbonTabView tab;
    std::vector<ComVariant> pictures;  // each holds its bitmap until drawn
    const auto shown = [&](const std::string& id) {
        const ComVariant visible = Ask(addin, "getVisible", id);
        return visible.Type() != VT_BOOL || visible.Get().boolVal != VARIANT_FALSE;
    };
    const auto label = [&](const std::string& id) {
        const ComVariant text = Ask(addin, "getLabel", id);
        return text.Type() == VT_BSTR ? Bstr::TextOf(text.Get().bstrVal) : std::u16string();
    };
    for (const auto& [name, id] : m_elements) {
        if (!shown(id)) continue;
        if (name == "tab") {
            tab.label = label(id);
        } else if (name == "group") {
            tab.groups.push_back({label(id), {}});
        } else if (name == "button" && !tab.groups.empty()) {
            RibbonButtonView button;
            button.label = label(id);
            const ComVariant enabled = Ask(addin, "getEnabled", id);
            button.enabled = enabled.Type() != VT_BOOL || enabled.Get().boolVal != VARIANT_FALSE;
            pictures.push_back(Ask(addin, "getImage", id));
            ComPtr<IPicture> picture;
            OLE_HANDLE handle = 0;
            const ComVariant& answer = pictures.back();
            if ((answer.Type() == VT_DISPATCH || answer.Type() == VT_UNKNOWN) && answer.Get().punkVal &&
                SUCCEEDED(answer.Get().punkVal->QueryInterface(IID_IPicture, picture.OutVoid())) &&
                SUCCEEDED(picture->get_Handle(&handle)))
                button.picture = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
            tab.groups.back().buttons.push_back(std::move(button));
        }
    }
    return DrawRibbonTab(tab, rightToLeft, file);
}

SimRibbonControl& SimRibbon::NewControl(const std::string& id, RibbonContext context)
{
    IDispatch* window = nullptr;
    if (context == RibbonContext::Explorer)
        window = m_application.ExplorerAt(1);
    else if (context == RibbonContext::Inspector)
        window = m_inspector.get();
    m_controls.push_back(std::make_unique<SimRibbonControl>(m_ledger, static_cast<int>(m_controls.size()) + 1,
                                                            host::Utf16(id), window));
    return *m_controls.back();
}

HRESULT SimRibbon::Invoke(IUnknown* addin, const std::wstring& name, IDispatch* argument, ComVariant& result)
{
    ComPtr<IDispatch> dispatch;
    HRESULT hr = addin->QueryInterface(IID_IDispatch, dispatch.OutVoid());
    if (FAILED(hr)) return hr;
    std::wstring text = name;
    LPOLESTR names[] = {text.data()};
    DISPID id = DISPID_UNKNOWN;
    hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    // The control is the last argument (the only one here).
    VARIANT control;
    VariantInit(&control);
    control.vt = VT_DISPATCH;
    control.pdispVal = argument;
    DISPPARAMS params = {&control, nullptr, 1, 0};
    EXCEPINFO exception = {};
    UINT argError = 0;
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Out(), &exception,
                          &argError);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        hr = exception.scode ? exception.scode : DISP_E_EXCEPTION;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    return hr;
}

}  // namespace qev::sim::win
