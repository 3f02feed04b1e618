#include "engine/settings_stream.h"

namespace qev {
namespace {

constexpr std::size_t kTruth16Low = 1;    // f1..f3 at offsets 0, 2, 4
constexpr std::size_t kTruth16High = 5;   // f5..f14 at offsets 12..30
constexpr std::size_t kWord32High = 15;   // f15..f18 at offsets 32..44

void Put16(std::uint8_t* at, std::uint16_t v)
{
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get16Signed(const std::uint8_t* at)
{
    const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(at[0] | (at[1] << 8)));
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
}

std::uint32_t Get32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

std::uint16_t Truth(std::uint32_t field)
{
    return field != 0 ? 0xFFFF : 0;
}

}  // namespace

std::array<std::uint8_t, kSettingsStreamBytes> PackSettings(const AsSettings& s)
{
    std::array<std::uint8_t, kSettingsStreamBytes> out{};
    for (std::size_t k = 0; k < 3; ++k) Put16(&out[2 * k], Truth(s.f[kTruth16Low + k]));
    Put32(&out[8], s.f[4]);
    for (std::size_t k = 0; k < 10; ++k) Put16(&out[12 + 2 * k], Truth(s.f[kTruth16High + k]));
    for (std::size_t k = 0; k < 4; ++k) Put32(&out[32 + 4 * k], s.f[kWord32High + k]);
    return out;
}

AsSettings UnpackSettings(std::span<const std::uint8_t, kSettingsStreamBytes> bytes)
{
    AsSettings s{};
    s.f[0] = sizeof(AsSettings);
    for (std::size_t k = 0; k < 3; ++k) s.f[kTruth16Low + k] = Get16Signed(&bytes[2 * k]);
    s.f[4] = Get32(&bytes[8]);
    for (std::size_t k = 0; k < 10; ++k) s.f[kTruth16High + k] = Get16Signed(&bytes[12 + 2 * k]);
    for (std::size_t k = 0; k < 4; ++k) s.f[kWord32High + k] = Get32(&bytes[32 + 4 * k]);
    return s;
}

AsSettings DefaultSettings()
{
    return AsSettings{{sizeof(AsSettings), 0, 1, 0, 5, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 0}};
}

}  // namespace qev
