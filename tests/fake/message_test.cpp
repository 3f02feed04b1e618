#include "host/fake/fake_message.h"

#include <gtest/gtest.h>

#include "host/fake/fake_system.h"
#include "host/fake/fake_text.h"

namespace host::fake {
namespace {

// Windows-1252 as Windows converts it: the five undefined bytes stand for
// themselves, a character it lacks becomes '?', and every byte round-trips.
TEST(NarrowWindows1252, MapsWhatTheCodePageHasAndDefaultsTheRest)
{
    EXPECT_EQ(NarrowWindows1252(u"abc \u00e9\u00ff"), "abc \xE9\xFF");
    EXPECT_EQ(NarrowWindows1252(u"\u20ac\u2122\u0178"), "\x80\x99\x9F");
    EXPECT_EQ(NarrowWindows1252(u"\u0081\u008D"), "\x81\x8D");         // undefined bytes stand for themselves
    EXPECT_EQ(NarrowWindows1252(u"\u0080\u0109\U0001F600x"), "???x");  // a surrogate pair is one character
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(NarrowWindows1252(WidenWindows1252(byte)), byte) << b;
    }
}

}  // namespace
}  // namespace host::fake
