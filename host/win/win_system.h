// host::System over the real Windows APIs.
#pragma once

#include "host/system.h"

namespace host::win {

class WinSystem final : public System {
public:
    void DebugOutput(const char16_t* text) noexcept override;
    std::optional<std::u16string> RoamingAppDataFolder() override;
    bool PathExists(std::u16string_view path) override;
    std::optional<std::u16string> SystemMessage(HRESULT hr) override;
    bool WidenText(std::string_view bytes, unsigned codePage, std::u16string& out, std::uint32_t& lastError) override;
    std::uint32_t TickCount() noexcept override;
    std::optional<double> LocalNow() noexcept override;
    std::u16string FilterDate(double oleDate) override;
    bool CurrentDir(std::size_t maxUnits, std::u16string& out) noexcept override;
    bool SetCurrentDir(std::u16string_view folder) noexcept override;
};

// oleDate in locale's short date and its time format without seconds
// (GetDateFormatEx, GetTimeFormatEx); nothing when the system cannot format it.
std::optional<std::u16string> FilterDateIn(const wchar_t* locale, double oleDate);

// Installs one process-wide WinSystem as host::Sys() and returns it.
WinSystem& InstallWinSystem() noexcept;

}  // namespace host::win
