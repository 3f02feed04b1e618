// `picture FILE.png`: the add-in's command bar as the simulated Outlook shows
// it, drawn with GDI (each button its face and, beside it, its caption; a
// disabled button greyed; the buttons from the right for a right-to-left
// layout) and saved as a PNG with GDI+.
#pragma once

#include <string>

namespace qev::sim::win {

class SimCommandBar;

// Empty on success, else what failed.
std::string DrawCommandBar(const SimCommandBar& bar, bool rightToLeft, const std::wstring& file);

}  // namespace qev::sim::win
