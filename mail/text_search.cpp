#include "mail/text_search.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "mail/simd.h"
#include "mail/text_search_paths.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define QEV_SEARCH_X86 1
#endif

namespace qev {

namespace {

constexpr std::size_t npos = std::u16string_view::npos;

// What every path shares: the arguments checked, and the starts a block loop
// left over tried one by one.
struct Search {
    const char16_t* base;
    std::u16string_view needle;
    std::size_t last;  // the needle's last unit's offset
    std::size_t ends;  // every start below this leaves room for the needle

    bool MatchesAt(std::size_t at) const noexcept
    {
        return std::memcmp(base + at, needle.data(), needle.size() * sizeof(char16_t)) == 0;
    }
    std::size_t Rest(std::size_t at) const noexcept
    {
        for (; at < ends; ++at)
            if (base[at] == needle.front() && MatchesAt(at)) return at;
        return npos;
    }
    // Tries the starts whose bits are set in candidates, two bits a unit,
    // from block on; the first that matches, or npos.
    template <class Mask>
    std::size_t FirstMatch(std::size_t block, Mask candidates) const noexcept
    {
        while (candidates != 0) {
            const std::size_t start = block + static_cast<std::size_t>(std::countr_zero(candidates)) / 2;
            if (MatchesAt(start)) return start;
            candidates &= candidates - 1;
            candidates &= candidates - 1;
        }
        return npos;
    }
};

// Answers the cases no loop needs to see; false when the search must run.
bool Trivial(std::u16string_view text, std::u16string_view needle, std::size_t from, std::size_t& result) noexcept
{
    if (from > text.size()) {
        result = npos;
        return true;
    }
    if (needle.empty()) {
        result = from;
        return true;
    }
    if (needle.size() > text.size() - from) {
        result = npos;
        return true;
    }
    return false;
}

Search Prepare(std::u16string_view text, std::u16string_view needle) noexcept
{
    const std::size_t last = needle.size() - 1;
    return {text.data(), needle, last, text.size() - last};
}

}  // namespace

namespace text_search_paths {

std::size_t Plain(std::u16string_view text, std::u16string_view needle, std::size_t from) noexcept
{
    std::size_t result = npos;
    if (Trivial(text, needle, from, result)) return result;
    return Prepare(text, needle).Rest(from);
}

#if defined(QEV_SEARCH_X86)
// Eight starts at a time. A start is compared in full only where both the
// needle's first and its last unit are in place, which in mail text rarely
// holds by chance; most blocks cost two compares and a test. Sixteen starts
// are tested before a branch, in two blocks of eight.
std::size_t Sse2(std::u16string_view text, std::u16string_view needle, std::size_t from) noexcept
{
    std::size_t result = npos;
    if (Trivial(text, needle, from, result)) return result;
    const Search s = Prepare(text, needle);
    const __m128i first = _mm_set1_epi16(static_cast<short>(needle.front()));
    const __m128i lastUnit = _mm_set1_epi16(static_cast<short>(needle.back()));
    const auto candidatesAt = [&](std::size_t start) {
        const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.base + start));
        const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.base + start + s.last));
        return _mm_and_si128(_mm_cmpeq_epi16(heads, first), _mm_cmpeq_epi16(tails, lastUnit));
    };
    std::size_t at = from;
    for (; at + 16 <= s.ends; at += 16) {
        const __m128i low = candidatesAt(at);
        const __m128i high = candidatesAt(at + 8);
        if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) continue;
        // Two mask bits a unit; the second block's in the upper half.
        const auto candidates = static_cast<std::uint32_t>(_mm_movemask_epi8(low)) |
                                static_cast<std::uint32_t>(_mm_movemask_epi8(high)) << 16;
        if (const std::size_t match = s.FirstMatch(at, candidates); match != npos) return match;
    }
    return s.Rest(at);
}

// The same test as Sse2's, sixteen starts a block and four blocks before a
// branch: the loads then keep pace with the memory, where eight starts a
// block leave a large header half as fast as memchr's read of it.
__attribute__((target("avx2"))) std::size_t Avx2(std::u16string_view text, std::u16string_view needle,
                                                 std::size_t from) noexcept
{
    std::size_t result = npos;
    if (Trivial(text, needle, from, result)) return result;
    const Search s = Prepare(text, needle);
    const __m256i first = _mm256_set1_epi16(static_cast<short>(needle.front()));
    const __m256i lastUnit = _mm256_set1_epi16(static_cast<short>(needle.back()));
    const auto candidatesAt = [&](std::size_t start) __attribute__((target("avx2")))
    {
        const __m256i heads = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.base + start));
        const __m256i tails = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.base + start + s.last));
        return _mm256_and_si256(_mm256_cmpeq_epi16(heads, first), _mm256_cmpeq_epi16(tails, lastUnit));
    };
    const auto maskOf = [](__m256i block) __attribute__((target("avx2")))
    {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(block)));
    };
    std::size_t at = from;
    for (; at + 64 <= s.ends; at += 64) {
        const __m256i a = candidatesAt(at);
        const __m256i b = candidatesAt(at + 16);
        const __m256i c = candidatesAt(at + 32);
        const __m256i d = candidatesAt(at + 48);
        if (_mm256_testz_si256(_mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d)), _mm256_set1_epi8(-1)))
            continue;
        // Two mask bits a unit, 32 units a mask word.
        if (const std::size_t match = s.FirstMatch(at, maskOf(a) | maskOf(b) << 32); match != npos) return match;
        if (const std::size_t match = s.FirstMatch(at + 32, maskOf(c) | maskOf(d) << 32); match != npos) return match;
    }
    // Fewer than 64 starts left: a block of eight at a time is still worth it.
    return Sse2(text, needle, at);
}
#endif

}  // namespace text_search_paths

std::size_t FindText(std::u16string_view text, std::u16string_view needle, std::size_t from) noexcept
{
#if defined(QEV_SEARCH_X86)
    return HasAvx2() ? text_search_paths::Avx2(text, needle, from) : text_search_paths::Sse2(text, needle, from);
#else
    return text_search_paths::Plain(text, needle, from);
#endif
}

}  // namespace qev
