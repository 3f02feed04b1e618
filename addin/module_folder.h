// Where the add-in's own module lies: its companions (the engine client, the
// product configuration library) are looked for beside it, and never beside
// the host program.
#pragma once

#include <string>
#include <string_view>

#include "host/libraries.h"

namespace qev {

// The full path of the add-in's own module, whatever its file is called;
// empty when the module or its path cannot be found (never the host
// program's, where a library of the engine's name could have been planted).
std::u16string AddinModulePath(host::Libraries& libraries);

// path without its last element ("C:\a\b.dll" gives "C:\a"); empty without a backslash.
std::u16string ParentFolder(std::u16string_view path);

// folder and name joined with one backslash, as PathCombine joins them.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

}  // namespace qev
