// The string-table block reader: what a well-formed block gives, and that a
// cut or lying block never gives part of a text or reads past its end.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/unit/test_text.h"
#include "text/string_table.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutUnit(Bytes& out, std::uint32_t unit)
{
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
}

// Entries as given (fewer than 16 make a short block).
Bytes Block(const std::vector<std::u16string>& entries)
{
    Bytes out;
    for (const std::u16string& text : entries) {
        PutUnit(out, static_cast<std::uint32_t>(text.size()));
        for (char16_t c : text) PutUnit(out, c);
    }
    return out;
}

Bytes Cut(Bytes bytes, std::size_t drop)
{
    bytes.resize(bytes.size() - drop);
    return bytes;
}

TEST(StringTable, BlockIdAndPosition)
{
    EXPECT_EQ(qev::StringBlockId(0), 1u);
    EXPECT_EQ(qev::StringBlockId(15), 1u);
    EXPECT_EQ(qev::StringBlockId(301), 19u);
    EXPECT_EQ(qev::StringBlockId(432), 28u);
    EXPECT_EQ(qev::StringBlockId(65535), 4096u);

    std::vector<std::u16string> entries;
    for (int i = 0; i < 16; ++i) entries.push_back(i % 3 == 0 ? u"" : std::u16string(static_cast<std::size_t>(i), u'a' + i));
    const Bytes block = Block(entries);
    for (std::uint32_t n = 0; n < 64; ++n) {
        const auto text = qev::StringFromBlock(block, n);  // the block of any n: only n % 16 counts
        if (entries[n % 16].empty())
            EXPECT_FALSE(text) << n;
        else
            EXPECT_EQ(text, entries[n % 16]) << n;
    }
}

TEST(StringTable, CutAndLyingBlocks)
{
    const std::u16string longText(65535, u'\u05D0');
    Bytes countOnly;
    PutUnit(countOnly, 0xFFFF);
    Bytes lyingFirst;  // entry 0 claims more units than the block has
    PutUnit(lyingFirst, 40);
    PutUnit(lyingFirst, 2);
    PutUnit(lyingFirst, u'h');
    PutUnit(lyingFirst, u'i');

    struct Case {
        const char* what;
        Bytes block;
        std::uint32_t number;
        std::optional<std::u16string> text;
    } const cases[] = {
        {"empty block", {}, 0, std::nullopt},
        {"one byte", {1}, 0, std::nullopt},
        {"short block, entry after its end", Block({u"a", u"b", u"c"}), 7, std::nullopt},
        {"short block, last entry", Block({u"a", u"b", u"c"}), 2, u"c"},
        {"text cut by one unit", Cut(Block({u"abc"}), 2), 0, std::nullopt},
        {"text cut in its last byte", Cut(Block({u"abc"}), 1), 0, std::nullopt},
        {"count cut in half", Cut(Block({u"a", u"b"}), 3), 1, std::nullopt},
        {"earlier count past the end hides later entries", lyingFirst, 1, std::nullopt},
        {"count past the end", lyingFirst, 0, std::nullopt},
        {"65535 units, all there", Block({longText}), 0, longText},
        {"65535 units, one missing", Cut(Block({longText}), 2), 0, std::nullopt},
        {"a count of 65535 and nothing else", countOnly, 0, std::nullopt},
        {"a count of 65535 skipped", countOnly, 1, std::nullopt},
        {"bytes after the 16th entry", [] {
             Bytes b = Block(std::vector<std::u16string>(16, u"x"));
             b.insert(b.end(), {0xFF, 0xFF, 0xFF});
             return b;
         }(), 15, u"x"},
        {"units kept as they are (a lone surrogate, a zero)", Block({std::u16string(u"\xD800\0z", 3)}), 0,
         std::u16string(u"\xD800\0z", 3)},
    };
    for (const auto& c : cases) {
        const auto text = qev::StringFromBlock(c.block, c.number);
        EXPECT_EQ(text.has_value(), c.text.has_value()) << c.what;
        if (text && c.text) {
            EXPECT_EQ(*text, *c.text) << c.what << ": " << Narrow(*text).substr(0, 40);
        }
    }
}

}  // namespace
