// The transcript a scenario run prints: one line per event, in the order the
// events happen, written out as soon as each happens.
//
// Shared by both scenario runners; standard C++ only.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qev::sim {

// A debug write or an engine text as the transcript shows it: escaped
// (sim/escape.h), as UTF-8 (a surrogate without its partner as U+FFFD).
std::string EscapeText(std::u16string_view text);

// "0xHHHHHHHH", as results are shown and written in expectations.
std::string HexResult(std::uint32_t hr);

// The entry of an ordered expectation that lets any lines pass.
inline constexpr std::string_view kAnyLines = "...";

// Safe to use from several threads; lines keep the order in which they came.
class Transcript {
public:
    explicit Transcript(std::ostream& out) : m_out(out) {}

    // "> TEXT": one write to the debug channel; kept for `expect trace`.
    void DebugWrite(std::u16string_view text);
    // "= VERB 0xHHHHHHHH": a session statement's host call returned.
    void Result(std::string_view verb, std::uint32_t hr);
    // A line as it stands ("< engine ...").
    void Line(std::string_view line);
    // "FAIL line N: WHAT" / "error line N: WHY".
    void Fail(int line, std::string_view what);
    void Error(int line, std::string_view why);

    // The first debug write so far whose escaped form contains needle.
    bool FindTrace(std::string_view needle, std::string* found = nullptr) const;
    // Whether the lines so far contain the texts of wanted in that order:
    // each text in the line right after the one that held the text before it,
    // except after a "..." entry, which lets any lines pass. Nothing when all
    // are there; otherwise the index of the entry that could not be placed.
    std::optional<std::size_t> FirstUnmatched(const std::vector<std::string>& wanted) const;

private:
    void Write(const std::string& line);

    std::ostream& m_out;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_debugWrites;  // escaped
    std::vector<std::string> m_lines;        // every line written
};

}  // namespace qev::sim
