// Dates as Outlook's object model carries them: an OLE date (VT_DATE) is the
// number of days since 30 December 1899, local time, the fraction the time of
// day. Item filters (Items.Restrict) take dates as text in the short form
// "M/d/yyyy h:mm AM", to the minute.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host {

struct CivilTime {
    int year = 1899;
    int month = 12;  // 1..12
    int day = 30;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Outlook's "no date" (1 January 4501): a ReceivedTime an item does not have.
inline constexpr double kOleDateNone = 949998.0;

double OleDateOf(const CivilTime& time) noexcept;
// Rounded to the nearest second, as a SYSTEMTIME from VariantTimeToSystemTime is.
CivilTime CivilOf(double oleDate) noexcept;

// The date in a filter's text: "3/2/2026 9:05 AM" (the minute, seconds dropped).
std::u16string FilterDateText(double oleDate);
// Reads "M/d/yyyy", optionally followed by "h:mm", ":ss" and "AM"/"PM" (a
// 24-hour time without them); nothing for any other text or a date that
// does not exist.
std::optional<double> ParseFilterDate(std::u16string_view text) noexcept;

}  // namespace host
