#include <cstdint>

#include "host/fake/fake_system.h"

namespace host::fake {
namespace {

// Windows-1252 bytes 0x80..0x9F; the five undefined ones map to the C1
// control of the same value, as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::u16string WidenWindows1252(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        out.push_back(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

std::u16string WidenUtf8(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b0 = static_cast<std::uint8_t>(bytes[i]);
        std::uint32_t cp = 0;
        std::size_t n = 0;
        std::uint32_t min = 0;
        if (b0 < 0x80) { cp = b0; n = 1; }
        else if ((b0 & 0xE0) == 0xC0) { cp = b0 & 0x1F; n = 2; min = 0x80; }
        else if ((b0 & 0xF0) == 0xE0) { cp = b0 & 0x0F; n = 3; min = 0x800; }
        else if ((b0 & 0xF8) == 0xF0) { cp = b0 & 0x07; n = 4; min = 0x10000; }
        bool ok = n != 0 && i + n <= bytes.size();
        for (std::size_t k = 1; ok && k < n; ++k) {
            const auto b = static_cast<std::uint8_t>(bytes[i + k]);
            if ((b & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (b & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return out;
}

}  // namespace host::fake
