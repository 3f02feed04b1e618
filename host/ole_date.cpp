#include "host/ole_date.h"

#include <cmath>

#include "host/format.h"

namespace host {
namespace {

constexpr std::int64_t kDaysTo1899_12_30 = -25569;  // from 1 January 1970

// Days since 1 January 1970 of a proleptic Gregorian date, and back
// (H. Hinnant's days_from_civil / civil_from_days).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) noexcept
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) noexcept
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool IsDigit(char16_t c) noexcept
{
    return c >= u'0' && c <= u'9';
}

// Reads 1 to maxDigits digits at pos.
bool ReadNumber(std::u16string_view text, std::size_t& pos, int maxDigits, int& out) noexcept
{
    int n = 0;
    int digits = 0;
    while (pos < text.size() && IsDigit(text[pos]) && digits < maxDigits) {
        n = n * 10 + (text[pos++] - u'0');
        ++digits;
    }
    out = n;
    return digits > 0;
}

bool Expect(std::u16string_view text, std::size_t& pos, char16_t c) noexcept
{
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

double OleDateOf(const CivilTime& t) noexcept
{
    const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) - kDaysTo1899_12_30;
    return static_cast<double>(days) + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
}

CivilTime CivilOf(double oleDate) noexcept
{
    const auto seconds = static_cast<std::int64_t>(std::llround(oleDate * 86400.0));
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    CivilTime t;
    CivilFromDays(days + kDaysTo1899_12_30, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

std::u16string FilterDateText(double oleDate)
{
    const CivilTime t = CivilOf(oleDate);
    const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    return qev::Format(u"%d/%d/%d %d:%02d %s", t.month, t.day, t.year, hour12, t.minute,
                       t.hour < 12 ? u"AM" : u"PM");
}

std::optional<double> ParseFilterDate(std::u16string_view text) noexcept
{
    CivilTime t;
    std::size_t pos = 0;
    if (!ReadNumber(text, pos, 2, t.month) || !Expect(text, pos, u'/') || !ReadNumber(text, pos, 2, t.day) ||
        !Expect(text, pos, u'/') || !ReadNumber(text, pos, 4, t.year))
        return std::nullopt;
    if (pos < text.size()) {
        if (!Expect(text, pos, u' ') || !ReadNumber(text, pos, 2, t.hour) || !Expect(text, pos, u':') ||
            !ReadNumber(text, pos, 2, t.minute))
            return std::nullopt;
        if (pos < text.size() && text[pos] == u':' && (++pos, !ReadNumber(text, pos, 2, t.second)))
            return std::nullopt;
        if (pos < text.size()) {
            if (!Expect(text, pos, u' ') || text.size() - pos != 2 || text[pos + 1] != u'M') return std::nullopt;
            const bool pm = text[pos] == u'P';
            if (!pm && text[pos] != u'A') return std::nullopt;
            if (t.hour < 1 || t.hour > 12) return std::nullopt;
            t.hour = t.hour % 12 + (pm ? 12 : 0);
            pos += 2;
        }
    }
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
    // A day past the month's end comes back as another date.
    const CivilTime round = CivilOf(OleDateOf(t));
    if (round.day != t.day || round.month != t.month) return std::nullopt;
    return OleDateOf(t);
}

}  // namespace host
