#include "sim/win/import_patch.h"

#include <atomic>
#include <cstring>

#include "host/fake/fake_system.h"
#include "host/ole_date.h"

namespace qev::sim::win {
namespace {

std::atomic<DWORD> g_tick{ScenarioClock::kStart};
// With QEV_SIM_REAL_CLOCK set (the catch-up benchmark), the clock also moves
// with real time from the world's start, so that the add-in's own time
// limits work as on a user's machine; scenarios then no longer agree.
bool g_real = false;
ULONGLONG g_realStart = 0;

DWORD Elapsed() noexcept
{
    return g_real ? static_cast<DWORD>(GetTickCount64() - g_realStart) : 0;
}

DWORD WINAPI ScenarioTickCount()
{
    return ScenarioClock::Now();
}

// The local time follows the tick count as in the in-memory world.
void WINAPI ScenarioLocalTime(LPSYSTEMTIME out)
{
    const host::CivilTime t = host::CivilOf(host::fake::ScenarioNow(ScenarioClock::Now()));
    *out = SYSTEMTIME{};
    out->wYear = static_cast<WORD>(t.year);
    out->wMonth = static_cast<WORD>(t.month);
    out->wDay = static_cast<WORD>(t.day);
    out->wHour = static_cast<WORD>(t.hour);
    out->wMinute = static_cast<WORD>(t.minute);
    out->wSecond = static_cast<WORD>(t.second);
}

template <class T>
T* At(HMODULE module, DWORD rva) noexcept
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

}  // namespace

void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) noexcept
{
    if (!module) return nullptr;
    const auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
    const auto* nt = At<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* library = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); library->Name != 0; ++library) {
        if (lstrcmpiA(At<char>(module, library->Name), dll) != 0) continue;
        // The names (OriginalFirstThunk) beside the addresses the loader bound (FirstThunk).
        auto* name = At<IMAGE_THUNK_DATA>(
            module, library->OriginalFirstThunk ? library->OriginalFirstThunk : library->FirstThunk);
        auto* bound = At<IMAGE_THUNK_DATA>(module, library->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(name->u1.AddressOfData));
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD protection = 0;
            if (!VirtualProtect(&bound->u1.Function, sizeof(bound->u1.Function), PAGE_READWRITE, &protection))
                return nullptr;
            void* original = reinterpret_cast<void*>(bound->u1.Function);
            bound->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&bound->u1.Function, sizeof(bound->u1.Function), protection, &protection);
            return original;
        }
    }
    return nullptr;
}

bool ScenarioClock::Install(HMODULE module) noexcept
{
    g_tick = kStart;
    g_real = GetEnvironmentVariableA("QEV_SIM_REAL_CLOCK", nullptr, 0) != 0;
    g_realStart = GetTickCount64();
    return PatchImport(module, "kernel32.dll", "GetTickCount", reinterpret_cast<void*>(&ScenarioTickCount)) != nullptr &&
           PatchImport(module, "kernel32.dll", "GetLocalTime", reinterpret_cast<void*>(&ScenarioLocalTime)) != nullptr;
}

DWORD ScenarioClock::Now() noexcept
{
    return g_tick.load() + Elapsed();
}

void ScenarioClock::Set(DWORD tick) noexcept
{
    g_tick = tick - Elapsed();
}

void ScenarioClock::Advance(DWORD ms) noexcept
{
    g_tick += ms;
}

}  // namespace qev::sim::win
