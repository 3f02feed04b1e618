// Any format with any arguments: the bounded formatter must agree with the
// growable one, stay inside its buffer and always terminate it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    // First byte: how many arguments and of which kinds; the rest: the format.
    const unsigned control = data[0];
    const std::u16string text(reinterpret_cast<const char16_t*>(data + 1), (size - 1) / 2);

    std::vector<qev::FormatArg> args;
    for (unsigned k = 0; k < (control & 7); ++k) {
        switch ((control >> 3) % 3 + k % 3) {
        case 0: args.emplace_back(static_cast<std::int64_t>(size * 2654435761u) - 12345); break;
        case 1: args.emplace_back(std::u16string_view(text).substr(0, k * 3)); break;
        case 2: args.emplace_back(static_cast<const void*>(data)); break;
        default: args.emplace_back(static_cast<const char16_t*>(nullptr)); break;
        }
    }
    const std::u16string whole = qev::FormatString(text, args);
    for (std::size_t capacity : {std::size_t{0}, std::size_t{1}, std::size_t{17}, std::size_t{2048}}) {
        std::vector<char16_t> buf(capacity + 1, u'#');
        const std::size_t needed = qev::FormatTo(buf.data(), capacity, text, args);
        if (needed != whole.size()) std::abort();
        if (buf[capacity] != u'#') std::abort();
        if (capacity == 0) continue;
        const std::size_t stored = std::min(needed, capacity - 1);
        if (buf[stored] != 0 || std::memcmp(buf.data(), whole.data(), stored * 2) != 0) std::abort();
    }
    return 0;
}
