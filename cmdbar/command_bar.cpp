// The legacy command bar (Outlook 2003 to 2007) and its seven buttons.
//
// Not built yet: the add-in connects without a command bar for now, so these
// steps of the lifecycle run and have nothing to do.
#include "addin/connect.h"

namespace qev {

bool CConnect::AddCmdBar_()
{
    return true;
}

void CConnect::ButtonsAdvise_() {}

void CConnect::ButtonsUnadvise_() {}

void CConnect::ReleaseButtons_() {}

void CConnect::ReleaseCommandBar_() {}

}  // namespace qev
