// Small text helpers the world's parts share (UTF-8 and case folding come
// from host/utf.h).
#pragma once

#include <string>
#include <string_view>

#include "host/utf.h"

namespace host::fake {

// "\"TEXT\"" with the text in UTF-8, for the world's own records.
std::string Quoted(std::u16string_view text);

}  // namespace host::fake
