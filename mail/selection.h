// What the active explorer shows: mail with a mail item selected first, and
// whether its folder is called "Spam".
#pragma once

#include "host/outlook.h"

namespace qev {

// Both answers start false; a failure on the way is traced and leaves them
// as far as they had got.
void GetSelectionItems_(host::Application* a_pApplication, bool& a_mailSelected, bool& a_spamFolder);

}  // namespace qev
