#include "addin/version.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(OutlookVersion, MajorVersionFromVersionStrings)
{
    struct Case {
        const char16_t* version;
        std::int32_t previous;
        std::int32_t major;
    } const cases[] = {
        {u"16.0.0.1234", -1, 16},
        {u"12.0.4518", -1, 12},
        {u"11.0", -1, 11},
        {u"10.0", -1, 10},
        {u"0.5", -1, 0},          // 0 from the first part, then the whole string: 0
        {u"9.0.0.2711", -1, 9},
        {u"16", -1, -1},          // no '.': the first part is not taken; -1 is not 0
        {u"16", 0, 16},           // ... but a previous 0 takes the whole string
        {u"", -1, -1},
        {u".5", -1, -1},          // the '.' must follow at least one character
        {u"abc.def", -1, 0},      // no digits: 0 from the part, then 0 from the whole
        {u"  +14.0", -1, 14},
        {u" -3.1", -1, -3},
        {u"99999999999999999999.0", -1, INT_MAX},
        {u"-99999999999999999999.0", -1, INT_MIN},
        {u"15abc.1", -1, 15},
        {u"0.15", 16, 0},         // "0.15" reads as 0 both ways
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qev::MajorVersion(c.version, c.previous), c.major)
            << "version \"" << std::string(c.version, c.version + std::char_traits<char16_t>::length(c.version))
            << "\" after " << c.previous;
    }
}

}  // namespace
