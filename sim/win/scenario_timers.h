// The add-in's timers as the scenario decides them: qev.dll's SetTimer and
// KillTimer are pointed here (import_patch.h), so that its timers run only
// when the scenario lets Outlook idle (`idle`), each when the scenario's
// clock reaches it, as the in-memory world runs them. Only timers with a
// timer procedure are taken (the add-in sets no other kind); like Windows'
// they repeat until killed, and a period below 10 ms is 10 ms.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qev::sim::win {

class ScenarioTimers {
public:
    // Patches module's SetTimer and KillTimer; false when it does not import them.
    static bool Install(HMODULE module) noexcept;
    // Forgets every timer (a new world).
    static void Reset() noexcept;
    // The tick count at which the next timer falls due; nothing when none is set.
    static std::optional<DWORD> NextDue(DWORD now);
    // Calls the procedure of the timer that falls due first, as the message
    // loop's WM_TIMER would; false when none is set.
    static bool RunNext(DWORD now);
    // "timer 3 (due at 10000010)", one line per timer still set.
    static std::vector<std::string> Live();
};

}  // namespace qev::sim::win
