// Automation values and late-bound calls over the real COM: VARIANT <->
// host::Variant, owners for BSTRs and VARIANTs (interface pointers: ComPtr in
// com_object.h), and property reads and method calls by name through IDispatch.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objidl.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "host/com_error.h"
#include "host/utf.h"
#include "host/variant.h"
#include "host/win/com_object.h"

namespace host::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text crosses the API boundary as it is");

inline const wchar_t* W(const char16_t* text) noexcept
{
    return reinterpret_cast<const wchar_t*>(text);
}

inline const char16_t* U(const wchar_t* text) noexcept
{
    return reinterpret_cast<const char16_t*>(text);
}

// Member names compare as GetIDsOfNames compares them: without (ASCII) case.
// A null name equals nothing.
inline bool SameName(const wchar_t* a, const wchar_t* b) noexcept
{
    return a && b && EqualNoCase(std::u16string_view(U(a)), std::u16string_view(U(b)));
}

// Owns one BSTR.
class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::u16string_view text);  // throws ComError(E_OUTOFMEMORY)
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : m_b(std::exchange(other.m_b, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        std::swap(m_b, other.m_b);
        return *this;
    }
    ~Bstr() { SysFreeString(m_b); }

    BSTR Get() const noexcept { return m_b; }
    BSTR Detach() noexcept { return std::exchange(m_b, nullptr); }
    BSTR* Out() noexcept
    {
        SysFreeString(std::exchange(m_b, nullptr));
        return &m_b;
    }
    // The text with its full length (embedded zeros kept); empty for a null BSTR.
    std::u16string Text() const { return TextOf(m_b); }
    static std::u16string TextOf(BSTR b);

private:
    BSTR m_b = nullptr;
};

// Owns one VARIANT; clears it when it dies.
class ComVariant {
public:
    ComVariant() noexcept { VariantInit(&m_v); }
    // Takes over v (which the caller no longer clears).
    explicit ComVariant(const VARIANT& v) noexcept : m_v(v) {}
    ComVariant(const ComVariant&) = delete;
    ComVariant& operator=(const ComVariant&) = delete;
    ComVariant(ComVariant&& other) noexcept : m_v(other.m_v) { VariantInit(&other.m_v); }
    ComVariant& operator=(ComVariant&& other) noexcept
    {
        std::swap(m_v, other.m_v);
        return *this;
    }
    ~ComVariant() { VariantClear(&m_v); }

    VARIANT& Get() noexcept { return m_v; }
    const VARIANT& Get() const noexcept { return m_v; }
    VARIANT* Out() noexcept
    {
        VariantClear(&m_v);
        return &m_v;
    }
    VARTYPE Type() const noexcept { return m_v.vt; }

private:
    VARIANT m_v;
};

// The COM object behind a host object: implemented by every host object that
// wraps (or is) a COM object, so that the object can be handed back to COM.
class ComIdentity {
public:
    // The object's IUnknown, without an added reference.
    virtual IUnknown* ComUnknown() noexcept = 0;

protected:
    ~ComIdentity() = default;
};

// The IUnknown behind a host object, or null for one that is not COM's.
IUnknown* ComUnknownOf(Object* object) noexcept;

// A VARIANT as the seam carries it: VT_BOOL keeps its raw value; the integer
// types become Int32; a BSTR becomes Text; VT_UNKNOWN / VT_DISPATCH become an
// object that answers Unknown, Dispatch, Stream and EventSource as the COM
// object does; references are followed; any other type is Empty.
Variant FromVariant(const VARIANT& v);

// The VARIANT for a seam value; the caller clears it. An object that is not
// COM's cannot cross: ComError(DISP_E_TYPEMISMATCH).
VARIANT ToVariant(const Variant& v);

// ---- late-bound calls ----

// GetIDsOfNames for one name; ComError on failure.
DISPID DispIdOf(IDispatch* object, std::u16string_view name);

// Invoke by name with flags (DISPATCH_PROPERTYGET, DISPATCH_METHOD, ...) and
// arguments in their natural order; returns the result. A failed call raises
// ComError, with the error and description of the object's EXCEPINFO when it
// gave one.
ComVariant InvokeByName(IDispatch* object, std::u16string_view name, WORD flags, std::span<const VARIANT> args = {});

// The same by dispatch id.
ComVariant InvokeById(IDispatch* object, DISPID id, WORD flags, std::span<const VARIANT> args = {});

// Arguments of late-bound calls. A text or an object argument borrows what
// it points at, which outlives the call; nothing here is cleared.
VARIANT Int32Argument(std::int32_t value) noexcept;
VARIANT IntArgument(int value) noexcept;  // VT_INT, which Outlook's Selection.Item takes
VARIANT BoolArgument(bool value) noexcept;
VARIANT TextArgument(const Bstr& text) noexcept;
VARIANT DispatchArgument(IDispatch* object) noexcept;
// An optional argument left out, as C++ callers of Office mark it: VT_ERROR
// with DISP_E_PARAMNOTFOUND.
VARIANT MissingArgument() noexcept;

inline ComVariant GetProperty(IDispatch* object, std::u16string_view name)
{
    return InvokeByName(object, name, DISPATCH_PROPERTYGET);
}

inline ComVariant CallMethod(IDispatch* object, std::u16string_view name, std::span<const VARIANT> args = {})
{
    return InvokeByName(object, name, DISPATCH_METHOD, args);
}

// A result as an object of the given kind: VT_DISPATCH (or an IUnknown that
// answers IDispatch); null for a null object; ComError(DISP_E_TYPEMISMATCH)
// for any other type.
ComPtr<IDispatch> DispatchOf(const ComVariant& value);

// A result converted to text or to a 32-bit integer (VariantChangeType);
// ComError when it cannot be.
std::u16string TextOf(const ComVariant& value);
std::int32_t Int32Of(const ComVariant& value);

// ComError(hr) carrying the text of EXCEPINFO (which it frees).
[[noreturn]] void ThrowDispatchError(HRESULT hr, EXCEPINFO& info);

}  // namespace host::win
