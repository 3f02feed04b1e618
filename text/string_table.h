// The string-table resources of the language modules, read by the add-in's
// own code: text n is entry n % 16 of block n / 16 + 1; a block is a run of 16
// entries, each a 16-bit count of UTF-16 units followed by the units, with no
// terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qev {

// The resource id of the block that holds text number.
constexpr std::uint32_t StringBlockId(std::uint32_t number) noexcept
{
    return number / 16 + 1;
}

// Text number from its block's bytes (little-endian). Nothing when the entry
// is empty, lies beyond the block's end, or runs past it: a cut block never
// yields part of a text.
std::optional<std::u16string> StringFromBlock(std::span<const std::uint8_t> block, std::uint32_t number);

}  // namespace qev
