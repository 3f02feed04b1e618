// The engine stand-in's texts: the call lines its listener receives, its
// store file, and the sender of a message.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace zkascl {

// A text argument of a call line: in double quotes, escaped as the
// transcript escapes (sim/escape.h), as UTF-8.
std::string QuotedArg(const char16_t* text);

// What the engine keeps between loads.
struct Store {
    std::map<std::u16string, std::uint32_t> values;
    std::set<std::u16string> spammers;
    std::set<std::u16string> friends;
    std::uint32_t learnedSpam = 0;
    std::uint32_t learnedHam = 0;

    bool operator==(const Store&) const = default;
};

// The store file's text, and back (lines it does not understand are skipped).
std::string SerializeStore(const Store& store);
Store ParseStore(std::string_view text);

// The sender's address from a message's From header (the part in angle
// brackets when there is one), in lower case; empty when there is none. The
// text is header lines (continued by lines starting with a blank), an empty
// line, the body.
std::u16string SenderOf(std::u16string_view mailText);

}  // namespace zkascl
