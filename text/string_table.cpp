#include "text/string_table.h"

namespace qev {

std::optional<std::u16string> StringFromBlock(std::span<const std::uint8_t> block, std::uint32_t number)
{
    const std::size_t units = block.size() / 2;  // an odd last byte is no unit
    auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(block[2 * i] | (block[2 * i + 1] << 8));
    };
    std::size_t at = 0;
    for (std::uint32_t entry = 0; entry < number % 16; ++entry) {
        if (at >= units) return std::nullopt;
        at += 1 + static_cast<std::size_t>(unitAt(at));
    }
    if (at >= units) return std::nullopt;
    const std::size_t count = unitAt(at);
    if (count == 0 || count > units - at - 1) return std::nullopt;
    std::u16string text(count, u'\0');
    for (std::size_t i = 0; i < count; ++i) text[i] = unitAt(at + 1 + i);
    return text;
}

}  // namespace qev
