// Starting the product's crash handler (zkch.dll), found through the
// product's registry key.
#pragma once

#include "host/hresult.h"
#include "host/services.h"

namespace qev {

// Loads zkch.dll from the folder of the product's "AppPath", hands it its
// settings file when one exists, and enables it. The library stays loaded for
// the life of the process. Returns the handler's result or the failure.
HRESULT LoadCrashHandler(host::Services& services);

}  // namespace qev
