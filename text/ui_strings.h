// The language and layout modules that hold the add-in's UI texts and pictures.
#pragma once

#include "host/services.h"

namespace qev {

// Finds and loads the language and layout modules chosen in the registry.
void LoadUiStringModules(host::Services& services);

}  // namespace qev
