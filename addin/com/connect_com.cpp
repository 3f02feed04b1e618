#include "addin/com/connect_com.h"

#include <new>
#include <string_view>

#include "addin/com/boundary.h"
#include "addin/com/module.h"
#include "addin/com/type_dispatch.h"
#include "addin/dispatch_names.h"
#include "addin/trace.h"
#include "host/utf.h"
#include "ribbon/ribbon.h"
#include "host/win/win_outlook.h"
#include "host/win/win_services.h"

namespace qev::com {
namespace {

std::u16string_view NameView(const wchar_t* name) noexcept
{
    return name ? std::u16string_view(reinterpret_cast<const char16_t*>(name)) : std::u16string_view();
}

// The methods of _IDTExtensibility2, as its IDispatch answers them.
struct DesignerMethod {
    std::u16string_view name;
    DISPID id;
    UINT arguments;
};

constexpr DesignerMethod kDesignerMethods[] = {
    {u"OnConnection", 1, 4},      {u"OnDisconnection", 2, 2}, {u"OnAddInsUpdate", 3, 1},
    {u"OnStartupComplete", 4, 1}, {u"OnBeginShutdown", 5, 1},
};

// An argument of a DISPPARAMS converted to the type a method takes. The
// arguments lie in reverse order: position 0 is the last one.
class Argument {
public:
    Argument() noexcept { VariantInit(&m_value); }
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;
    ~Argument() { VariantClear(&m_value); }

    HRESULT Convert(const DISPPARAMS& params, UINT position, VARTYPE type, UINT* argError) noexcept
    {
        const UINT index = params.cArgs - 1 - position;
        VARIANT source;
        VariantInit(&source);
        HRESULT hr = VariantCopyInd(&source, &params.rgvarg[index]);
        if (SUCCEEDED(hr)) {
            if (type == VT_DISPATCH && (source.vt == VT_EMPTY || source.vt == VT_NULL)) {
                m_value.vt = VT_DISPATCH;
                m_value.pdispVal = nullptr;
            } else {
                hr = VariantChangeType(&m_value, &source, 0, type);
            }
        }
        VariantClear(&source);
        if (FAILED(hr)) {
            if (argError) *argError = index;
            return DISP_E_TYPEMISMATCH;
        }
        return S_OK;
    }

    IDispatch* Dispatch() const noexcept { return m_value.pdispVal; }
    BSTR Text() const noexcept { return m_value.bstrVal; }
    LONG Long() const noexcept { return m_value.lVal; }

private:
    VARIANT m_value;
};

// The end of a call made through IDispatch: a method's failure becomes
// DISP_E_EXCEPTION with its HRESULT, as ITypeInfo::Invoke reports it.
HRESULT Reported(HRESULT hr, EXCEPINFO* exception) noexcept
{
    if (SUCCEEDED(hr)) return S_OK;
    if (exception) {
        *exception = EXCEPINFO{};
        exception->scode = hr;
    }
    return DISP_E_EXCEPTION;
}

// A COM object handed to a ribbon callback, as the seam's object (null
// stays null): the ribbon asks it for the interfaces it needs.
host::Ref<host::Object> SeamObject(IDispatch* object)
{
    return host::win::WrapUnknown(object);
}

// A text for a BSTR output; null when there is no memory.
BSTR NewBstr(const std::u16string& text) noexcept
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}

}  // namespace

// ---- the faces ----

// A face without type information, answered by two of the object's members.
template <HRESULT (CConnectCom::*IdsOf)(LPOLESTR*, UINT, DISPID*) noexcept,
          HRESULT (CConnectCom::*CallOf)(DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept>
struct MemberNames {
    static HRESULT Count(UINT* count) noexcept { return TypeInfoCount(count, 0); }
    static HRESULT TypeInfo(UINT, ITypeInfo** out) noexcept
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        return DISP_E_BADINDEX;
    }
    static HRESULT Ids(CConnectCom& object, LPOLESTR* names, UINT count, DISPID* ids) noexcept
    {
        return (object.*IdsOf)(names, count, ids);
    }
    static HRESULT Call(CConnectCom& object, void*, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) noexcept
    {
        return (object.*CallOf)(id, flags, params, result, exception, argError);
    }
};

