// How a text appears in a transcript line: '\' as "\\", CR as "\r", LF as
// "\n", any other code unit below 0x20 as "\xHH", everything else as it is.
//
// The runners escape the add-in's debug writes with it and the stand-in
// engine its call lines; the native-versus-Wine comparison holds only while
// both sides escape alike, so there is this one definition. Standard C++
// only, header only: the stand-in DLLs use it as well as the runners.
#pragma once

#include <string>
#include <string_view>

namespace qev::sim {

// The escaped form, still UTF-16: every escape is ASCII, so converting the
// result to UTF-8 gives the transcript's text.
inline std::u16string EscapeUtf16(std::u16string_view text)
{
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t c : text) {
        if (c >= 0x20 && c != u'\\') {
            out += c;
        } else if (c == u'\\') {
            out += u"\\\\";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\n') {
            out += u"\\n";
        } else {
            out += u"\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace qev::sim
