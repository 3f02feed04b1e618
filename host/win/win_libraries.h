// host::Libraries over the Windows loader, and the loading of the system's
// own libraries.
#pragma once

#include <windows.h>

#include "host/libraries.h"

namespace host::win {

// A library of the system folder by its file name, with its own imports
// found there as well (LOAD_LIBRARY_SEARCH_SYSTEM32, for this load only: the
// process's search order is left as Outlook set it). Never a copy of that
// name in the current directory or beside the host program, which a load by
// the bare name would take first (the host program's folder) or when the
// system has SafeDllSearchMode 0 (the current directory). Windows 7 without
// KB2533623 answers the flag with ERROR_INVALID_PARAMETER: then the system
// folder's full path with LOAD_WITH_ALTERED_SEARCH_PATH, whose imports come
// from the system folder before the current directory. Null with the
// loader's error as the thread's last error.
//
// Wine (8.0) honours the flag as Windows does. Wine also prefers its own
// builtin DLL to a native file of the same name: a copy planted where the
// search order finds it first lends the module its path, but the builtin's
// code runs. Only with WINEDLLOVERRIDES "native,builtin" for the name does
// the planted copy itself run, as on Windows (the planting test,
// tests/win/dll_planting.cmake, sets that for the names it plants that are
// no KnownDLLs of Windows).
HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept;

// function, looked up by name in module (GetProcAddress); false when it is not there.
template <class Function>
bool FindExport(HMODULE module, const char* name, Function& function) noexcept
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return function != nullptr;
}

// LoadLibraryExW / GetProcAddress / FreeLibrary / GetModuleHandleW /
// GetModuleFileNameW. Errors are the loader's, as HRESULT_FROM_WIN32.
class WinLibraries final : public Libraries {
public:
    LibraryHandle Load(std::u16string_view path, bool alteredSearchPath, HRESULT* error) override;
    void* Symbol(LibraryHandle library, const char* name, HRESULT* error) override;
    void Free(LibraryHandle library) override;
    LibraryHandle Loaded(std::u16string_view moduleName) override;
    LibraryHandle Self() override;
    std::u16string FileName(LibraryHandle module) override;
    HRESULT Resource(LibraryHandle module, ResourceType type, std::uint32_t id,
                     std::vector<std::uint8_t>& out) override;
};

}  // namespace host::win
