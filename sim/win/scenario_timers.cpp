#include "sim/win/scenario_timers.h"

#include <algorithm>

#include "sim/win/import_patch.h"

namespace qev::sim::win {
namespace {

struct Timer {
    UINT_PTR id = 0;
    UINT period = 0;
    DWORD due = 0;
    TIMERPROC proc = nullptr;
};

// The runner's thread is the add-in's: no lock.
std::vector<Timer> g_timers;  // in the order set
UINT_PTR g_nextId = 1;

DWORD Ahead(DWORD due, DWORD now) noexcept
{
    const auto ahead = static_cast<LONG>(due - now);
    return ahead > 0 ? static_cast<DWORD>(ahead) : 0;
}

UINT_PTR WINAPI ScenarioSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc)
{
    if (window || !proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const UINT effective = std::max<UINT>(period, USER_TIMER_MINIMUM);
    // Without a window the id given is ignored and a new one comes back.
    (void)id;
    const UINT_PTR made = g_nextId++;
    g_timers.push_back({made, effective, ScenarioClock::Now() + effective, proc});
    return made;
}

BOOL WINAPI ScenarioKillTimer(HWND window, UINT_PTR id)
{
    const auto found = std::find_if(g_timers.begin(), g_timers.end(), [&](const Timer& t) { return t.id == id; });
    if (window || found == g_timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_timers.erase(found);
    return TRUE;
}

}  // namespace

bool ScenarioTimers::Install(HMODULE module) noexcept
{
    Reset();
    return PatchImport(module, "user32.dll", "SetTimer", reinterpret_cast<void*>(&ScenarioSetTimer)) != nullptr &&
           PatchImport(module, "user32.dll", "KillTimer", reinterpret_cast<void*>(&ScenarioKillTimer)) != nullptr;
}

void ScenarioTimers::Reset() noexcept
{
    g_timers.clear();
    g_nextId = 1;
}

std::optional<DWORD> ScenarioTimers::NextDue(DWORD now)
{
    std::optional<DWORD> soonest;
    for (const Timer& t : g_timers) {
        const DWORD ahead = Ahead(t.due, now);
        if (!soonest || ahead < *soonest) soonest = ahead;
    }
    if (!soonest) return std::nullopt;
    return now + *soonest;
}

bool ScenarioTimers::RunNext(DWORD now)
{
    if (g_timers.empty()) return false;
    auto next = g_timers.begin();
    for (auto it = g_timers.begin(); it != g_timers.end(); ++it)
        if (Ahead(it->due, now) < Ahead(next->due, now)) next = it;
    // It repeats until the procedure kills it.
    next->due = now + next->period;
    const UINT_PTR id = next->id;
    const TIMERPROC proc = next->proc;
    proc(nullptr, WM_TIMER, id, now);
    return true;
}

std::vector<std::string> ScenarioTimers::Live()
{
    std::vector<std::string> live;
    for (const Timer& t : g_timers)
        live.push_back("timer " + std::to_string(t.id) + " (due at " + std::to_string(t.due) + ")");
    return live;
}

}  // namespace qev::sim::win
