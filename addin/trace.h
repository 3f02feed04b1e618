// The diagnostic trace: one UTF-16 line per write on the debug channel,
// switched on by a marker file in the user's profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/format.h"

namespace qev {

// Process-wide trace level: 0 at load, 5 once a connection found the marker.
extern std::int32_t TraceLevel;

inline constexpr std::int32_t kTraceError = 2;
inline constexpr std::int32_t kTraceWarning = 3;
inline constexpr std::int32_t kTraceUiChoice = 4;
inline constexpr std::int32_t kTraceProgress = 5;

// Units of the line buffer, terminating zero included.
inline constexpr std::size_t kTraceBufferUnits = 2048;

// Formats one line into the stack buffer and writes it. A line that needs
// kTraceBufferUnits - 1 units or more is replaced by "[as][qev] String too long\n".
// Does not test the level: callers go through QEV_TRACE.
void TraceArgs(std::u16string_view format, std::span<const FormatArg> args) noexcept;

template <class... Args>
void Trace(std::u16string_view format, const Args&... args) noexcept
{
    const std::array<FormatArg, sizeof...(Args)> packed{FormatArg(args)...};
    TraceArgs(format, packed);
}

// Writes text as one debug write, whatever its length (the mail dump).
void TraceWhole(std::u16string_view text) noexcept;

// Writes text as it stands, with no prefix, no line end and no level test.
void TraceBare(std::u16string_view text) noexcept;

// Raises TraceLevel to 5 when the trace marker exists; never lowers it.
void ReadTraceMarker() noexcept;

// True when the marker "as.<name>" exists in the product's profile folder.
bool ProfileMarkerExists(std::u16string_view markerFile) noexcept;

inline constexpr std::u16string_view kTraceMarker = u"as.trace";
inline constexpr std::u16string_view kDisableMarker = u"as.disabled";

// To be called inside a catch block: writes the caught exception at threshold 2.
// A ComError is written with comErrorFormat and its message text; anything
// else as "[as][qev] error : unknown exception! : <unknownName>".
void TraceCaughtException(std::u16string_view comErrorFormat, std::u16string_view unknownName) noexcept;

// The usual pair for one operation:
// "[as][qev] error : exception! : <operation> : %s\n" / "unknown exception! : <operation>".
void TraceCaughtException(std::u16string_view operation) noexcept;

}  // namespace qev

// Tests the level before any argument is evaluated or anything is formatted.
#define QEV_TRACE(threshold, ...)                                          \
    do {                                                                   \
        if (::qev::TraceLevel >= (threshold)) ::qev::Trace(__VA_ARGS__);   \
    } while (0)

// A progress line "[as][qev] TEXT\n" at threshold 5.
#define QEV_TRACE_STEP(text) QEV_TRACE(::qev::kTraceProgress, u"[as][qev] %s\n", text)

// An error line "[as][qev] error : TEXT\n" at threshold 2.
#define QEV_TRACE_ERROR(text) QEV_TRACE(::qev::kTraceError, u"[as][qev] error : %s\n", text)
