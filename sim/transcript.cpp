#include "sim/transcript.h"

#include "host/utf.h"
#include "sim/escape.h"

#include <algorithm>
#include <cstdio>

namespace qev::sim {

std::string EscapeText(std::u16string_view text)
{
    return host::Utf8(EscapeUtf16(text));
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
