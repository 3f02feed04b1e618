// IDispatch through the type library: names and calls of IConnect and
// IRibbonCallback answered by their type information (ITypeInfo), as a dual
// interface's IDispatch answers.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace qev::com {

// GetTypeInfoCount / GetTypeInfo of a dual interface: one type information,
// the library's description of the interface.
HRESULT TypeInfoCount(UINT* count, UINT available) noexcept;
HRESULT TypeInfoOf(REFIID iid, UINT index, ITypeInfo** out) noexcept;

// GetIDsOfNames of the interface iid: the method's id, then its parameters'
// positions. Every id is DISPID_UNKNOWN unless found; DISP_E_UNKNOWNNAME when
// any name is unknown.
HRESULT NamesOf(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept;

// Invoke of method id of the interface iid on self (the object as that
// interface). The arguments are checked first: DISP_E_MEMBERNOTFOUND for an
// id the interface does not have, DISP_E_BADPARAMCOUNT unless every parameter
// but the [retval] one is given; then ITypeInfo::Invoke converts them and
// calls the method through its vtable. A method that fails comes back as
// DISP_E_EXCEPTION with its HRESULT in the EXCEPINFO.
HRESULT InvokeOf(REFIID iid, void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) noexcept;

// The checks every Invoke makes before it looks at the id: the interface id
// must be IID_NULL and DISPPARAMS well formed.
HRESULT CheckInvokeFrame(REFIID iid, const DISPPARAMS* params) noexcept;

// The checks every GetIDsOfNames makes: IID_NULL, at least one name, no null pointers.
HRESULT CheckNamesFrame(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept;

}  // namespace qev::com
