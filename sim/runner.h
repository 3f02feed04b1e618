// Plays a parsed scenario against the portable add-in in the in-memory world.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "sim/script.h"

namespace qev::sim {

inline constexpr int kExitPassed = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitMalformed = 2;

// Runs the statements in a new world, writing the transcript to out. Returns
// kExitPassed, or kExitFailed after writing "FAIL line N: WHAT".
int RunScenario(const std::vector<Statement>& statements, std::ostream& out);

// Parses source whole, then runs it; a malformed file writes "error line N: WHY"
// and runs nothing (kExitMalformed).
int RunScenarioText(std::string_view source, std::ostream& out);

}  // namespace qev::sim
