// Dates in item filters: the text the add-in writes is the text Outlook's
// short form reads back, to the minute, around noon and midnight too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/ole_date.h"
#include "tests/unit/test_text.h"

namespace {

using host::CivilTime;

TEST(OleDate, FilterTextRoundTripsToTheMinute)
{
    struct Case {
        CivilTime time;
        const char16_t* text;
    };
    const std::vector<Case> cases = {
        {{2026, 3, 2, 9, 5, 59}, u"3/2/2026 9:05 AM"},  // seconds dropped, not rounded
        {{2026, 3, 2, 0, 0, 0}, u"3/2/2026 12:00 AM"},
        {{2026, 3, 2, 12, 0, 0}, u"3/2/2026 12:00 PM"},
        {{2026, 3, 2, 23, 59, 30}, u"3/2/2026 11:59 PM"},
        {{2024, 2, 29, 13, 7, 0}, u"2/29/2024 1:07 PM"},
        {{1999, 12, 31, 11, 30, 0}, u"12/31/1999 11:30 AM"},
        {{1899, 12, 30, 6, 0, 0}, u"12/30/1899 6:00 AM"},
    };
    for (const Case& c : cases) {
        const double date = host::OleDateOf(c.time);
        EXPECT_EQ(Narrow(host::FilterDateText(date)), Narrow(c.text));
        CivilTime minute = c.time;
        minute.second = 0;
        const auto back = host::ParseFilterDate(c.text);
        ASSERT_TRUE(back) << Narrow(c.text);
        EXPECT_DOUBLE_EQ(*back, host::OleDateOf(minute)) << Narrow(c.text);
    }
}

TEST(OleDate, ParseRefusesWhatOutlookWouldNotRead)
{
    for (const char16_t* text : {u"", u"3/2", u"3/2/2026 9", u"3/2/2026 9:5x", u"2/30/2026", u"13/1/2026",
                                 u"3/2/2026 13:00 PM", u"3/2/2026 0:30 AM", u"3/2/2026 9:05 XM", u"3/2/2026  9:05"}) {
        EXPECT_FALSE(host::ParseFilterDate(text)) << Narrow(text);
    }
    // A 24-hour time without AM or PM, and seconds, are read.
    EXPECT_DOUBLE_EQ(*host::ParseFilterDate(u"3/2/2026 21:05:30"), host::OleDateOf({2026, 3, 2, 21, 5, 30}));
}

}  // namespace
