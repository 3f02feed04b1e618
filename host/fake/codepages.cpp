#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

char16_t Widened(unsigned char b) noexcept
{
    return b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
}

}  // namespace

std::u16string WidenWindows1252(std::string_view bytes)
{
    std::u16string out;
    AppendWindows1252(out, bytes);
    return out;
}

void AppendWindows1252(std::u16string& out, std::string_view bytes)
{
    const std::size_t start = out.size();
    out.resize(start + bytes.size());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char16_t* to = out.data() + start;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Mail is mostly ASCII: sixteen bytes below 0x80 are sixteen units with a
    // zero high byte, made by interleaving them with zeros. A block with any
    // other byte goes through the table one byte at a time.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= bytes.size(); i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(block) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(block, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 8), _mm_unpackhi_epi8(block, zero));
        } else {
            for (std::size_t j = i; j < i + 16; ++j) to[j] = Widened(in[j]);
        }
    }
#endif
    for (; i < bytes.size(); ++i) to[i] = Widened(in[i]);
}

}  // namespace host::fake
