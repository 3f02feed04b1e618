#include "addin/com/connect_com.h"

#include <new>
#include <string_view>

#include "addin/com/module.h"
#include "addin/com/type_dispatch.h"
#include "addin/dispatch_names.h"
#include "addin/trace.h"
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

bool SameName(std::u16string_view a, std::u16string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

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

}  // namespace

// ---- the faces ----

HRESULT ObjectDispatchFace::GetTypeInfoCount(UINT* count)
{
    // No one type information describes the names of both interfaces.
    return TypeInfoCount(count, 0);
}

HRESULT ObjectDispatchFace::GetTypeInfo(UINT, LCID, ITypeInfo** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT ObjectDispatchFace::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    try {
        const HRESULT hr = CheckNamesFrame(iid, names, count, ids);
        if (FAILED(hr)) return hr;
        return static_cast<CConnectCom*>(this)->ObjectNames(names, count, ids);
    } catch (...) {
        TraceCaughtException(u"GetIDsOfNames");
        return E_UNEXPECTED;
    }
}

HRESULT ObjectDispatchFace::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError)
{
    try {
        const HRESULT hr = CheckInvokeFrame(iid, params);
        if (FAILED(hr)) return hr;
        return static_cast<CConnectCom*>(this)->ObjectInvoke(id, flags, params, result, exception, argError);
    } catch (...) {
        TraceCaughtException(u"Invoke");
        return E_UNEXPECTED;
    }
}

HRESULT DesignerFace::GetTypeInfoCount(UINT* count)
{
    // The add-in designer's type library is Office's, not qev's.
    return TypeInfoCount(count, 0);
}

HRESULT DesignerFace::GetTypeInfo(UINT, LCID, ITypeInfo** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT DesignerFace::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    try {
        const HRESULT hr = CheckNamesFrame(iid, names, count, ids);
        if (FAILED(hr)) return hr;
        return static_cast<CConnectCom*>(this)->DesignerNames(names, count, ids);
    } catch (...) {
        TraceCaughtException(u"GetIDsOfNames");
        return E_UNEXPECTED;
    }
}

HRESULT DesignerFace::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* argError)
{
    try {
        const HRESULT hr = CheckInvokeFrame(iid, params);
        if (FAILED(hr)) return hr;
        return static_cast<CConnectCom*>(this)->DesignerInvoke(id, flags, params, result, exception, argError);
    } catch (...) {
        TraceCaughtException(u"Invoke");
        return E_UNEXPECTED;
    }
}

HRESULT ConnectFace::GetTypeInfoCount(UINT* count)
{
    return TypeInfoCount(count, 1);
}

HRESULT ConnectFace::GetTypeInfo(UINT index, LCID, ITypeInfo** out)
{
    return TypeInfoOf(IID_IConnect, index, out);
}

HRESULT ConnectFace::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    try {
        const HRESULT hr = CheckNamesFrame(iid, names, count, ids);
        if (FAILED(hr)) return hr;
        return NamesOf(IID_IConnect, names, count, ids);
    } catch (...) {
        TraceCaughtException(u"GetIDsOfNames");
        return E_UNEXPECTED;
    }
}

HRESULT ConnectFace::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError)
{
    try {
        const HRESULT hr = CheckInvokeFrame(iid, params);
        if (FAILED(hr)) return hr;
        return InvokeOf(IID_IConnect, static_cast<IConnect*>(this), id, flags, params, result, exception, argError);
    } catch (...) {
        TraceCaughtException(u"Invoke");
        return E_UNEXPECTED;
    }
}

HRESULT RibbonFace::GetTypeInfoCount(UINT* count)
{
    return TypeInfoCount(count, 1);
}

HRESULT RibbonFace::GetTypeInfo(UINT index, LCID, ITypeInfo** out)
{
    return TypeInfoOf(IID_IRibbonCallback, index, out);
}

HRESULT RibbonFace::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    try {
        const HRESULT hr = CheckNamesFrame(iid, names, count, ids);
        if (FAILED(hr)) return hr;
        return NamesOf(IID_IRibbonCallback, names, count, ids);
    } catch (...) {
        TraceCaughtException(u"GetIDsOfNames");
        return E_UNEXPECTED;
    }
}

HRESULT RibbonFace::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argError)
{
    try {
        const HRESULT hr = CheckInvokeFrame(iid, params);
        if (FAILED(hr)) return hr;
        return InvokeOf(IID_IRibbonCallback, static_cast<IRibbonCallback*>(this), id, flags, params, result, exception,
                        argError);
    } catch (...) {
        TraceCaughtException(u"Invoke");
        return E_UNEXPECTED;
    }
}

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
    return m_owner.Unknown();
}

CConnectCom::CConnectCom() : m_identity(*this), m_connect(host::win::WinServices(), &m_identity)
{
    Module().Lock();
}

CConnectCom::~CConnectCom()
{
    Module().Unlock();
}

