#include "addin/com/type_dispatch.h"

#include "addin/com/module.h"
#include "host/win/win_variant.h"

namespace qev::com {
namespace {

using host::win::SameName;

// One method of an interface's own (not inherited) functions.
class Method {
public:
    Method() noexcept = default;
    Method(const Method&) = delete;
    Method& operator=(const Method&) = delete;
    ~Method() { Reset(); }

    // The method with the given id, or with the given name.
    bool FindById(ITypeInfo* info, MEMBERID id) noexcept
    {
        return Find(info, [id](const FUNCDESC& f, BSTR) { return f.memid == id; });
    }
    bool FindByName(ITypeInfo* info, const wchar_t* name) noexcept
    {
        return Find(info, [name](const FUNCDESC&, BSTR own) { return SameName(own, name); });
    }

    const FUNCDESC& Desc() const noexcept { return *m_desc; }

    // The arguments a caller passes: every parameter but the [retval] one.
    UINT CallerArguments() const noexcept
    {
        UINT count = 0;
        for (SHORT i = 0; i < m_desc->cParams; ++i)
            if (!(m_desc->lprgelemdescParam[i].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) ++count;
        return count;
    }

    // The position of a parameter by name, or DISPID_UNKNOWN.
    DISPID ParameterPosition(const wchar_t* name) const noexcept
    {
        for (UINT i = 1; i < m_nameCount; ++i)
            if (SameName(m_names[i], name)) return static_cast<DISPID>(i - 1);
        return DISPID_UNKNOWN;
    }

private:
    static constexpr UINT kMaxNames = 16;

    template <class Match>
    bool Find(ITypeInfo* info, Match match) noexcept
    {
        Reset();
        TYPEATTR* attr = nullptr;
        if (!info || FAILED(info->GetTypeAttr(&attr)) || !attr) return false;
        const WORD functions = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
        for (UINT i = 0; i < functions; ++i) {
            if (FAILED(info->GetFuncDesc(i, &m_desc)) || !m_desc) {
                m_desc = nullptr;
                continue;
            }
            m_info = info;
            if (FAILED(info->GetNames(m_desc->memid, m_names, kMaxNames, &m_nameCount))) m_nameCount = 0;
            if (m_nameCount > 0 && match(*m_desc, m_names[0])) return true;
            Reset();
        }
        return false;
    }

    void Reset() noexcept
    {
        for (UINT i = 0; i < m_nameCount; ++i) SysFreeString(m_names[i]);
        m_nameCount = 0;
        if (m_desc) m_info->ReleaseFuncDesc(m_desc);
        m_desc = nullptr;
        m_info = nullptr;
    }

    ITypeInfo* m_info = nullptr;
    FUNCDESC* m_desc = nullptr;
    BSTR m_names[kMaxNames] = {};
    UINT m_nameCount = 0;
};

}  // namespace

HRESULT TypeInfoCount(UINT* count, UINT available) noexcept
{
    if (!count) return E_POINTER;
    *count = available;
    return S_OK;
}

HRESULT TypeInfoOf(REFIID iid, UINT index, ITypeInfo** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* info = nullptr;
    const HRESULT hr = Module().InterfaceInfo(iid, false, &info);
    if (FAILED(hr)) return hr;
    info->AddRef();
    *out = info;
    return S_OK;
}

HRESULT CheckNamesFrame(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return S_OK;
}

HRESULT CheckInvokeFrame(REFIID iid, const DISPPARAMS* params) noexcept
{
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_INVALIDARG;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs)) return E_INVALIDARG;
    return S_OK;
}

HRESULT NamesOf(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    ITypeInfo* info = nullptr;
    const HRESULT hr = Module().InterfaceInfo(iid, true, &info);
    if (FAILED(hr)) return hr;
    Method method;
    if (!method.FindByName(info, names[0])) return DISP_E_UNKNOWNNAME;
    ids[0] = method.Desc().memid;
    HRESULT result = S_OK;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = names[i] ? method.ParameterPosition(names[i]) : DISPID_UNKNOWN;
        if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
}

HRESULT InvokeOf(REFIID iid, void* self, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError) noexcept
{
    ITypeInfo* info = nullptr;
    const HRESULT hr = Module().InterfaceInfo(iid, true, &info);
    if (FAILED(hr)) return hr;
    {
        Method method;
        if (!method.FindById(info, id)) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != method.CallerArguments()) return DISP_E_BADPARAMCOUNT;
    }
    return info->Invoke(self, id, flags, params, result, exception, argError);
}

}  // namespace qev::com
