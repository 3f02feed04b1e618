#include "tests/unit/test_text.h"

#include <cstdio>

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (const char16_t c : text) {
        if (c == u'\r') out += "\\r";
        else if (c == u'\n') out += "\\n";
        else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
        else {
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}
