// Loading libraries by full path, as LoadLibraryW / GetProcAddress do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The resource types the add-in reads from its own module and from the
// language and layout modules: RT_BITMAP, RT_STRING and the type named "PNG".
enum class ResourceType { Bitmap, StringTable, Png };

// HRESULT_FROM_WIN32 of ERROR_RESOURCE_TYPE_NOT_FOUND and ERROR_RESOURCE_NAME_NOT_FOUND.
inline constexpr HRESULT kHrResourceTypeNotFound = static_cast<HRESULT>(0x80070715u);
inline constexpr HRESULT kHrResourceNameNotFound = static_cast<HRESULT>(0x80070716u);

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

    // Added for the UI texts and pictures: a copy of the bytes of resource id
    // of that type in a loaded module, language neutral (FindResourceW,
    // LoadResource, SizeofResource). S_OK, or the loader's error
    // (kHrResourceTypeNotFound, kHrResourceNameNotFound, ...) with out emptied.
    virtual HRESULT Resource(LibraryHandle module, ResourceType type, std::uint32_t id,
                             std::vector<std::uint8_t>& out) = 0;

protected:
    ~Libraries() = default;
};

}  // namespace host
