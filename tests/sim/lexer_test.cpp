#include "sim/lexer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace qev::sim {
namespace {

// Tokens of a one-statement file, written as "text" for unquoted and "'text'" for quoted ones.
std::vector<std::string> Shown(std::string_view source)
{
    const std::vector<SourceStatement> statements = Lex(source);
    EXPECT_EQ(statements.size(), 1u) << source;
    std::vector<std::string> shown;
    if (statements.empty()) return shown;
    for (const Token& t : statements[0].tokens) shown.push_back(t.quoted ? "'" + t.text + "'" : t.text);
    return shown;
}

TEST(ScenarioLexer, SplitsTokensAndUnquotes)
{
    struct Case {
        std::string_view source;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {"connect", {"connect"}},
        {"  \tdisconnect   1\t", {"disconnect", "1"}},
        {"store S \"My Store\" unicode-rejected", {"store", "S", "'My Store'", "unicode-rejected"}},
        {"outlook \"\"", {"outlook", "''"}},
        // \" and \\ are the escapes; any other backslash stays as written.
        {R"(expect trace "say \"hi\"")", {"expect", "trace", "'say \"hi\"'"}},
        {R"(expect trace "a\\b")", {"expect", "trace", R"('a\b')"}},
        {R"(expect trace "ok\n")", {"expect", "trace", R"('ok\n')"}},
        {R"(expect trace "end\\")", {"expect", "trace", R"('end\')"}},
        {R"(expect trace "\x01\\\\Profiles")", {"expect", "trace", R"('\x01\\Profiles')"}},
        // A '#' that does not begin the line is text.
        {"expect trace \"# 5\" # not a comment", {"expect", "trace", "'# 5'", "#", "not", "a", "comment"}},
        {"a=b \"c=d\" =e", {"a=b", "'c=d'", "=e"}},
        {"line\r", {"line"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Shown(c.source), c.tokens) << c.source;
}

TEST(ScenarioLexer, OptionsAreUnquotedKeyValueTokens)
{
    struct Case {
        Token token;
        bool option;
        std::string_view key, value;
    };
    const Case cases[] = {
        {{"bytes=47", false}, true, "bytes", "47"}, {{"f1=", false}, true, "f1", ""},
        {{"a=b=c", false}, true, "a", "b=c"},       {{"=5", false}, false, "", ""},
        {{"bytes=47", true}, false, "", ""},        {{"plain", false}, false, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.token.IsOption(), c.option) << c.token.text;
        if (c.option) {
            EXPECT_EQ(c.token.Key(), c.key);
            EXPECT_EQ(c.token.Value(), c.value);
        }
    }
}

TEST(ScenarioLexer, DropsCommentsAndBlankLinesAndKeepsLineNumbers)
{
    const auto statements = Lex("# heading\n\n   # indented comment\r\nconnect 0\r\n\t\nstartup\nquit");
    ASSERT_EQ(statements.size(), 3u);
    EXPECT_EQ(statements[0].line, 4);
    EXPECT_EQ(statements[1].line, 6);
    EXPECT_EQ(statements[2].line, 7);
    EXPECT_EQ(statements[2].tokens[0].text, "quit");
}

TEST(ScenarioLexer, HeredocsJoinWithCrLfAndEndWithOne)
{
    struct Case {
        std::string_view source;
        std::string text;
        int nextLine;  // line of the statement after the heredoc
    };
    const Case cases[] = {
        {"deliver A \"Inbox\" <<EOF\nSubject: x\n\nbody\nEOF\nquit\n", "Subject: x\r\n\r\nbody\r\n", 6},
        {"deliver A \"Inbox\" <<EOF\r\nline\r\nEOF\r\nquit\n", "line\r\n", 4},
        // Lines that look like statements or comments are text inside a heredoc.
        {"deliver A \"Inbox\" <<END\n# not a comment\n  EOF\nEND \nEND\nquit", "# not a comment\r\n  EOF\r\nEND \r\n",
         6},
        {"deliver A \"Inbox\" <<EOF\nEOF\nquit", "\r\n", 3},
    };
    for (const Case& c : cases) {
        const auto statements = Lex(c.source);
        ASSERT_EQ(statements.size(), 2u) << c.source;
        ASSERT_TRUE(statements[0].heredoc.has_value());
        EXPECT_EQ(*statements[0].heredoc, c.text);
        EXPECT_EQ(statements[0].tokens.size(), 3u) << "the <<TAG token is not an argument";
        EXPECT_EQ(statements[1].line, c.nextLine);
        EXPECT_FALSE(statements[1].heredoc.has_value());
    }
    // "<<" alone and a quoted "<<EOF" are ordinary tokens.
    EXPECT_FALSE(Lex("select A <<")[0].heredoc.has_value());
    EXPECT_FALSE(Lex("select A \"<<EOF\"")[0].heredoc.has_value());
}

TEST(ScenarioLexer, RejectsMalformedLinesWithTheirNumber)
{
    struct Case {
        std::string_view source;
        int line;
        std::string_view why;
    };
    const Case cases[] = {
        {"connect\nexpect trace \"open", 2, "unterminated"},
        {"expect trace \"ends with escape\\\"", 1, "unterminated"},
        {"\n\nexpect trace \"a\"b", 3, "after a closing quote"},
        {"outlook 16\"0\"", 1, "quote inside"},
        {"connect\ndeliver A \"Inbox\" <<EOF\nSubject: x\n", 2, "closes the heredoc"},
        {"deliver A \"Inbox\" <<EOF\nEOF \n", 1, "closes the heredoc"},
    };
    for (const Case& c : cases) {
        try {
            Lex(c.source);
            ADD_FAILURE() << "accepted: " << c.source;
        } catch (const ScenarioError& e) {
            EXPECT_EQ(e.Line(), c.line) << c.source;
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
}

TEST(ScenarioLexer, ParsesDecimalAndHexNumbers)
{
    struct Case {
        std::string_view text;
        std::optional<std::int64_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"48", 48},
        {"-1", -1},
        {"0x0", 0},
        {"0x80040201", 0x80040201LL},
        {"0XfFfF", 0xFFFF},
        {"0x7FFFFFFFFFFFFFFF", 0x7FFFFFFFFFFFFFFFLL},
        {"9223372036854775807", 9223372036854775807LL},
        {"-9223372036854775807", -9223372036854775807LL},
        {"0x8000000000000000", std::nullopt},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"0x", std::nullopt},
        {"0x-1", std::nullopt},
        {"+5", std::nullopt},
        {"12a", std::nullopt},
        {"0x1g", std::nullopt},
        {" 1", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseNumber(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace qev::sim
