#include "text/ui_strings.h"

namespace qev {

void LoadUiStringModules(host::Services&)
{
    // Not built yet: the add-in has no language modules of its own so far, and
    // nothing asks for a UI text before the ribbon and the command bar exist.
}

}  // namespace qev
