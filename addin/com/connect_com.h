// The COM object Outlook creates for qev.Connect. It is a thin shell around
// the portable CConnect: it turns COM's arguments into the seam's and back,
// and it answers four faces, each with its own IDispatch:
//
//   IDispatch           the object's own: every name of IConnect and
//                       IRibbonCallback, with the ids of addin/dispatch_names.h
//                       (what the engine's thread and Outlook's ribbon call by name)
//   _IDTExtensibility2  Outlook's connection calls, ids 1 to 5
//   IConnect            ids 1 and 2, through the type library
//   IRibbonCallback     ids 1 to 10, through the type library
//
// IUnknown is the object's IDispatch. No exception leaves any method.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <atomic>

#include "addin/com/qev_idl.h"
#include "addin/connect.h"
#include "host/win/win_variant.h"

namespace qev::com {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects die through Release

// One face per interface: each implements its interface's IDispatch part by
// handing it to the object (CConnectCom), which owns everything else.
class ObjectDispatchFace : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

protected:
    ~ObjectDispatchFace() = default;
};

class DesignerFace : public _IDTExtensibility2 {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

protected:
    ~DesignerFace() = default;
};

class ConnectFace : public IConnect {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

protected:
    ~ConnectFace() = default;
};

class RibbonFace : public IRibbonCallback {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

protected:
    ~RibbonFace() = default;
};

class CConnectCom final : public ObjectDispatchFace, public DesignerFace, public ConnectFace, public RibbonFace {
public:
    // IClassFactory::CreateInstance: a new object, asked for iid.
    static HRESULT Create(REFIID iid, void** out) noexcept;

    CConnectCom(const CConnectCom&) = delete;
    CConnectCom& operator=(const CConnectCom&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // _IDTExtensibility2
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch* addInInst,
                                           SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override;
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override;

    // IConnect: any variant is accepted (and ignored unless CConnect can use
    // it); always S_OK.
    HRESULT STDMETHODCALLTYPE SetServerStatus(VARIANT* up) override;
    HRESULT STDMETHODCALLTYPE ImportSettings(VARIANT* settings) override;

    // IRibbonCallback: not answered yet (E_NOTIMPL once the out pointer is
    // checked: E_POINTER when it is null, else it is cleared).
    HRESULT STDMETHODCALLTYPE Ribbon_OnLoad(IDispatch* ribbonUi) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnAction(IDispatch* control) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetVisible(IDispatch* control, VARIANT_BOOL* visible) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetLabel(IDispatch* control, BSTR* label) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetSize(IDispatch* control, RibbonControlSize* size) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetScreentip(IDispatch* control, BSTR* screentip) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetSupertip(IDispatch* control, BSTR* supertip) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetImageMso(IDispatch* control, BSTR* imageMso) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetImage(IDispatch* control, IPictureDisp** picture) override;
    HRESULT STDMETHODCALLTYPE Ribbon_OnGetEnabled(IDispatch* control, VARIANT_BOOL* enabled) override;

private:
    friend class ObjectDispatchFace;
    friend class DesignerFace;
    friend class ConnectFace;
    friend class RibbonFace;

    // The object as the seam sees it: CConnect's identity, which the
    // apartment registers in the global interface table.
    class Identity final : public host::Object, public host::win::ComIdentity {
    public:
        explicit Identity(CConnectCom& owner) noexcept : m_owner(owner) {}
        std::uint32_t AddRef() noexcept override;
        std::uint32_t Release() noexcept override;
        host::Object* Query(host::Iface iface) noexcept override;
        IUnknown* ComUnknown() noexcept override;

    private:
        CConnectCom& m_owner;
    };

    CConnectCom();
    ~CConnectCom();

    IUnknown* Unknown() noexcept { return static_cast<ObjectDispatchFace*>(this); }

    // The object's IDispatch.
    HRESULT ObjectNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    HRESULT ObjectInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         UINT* argError) noexcept;
    // _IDTExtensibility2's IDispatch.
    HRESULT DesignerNames(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    HRESULT DesignerInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                           UINT* argError) noexcept;

    std::atomic<LONG> m_refs{0};
    Identity m_identity;
    CConnect m_connect;
};

#pragma GCC diagnostic pop

}  // namespace qev::com