// No one type information describes the names of both interfaces.
struct ObjectNames : MemberNames<&CConnectCom::ObjectIds, &CConnectCom::ObjectCall> {};
// The add-in designer's type library is Office's, not qev's.
struct DesignerNames : MemberNames<&CConnectCom::DesignerIds, &CConnectCom::DesignerCall> {};

template <const IID& Iid>
struct TypeLibraryNames {
    static HRESULT Count(UINT* count) noexcept { return TypeInfoCount(count, 1); }
    static HRESULT TypeInfo(UINT index, ITypeInfo** out) noexcept { return TypeInfoOf(Iid, index, out); }
    static HRESULT Ids(CConnectCom&, LPOLESTR* names, UINT count, DISPID* ids) noexcept
    {
        return NamesOf(Iid, names, count, ids);
    }
    // ITypeInfo::Invoke calls the method through the face's own vtable.
    static HRESULT Call(CConnectCom&, void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) noexcept
    {
        return InvokeOf(Iid, self, id, flags, params, result, exception, argError);
    }
};

// IRibbonExtensibility is Office's interface, described by Office's type
// library. Wherever that is registered (every machine with Outlook) its type
// information answers; without it (Wine has no Office) the one method is
// still answered, by the object's own entry.
struct OfficeNames {
    static bool Described() noexcept
    {
        ITypeInfo* info = nullptr;
        return SUCCEEDED(Module().InterfaceInfo(IID_IRibbonExtensibility, false, &info));
    }
    static HRESULT Count(UINT* count) noexcept { return TypeInfoCount(count, Described() ? 1 : 0); }
    static HRESULT TypeInfo(UINT index, ITypeInfo** out) noexcept
    {
        return TypeInfoOf(IID_IRibbonExtensibility, index, out);
    }
    static HRESULT Ids(CConnectCom& object, LPOLESTR* names, UINT count, DISPID* ids) noexcept
    {
        if (Described()) return NamesOf(IID_IRibbonExtensibility, names, count, ids);
        return object.ExtensibilityIds(names, count, ids);
    }
    static HRESULT Call(CConnectCom& object, void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) noexcept
    {
        if (Described()) return InvokeOf(IID_IRibbonExtensibility, self, id, flags, params, result, exception, argError);
        return object.ExtensibilityCall(id, flags, params, result, exception, argError);
    }
};

template <class Interface, class Names>
HRESULT DispatchFace<Interface, Names>::GetTypeInfoCount(UINT* count)
{
    return Names::Count(count);
}

template <class Interface, class Names>
HRESULT DispatchFace<Interface, Names>::GetTypeInfo(UINT index, LCID, ITypeInfo** out)
{
    return Names::TypeInfo(index, out);
}

template <class Interface, class Names>
HRESULT DispatchFace<Interface, Names>::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return Boundary(u"GetIDsOfNames", E_UNEXPECTED, [&] {
        const HRESULT hr = CheckNamesFrame(iid, names, count, ids);
        if (FAILED(hr)) return hr;
        return Names::Ids(static_cast<CConnectCom&>(*this), names, count, ids);
    });
}

template <class Interface, class Names>
HRESULT DispatchFace<Interface, Names>::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                               VARIANT* result, EXCEPINFO* exception, UINT* argError)
{
    return Boundary(u"Invoke", E_UNEXPECTED, [&] {
        const HRESULT hr = CheckInvokeFrame(iid, params);
        if (FAILED(hr)) return hr;
        return Names::Call(static_cast<CConnectCom&>(*this), static_cast<Interface*>(this), id, flags, params, result,
                           exception, argError);
    });
}

template class DispatchFace<IDispatch, ObjectNames>;
template class DispatchFace<_IDTExtensibility2, DesignerNames>;
template class DispatchFace<IConnect, TypeLibraryNames<IID_IConnect>>;
template class DispatchFace<IRibbonCallback, TypeLibraryNames<IID_IRibbonCallback>>;
template class DispatchFace<IRibbonExtensibility, OfficeNames>;

