// The 48-byte form in which a settings record travels to ImportSettings.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/as_client.h"

namespace qev {

inline constexpr std::size_t kSettingsStreamBytes = 48;

// f1..f3 and f5..f14 travel as 16-bit truth values (0xFFFF or 0), f4 and
// f15..f18 as 32-bit values, little-endian.
std::array<std::uint8_t, kSettingsStreamBytes> PackSettings(const AsSettings& settings);

// The record back, with f0 = 76 and every 16-bit value widened with its sign.
AsSettings UnpackSettings(std::span<const std::uint8_t, kSettingsStreamBytes> bytes);

// The defaults the add-in prefills before the engine fills a record.
AsSettings DefaultSettings();

// Antispam is on when f1 is 0 and f3 is not.
inline bool AntispamOnFrom(const AsSettings& settings)
{
    return settings.f[1] == 0 && settings.f[3] != 0;
}

}  // namespace qev
