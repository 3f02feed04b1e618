// Where the add-in's own module lies: its companions (the engine client, the
// product configuration library, the language modules) are looked for beside it.
#pragma once

#include <string>
#include <string_view>

#include "host/libraries.h"

namespace qev {

// The full path of the add-in's own module, whatever its file is called;
// empty when the module or its path cannot be found (never the host
// program's, where a library of the engine's name could have been planted).
std::u16string AddinModulePath(host::Libraries& libraries);

inline constexpr char16_t kAddinModuleName[] = u"qev.dll";

// Where the engine client is looked for: the loaded module named "qev.dll"
// or, when no module of that name is loaded (the add-in's file renamed), the
// host program: a renamed add-in takes the engine from beside OUTLOOK.EXE.
std::u16string EngineHomeModulePath(host::Libraries& libraries);

// path without its last element ("C:\a\b.dll" gives "C:\a"); empty without a backslash.
std::u16string ParentFolder(std::u16string_view path);

// folder and name joined with one backslash, as PathCombine joins them.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

}  // namespace qev
