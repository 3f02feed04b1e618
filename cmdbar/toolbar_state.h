// Which commands are enabled (from the engine's state, the selection and the
// current folder), and where the command bar sits.
#pragma once

namespace qev {

// Not built yet: without buttons there is no state to show, and the bar's
// placement stays as the engine's value store gave it.
class ToolbarState {
public:
    void SetToolbarStatus_() {}
    void SaveCmdBarPosition_() {}
    void OnFolderSwitch_() {}
    void OnSelectionChange() {}
};

}  // namespace qev
