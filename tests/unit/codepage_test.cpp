#include <gtest/gtest.h>

#include <string>

#include "host/fake/fake_system.h"
#include "tests/unit/test_text.h"

namespace {

TEST(CodePages, WideningByCodePage)
{
    host::fake::FakeSystem system;
    struct Case {
        unsigned codePage;
        std::string bytes;
        std::u16string expected;
    } const cases[] = {
        {0, "Spam: Yes", u"Spam: Yes"},
        {0, "\x80\x81\x8A\x9F\xA0\xE9\xFF", u"\u20AC\u0081\u0160\u0178\u00A0\u00E9\u00FF"},
        {1252, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {28591, "\x80\xE9", u"\u0080\u00E9"},
        {65001, "caf\xC3\xA9 \xF0\x9F\x98\x80", u"caf\u00E9 \U0001F600"},
        {65001, "\xC3", u"\uFFFD"},                  // cut off
        {65001, "\xC0\xAF", u"\uFFFD\uFFFD"},         // overlong
        {65001, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // a surrogate
        {65001, "\xFFok", u"\uFFFDok"},
        {12345, "abc", u""},  // unknown code page: the conversion fails
    };
    for (const auto& c : cases) {
        EXPECT_EQ(system.Widen(c.bytes, c.codePage), c.expected) << "code page " << c.codePage;
    }
}

}  // namespace
