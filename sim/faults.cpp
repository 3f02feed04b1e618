// qev-faults [--every K] [--most N] PATH...: plays every session of the scenario
// files (PATH a file, or a folder searched for *.scn) once cleanly to count
// the host calls the add-in makes, then once for each of those calls made to
// fail (E_FAIL: its error result, or a COM error where it raises) and once
// for each made to throw, each run in a process of its own. A run must end with
// no crash, no exception reaching the host and, once the add-in object is let
// go (after Outlook's exit: OnBeginShutdown, Quit, OnDisconnection, those
// the session did not make), nothing left: every reference given back exactly once, no subscription,
// library, registry key, lock or clipboard left open.
//
// Prints the problems found, one line each, on standard error and one line
// of totals on standard output; exit status 0 when there were none.
// --every K plays only every Kth call of each session (a sample); --most N
// spreads at most N of them over a session (a burst of a thousand messages
// makes tens of thousands of calls, each run replaying all of them).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/native_world.h"
#include "sim/player.h"
#include "sim/sweep.h"

namespace {

using qev::sim::KindOf;
using qev::sim::Statement;

enum class Inject { None, Fail, Throw };

// What one run found: the host calls counted, whether the armed failure
// was delivered, and the problems (escaped exceptions first).
struct RunResult {
    std::uint64_t calls = 0;
    bool fired = false;
    std::string firedAt;                // "Explorer.Selection #123"
    std::vector<std::string> problems;  // "KIND TEXT"
};

// Plays one session in this (child) process and writes its result to fd.
[[noreturn]] void PlayChild(const std::vector<Statement>& session, Inject inject, std::uint64_t at, int fd)
{
    std::ostringstream out;  // the transcript is not wanted
    std::vector<std::string> problems;
    std::uint64_t calls = 0;
    bool fired = false;
    std::string firedAt;
    {
        qev::sim::NativeWorld world;
        if (inject == Inject::Fail) world.Fake().Calls().FailAt(at, E_FAIL);
        if (inject == Inject::Throw) world.Fake().Calls().ThrowAt(at);
        if (qev::sim::PlayRegardless(world, session, out) > 0) {
            std::istringstream lines(out.str());
            for (std::string line; std::getline(lines, line);)
                if (line.starts_with("ESCAPED ")) problems.push_back("escaped " + line.substr(8));
        }
        calls = world.Fake().Calls().Count();
        fired = world.Fake().Calls().Fired();
        firedAt = world.Fake().Calls().FiredAt();
        for (const std::string& problem : world.LockProblems()) problems.push_back(KindOf(problem) + " " + problem);
        for (const std::string& problem : world.LetAddinGo()) problems.push_back(KindOf(problem) + " " + problem);
    }
    std::string report = std::to_string(calls) + " " + (fired ? "1 " + firedAt : "0") + "\n";
    for (std::size_t i = 0; i < problems.size() && i < 16; ++i) report += problems[i] + "\n";
    for (std::size_t done = 0; done < report.size();) {
        const ssize_t n = write(fd, report.data() + done, report.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    close(fd);
    std::_Exit(0);
}

// Runs one session in a child process; a child that dies is a crash, one
// the watchdog ended a hang.
RunResult RunOnce(const std::vector<Statement>& session, Inject inject, std::uint64_t at)
{
    int fds[2];
    if (pipe(fds) != 0) {
        std::perror("qev-faults: pipe");
        std::exit(3);
    }
    std::cout.flush();
    std::cerr.flush();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("qev-faults: fork");
        std::exit(3);
    }
    if (child == 0) {
        close(fds[0]);
        PlayChild(session, inject, at, fds[1]);
    }
    close(fds[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        report.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    RunResult result;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty()) {
        const bool hang = WIFEXITED(status) && WEXITSTATUS(status) == qev::sim::kExitFailed && report.empty();
        result.problems.push_back(hang ? "hang a statement did not finish"
                                       : "crash the run's process ended by " +
                                             (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                                  : "exit " + std::to_string(WEXITSTATUS(status))));
        return result;
    }
    std::istringstream lines(report);
    std::string line;
    std::getline(lines, line);
    std::istringstream head(line);
    int fired = 0;
    head >> result.calls >> fired >> std::ws;
    result.fired = fired != 0;
    std::getline(head, result.firedAt);
    while (std::getline(lines, line)) result.problems.push_back(line);
    return result;
}

// A subscription or interface-table entry whose end the host refused stays:
// the host keeps it, and the add-in can do nothing more about it.
std::vector<std::string> Unexcused(const RunResult& run)
{
    std::vector<std::string> problems = run.problems;
    const std::string call = run.firedAt.substr(0, run.firedAt.find(' '));
    if (call.ends_with("Unadvise") || call.ends_with("RevokeInterfaceFromGlobal"))
        std::erase_if(problems, [](const std::string& p) { return p.starts_with("subscription "); });
    return problems;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto options = qev::sim::ParseSweepOptions(argc, argv, "qev-faults", std::cerr);
    if (!options) return 2;
    const std::uint64_t every = options->every;
    qev::sim::ProblemTally tally(std::cerr);
    std::uint64_t scenarios = 0, sessions = 0, calls = 0, runs = 0, notFired = 0;
    for (const auto& file : qev::sim::ScenarioFiles(options->paths)) {
        ++scenarios;
        const auto played = qev::sim::SessionsToTheEnd(file, std::cerr);
        for (std::size_t s = 0; s < played.size(); ++s) {
            ++sessions;
            const std::string where = file.string() + (played.size() > 1 ? " session " + std::to_string(s + 1) : "");
            const RunResult clean = RunOnce(played[s], Inject::None, 0);
            ++runs;
            tally.Note(where + " (no failure)", clean.problems);
            calls += clean.calls;
            for (std::uint64_t n = 1; n <= clean.calls; n += options->Step(clean.calls)) {
                for (const Inject inject : {Inject::Fail, Inject::Throw}) {
                    const RunResult run = RunOnce(played[s], inject, n);
                    ++runs;
                    if (!run.fired && run.problems.empty()) ++notFired;
                    tally.Note(where + (inject == Inject::Fail ? " fail at " : " throw at ") +
                                   (run.fired ? run.firedAt : "#" + std::to_string(n)),
                               Unexcused(run));
                }
            }
        }
    }
    std::uint64_t problems = 0;
    std::cout << "faults: " << scenarios << " scenarios, " << sessions << " sessions, " << calls << " host calls, "
              << runs << " runs (every " << every << (every == 1 ? "st" : "th") << " call failed and thrown), "
              << notFired << " not reached;" << tally.Totals(problems) << "\n";
    return problems == 0 ? 0 : 1;
}
