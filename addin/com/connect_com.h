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
//   IRibbonExtensibility  GetCustomUI (id 1), through Office's type library
//                       where it is registered, by its own entry where not
//
// IUnknown is the object's IDispatch. No exception leaves any method.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "addin/com/module.h"
#include "addin/com/office_ribbon.h"
#include "addin/com/qev_idl.h"
#include "addin/connect.h"
#include "host/win/com_object.h"
#include "host/win/win_variant.h"

namespace qev::com {

// How a face answers its IDispatch: the object's own names, those of
// _IDTExtensibility2, or an interface's type information.
struct ObjectNames;
struct DesignerNames;
template <const IID& Iid>
struct TypeLibraryNames;
struct OfficeNames;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // the object dies through ComObject's destructor

// The IDispatch part of one face. Every face checks the call's frame the same
// way and keeps exceptions out (the trace line names GetIDsOfNames or
// Invoke); Names decides the answers.
template <class Interface, class Names>
class DispatchFace : public Interface {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

protected:
    DispatchFace() = default;
    ~DispatchFace() = default;
};

#pragma GCC diagnostic pop

using ObjectFace = DispatchFace<IDispatch, ObjectNames>;
using DesignerFace = DispatchFace<_IDTExtensibility2, DesignerNames>;
using ConnectFace = DispatchFace<IConnect, TypeLibraryNames<IID_IConnect>>;
using RibbonFace = DispatchFace<IRibbonCallback, TypeLibraryNames<IID_IRibbonCallback>>;
using ExtensibilityFace = DispatchFace<IRibbonExtensibility, OfficeNames>;

class CConnectCom final
    : public host::win::ComObject<host::win::Locked<ModuleLock>, host::win::Row<ObjectFace, IID_IDispatch>,
                                  host::win::Row<DesignerFace, IID__IDTExtensibility2>,
                                  host::win::Row<ConnectFace, IID_IConnect>,
                                  host::win::Row<RibbonFace, IID_IRibbonCallback>,
                                  host::win::Row<ExtensibilityFace, IID_IRibbonExtensibility>> {
public:
    // IClassFactory::CreateInstance: a new object, asked for iid.
    static HRESULT Create(REFIID iid, void** out) noexcept;

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

    // IRibbonExtensibility: the markup (E_POINTER for a null output,
    // E_OUTOFMEMORY when it cannot be handed over).
    HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* markup) override;

    // IRibbonCallback: CConnect's ribbon answers; outputs are cleared first.
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
    friend struct ObjectNames;
    friend struct DesignerNames;
    friend struct OfficeNames;

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
    ~CConnectCom() override = default;

    // The object's IDispatch.
    HRESULT ObjectIds(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    HRESULT ObjectCall(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* argError) noexcept;
    // _IDTExtensibility2's IDispatch.
    HRESULT DesignerIds(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    HRESULT DesignerCall(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         UINT* argError) noexcept;
    // IRibbonExtensibility's IDispatch without Office's type library.
    HRESULT ExtensibilityIds(LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    HRESULT ExtensibilityCall(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              UINT* argError) noexcept;
    // The text a text callback gave, as a new BSTR in out.
    template <class Get>
    HRESULT TextCallback(std::u16string_view operation, IDispatch* control, BSTR* out, Get get) noexcept;

    Identity m_identity;
    CConnect m_connect;
};

}  // namespace qev::com
