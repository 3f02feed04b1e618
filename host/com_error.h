// The exception a failed host call raises: an HRESULT and, where the object
// gave one, a description.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "host/hresult.h"
#include "host/object.h"

namespace host {

class ComError : public std::exception {
public:
    explicit ComError(HRESULT hr, std::u16string description = {});

    HRESULT Error() const noexcept { return m_hr; }
    const std::u16string& Description() const noexcept { return m_description; }

    // The message text of the error, computed on first use and kept.
    const std::u16string& ErrorMessage() const;

    const char* what() const noexcept override { return "COM error"; }

private:
    HRESULT m_hr;
    std::u16string m_description;
    mutable std::optional<std::u16string> m_message;
};

// The message text of hr: the system's text without its final line end, or
// "IDispatch error #N" for 0x80040201..0x8004FFFF, or "Unknown error 0x...".
std::u16string ComErrorMessageText(HRESULT hr);

// Raises ComError when hr is a failure.
inline void ThrowIfFailed(HRESULT hr)
{
    if (hr < 0) throw ComError(hr);
}

// Runs a host call and answers the HRESULT it failed with, or S_OK. Anything
// that is not a COM error goes on to the caller's boundary.
template <class Call>
HRESULT HrOf(Call&& call)
{
    try {
        std::forward<Call>(call)();
        return S_OK;
    } catch (const ComError& e) {
        return e.Error();
    }
}

// Asks for interface T where only a missing interface is an answer: no
// object, or E_NOINTERFACE, gives null; any other failed query raises
// ComError with its own result, as a smart pointer's query does.
template <class T>
Ref<T> QueryOrRaise(Object* object)
{
    Ref<T> found;
    if (!object) return found;
    const HRESULT hr = QueryAs(object, found);
    if (FAILED(hr) && hr != E_NOINTERFACE) throw ComError(hr);
    return found;
}

}  // namespace host
