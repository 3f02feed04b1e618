// String-table blocks of a language module, as the add-in reads them: any
// bytes, any text number. The first two input bytes pick the number; the rest
// is the block. A found text is never empty, always lies wholly inside the
// block, and is the same whatever the block's number.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "text/string_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::uint32_t number = data[0] | (data[1] << 8);
    const std::span<const std::uint8_t> block(data + 2, size - 2);

    const auto text = qev::StringFromBlock(block, number);
    if (text) {
        if (text->empty()) std::abort();
        if ((text->size() + 1) * 2 > block.size()) std::abort();  // its count and units fit
    }
    // Only the position in the block counts.
    const auto same = qev::StringFromBlock(block, number % 16 + 16 * 7);
    if (same != text) std::abort();
    // A block cut after the text still holds it; one cut inside it does not.
    if (text) {
        std::size_t end = 0;
        for (std::uint32_t i = 0; i <= number % 16; ++i) end += 2 + 2 * (block[end] | (block[end + 1] << 8));
        if (qev::StringFromBlock(block.first(end), number) != text) std::abort();
        if (qev::StringFromBlock(block.first(end - 1), number)) std::abort();
    }
    return 0;
}
