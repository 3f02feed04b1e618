// The ways FindText can search, each callable on its own so that every one
// can be checked on a machine that would pick another.
#pragma once

#include <cstddef>
#include <string_view>

namespace qev::text_search_paths {

std::size_t Plain(std::u16string_view text, std::u16string_view needle, std::size_t from) noexcept;

#if defined(__x86_64__)
std::size_t Sse2(std::u16string_view text, std::u16string_view needle, std::size_t from) noexcept;
// Only where the processor has AVX2.
std::size_t Avx2(std::u16string_view text, std::u16string_view needle, std::size_t from) noexcept;
#endif

}  // namespace qev::text_search_paths
