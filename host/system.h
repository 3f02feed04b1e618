// Platform services the trace and the shared helpers need: the debug channel,
// the user's folders and files, the system's message table and code pages.
// host/win implements them over Windows; host/fake over an in-memory world.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/hresult.h"

namespace host {

// ERROR_INVALID_PARAMETER: what the conversion reports for a code page it does not know.
inline constexpr std::uint32_t kErrorInvalidParameter = 87;

class System {
public:
    virtual ~System() = default;

    // One write to the debug channel (OutputDebugStringW). text is zero-terminated.
    virtual void DebugOutput(const char16_t* text) noexcept = 0;

    // The user's roaming application-data folder (CSIDL_APPDATA, 26), without
    // creating it; nothing when the shell has none.
    virtual std::optional<std::u16string> RoamingAppDataFolder() = 0;

    // True when a file or a directory exists at path.
    virtual bool PathExists(std::u16string_view path) = 0;

    // The system's message text for hr (language neutral, no inserts), as the
    // table holds it (trailing CR LF included); nothing when it has none.
    virtual std::optional<std::u16string> SystemMessage(HRESULT hr) = 0;

    // 8-bit text widened with a code page (MultiByteToWideChar) and appended
    // to out, converted straight into out's own buffer; 0 is the system's ANSI
    // code page. Text the code page cannot decode becomes U+FFFD or the page's
    // default. False when the conversion fails (an unknown code page), with
    // the system's error code in lastError and out as it was.
    virtual bool WidenText(std::string_view bytes, unsigned codePage, std::u16string& out,
                           std::uint32_t& lastError) = 0;

    // Milliseconds since the system started, wrapping at 2^32 (GetTickCount).
    virtual std::uint32_t TickCount() noexcept = 0;
    // The local date and time now as an OLE date (GetLocalTime); nothing
    // where the platform keeps no clock.
    virtual std::optional<double> LocalNow() noexcept { return std::nullopt; }
    // A date as an item filter (Items.Restrict) must give it: Outlook reads
    // it by the user's short date and time formats, without seconds. Here
    // the user's are the United States' ("3/2/2026 9:05 AM").
    virtual std::u16string FilterDate(double oleDate);

    // The same, with an empty text for a failed conversion.
    std::u16string Widen(std::string_view bytes, unsigned codePage)
    {
        std::u16string out;
        std::uint32_t error = 0;
        return WidenText(bytes, codePage, out, error) ? out : std::u16string();
    }

    // Added for the current-directory guard of the UI texts:
    // the process's current directory (GetCurrentDirectoryW) when it fits in
    // maxUnits units with its terminating zero; false otherwise.
    virtual bool CurrentDir(std::size_t maxUnits, std::u16string& out) noexcept = 0;
    // Makes folder the current directory (SetCurrentDirectoryW); false when it cannot.
    virtual bool SetCurrentDir(std::u16string_view folder) noexcept = 0;
};

// The process's platform. Installed once, before the add-in runs (the DLL's
// load, a test's set-up); replacing it while another thread traces is not
// supported.
System& Sys() noexcept;
void InstallSystem(System* system) noexcept;

}  // namespace host
