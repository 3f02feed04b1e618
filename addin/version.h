// Reading Outlook's version string.
#pragma once

#include <cstdint>
#include <string_view>

namespace qev {

// The decimal value of text's leading digits, after optional blanks and a
// sign, as the C library's _wtoi reads it: 0 without digits, clamped to the
// 32-bit range.
std::int32_t LeadingDecimal(std::u16string_view text) noexcept;

// The major version a connection takes from the version string, starting from
// the version it had: the part before the first '.' (when that part is not
// empty), and then the whole string's value if that gave 0.
std::int32_t MajorVersion(std::u16string_view version, std::int32_t previous) noexcept;

}  // namespace qev
