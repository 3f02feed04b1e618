// What the two fault sweeps share (sim/faults.cpp over the in-memory host,
// sim/win/import_sweep.cpp over the real qev.dll under Wine): the scenario
// files they play, each file's sessions ended as Outlook ends them, and the
// kinds of problem their totals count.
//
// Shared by both runners; standard C++ only.
#pragma once

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "sim/script.h"

namespace qev::sim {

// The files named, and the *.scn files under the folders named, sorted.
std::vector<std::filesystem::path> ScenarioFiles(const std::vector<std::string>& paths);

// The file's sessions, each followed by the calls of Outlook's exit
// (beginshutdown, quit, disconnect) that its last connection did not make:
// Outlook ends every session before it lets the add-in go. Nothing when the
// file is malformed or unreadable (the reason on errors).
std::vector<std::vector<Statement>> SessionsToTheEnd(const std::filesystem::path& file, std::ostream& errors);

// The kinds of problem, in the order the totals print them, and the kind of
// a problem that a world's release check names.
extern const std::vector<std::string> kProblemKinds;
std::string KindOf(const std::string& problem);

// " crash N hang N ..." for every kind, and how many problems in all.
std::string KindTotals(const std::map<std::string, std::uint64_t>& totals, std::uint64_t& problems);

}  // namespace qev::sim
