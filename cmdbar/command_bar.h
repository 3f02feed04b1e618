// The legacy command bar of Outlook 2003 and 2007 and its seven picture
// buttons, with a click sink each.
#pragma once

namespace qev {

// Not built yet: the add-in connects without a command bar for now, so these
// steps of the lifecycle run and have nothing to do.
class CommandBar {
public:
    // Builds the bar; false declines the connection.
    bool AddCmdBar_() { return true; }
    void ButtonsAdvise_() {}
    void ButtonsUnadvise_() {}
    void ReleaseButtons_() {}
    void ReleaseCommandBar_() {}
};

}  // namespace qev
