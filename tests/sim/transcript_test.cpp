#include "sim/transcript.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <thread>

namespace qev::sim {
namespace {

TEST(ScenarioTranscript, EscapesDebugWrites)
{
    struct Case {
        std::u16string_view text;
        std::string_view shown;
    };
    const Case cases[] = {
        {u"[as][qev] OnConnection...\n", R"([as][qev] OnConnection...\n)"},
        {u"a\r\nb", R"(a\r\nb)"},
        {u"C:\\Users\\x", R"(C:\\Users\\x)"},
        {u"\\n", R"(\\n)"},  // a backslash then an n is not a line feed
        {u"tab\there", R"(tab\x09here)"},
        {std::u16string_view(u"nul\0!", 5), R"(nul\x00!)"},
        {u"\x1f\x20\x7f", "\\x1F \x7f"},
        {u"\"quoted\"", "\"quoted\""},
        {u"caf\u00e9 \u20ac", "caf\xc3\xa9 \xe2\x82\xac"},
        {u"\U0001F600", "\xf0\x9f\x98\x80"},
        {std::u16string_view(u"\xD800x", 2), "\xef\xbf\xbdx"},
        {std::u16string_view(u"x\xDC00", 2), "x\xef\xbf\xbd"},
        {u"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeText(c.text), c.shown) << c.shown;
}

TEST(ScenarioTranscript, WritesLinesAndFindsTracesInEscapedForm)
{
    std::ostringstream out;
    Transcript transcript(out);
    transcript.DebugWrite(u"[as][qev] OnConnection...\n");
    transcript.Result("connect", 0x00000001u);
    transcript.Line("< engine Init 1");
    transcript.DebugWrite(u"path C:\\x");
    transcript.Result("disconnect", 0x80004005u);
    transcript.Fail(12, "expected trace \"x\" not found");
    transcript.Error(3, "unknown verb");
    EXPECT_EQ(out.str(),
              "> [as][qev] OnConnection...\\n\n"
              "= connect 0x00000001\n"
              "< engine Init 1\n"
              "> path C:\\\\x\n"
              "= disconnect 0x80004005\n"
              "FAIL line 12: expected trace \"x\" not found\n"
              "error line 3: unknown verb\n");

    std::string found;
    EXPECT_TRUE(transcript.FindTrace("OnConnection...\\n", &found));
    EXPECT_EQ(found, "[as][qev] OnConnection...\\n");
    EXPECT_TRUE(transcript.FindTrace("C:\\\\x"));
    EXPECT_FALSE(transcript.FindTrace("C:\\x")) << "a single backslash never appears in escaped form alone";
    EXPECT_FALSE(transcript.FindTrace("Init")) << "engine lines are not debug writes";
    EXPECT_FALSE(transcript.FindTrace("...\n")) << "a raw line feed never matches";
    EXPECT_TRUE(transcript.FindTrace(""));
}

TEST(ScenarioTranscript, MatchesOrderedLinesWithGaps)
{
    std::ostringstream out;
    Transcript transcript(out);
    for (const char* line : {"= connect 0x00000000", "< engine Advise *", "> a", "> b", "< engine Shutdown", "> a",
                             "> c", "= quit 0x00000000"})
        transcript.Line(line);

    using Lines = std::vector<std::string>;
    struct Case {
        Lines wanted;
        std::optional<std::size_t> missing;
    };
    const Case cases[] = {
        {{"= connect", "< engine Advise"}, std::nullopt},
        {{"> a", "> b"}, std::nullopt},
        {{"> a", "> c"}, std::nullopt} /* the second "> a" is followed by "> c" */,
        {{"> b", "...", "> c"}, std::nullopt},
        {{"...", "= quit", "..."}, std::nullopt},
        {{"= connect", "> a"}, 1u} /* not adjacent */,
        {{"= connect", "...", "> a", "> b", "< engine Shutdown", "> a", "> c"}, std::nullopt},
        {{"> c", "...", "> a"}, 2u} /* order matters */,
        {{"> a", "...", "> a", "...", "> a"}, 4u} /* each run takes later lines */,
        {{"> a", "> b", "> x"}, 2u} /* the best attempt names the line that broke it */,
        {{"> missing"}, 0u},
        {{"connect"}, std::nullopt} /* texts match as parts of lines */,
        {{"..."}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& w : c.wanted) shown += w + " | ";
        EXPECT_EQ(transcript.FirstUnmatched(c.wanted), c.missing) << shown;
    }
}

TEST(ScenarioTranscript, LinesFromSeveralThreadsStayWhole)
{
    std::ostringstream out;
    Transcript transcript(out);
    auto writer = [&](char16_t c) {
        for (int i = 0; i < 200; ++i) transcript.DebugWrite(std::u16string(40, c));
    };
    std::thread a(writer, u'a');
    std::thread b(writer, u'b');
    a.join();
    b.join();
    std::istringstream lines(out.str());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_TRUE(line == "> " + std::string(40, 'a') || line == "> " + std::string(40, 'b')) << line;
    }
    EXPECT_EQ(count, 400);
}

TEST(ScenarioTranscript, ShowsResultsAsEightHexDigits)
{
    EXPECT_EQ(HexResult(0), "0x00000000");
    EXPECT_EQ(HexResult(1), "0x00000001");
    EXPECT_EQ(HexResult(0x8004010Fu), "0x8004010F");
}

}  // namespace
}  // namespace qev::sim
