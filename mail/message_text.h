// Turning a mail item into the text the engine reads: the helpers that stand
// beside CConnect's MailHeaders2Str_, MailBody2Str_, Mail2Str_ and GetFrom_.
#pragma once

#include <string>
#include <string_view>

namespace qev {

// Widens 8-bit text (up to its first NUL) with a code page; 0 is the system's
// ANSI code page. On failure writes "[as][qev] error : <last error> : zkA2W_
// failed" and leaves out as it was.
bool zkA2W_(std::u16string& out, std::string_view text, unsigned codePage);

// Replaces every CR LF by LF, in place and in one pass; a lone CR stays.
void CrLfToLf(std::u16string& text) noexcept;

}  // namespace qev
