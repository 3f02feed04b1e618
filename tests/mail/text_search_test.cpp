// Every way of searching must answer what std::u16string_view::find answers,
// wherever the needle sits against the blocks a path reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/text_search.h"
#include "mail/text_search_paths.h"

namespace {

using Path = std::size_t (*)(std::u16string_view, std::u16string_view, std::size_t) noexcept;

std::vector<std::pair<const char*, Path>> Paths()
{
    std::vector<std::pair<const char*, Path>> paths{{"plain", qev::text_search_paths::Plain},
                                                    {"chosen", qev::FindText}};
#if defined(__x86_64__)
    paths.emplace_back("sse2", qev::text_search_paths::Sse2);
    if (__builtin_cpu_supports("avx2")) paths.emplace_back("avx2", qev::text_search_paths::Avx2);
#endif
    return paths;
}

TEST(TextSearch, EveryPathFindsWhatFindFinds)
{
    // Needles whose first and last units also stand alone in the text, so
    // that half-matches (first unit only, last unit only, both but a middle
    // that differs) sit near every real one.
    const std::u16string_view needles[] = {u"\nFrom:", u"X-Spam: Yes", u"@", u"\r\n", u"\nFr0m:", u"aa"};
    for (const auto& [name, find] : Paths()) {
        for (const std::u16string_view needle : needles) {
            for (std::size_t size : {0, 1, 5, 15, 16, 17, 63, 64, 65, 130, 200}) {
                std::u16string text(size, u'a');
                for (std::size_t i = 3; i < size; i += 7) text[i] = u'\n';  // first units
                for (std::size_t i = 5; i < size; i += 11) text[i] = u':';  // last units
                for (std::size_t at = 0; at + needle.size() <= size; at += (at < 80 ? 1 : 13)) {
                    std::u16string planted = text;
                    planted.replace(at, needle.size(), needle);
                    for (std::size_t from : {std::size_t{0}, at, at + 1, size, size + 1}) {
                        ASSERT_EQ(find(planted, needle, from), std::u16string_view(planted).find(needle, from))
                            << name << " size " << size << " at " << at << " from " << from;
                    }
                }
                ASSERT_EQ(find(text, needle, 0), std::u16string_view(text).find(needle, 0)) << name << " " << size;
            }
        }
        EXPECT_EQ(find(u"abc", u"", 3), 3U) << name;
        EXPECT_EQ(find(u"abc", u"", 4), std::u16string_view::npos) << name;
    }
}

}  // namespace
