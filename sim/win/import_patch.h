// The test harness's hold on what qev.dll asks of the system: the entry of
// one imported function in a loaded module's import address table is pointed
// at a function of the runner's. Only calls made by that module go there;
// the runner itself, Wine and every other module keep the real function.
//
// The runner uses it for what a scenario decides but the real system would
// not let it: the tick count (`tick`, `wait`) and another program holding the
// clipboard (`clipboard busy`). The entry stays patched until the module is
// unloaded, which each world does at its end.
#pragma once

#include <windows.h>

namespace qev::sim::win {

// Points module's import of dll!function at replacement; returns the
// function the entry held (the real one), or null when the module does not
// import it by name from that library.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) noexcept;

// GetTickCount as the add-in sees it: the scenario's clock. It starts at
// 10000000 with each world and moves only when the scenario says so. The
// add-in's GetLocalTime follows it (host::fake::ScenarioNow).
class ScenarioClock {
public:
    static constexpr DWORD kStart = 10000000;

    // Patches module's GetTickCount and GetLocalTime; false when it does not import them.
    static bool Install(HMODULE module) noexcept;
    static DWORD Now() noexcept;
    static void Set(DWORD tick) noexcept;
    static void Advance(DWORD ms) noexcept;
};

}  // namespace qev::sim::win
