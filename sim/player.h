// Plays a parsed scenario against a world: carries each statement to the
// world, keeps the transcript, checks the expectations (`expect order`
// included), and ends the run at the first one that fails.
//
// Shared by both scenario runners; standard C++ only.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "sim/script.h"
#include "sim/world.h"

namespace qev::sim {

inline constexpr int kExitPassed = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitMalformed = 2;

// Parses source whole. A malformed file writes "error line N: WHY" to out
// and gives nothing: a runner then builds no world and runs nothing.
std::optional<std::vector<Statement>> ParseForPlay(std::string_view source, std::ostream& out);

// How long one statement may take before the run is ended.
inline constexpr std::chrono::seconds kStatementLimit{30};

// Runs the statements in world, writing the transcript to out. Returns
// kExitPassed, or kExitFailed after writing "FAIL line N: WHAT". The world is
// attached to the transcript for the run only. A statement that has not
// finished after statementLimit ends the process with kExitFailed after
// "FAIL line N: the statement did not finish within S seconds": a hung
// add-in must not hold the runner, nor what it holds, for good.
int Play(World& world, const std::vector<Statement>& statements, std::ostream& out,
         std::chrono::seconds statementLimit = kStatementLimit);

// Plays the statements as a session whose host calls may fail: the
// expectations are not checked, and a statement the world cannot carry out
// (a click on a bar the add-in could not build) is passed over. Only an
// exception that reaches the world from the add-in counts: each is written as
// "ESCAPED line N: WHAT" and the run goes on. Returns how many escaped.
// released, when given, is called in place of each `expect released`, once
// every event before it is in the transcript; before, when given, with the
// index of each statement before it is played. A statementLimit of zero sets
// no watchdog, and so starts no thread: a fault sweep forks the process in
// the middle of a run and times its runs itself.
int PlayRegardless(World& world, const std::vector<Statement>& statements, std::ostream& out,
                   const std::function<void(int line)>& released = {},
                   const std::function<void(std::size_t index)>& before = {},
                   std::chrono::seconds statementLimit = kStatementLimit);

// A file of several sessions (`session` divides them): plays the statements
// of each in turn with playSession, which gives each a world of its own,
// until one does not pass; its status is the run's. The transcript is the
// sessions' transcripts one after the other.
int PlayEachSession(const std::vector<Statement>& statements,
                    const std::function<int(const std::vector<Statement>&)>& playSession);

}  // namespace qev::sim
