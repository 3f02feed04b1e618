// UTF-16 <-> UTF-8, and names compared as Windows compares them (ASCII
// letters without case). Shared by the in-memory world, the scenario runners
// and the stand-in components.
#pragma once

#include <string>
#include <string_view>

namespace host {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-16 as UTF-8; a surrogate without its partner becomes U+FFFD.
std::string Utf8(std::u16string_view text);

// UTF-8 as UTF-16; each byte of a malformed, overlong or surrogate sequence becomes U+FFFD.
std::u16string Utf16(std::string_view text);

char16_t FoldAscii(char16_t c) noexcept;
bool EqualNoCase(std::u16string_view a, std::u16string_view b) noexcept;

}  // namespace host