// ---- the object ----

std::uint32_t CConnectCom::Identity::AddRef() noexcept
{
    return m_owner.AddRef();
}

std::uint32_t CConnectCom::Identity::Release() noexcept
{
    return m_owner.Release();
}

host::Object* CConnectCom::Identity::Query(host::Iface iface) noexcept
{
    // The identity is not itself a host::Dispatch: late-bound calls reach the
    // object through COM (ComUnknown), never through the seam.
    if (iface != host::Iface::Unknown) return nullptr;
    AddRef();
    return this;
}

IUnknown* CConnectCom::Identity::ComUnknown() noexcept
{
    return m_owner.AsUnknown();
}

CConnectCom::CConnectCom() : m_identity(*this), m_connect(host::win::WinServices(), &m_identity) {}

HRESULT CConnectCom::Create(REFIID iid, void** out) noexcept
{
    try {
        const auto object = host::win::ComPtr<CConnectCom>::Adopt(new CConnectCom());
        return object->QueryInterface(iid, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        TraceCaughtException(u"CreateInstance");
        return E_UNEXPECTED;
    }
}

// ---- _IDTExtensibility2 ----

HRESULT CConnectCom::OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch* addInInst,
                                  SAFEARRAY**)
{
    return Boundary(u"OnConnection", S_FALSE, [&] {
        const host::Ref<host::Application> app = host::win::WrapApplication(application);
        const host::Ref<host::Object> addin = host::win::WrapDispatch(addInInst);
        return m_connect.OnConnection(app.Get(), static_cast<std::int32_t>(connectMode), addin.Get());
    });
}

HRESULT CConnectCom::OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY**)
{
    return Boundary(u"OnDisconnection", S_OK,
                    [&] { return m_connect.OnDisconnection(static_cast<std::int32_t>(removeMode)); });
}

HRESULT CConnectCom::OnAddInsUpdate(SAFEARRAY**)
{
    return Boundary(u"OnAddInsUpdate", S_OK, [&] { return m_connect.OnAddInsUpdate(); });
}

HRESULT CConnectCom::OnStartupComplete(SAFEARRAY**)
{
    return Boundary(u"OnStartupComplete", S_OK, [&] { return m_connect.OnStartupComplete(); });
}

HRESULT CConnectCom::OnBeginShutdown(SAFEARRAY**)
{
    return Boundary(u"OnBeginShutdown", S_OK, [&] { return m_connect.OnBeginShutdown(); });
}

// ---- IConnect ----

HRESULT CConnectCom::SetServerStatus(VARIANT* up)
{
    return Boundary(u"SetServerStatus", S_OK, [&] {
        if (!up) return S_OK;
        return m_connect.SetServerStatus(host::win::FromVariant(*up));
    });
}

HRESULT CConnectCom::ImportSettings(VARIANT* settings)
{
    return Boundary(u"ImportSettings", S_OK, [&] {
        if (!settings) return S_OK;
        return m_connect.ImportSettings(host::win::FromVariant(*settings));
    });
}

// ---- IRibbonExtensibility ----

HRESULT CConnectCom::GetCustomUI(BSTR ribbonId, BSTR* markup)
{
    return Boundary(u"GetCustomUI", E_UNEXPECTED, [&]() -> HRESULT {
        if (markup) *markup = nullptr;
        std::u16string text;
        const HRESULT hr =
            m_connect.RibbonTab().GetCustomUI(host::win::Bstr::TextOf(ribbonId), markup ? &text : nullptr);
        if (FAILED(hr)) return hr;
        *markup = NewBstr(text);
        return *markup ? S_OK : E_OUTOFMEMORY;
    });
}

// ---- IRibbonCallback ----

