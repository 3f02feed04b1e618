// Turning a mail item into the text the engine reads. Nothing here keeps
// state between calls; every failure ends as a trace line and a false result.
#pragma once

#include <string>
#include <string_view>

#include "host/outlook.h"

namespace qev {

// The item's transport headers, line ends as stored. On failure out is left
// as it was.
bool MailHeaders2Str_(host::MailItem* a_pItem, std::u16string& a_headers);
// The item's body; true when a non-empty one was found.
bool MailBody2Str_(host::MailItem* a_pItem, std::u16string& a_body);
// Headers then body, each with CR LF turned into LF: the text the engine
// reads. True when either part was read.
bool Mail2Str_(host::MailItem* a_pItem, std::u16string& a_text);
// The sender address of the first suitable "From:" line of header text;
// a_from may hold a partial value when the result is false.
bool GetFrom_(std::u16string_view a_headers, std::u16string& a_from);

// Widens 8-bit text (up to its first NUL) with a code page; 0 is the system's
// ANSI code page. On failure writes "[as][qev] error : <last error> : zkA2W_
// failed" and leaves out as it was.
bool zkA2W_(std::u16string& out, std::string_view text, unsigned codePage);

// Replaces every CR LF by LF, in place and in one pass; a lone CR stays.
void CrLfToLf(std::u16string& text) noexcept;

}  // namespace qev
