// The legacy command bar of Outlook 2003 and 2007 and its seven picture
// buttons, with a click sink each.
#pragma once

#include "commands/commands.h"
#include "engine/engine_link.h"

namespace qev {

// Not built yet: the add-in connects without a command bar for now, so the
// lifecycle's steps have nothing to do, no button exists to enable, and the
// bar's placement cannot be read.
class CommandBar {
public:
    // Builds the bar; false declines the connection.
    bool AddCmdBar_() { return true; }
    void ButtonsAdvise_() {}
    void ButtonsUnadvise_() {}
    void ReleaseButtons_() {}
    void ReleaseCommandBar_() {}

    // Sets the Enabled of the command's button; nothing when it has none.
    // Raises what Office raises.
    void EnableButton(CommandKey, bool) {}
    // The bar's Position, Top, Left and Visible (1 or 0); false when there is
    // no bar. Raises what Office raises.
    bool ReadPlacement(BarPlacement&) { return false; }
};

}  // namespace qev
