#include "sim/transcript.h"

#include <algorithm>
#include <cstdio>

namespace qev::sim {
namespace {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char16_t c) noexcept
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c) noexcept
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::string EscapeText(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\\') {
            out += "\\\\";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            out += hex;
        } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string HexResult(std::uint32_t hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

void Transcript::Write(const std::string& line)
{
    m_out << line << '\n';
    m_out.flush();
    m_lines.push_back(line);
}

void Transcript::DebugWrite(std::u16string_view text)
{
    std::string escaped = EscapeText(text);
    const std::lock_guard lock(m_mutex);
    Write("> " + escaped);
    m_debugWrites.push_back(std::move(escaped));
}

void Transcript::Result(std::string_view verb, std::uint32_t hr)
{
    const std::lock_guard lock(m_mutex);
    Write("= " + std::string(verb) + " " + HexResult(hr));
}

void Transcript::Line(std::string_view line)
{
    const std::lock_guard lock(m_mutex);
    Write(std::string(line));
}

void Transcript::Fail(int line, std::string_view what)
{
    const std::lock_guard lock(m_mutex);
    Write("FAIL line " + std::to_string(line) + ": " + std::string(what));
}

void Transcript::Error(int line, std::string_view why)
{
    const std::lock_guard lock(m_mutex);
    Write("error line " + std::to_string(line) + ": " + std::string(why));
}

bool Transcript::FindTrace(std::string_view needle, std::string* found) const
{
    const std::lock_guard lock(m_mutex);
    for (const std::string& write : m_debugWrites) {
        if (write.find(needle) != std::string::npos) {
            if (found) *found = write;
            return true;
        }
    }
    return false;
}

std::optional<std::size_t> Transcript::FirstUnmatched(const std::vector<std::string>& wanted) const
{
    const std::lock_guard lock(m_mutex);
    std::size_t from = 0;  // the first transcript line the next run may use
    std::size_t entry = 0;
    while (entry < wanted.size()) {
        // A run: entries between two "..." that must hold consecutive lines,
        // beginning at any line after the run before.
        while (entry < wanted.size() && wanted[entry] == kAnyLines) ++entry;
        std::size_t end = entry;
        while (end < wanted.size() && wanted[end] != kAnyLines) ++end;
        if (entry == end) break;

        std::size_t reach = entry;  // how far the best attempt got
        bool placed = false;
        for (std::size_t start = from; start < m_lines.size() && !placed; ++start) {
            std::size_t e = entry;
            std::size_t line = start;
            while (e < end && line < m_lines.size() && m_lines[line].find(wanted[e]) != std::string::npos) {
                ++e;
                ++line;
            }
            if (e == end) {
                placed = true;
                from = line;
            }
            reach = std::max(reach, e);
        }
        if (!placed) return reach;
        entry = end;
    }
    return std::nullopt;
}

}  // namespace qev::sim
