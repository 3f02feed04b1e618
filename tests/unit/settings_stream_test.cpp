#include "engine/settings_stream.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using qev::AsSettings;

TEST(SettingsStream, PacksAtItsOffsetsAndUnpacksWithSignWidening)
{
    AsSettings s{};
    for (std::uint32_t i = 0; i < 19; ++i) s.f[i] = i * 3;  // f0 = 0: the size is not carried
    s.f[5] = 2;                                            // any non-zero truth value travels as 0xFFFF
    s.f[14] = 0;
    const auto bytes = qev::PackSettings(s);

    // f1 = 3, f2 = 6, f3 = 9 as truths; 2 reserved bytes; f4 = 12 as 32 bits.
    const std::array<std::uint8_t, 12> head{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 12, 0, 0, 0};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    EXPECT_EQ(bytes[12], 0xFF);  // f5
    EXPECT_EQ(bytes[30], 0x00);  // f14 = 0
    EXPECT_EQ(bytes[32], 45);    // f15 = 45
    EXPECT_EQ(bytes[44], 54);    // f18 = 54

    const AsSettings back = qev::UnpackSettings(bytes);
    EXPECT_EQ(back.f[0], 76u);
    EXPECT_EQ(back.f[1], 0xFFFFFFFFu);
    EXPECT_EQ(back.f[4], 12u);
    EXPECT_EQ(back.f[5], 0xFFFFFFFFu) << "f5 = 2 arrives as 0xFFFFFFFF";
    EXPECT_EQ(back.f[14], 0u);
    EXPECT_EQ(back.f[15], 45u);
    EXPECT_EQ(back.f[18], 54u);

    // A 16-bit field whose value is not a truth still widens with its sign.
    std::array<std::uint8_t, 48> raw{};
    raw[2] = 0x01;
    raw[3] = 0x80;  // f2 = 0x8001
    raw[6] = 0xAB;  // reserved bytes are ignored
    raw[7] = 0xCD;
    EXPECT_EQ(qev::UnpackSettings(raw).f[2], 0xFFFF8001u);
    EXPECT_EQ(qev::UnpackSettings(raw).f[3], 0u);
}

TEST(SettingsStream, AntispamFollowsFieldsOneAndThree)
{
    struct Case {
        std::uint32_t f1, f3;
        bool on;
    } const cases[] = {{0, 1, true}, {0, 0, false}, {1, 1, false}, {1, 0, false}, {0, 0xFFFFFFFF, true}};
    for (const auto& c : cases) {
        AsSettings s = qev::DefaultSettings();
        s.f[1] = c.f1;
        s.f[3] = c.f3;
        EXPECT_EQ(qev::AntispamOnFrom(s), c.on) << c.f1 << "/" << c.f3;
        EXPECT_EQ(qev::AntispamOnFrom(qev::UnpackSettings(qev::PackSettings(s))), c.on) << "after the stream";
    }
    EXPECT_FALSE(qev::AntispamOnFrom(qev::DefaultSettings())) << "the prefill has f3 = 0";
}

}  // namespace
