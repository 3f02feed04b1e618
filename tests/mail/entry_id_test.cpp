// Entry ids: the hexadecimal text Outlook takes, and the key order and
// equality of watched stores, both defined by those texts (a prefix first).
#include "mail/entry_id.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/unit/test_text.h"

namespace {

using qev::EntryId;

TEST(EntryId, HexTextIsUpperCaseTwoDigitsPerByte)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* hex;
    } const cases[] = {{{}, ""}, {{0x00}, "00"}, {{0x0F, 0xA0, 0xFF, 0x09, 0xDC}, "0FA0FF09DC"}};
    for (const Case& c : cases) EXPECT_EQ(Narrow(EntryId(c.bytes).Hex()), c.hex);
}

// Random ids over a few byte values, so that prefixes, equal ids and high
// bytes all occur: order and equality must agree with the texts.
TEST(EntryId, OrderAndEqualityFollowTheHexTexts)
{
    std::mt19937 random(20261205);
    const std::uint8_t alphabet[] = {0x00, 0x09, 0x0A, 0x7F, 0x80, 0xFF};
    std::vector<EntryId> ids;
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> bytes(random() % 5);
        for (auto& b : bytes) b = alphabet[random() % std::size(alphabet)];
        ids.emplace_back(bytes);
    }
    const qev::EntryIdLess less;
    for (const EntryId& a : ids) {
        for (const EntryId& b : ids) {
            ASSERT_EQ(less(a, b), a.Hex() < b.Hex()) << Narrow(a.Hex()) << " " << Narrow(b.Hex());
            ASSERT_EQ(a == b, a.Hex() == b.Hex()) << Narrow(a.Hex()) << " " << Narrow(b.Hex());
        }
    }
}

}  // namespace