template <class Get>
HRESULT CConnectCom::TextCallback(std::u16string_view operation, IDispatch* control, BSTR* out, Get get) noexcept
{
    return Boundary(operation, E_UNEXPECTED, [&]() -> HRESULT {
        if (out) *out = nullptr;
        std::u16string text;
        const HRESULT hr = (m_connect.RibbonTab().*get)(SeamObject(control).Get(), out ? &text : nullptr);
        if (FAILED(hr)) return hr;
        *out = NewBstr(text);
        return *out ? hr : E_OUTOFMEMORY;
    });
}

HRESULT CConnectCom::Ribbon_OnLoad(IDispatch* ribbonUi)
{
    return Boundary(u"Ribbon_OnLoad", E_UNEXPECTED,
                    [&] { return m_connect.RibbonTab().Ribbon_OnLoad(SeamObject(ribbonUi).Get()); });
}

HRESULT CConnectCom::Ribbon_OnAction(IDispatch* control)
{
    return Boundary(u"Ribbon_OnAction", E_UNEXPECTED,
                    [&] { return m_connect.RibbonTab().Ribbon_OnAction(SeamObject(control).Get()); });
}

HRESULT CConnectCom::Ribbon_OnGetVisible(IDispatch* control, VARIANT_BOOL* visible)
{
    return Boundary(u"Ribbon_OnGetVisible", E_UNEXPECTED, [&] {
        return m_connect.RibbonTab().Ribbon_OnGetVisible(SeamObject(control).Get(), visible);
    });
}

HRESULT CConnectCom::Ribbon_OnGetEnabled(IDispatch* control, VARIANT_BOOL* enabled)
{
    return Boundary(u"Ribbon_OnGetEnabled", E_UNEXPECTED, [&] {
        return m_connect.RibbonTab().Ribbon_OnGetEnabled(SeamObject(control).Get(), enabled);
    });
}

HRESULT CConnectCom::Ribbon_OnGetLabel(IDispatch* control, BSTR* label)
{
    return TextCallback(u"Ribbon_OnGetLabel", control, label, &Ribbon::Ribbon_OnGetLabel);
}

HRESULT CConnectCom::Ribbon_OnGetScreentip(IDispatch* control, BSTR* screentip)
{
    return TextCallback(u"Ribbon_OnGetScreentip", control, screentip, &Ribbon::Ribbon_OnGetScreentip);
}

HRESULT CConnectCom::Ribbon_OnGetSupertip(IDispatch* control, BSTR* supertip)
{
    return TextCallback(u"Ribbon_OnGetSupertip", control, supertip, &Ribbon::Ribbon_OnGetSupertip);
}

HRESULT CConnectCom::Ribbon_OnGetImageMso(IDispatch* control, BSTR* imageMso)
{
    return TextCallback(u"Ribbon_OnGetImageMso", control, imageMso, &Ribbon::Ribbon_OnGetImageMso);
}

HRESULT CConnectCom::Ribbon_OnGetSize(IDispatch* control, RibbonControlSize* size)
{
    return Boundary(u"Ribbon_OnGetSize", E_UNEXPECTED, [&]() -> HRESULT {
        std::int32_t value = 0;
        const HRESULT hr = m_connect.RibbonTab().Ribbon_OnGetSize(SeamObject(control).Get(), size ? &value : nullptr);
        if (SUCCEEDED(hr)) *size = static_cast<RibbonControlSize>(value);
        return hr;
    });
}

HRESULT CConnectCom::Ribbon_OnGetImage(IDispatch* control, IPictureDisp** picture)
{
    return Boundary(u"Ribbon_OnGetImage", E_UNEXPECTED, [&]() -> HRESULT {
        if (picture) *picture = nullptr;
        host::Ref<host::Object> made;
        const HRESULT hr =
            m_connect.RibbonTab().Ribbon_OnGetImage(SeamObject(control).Get(), picture ? &made : nullptr);
        if (FAILED(hr)) return hr;
        // The picture is an OLE picture of the Windows host.
        IUnknown* unknown = host::win::ComUnknownOf(made.Get());
        if (!unknown) return E_NOTIMPL;
        return unknown->QueryInterface(IID_IPictureDisp, reinterpret_cast<void**>(picture));
    });
}

// ---- the object's IDispatch ----

