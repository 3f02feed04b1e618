// The class object of qev.Connect.
#pragma once

#include <windows.h>

#include <unknwn.h>

namespace qev::com {

// A new class object holding one reference: the module's, which does not keep
// the server loaded. Every reference beyond it does (as a server lock would),
// so that a client holding the class object keeps the library loaded. Null
// when memory runs out.
IClassFactory* CreateConnectClassFactory() noexcept;

}  // namespace qev::com
