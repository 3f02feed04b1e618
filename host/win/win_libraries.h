// host::Libraries over the Windows loader.
#pragma once

#include "host/libraries.h"

namespace host::win {

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
