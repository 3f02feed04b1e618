// qev.dll's self-registration: its registry script (REGISTRY 101) run by the
// add-in's registrar, and its type library (TYPELIB 1), for the machine or
// for the current user only.
#pragma once

#include <windows.h>

namespace qev::com {

enum class Scope { Machine, User };

// Runs the script with registration, then registers the type library.
HRESULT RegisterServer(Scope scope) noexcept;

// Runs the script with unregistration, then unregisters the type library.
// Everything that can be removed is; the answer is the first failure.
HRESULT UnregisterServer(Scope scope) noexcept;

}  // namespace qev::com
