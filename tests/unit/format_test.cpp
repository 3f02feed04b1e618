#include "host/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/unit/test_text.h"

using qev::FormatArg;
using qev::FormatString;
using qev::FormatTo;

namespace {

struct Case {
    const char16_t* format;
    std::vector<FormatArg> args;
    const char16_t* expected;
};

TEST(Format, ConversionsFlagsWidthsAndPrecision)
{
    const std::u16string longText(3000, u'x');
    const Case cases[] = {
        {u"plain text", {}, u"plain text"},
        {u"100%% sure", {}, u"100% sure"},
        {u"<%d>", {-42}, u"<-42>"},
        {u"<%i>", {7}, u"<7>"},
        {u"<%5d>|<%-5d>|<%05d>", {42, 42, -42}, u"<   42>|<42   >|<-0042>"},
        {u"<%+d> <% d>", {5, 5}, u"<+5> < 5>"},
        {u"<%.3d> <%.0d>", {7, 0}, u"<007> <>"},
        {u"<%u>", {-1}, u"<4294967295>"},
        {u"0x%8.8x", {static_cast<std::int32_t>(0x80040106u)}, u"0x80040106"},
        {u"0x%8.8x", {0x5}, u"0x00000005"},
        {u"%X %#x %#X %#x", {0xBEEF, 0xab, 0xab, 0}, u"BEEF 0xab 0XAB 0"},
        {u"%0lX", {0x80040200u}, u"80040200"},
        {u"%ld %lu", {-3L, 3UL}, u"-3 3"},
        {u"%lld %I64u", {INT64_MIN, UINT64_MAX}, u"-9223372036854775808 18446744073709551615"},
        {u"%d", {0x1'0000'0005LL}, u"5"},  // a 64-bit value read as the 32 bits %d takes
        {u"%hd %hu %hhd", {0x12345, -1, 0x1FF}, u"9029 65535 -1"},
        {u"<%s>", {u"text"}, u"<text>"},
        {u"<%s>", {u""}, u"<>"},
        {u"<%s>", {static_cast<const char16_t*>(nullptr)}, u"<(null)>"},
        {u"<%6s>|<%-6s>|<%.2s>", {u"abc", u"abc", u"abc"}, u"<   abc>|<abc   >|<ab>"},
        {u"<%*d>|<%-*d>|<%.*s>", {4, 1, 4, 1, 2, u"abcdef"}, u"<   1>|<1   >|<ab>"},
        {u"<%*d>", {-3, 1}, u"<1  >"},
        {u"%c%c", {u'o', u'k'}, u"ok"},
        {u"<%p>", {nullptr}, u"<0000000000000000>"},
        {u"<$%p>", {reinterpret_cast<const void*>(0xABCDEF)}, u"<$0000000000ABCDEF>"},
        // Missing arguments read as 0 or empty; extra ones are ignored.
        {u"<%d><%s><%x>", {}, u"<0><><0>"},
        {u"<%d>", {1, 2, 3}, u"<1>"},
        // Mismatched kinds never crash.
        {u"<%d><%s>", {u"text", 5}, u"<0><>"},
        // Unknown or cut-off conversions are copied as written.
        {u"<%q> <%", {1}, u"<%q> <%"},
        {u"%5", {}, u"%5"},
        {u"%s", {std::u16string_view(longText)}, longText.c_str()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatString(c.format, c.args), std::u16string(c.expected)) << "format " << Narrow(c.format);
    }
}

TEST(Format, BoundedOutputCountsWhatItCouldNotStore)
{
    const std::vector<FormatArg> args{u"abcdef", 12345};
    const std::u16string whole = FormatString(u"%s-%d", args);
    ASSERT_EQ(whole, u"abcdef-12345");

    for (std::size_t capacity : {0u, 1u, 2u, 7u, 12u, 13u, 20u}) {
        std::vector<char16_t> buf(capacity + 1, u'#');  // one guard unit past the capacity
        const std::size_t needed = FormatTo(buf.data(), capacity, u"%s-%d", args);
        EXPECT_EQ(needed, whole.size()) << capacity;
        EXPECT_EQ(buf[capacity], u'#') << "wrote past capacity " << capacity;
        if (capacity == 0) continue;
        const std::size_t stored = std::min(whole.size(), capacity - 1);
        EXPECT_EQ(std::u16string(buf.data()), whole.substr(0, stored)) << capacity;
    }
}

TEST(Format, HugeWidthIsBoundedNotAllocated)
{
    char16_t buf[16];
    const std::size_t needed = FormatTo(buf, 16, u"%999999999d", std::vector<FormatArg>{1});
    EXPECT_GT(needed, 15u);
    EXPECT_EQ(std::u16string(buf), std::u16string(15, u' '));
    EXPECT_EQ(FormatString(u"%*d|%.*d", std::vector<FormatArg>{INT32_MIN, 1, INT32_MAX, 2}).size(), 65535u + 1 + 65535u);
}

}  // namespace
