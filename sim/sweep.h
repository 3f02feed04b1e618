// What the two fault sweeps share (sim/faults.cpp over the in-memory host,
// sim/win/import_sweep.cpp over the real qev.dll under Wine): the scenario
// files they play, each file's sessions ended as Outlook ends them, and the
// kinds of problem their totals count.
//
// Shared by both runners; standard C++ only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
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

// The command line of both sweeps: [--every K] [--most N] [--jobs J] PATH...
// (--jobs only where the sweep can run several at once).
struct SweepOptions {
    std::uint64_t every = 1;  // fail every K-th call
    std::uint64_t most = 0;   // and at most N of a run's calls (0: no limit)
    unsigned jobs = 1;        // runs at once
    std::vector<std::string> paths;

    // The step between the calls failed in a run that makes calls calls.
    std::uint64_t Step(std::uint64_t calls) const;
};
// Nothing, with the usage line on errors, for an option it does not know.
std::optional<SweepOptions> ParseSweepOptions(int argc, char** argv, const char* program, std::ostream& errors,
                                              bool parallel = false);

// The problems of the runs, each written to errors after where it was met
// and counted by its kind (its first word).
class ProblemTally {
public:
    explicit ProblemTally(std::ostream& errors) : m_errors(errors) {}
    void Note(const std::string& where, const std::vector<std::string>& problems);
    // " crash N hang N ..." for every kind, and how many problems in all.
    std::string Totals(std::uint64_t& problems) const;

private:
    std::ostream& m_errors;
    std::map<std::string, std::uint64_t> m_totals;
};

}  // namespace qev::sim
