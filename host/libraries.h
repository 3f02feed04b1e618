// Loading libraries by full path, as LoadLibraryW / GetProcAddress do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/hresult.h"

namespace host {

// An HMODULE on Windows; an in-process library of the in-memory world in the native build.
using LibraryHandle = void*;

// The system's declarations of the two DLL-directory functions, as looked up
// by name in "Kernel32.dll".
#ifdef _WIN32
#define QEV_WINAPI __stdcall
#else
#define QEV_WINAPI
#endif
using GetDllDirectoryFn = std::uint32_t(QEV_WINAPI*)(std::uint32_t bufferLength, char16_t* buffer);
using SetDllDirectoryFn = int(QEV_WINAPI*)(const char16_t* path);

class Libraries {
public:
    // Loads the library at path; alteredSearchPath asks for its dependencies
    // to be searched in its own folder first (LOAD_WITH_ALTERED_SEARCH_PATH).
    // Null on failure, with the system's error in *error.
    virtual LibraryHandle Load(std::u16string_view path, bool alteredSearchPath, HRESULT* error) = 0;
    // The export of that name, or null with the system's error in *error.
    virtual void* Symbol(LibraryHandle library, const char* name, HRESULT* error) = 0;
    virtual void Free(LibraryHandle library) = 0;
    // An already loaded module by name (GetModuleHandleW), or null.
    virtual LibraryHandle Loaded(std::u16string_view moduleName) = 0;
    // The module this code is linked into: the add-in's own, whatever its
    // file is called (GetModuleHandleExW from one of its addresses).
    virtual LibraryHandle Self() = 0;
    // The full path of a loaded module; a null module means the host program.
    virtual std::u16string FileName(LibraryHandle module) = 0;

protected:
    ~Libraries() = default;
};

}  // namespace host
