#include "host/registry.h"

#include <cstring>

namespace host {

RegValue RegValue::Text(std::u16string_view text)
{
    RegValue v;
    v.type = kRegSz;
    v.data.resize((text.size() + 1) * sizeof(char16_t));
    if (!text.empty()) std::memcpy(v.data.data(), text.data(), text.size() * sizeof(char16_t));
    return v;
}

RegValue RegValue::Dword(std::uint32_t value)
{
    RegValue v;
    v.type = kRegDword;
    v.data.resize(4);
    for (int i = 0; i < 4; ++i) v.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return v;
}

bool RegValue::AsText(std::u16string& out) const
{
    if (type != kRegSz && type != kRegExpandSz) return false;
    out.clear();
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        out.push_back(c);
    }
    return true;
}

bool RegValue::AsDword(std::uint32_t& out) const
{
    if (type != kRegDword || data.size() != 4) return false;
    out = static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
          (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    return true;
}

}  // namespace host
