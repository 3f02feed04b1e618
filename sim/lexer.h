// The lexical form of scenario files: statements of blank-separated tokens,
// quoted tokens, KEY=VALUE options, numbers, and <<TAG heredocs.
//
// Shared by both scenario runners; standard C++ only.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qev::sim {

// A malformed scenario file: "error line N: WHY". Line 0 names the file as a whole.
class ScenarioError : public std::runtime_error {
public:
    ScenarioError(int line, const std::string& why) : std::runtime_error(why), m_line(line) {}
    int Line() const noexcept { return m_line; }

private:
    int m_line;
};

struct Token {
    std::string text;     // after unquoting: \" and \\ replaced; any other backslash kept as written
    bool quoted = false;  // written in double quotes (never an option, never the word "none")

    // An unquoted KEY=VALUE with a non-empty key.
    bool IsOption() const noexcept;
    std::string_view Key() const noexcept;    // the part before the first '=' (options only)
    std::string_view Value() const noexcept;  // the part after it (options only)

    friend bool operator==(const Token&, const Token&) = default;
};

struct SourceStatement {
    int line = 0;  // 1-based line of the statement itself
    std::vector<Token> tokens;
    // The heredoc text when the last token was <<TAG: the lines up to the one
    // holding exactly TAG, joined with CR LF, with a final CR LF.
    std::optional<std::string> heredoc;
};

// Splits a file into statements; comments and blank lines are dropped. Lines
// may end in LF or CR LF. Throws ScenarioError for an unterminated quote, a
// quote inside an unquoted token, text right after a closing quote, or a
// heredoc without its closing line or without a statement before its marker.
std::vector<SourceStatement> Lex(std::string_view source);

// A number as scenario files write it: decimal with an optional '-', or
// hexadecimal after "0x" / "0X" (at most 16 digits). Nothing when malformed
// or beyond 64 bits.
std::optional<std::int64_t> ParseNumber(std::string_view text);

}  // namespace qev::sim
