#include "addin/trace.h"

#include <string>

#include "host/com_error.h"
#include "host/system.h"

namespace qev {

std::int32_t TraceLevel = 0;

namespace {

constexpr char16_t kTooLong[] = u"[as][qev] String too long\n";

// The product's profile folder under the roaming application-data folder.
constexpr std::u16string_view kProfileFolder = u"\\Marlowcrest\\Desktop\\Profiles\\";

}  // namespace

void TraceArgs(std::u16string_view format, std::span<const FormatArg> args) noexcept
{
    char16_t line[kTraceBufferUnits] = {};
    const std::size_t needed = FormatTo(line, kTraceBufferUnits, format, args);
    if (needed >= kTraceBufferUnits - 1) {
        host::Sys().DebugOutput(kTooLong);
        return;
    }
    host::Sys().DebugOutput(line);
}

void TraceWhole(std::u16string_view text) noexcept
{
    try {
        const std::u16string whole(text);
        host::Sys().DebugOutput(whole.c_str());
    } catch (...) {
        // Out of memory for the copy: the dump is skipped, nothing else is lost.
    }
}

void TraceBare(std::u16string_view text) noexcept
{
    TraceWhole(text);
}

bool ProfileMarkerExists(std::u16string_view markerFile) noexcept
{
    try {
        std::optional<std::u16string> folder = host::Sys().RoamingAppDataFolder();
        if (!folder) return false;
        std::u16string path = std::move(*folder);
        path.append(kProfileFolder);
        path.append(markerFile);
        return host::Sys().PathExists(path);
    } catch (...) {
        return false;
    }
}

void ReadTraceMarker() noexcept
{
    if (ProfileMarkerExists(kTraceMarker)) TraceLevel = kTraceProgress;
}

void TraceCaughtException(std::u16string_view comErrorFormat, std::u16string_view unknownName) noexcept
{
    if (TraceLevel < kTraceError) return;
    try {
        throw;
    } catch (const host::ComError& e) {
        try {
            Trace(comErrorFormat, e.ErrorMessage());
        } catch (...) {
        }
    } catch (...) {
        try {
            Trace(u"[as][qev] error : %s\n", std::u16string(u"unknown exception! : ").append(unknownName));
        } catch (...) {
        }
    }
}

void TraceCaughtException(std::u16string_view operation) noexcept
{
    if (TraceLevel < kTraceError) return;
    try {
        const std::u16string format = std::u16string(u"[as][qev] error : exception! : ").append(operation).append(u" : %s\n");
        TraceCaughtException(format, operation);
    } catch (...) {
    }
}

}  // namespace qev
