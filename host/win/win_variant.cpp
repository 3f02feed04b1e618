#include "host/win/win_variant.h"

#include <vector>

#include "host/win/win_outlook.h"

namespace host::win {
namespace {

// The HRESULT of an EXCEPINFO that gave only a 16-bit error code, as the
// automation wrappers compute it.
HRESULT ErrorOfWCode(WORD code) noexcept
{
    constexpr std::uint32_t kFirst = 0x80040200u;  // MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200)
    constexpr std::uint32_t kLast = 0x8004FFFFu;
    return static_cast<HRESULT>(code >= 0xFE00 ? kLast : kFirst + code);
}

}  // namespace

Bstr::Bstr(std::u16string_view text)
{
    m_b = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (!m_b) throw ComError(E_OUTOFMEMORY);
}

std::u16string Bstr::TextOf(BSTR b)
{
    if (!b) return {};
    return std::u16string(U(b), SysStringLen(b));
}

IUnknown* ComUnknownOf(Object* object) noexcept
{
    auto* identity = dynamic_cast<ComIdentity*>(object);
    return identity ? identity->ComUnknown() : nullptr;
}

Variant FromVariant(const VARIANT& v)
{
    // A reference to a value is taken as it is, never followed: where the
    // add-in takes only a boolean or only an object, a reference to one does
    // not count.
    Variant other;
    other.type = Variant::Type::Other;
    switch (v.vt) {
        case VT_EMPTY:
            return {};
        case VT_BOOL:
            return Variant::RawBool(v.boolVal);
        case VT_I1:
            return Variant::Int(v.cVal);
        case VT_UI1:
            return Variant::Int(v.bVal);
        case VT_I2:
            return Variant::Int(v.iVal);
        case VT_UI2:
            return Variant::Int(v.uiVal);
        case VT_I4:
            return Variant::Int(v.lVal);
        case VT_UI4:
            return Variant::Int(static_cast<std::int32_t>(v.ulVal));
        case VT_INT:
            return Variant::Int(v.intVal);
        case VT_UINT:
            return Variant::Int(static_cast<std::int32_t>(v.uintVal));
        case VT_BSTR:
            return Variant::String(Bstr::TextOf(v.bstrVal));
        case VT_UNKNOWN:
            return Variant::OfUnknown(WrapUnknown(v.punkVal));
        case VT_DISPATCH: {
            Variant out;
            out.type = Variant::Type::Dispatch;
            out.object = WrapDispatch(v.pdispVal);
            return out;
        }
        default:
            return other;
    }
}

VARIANT ToVariant(const Variant& v)
{
    VARIANT out;
    VariantInit(&out);
    switch (v.type) {
        case Variant::Type::Empty:
        case Variant::Type::Other:  // nothing the add-in hands over
            break;
        case Variant::Type::Bool:
            out.vt = VT_BOOL;
            out.boolVal = v.boolValue;
            break;
        case Variant::Type::Int32:
            out.vt = VT_I4;
            out.lVal = v.intValue;
            break;
        case Variant::Type::Text: {
            Bstr text(v.text);
            out.vt = VT_BSTR;
            out.bstrVal = text.Detach();
            break;
        }
        case Variant::Type::Unknown: {
            IUnknown* unknown = ComUnknownOf(v.object.Get());
            if (v.object && !unknown) throw ComError(DISP_E_TYPEMISMATCH);
            if (unknown) unknown->AddRef();
            out.vt = VT_UNKNOWN;
            out.punkVal = unknown;
            break;
        }
        case Variant::Type::Dispatch: {
            IUnknown* unknown = ComUnknownOf(v.object.Get());
            if (v.object && !unknown) throw ComError(DISP_E_TYPEMISMATCH);
            IDispatch* dispatch = nullptr;
            if (unknown && FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
                throw ComError(DISP_E_TYPEMISMATCH);
            out.vt = VT_DISPATCH;
            out.pdispVal = dispatch;
            break;
        }
    }
    return out;
}

void ThrowDispatchError(HRESULT hr, EXCEPINFO& info)
{
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    Bstr source;
    Bstr description;
    Bstr helpFile;
    *source.Out() = info.bstrSource;
    *description.Out() = info.bstrDescription;
    *helpFile.Out() = info.bstrHelpFile;
    info.bstrSource = info.bstrDescription = info.bstrHelpFile = nullptr;
    if (hr == DISP_E_EXCEPTION) {
        if (FAILED(info.scode))
            hr = info.scode;
        else if (info.wCode != 0)
            hr = ErrorOfWCode(info.wCode);
    }
    throw ComError(hr, description.Text());
}

namespace {

VARIANT Argument(VARTYPE type) noexcept
{
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = type;
    return arg;
}

}  // namespace

VARIANT Int32Argument(std::int32_t value) noexcept
{
    VARIANT arg = Argument(VT_I4);
    arg.lVal = value;
    return arg;
}

VARIANT IntArgument(int value) noexcept
{
    VARIANT arg = Argument(VT_INT);
    arg.intVal = value;
    return arg;
}

VARIANT BoolArgument(bool value) noexcept
{
    VARIANT arg = Argument(VT_BOOL);
    arg.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return arg;
}

VARIANT TextArgument(const Bstr& text) noexcept
{
    VARIANT arg = Argument(VT_BSTR);
    arg.bstrVal = text.Get();
    return arg;
}

VARIANT DispatchArgument(IDispatch* object) noexcept
{
    VARIANT arg = Argument(VT_DISPATCH);
    arg.pdispVal = object;
    return arg;
}

VARIANT MissingArgument() noexcept
{
    VARIANT arg = Argument(VT_ERROR);
    arg.scode = DISP_E_PARAMNOTFOUND;
    return arg;
}

DISPID DispIdOf(IDispatch* object, std::u16string_view name)
{
    if (!object) throw ComError(E_POINTER);
    std::u16string terminated(name);
    LPOLESTR names[] = {reinterpret_cast<LPOLESTR>(terminated.data())};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw ComError(hr);
    return id;
}

ComVariant InvokeById(IDispatch* object, DISPID id, WORD flags, std::span<const VARIANT> args)
{
    if (!object) throw ComError(E_POINTER);
    // DISPPARAMS carries the arguments last to first; Invoke does not take
    // ownership of them, so shallow copies serve.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    ComVariant result;
    EXCEPINFO info = {};
    UINT argError = 0;
    const HRESULT hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Out(), &info, &argError);
    if (FAILED(hr)) ThrowDispatchError(hr, info);
    return result;
}

ComVariant InvokeByName(IDispatch* object, std::u16string_view name, WORD flags, std::span<const VARIANT> args)
{
    return InvokeById(object, DispIdOf(object, name), flags, args);
}

ComPtr<IDispatch> DispatchOf(const ComVariant& value)
{
    const VARIANT& v = value.Get();
    if (v.vt == VT_DISPATCH) return ComPtr<IDispatch>::Share(v.pdispVal);
    if (v.vt == VT_UNKNOWN) {
        if (!v.punkVal) return nullptr;
        ComPtr<IDispatch> dispatch;
        const HRESULT hr = v.punkVal->QueryInterface(IID_IDispatch, dispatch.OutVoid());
        if (FAILED(hr)) throw ComError(hr);
        return dispatch;
    }
    throw ComError(DISP_E_TYPEMISMATCH);
}

std::u16string TextOf(const ComVariant& value)
{
    if (value.Type() == VT_BSTR) return Bstr::TextOf(value.Get().bstrVal);
    ComVariant text;
    const HRESULT hr = VariantChangeType(text.Out(), const_cast<VARIANT*>(&value.Get()), 0, VT_BSTR);
    if (FAILED(hr)) throw ComError(hr);
    return Bstr::TextOf(text.Get().bstrVal);
}

std::int32_t Int32Of(const ComVariant& value)
{
    if (value.Type() == VT_I4) return value.Get().lVal;
    ComVariant number;
    const HRESULT hr = VariantChangeType(number.Out(), const_cast<VARIANT*>(&value.Get()), 0, VT_I4);
    if (FAILED(hr)) throw ComError(hr);
    return number.Get().lVal;
}

}  // namespace host::win