HRESULT CConnectCom::Create(REFIID iid, void** out) noexcept
{
    try {
        auto* object = new CConnectCom();
        object->AddRef();
        const HRESULT hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        TraceCaughtException(u"CreateInstance");
        return E_UNEXPECTED;
    }
}

HRESULT CConnectCom::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch))
        *out = static_cast<ObjectDispatchFace*>(this);
    else if (IsEqualIID(iid, IID__IDTExtensibility2))
        *out = static_cast<_IDTExtensibility2*>(this);
    else if (IsEqualIID(iid, IID_IConnect))
        *out = static_cast<IConnect*>(this);
    else if (IsEqualIID(iid, IID_IRibbonCallback))
        *out = static_cast<IRibbonCallback*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CConnectCom::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

ULONG CConnectCom::Release()
{
    const LONG refs = --m_refs;
    if (refs == 0) {
        // Whatever the add-in releases while it is taken down must not bring
        // the count to zero a second time.
        m_refs = 1;
        delete this;
    }
    return static_cast<ULONG>(refs);
}

// ---- _IDTExtensibility2 ----

HRESULT CConnectCom::OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch* addInInst,
                                  SAFEARRAY**)
{
    try {
        const host::Ref<host::Application> app = host::win::WrapApplication(application);
        const host::Ref<host::Object> addin = host::win::WrapDispatch(addInInst);
        return m_connect.OnConnection(app.Get(), static_cast<std::int32_t>(connectMode), addin.Get());
    } catch (...) {
        TraceCaughtException(u"OnConnection");
        return S_FALSE;
    }
}

HRESULT CConnectCom::OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY**)
{
    try {
        return m_connect.OnDisconnection(static_cast<std::int32_t>(removeMode));
    } catch (...) {
        TraceCaughtException(u"OnDisconnection");
        return S_OK;
    }
}

HRESULT CConnectCom::OnAddInsUpdate(SAFEARRAY**)
{
    try {
        return m_connect.OnAddInsUpdate();
    } catch (...) {
        TraceCaughtException(u"OnAddInsUpdate");
        return S_OK;
    }
}

HRESULT CConnectCom::OnStartupComplete(SAFEARRAY**)
{
    try {
        return m_connect.OnStartupComplete();
    } catch (...) {
        TraceCaughtException(u"OnStartupComplete");
        return S_OK;
    }
}

HRESULT CConnectCom::OnBeginShutdown(SAFEARRAY**)
{
    try {
        return m_connect.OnBeginShutdown();
    } catch (...) {
        TraceCaughtException(u"OnBeginShutdown");
        return S_OK;
    }
}

// ---- IConnect ----

HRESULT CConnectCom::SetServerStatus(VARIANT* up)
{
    try {
        if (!up) return S_OK;
        return m_connect.SetServerStatus(host::win::FromVariant(*up));
    } catch (...) {
        TraceCaughtException(u"SetServerStatus");
        return S_OK;
    }
}

HRESULT CConnectCom::ImportSettings(VARIANT* settings)
{
    try {
        if (!settings) return S_OK;
        return m_connect.ImportSettings(host::win::FromVariant(*settings));
    } catch (...) {
        TraceCaughtException(u"ImportSettings");
        return S_OK;
    }
}

// ---- IRibbonCallback ----

HRESULT CConnectCom::Ribbon_OnLoad(IDispatch*)
{
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnAction(IDispatch*)
{
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetVisible(IDispatch*, VARIANT_BOOL* visible)
{
    if (!visible) return E_POINTER;
    *visible = VARIANT_FALSE;
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetLabel(IDispatch*, BSTR* label)
{
    if (!label) return E_POINTER;
    *label = nullptr;
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetSize(IDispatch*, RibbonControlSize* size)
{
    if (!size) return E_POINTER;
    *size = RibbonControlSizeRegular;
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetScreentip(IDispatch*, BSTR* screentip)
{
    if (!screentip) return E_POINTER;
    *screentip = nullptr;
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetSupertip(IDispatch*, BSTR* supertip)
{
    if (!supertip) return E_POINTER;
    *supertip = nullptr;
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetImageMso(IDispatch*, BSTR* imageMso)
{
    if (!imageMso) return E_POINTER;
    *imageMso = nullptr;
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetImage(IDispatch*, IPictureDisp** picture)
{
    if (!picture) return E_POINTER;
    *picture = nullptr;
    return E_NOTIMPL;
}

HRESULT CConnectCom::Ribbon_OnGetEnabled(IDispatch*, VARIANT_BOOL* enabled)
{
    if (!enabled) return E_POINTER;
    *enabled = VARIANT_FALSE;
    return E_NOTIMPL;
}

// ---- the object's IDispatch ----

HRESULT CConnectCom::ObjectNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept
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

HRESULT CConnectCom::ObjectInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
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

HRESULT CConnectCom::DesignerNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    for (const DesignerMethod& method : kDesignerMethods) {
        if (!SameName(method.name, NameView(names[0]))) continue;
        ids[0] = method.id;
        // Its parameters cannot be named: calls pass them by position.
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT CConnectCom::DesignerInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
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

}  // namespace qev::com
