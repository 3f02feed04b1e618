// Which commands are enabled, and where the command bar sits.
//
// Not built yet: without buttons there is no state to show, and the bar's
// placement stays as the engine's value store gave it.
#include "addin/connect.h"

namespace qev {

void CConnect::SetToolbarStatus_() {}

void CConnect::SaveCmdBarPosition_() {}

void CConnect::OnFolderSwitch_() {}

void CConnect::OnSelectionChange() {}

}  // namespace qev
