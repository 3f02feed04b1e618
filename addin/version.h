// Reading Outlook's version string.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/outlook.h"

namespace qev {

// The decimal value of text's leading digits, after optional blanks and a
// sign, as the C library's _wtoi reads it: 0 without digits, clamped to the
// 32-bit range.
std::int32_t LeadingDecimal(std::u16string_view text) noexcept;

// The major version a connection takes from the version string, starting from
// the version it had: the part before the first '.' (when that part is not
// empty), and then the whole string's value if that gave 0.
std::int32_t MajorVersion(std::u16string_view version, std::int32_t previous) noexcept;

// Whether Outlook shows the ribbon (major version 14 and up), asking it for
// its version afresh; false without Outlook or a version to read. Traces its
// answer; a failed read is no answer, not an error.
bool UseRibbon(host::Application* application);

}  // namespace qev
