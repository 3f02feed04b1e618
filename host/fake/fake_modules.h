// The add-in's language and layout modules and qev.dll's own pictures as the
// Windows build makes them, for the in-memory world's libraries. The bytes are
// generated at build time by resources/make_ui_modules.py from the same text
// tables and picture source as the Windows modules: the same string-table
// blocks, the same bitmaps and PNGs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "host/fake/fake_libraries.h"

namespace host::fake {

struct BuiltResource {
    ResourceType type;
    std::uint32_t id;
    const std::uint8_t* data;
    std::size_t size;
};

struct BuiltModule {
    // Relative to the folder the modules are installed in: "lang\en-us\qev.txtui", "ui\rtl\qev.ui".
    const char16_t* path;
    const BuiltResource* resources;
    std::size_t count;
};

// Generated.
std::span<const BuiltModule> BuiltUiModules() noexcept;
std::span<const BuiltResource> BuiltAddinResources() noexcept;

// The module at that relative path (compared without case), or null.
const BuiltModule* FindBuiltModule(std::u16string_view path) noexcept;
FakeLibraries::Resources ResourcesOf(std::span<const BuiltResource> resources);
FakeLibraries::Resources ResourcesOf(const BuiltModule& module);
// qev.dll's own: its pictures, no string table.
FakeLibraries::Resources AddinModuleResources();

}  // namespace host::fake
