#include "sim/lexer.h"

#include <limits>

namespace qev::sim {
namespace {

bool IsBlank(char c) noexcept
{
    return c == ' ' || c == '\t';
}

// The file's lines, without their LF or CR LF ends.
std::vector<std::string_view> SplitLines(std::string_view source)
{
    std::vector<std::string_view> lines;
    while (!source.empty()) {
        const std::size_t end = source.find('\n');
        std::string_view line = source.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        source.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<Token> Tokenize(std::string_view line, int number)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) break;
        Token token;
        if (line[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
                    token.text += line[i++];
                } else {
                    token.text += c;
                }
            }
            if (!closed) throw ScenarioError(number, "unterminated quoted text");
            if (i < line.size() && !IsBlank(line[i])) throw ScenarioError(number, "text right after a closing quote");
        } else {
            while (i < line.size() && !IsBlank(line[i])) {
                if (line[i] == '"') throw ScenarioError(number, "quote inside an unquoted token");
                token.text += line[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

int HexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool Token::IsOption() const noexcept
{
    if (quoted) return false;
    const std::size_t eq = text.find('=');
    return eq != std::string::npos && eq > 0;
}

std::string_view Token::Key() const noexcept
{
    return std::string_view(text).substr(0, text.find('='));
}

std::string_view Token::Value() const noexcept
{
    const std::size_t eq = text.find('=');
    return eq == std::string::npos ? std::string_view() : std::string_view(text).substr(eq + 1);
}

std::vector<SourceStatement> Lex(std::string_view source)
{
    const std::vector<std::string_view> lines = SplitLines(source);
    std::vector<SourceStatement> statements;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        const std::string_view line = lines[i];
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;

        SourceStatement statement;
        statement.line = number;
        statement.tokens = Tokenize(line, number);
        const Token& last = statement.tokens.back();
        if (!last.quoted && last.text.size() > 2 && last.text.starts_with("<<")) {
            const std::string tag = last.text.substr(2);
            statement.tokens.pop_back();
            // Every statement keeps its verb: the parser reads the first token.
            if (statement.tokens.empty()) throw ScenarioError(number, "a heredoc without a statement");
            std::string text;
            bool closed = false;
            while (++i < lines.size()) {
                if (lines[i] == tag) {
                    closed = true;
                    break;
                }
                text.append(lines[i]);
                text.append("\r\n");
            }
            if (!closed) throw ScenarioError(number, "no line \"" + tag + "\" closes the heredoc");
            if (text.empty()) text = "\r\n";  // no lines: nothing joined, the final CR LF still added
            statement.heredoc = std::move(text);
        }
        statements.push_back(std::move(statement));
    }
    return statements;
}

std::optional<std::int64_t> ParseNumber(std::string_view text)
{
    constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint64_t value = 0;
        for (const char c : text.substr(2)) {
            const int digit = HexDigit(c);
            if (digit < 0 || value > (kMax >> 4)) return std::nullopt;
            value = (value << 4) | static_cast<std::uint64_t>(digit);
        }
        return static_cast<std::int64_t>(value);
    }
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
}

}  // namespace qev::sim
