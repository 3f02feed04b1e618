// `picture FILE.png` on the ribbon: the add-in's tab as the simulated Outlook
// shows it, drawn with GDI (the tab's label, each group's large buttons with
// their pictures above their labels and the group's label below, disabled
// buttons greyed, the groups from the right for a right-to-left layout) and
// saved as a PNG with GDI+.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qev::sim::win {

struct RibbonButtonView {
    std::u16string label;
    HBITMAP picture = nullptr;  // the caller's; null: none
    bool enabled = true;
};

struct RibbonGroupView {
    std::u16string label;
    std::vector<RibbonButtonView> buttons;
};

struct RibbonTabView {
    std::u16string label;
    std::vector<RibbonGroupView> groups;
};

// Empty on success, else what failed.
std::string DrawRibbonTab(const RibbonTabView& tab, bool rightToLeft, const std::wstring& file);

}  // namespace qev::sim::win