HRESULT CConnectCom::ObjectIds(LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    const DispatchName* entry = FindDispatchName(NameView(names[0]));
    if (!entry) return DISP_E_UNKNOWNNAME;
    HRESULT hr = S_OK;
    if (count > 1) {
        // Parameter names are the interface's own.
        const IID& iid = entry->target == DispatchTarget::Connect ? IID_IConnect : IID_IRibbonCallback;
        hr = NamesOf(iid, names, count, ids);
        if (FAILED(hr) && hr != DISP_E_UNKNOWNNAME) return hr;
    }
    ids[0] = entry->objectId;
    return hr;
}

HRESULT CConnectCom::ObjectCall(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                UINT* argError) noexcept
{
    const DispatchName* entry = FindDispatchId(id);
    if (!entry) return DISP_E_MEMBERNOTFOUND;
    if (entry->target == DispatchTarget::Connect)
        return InvokeOf(IID_IConnect, static_cast<IConnect*>(this), entry->interfaceId, flags, params, result,
                        exception, argError);
    return InvokeOf(IID_IRibbonCallback, static_cast<IRibbonCallback*>(this), entry->interfaceId, flags, params, result,
                    exception, argError);
}

// ---- _IDTExtensibility2's IDispatch ----

HRESULT CConnectCom::DesignerIds(LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    for (const DesignerMethod& method : kDesignerMethods) {
        if (!host::EqualNoCase(method.name, NameView(names[0]))) continue;
        ids[0] = method.id;
        // Its parameters cannot be named: calls pass them by position.
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT CConnectCom::DesignerCall(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                  UINT* argError) noexcept
{
    const DesignerMethod* method = nullptr;
    for (const DesignerMethod& candidate : kDesignerMethods)
        if (candidate.id == id) method = &candidate;
    if (!method || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    if (params->cArgs != method->arguments) return DISP_E_BADPARAMCOUNT;
    if (result) VariantInit(result);

    // The custom array (the last argument of each) is not read.
    HRESULT hr = S_OK;
    switch (id) {
        case 1: {
            Argument application, mode, addInInst;
            if (FAILED(hr = application.Convert(*params, 0, VT_DISPATCH, argError))) return hr;
            if (FAILED(hr = mode.Convert(*params, 1, VT_I4, argError))) return hr;
            if (FAILED(hr = addInInst.Convert(*params, 2, VT_DISPATCH, argError))) return hr;
            hr = OnConnection(application.Dispatch(), static_cast<ext_ConnectMode>(mode.Long()), addInInst.Dispatch(),
                              nullptr);
            break;
        }
        case 2: {
            Argument mode;
            if (FAILED(hr = mode.Convert(*params, 0, VT_I4, argError))) return hr;
            hr = OnDisconnection(static_cast<ext_DisconnectMode>(mode.Long()), nullptr);
            break;
        }
        case 3:
            hr = OnAddInsUpdate(nullptr);
            break;
        case 4:
            hr = OnStartupComplete(nullptr);
            break;
        default:
            hr = OnBeginShutdown(nullptr);
            break;
    }
    return Reported(hr, exception);
}

// ---- IRibbonExtensibility's IDispatch without Office's type library ----

HRESULT CConnectCom::ExtensibilityIds(LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    if (!host::EqualNoCase(u"GetCustomUI", NameView(names[0]))) return DISP_E_UNKNOWNNAME;
    ids[0] = 1;
    return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

HRESULT CConnectCom::ExtensibilityCall(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                       EXCEPINFO* exception, UINT* argError) noexcept
{
    if (id != 1 || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (result) VariantInit(result);
    Argument ribbonId;
    HRESULT hr = ribbonId.Convert(*params, 0, VT_BSTR, argError);
    if (FAILED(hr)) return hr;
    BSTR markup = nullptr;
    hr = GetCustomUI(ribbonId.Text(), &markup);
    if (SUCCEEDED(hr) && result) {
        result->vt = VT_BSTR;
        result->bstrVal = markup;
    } else {
        SysFreeString(markup);
    }
    return Reported(hr, exception);
}

}  // namespace qev::com
