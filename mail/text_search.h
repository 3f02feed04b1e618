// Searching mail text for fixed strings at the speed the machine reads
// memory: headers and bodies can be many megabytes.
#pragma once

#include <cstddef>
#include <string_view>

namespace qev {

// The first position at or after from where needle starts in text, npos when
// there is none: what std::u16string_view::find answers.
std::size_t FindText(std::u16string_view text, std::u16string_view needle, std::size_t from = 0) noexcept;

}  // namespace qev
