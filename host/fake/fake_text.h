// Small text helpers the world's parts share: UTF-16 to UTF-8 for records and
// messages, and ASCII case folding as Windows names compare.
#pragma once

#include <string>
#include <string_view>

namespace host::fake {

// UTF-8 of UTF-16 text; a surrogate without its partner becomes U+FFFD.
std::string Utf8(std::u16string_view text);

char16_t FoldAscii(char16_t c) noexcept;
bool EqualNoCase(std::u16string_view a, std::u16string_view b) noexcept;

// "\"TEXT\"" with the text in UTF-8, for the world's own records.
std::string Quoted(std::u16string_view text);

}  // namespace host::fake
