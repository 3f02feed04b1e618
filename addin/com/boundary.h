// The boundary every COM method of qev.dll runs its body in: an exception
// writes the operation's trace line ("exception! : <operation>") and becomes
// the method's answer, so that nothing escapes into the caller.
#pragma once

#include <string_view>
#include <utility>

#include "addin/trace.h"
#include "host/win/com_object.h"

namespace qev::com {

template <class Body>
HRESULT Boundary(std::u16string_view operation, HRESULT onException, Body&& body) noexcept
{
    return host::win::CallGuarded(std::forward<Body>(body), [&]() noexcept {
        TraceCaughtException(operation);
        return onException;
    });
}

}  // namespace qev::com
