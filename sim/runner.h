// The native runner: plays a parsed scenario against the portable add-in in
// a new in-memory world (NativeWorld).
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "sim/player.h"
#include "sim/script.h"

namespace qev::sim {

// Runs the statements in a new world, writing the transcript to out. Returns
// kExitPassed, or kExitFailed after writing "FAIL line N: WHAT". A file of
// several sessions plays each in a process of its own, so out must be a
// stream onto a file (standard output).
int RunScenario(const std::vector<Statement>& statements, std::ostream& out);

// Parses source whole, then runs it; a malformed file writes "error line N: WHY"
// and runs nothing (kExitMalformed).
int RunScenarioText(std::string_view source, std::ostream& out);

}  // namespace qev::sim
