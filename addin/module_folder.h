// Where the add-in's own module lies: its companions (the engine client, the
// product configuration library) are looked for beside it.
#pragma once

#include <string>
#include <string_view>

#include "host/libraries.h"

namespace qev {

inline constexpr char16_t kAddinModuleName[] = u"qev.dll";

// The full path of the loaded "qev.dll", or of the host program when no
// module of that name is loaded.
std::u16string AddinModulePath(host::Libraries& libraries);

// path without its last element ("C:\a\b.dll" gives "C:\a"); empty without a backslash.
std::u16string ParentFolder(std::u16string_view path);

// folder and name joined with one backslash, as PathCombine joins them.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

}  // namespace qev
