// UTF-16 <-> UTF-8 for the stand-ins' files and call lines.
#pragma once

#include <string>
#include <string_view>

namespace standins {

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view text);
// UTF-8 as UTF-16; a malformed or overlong sequence becomes U+FFFD.
std::u16string Utf16(std::string_view text);

}  // namespace standins
