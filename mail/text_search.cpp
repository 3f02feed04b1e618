#include "mail/text_search.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qev {

std::size_t FindText(std::u16string_view text, std::u16string_view needle, std::size_t from) noexcept
{
    constexpr std::size_t npos = std::u16string_view::npos;
    if (from > text.size()) return npos;
    if (needle.empty()) return from;
    if (needle.size() > text.size() - from) return npos;
    const char16_t* const base = text.data();
    const std::size_t last = needle.size() - 1;
    const std::size_t ends = text.size() - last;  // every start below this leaves room for the needle
    const auto matchesAt = [&](std::size_t at) {
        return std::memcmp(base + at, needle.data(), needle.size() * sizeof(char16_t)) == 0;
    };
    std::size_t at = from;
#if defined(__SSE2__)
    // Eight starts at a time. A start is compared in full only where both the
    // needle's first and its last unit are in place, which in mail text
    // rarely holds by chance; most blocks cost two compares and a test.
    // Sixteen starts are tested before a branch, in two blocks of eight.
    const __m128i first = _mm_set1_epi16(static_cast<short>(needle.front()));
    const __m128i lastUnit = _mm_set1_epi16(static_cast<short>(needle.back()));
    const auto candidatesAt = [&](std::size_t start) {
        const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + start));
        const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + start + last));
        return _mm_and_si128(_mm_cmpeq_epi16(heads, first), _mm_cmpeq_epi16(tails, lastUnit));
    };
    for (; at + 16 <= ends; at += 16) {
        // Two mask bits a unit; the second block's in the upper half.
        const __m128i low = candidatesAt(at);
        const __m128i high = candidatesAt(at + 8);
        if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) continue;
        auto candidates = static_cast<std::uint32_t>(_mm_movemask_epi8(low)) |
                          static_cast<std::uint32_t>(_mm_movemask_epi8(high)) << 16;
        while (candidates != 0) {
            const std::size_t start = at + static_cast<std::size_t>(std::countr_zero(candidates)) / 2;
            if (matchesAt(start)) return start;
            candidates &= candidates - 1;
            candidates &= candidates - 1;
        }
    }
#endif
    for (; at < ends; ++at)
        if (base[at] == needle.front() && matchesAt(at)) return at;
    return npos;
}

}  // namespace qev
