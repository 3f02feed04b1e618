// qev-faults [--every K] [--most N] [--jobs J] PATH...: plays every session of
// the scenario files (PATH a file, or a folder searched for *.scn) once
// cleanly to count the host calls the add-in makes, then once for each of
// those calls made to fail (E_FAIL: its error result, or a COM error where it
// raises) and once for each made to throw, each run in a process of its own.
// A run must end with no crash, no exception reaching the host and, once the
// add-in object is let go (after Outlook's exit: OnBeginShutdown, Quit,
// OnDisconnection, those the session did not make), nothing left: every
// reference given back exactly once, no subscription, library, registry key,
// lock or clipboard left open.
//
// A run does not replay what comes before its failure: one process (the
// trunk) plays the session once and forks the runs that fail a call at the
// last quiet point before it, where they play on to the end. A quiet point
// is where nothing of the add-in's or the fakes' is on the stack (their
// recursive locks are owned by the thread's id, which the forked copy does not
// share) and no other thread runs (a fork keeps only its own): before
// each statement, and before each timer of an `idle`, where the catch-up pass
// does its work a slice at a time. At most J runs go at once (--jobs,
// default 1).
//
// Prints the problems found, one line each, on standard error and one line
// of totals on standard output; exit status 0 when there were none.
// --every K plays only every Kth call of each session (a sample); --most N
// spreads at most N of them over a session.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// A run that has not ended this long after it began is a hang (the alarm's
// signal ends it). The longest session of the corpus plays in under a second.
constexpr unsigned kRunSeconds = 60;

// What one run found: the host calls counted, whether the armed failure
// was delivered, and the problems (escaped exceptions first).
struct RunResult {
    std::uint64_t calls = 0;
    bool fired = false;
    std::string firedAt;                // "Explorer.Selection #123"
    std::vector<std::string> problems;  // "KIND TEXT"
};

// Where a session's calls fall, from its clean run: the count of calls made
// before each point the trunk could fork at, in the order it meets them, and
// whether it can fork there (no other thread ran).
struct Point {
    std::uint64_t before = 0;
    bool quiet = true;
};
using Plan = std::vector<Point>;

// This process is the only thread of its own (Linux: /proc/self/stat's
// twentieth field).
bool OnlyThread()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 20 && fields >> field; ++i) {
    }
    return field == "1";
}

void WriteAll(int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return text;
}

[[noreturn]] void Fatal(const char* what)
{
    std::perror(what);
    std::exit(3);
}

// What a run's process found, once it ended with status and wrote report.
RunResult Interpret(int status, const std::string& report)
{
    RunResult result;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.empty()) {
        const bool hang = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
        result.problems.push_back(hang ? "hang the run did not end within " + std::to_string(kRunSeconds) + " seconds"
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
    while (std::getline(lines, line))
        if (!line.starts_with("plan")) result.problems.push_back(line);
    return result;
}

// "fail at Explorer.Selection #123": the run's failure, where it fell (the
// call's number n when it was not reached).
std::string Label(Inject inject, const RunResult& run, std::uint64_t n)
{
    return (inject == Inject::Fail ? "fail at " : "throw at ") + (run.fired ? run.firedAt : "#" + std::to_string(n));
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

// What a run found, in its own process: the problems of the world and of its
// transcript, and the calls counted (and, for a clean run, its plan).
std::string Findings(qev::sim::NativeWorld& world, const std::string& transcript, const Plan* plan)
{
    std::vector<std::string> problems;
    std::istringstream lines(transcript);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with("ESCAPED ")) problems.push_back("escaped " + line.substr(8));
    auto& calls = world.Fake().Calls();
    std::string report = std::to_string(calls.Count()) + " " + (calls.Fired() ? "1 " + calls.FiredAt() : "0") + "\n";
    for (const std::string& problem : world.LockProblems()) problems.push_back(KindOf(problem) + " " + problem);
    for (const std::string& problem : world.LetAddinGo()) problems.push_back(KindOf(problem) + " " + problem);
    for (std::size_t i = 0; i < problems.size() && i < 16; ++i) {
        std::string problem = problems[i];
        std::replace_if(problem.begin(), problem.end(), [](char c) { return c == '\n' || c == '\t'; }, ' ');
        report += problem + "\n";
    }
    if (plan) {
        report += "plan";
        for (const Point& point : *plan) report += " " + std::to_string(point.before) + (point.quiet ? "" : "x");
        report += "\n";
    }
    return report;
}

// Writes a run's findings and ends its process. Its world is not taken down:
// what the add-in left behind is counted once it has been let go.
[[noreturn]] void EndRun(int fd, const std::string& findings)
{
    WriteAll(fd, findings);
    close(fd);
    std::_Exit(0);
}

// Forks a process with a pipe to its parent: the child gets 0 and keeps the
// pipe's write end in fd, the parent the child's id and the read end.
pid_t ForkWithPipe(int& fd)
{
    int fds[2];
    if (pipe(fds) != 0) Fatal("qev-faults: pipe");
    std::cout.flush();
    std::cerr.flush();
    const pid_t child = fork();
    if (child < 0) Fatal("qev-faults: fork");
    close(fds[child == 0 ? 0 : 1]);
    fd = fds[child == 0 ? 1 : 0];
    return child;
}

// Plays one whole session in a process of its own, with inject armed at call
// at from the start; a clean run (Inject::None) also finds the session's plan.
RunResult RunWhole(const std::vector<Statement>& session, Inject inject, std::uint64_t at, Plan* plan)
{
    int fd = -1;
    const pid_t child = ForkWithPipe(fd);
    if (child == 0) {
        alarm(kRunSeconds);
        {
            qev::sim::NativeWorld world;
            auto& calls = world.Fake().Calls();
            if (inject == Inject::Fail) calls.FailAt(at, E_FAIL);
            if (inject == Inject::Throw) calls.ThrowAt(at);
            Plan found;
            const auto point = [&] { found.push_back({calls.Count(), OnlyThread()}); };
            world.Fake().OnTimerTurn(point);
            std::ostringstream transcript;
            qev::sim::PlayRegardless(world, session, transcript, {}, [&](std::size_t) { point(); },
                                     std::chrono::seconds(0));
            EndRun(fd, Findings(world, transcript.str(), inject == Inject::None ? &found : nullptr));
        }
    }
    const std::string report = ReadAll(fd);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (plan) {
        std::istringstream lines(report);
        for (std::string line; std::getline(lines, line);) {
            if (!line.starts_with("plan")) continue;
            std::istringstream entries(line.substr(4));
            for (std::string entry; entries >> entry;)
                plan->push_back({std::strtoull(entry.c_str(), nullptr, 10), !entry.ends_with('x')});
        }
    }
    return Interpret(status, report);
}

// The trunk of one session: plays it once, forking the runs that fail each
// of targets (each failed, then thrown) at the last quiet point before that
// call. Writes one line to toMain for each run: "NOTREACHED\tLABEL\tPROBLEM...",
// and "again N" for a call it could not fork for (another thread ran where the
// clean run had none): the main process plays that one whole.
class Trunk {
public:
    Trunk(const std::vector<Statement>& session, const Plan& plan, const std::vector<std::uint64_t>& targets,
          unsigned jobs, int toMain)
        : m_session(session), m_jobs(std::max(1u, jobs)), m_toMain(toMain)
    {
        for (const std::uint64_t n : targets) {
            std::size_t at = 0;
            for (std::size_t p = 0; p < plan.size() && plan[p].before < n; ++p)
                if (plan[p].quiet) at = p;
            m_atPoint[at].push_back(n);
        }
    }

    [[noreturn]] void Run()
    {
        {
            qev::sim::NativeWorld world;
            std::ostringstream out;
            const auto point = [&] {
                const std::size_t here = m_points++;
                if (m_resultFd >= 0) return;
                const auto found = m_atPoint.find(here);
                if (found == m_atPoint.end()) return;
                const bool quiet = OnlyThread();
                for (const std::uint64_t n : found->second) {
                    if (!quiet) {
                        WriteAll(m_toMain, "again " + std::to_string(n) + "\n");
                    } else if (Spawn(world, out, n)) {
                        return;
                    }
                }
            };
            world.Fake().OnTimerTurn(point);
            qev::sim::PlayRegardless(world, m_session, out, {}, [&](std::size_t) { point(); },
                                     std::chrono::seconds(0));
            world.Fake().OnTimerTurn({});
            if (m_resultFd >= 0) EndRun(m_resultFd, Findings(world, out.str().substr(m_escapedFrom), nullptr));
        }
        while (!m_running.empty()) Reap();
        close(m_toMain);
        std::_Exit(0);
    }

private:
    struct Running {
        int fd;
        Inject inject;
        std::uint64_t at;
    };

    // Forks the runs that fail call n, once a slot is free: true in a run.
    bool Spawn(qev::sim::NativeWorld& world, std::ostringstream& out, std::uint64_t n)
    {
        for (const Inject inject : {Inject::Fail, Inject::Throw}) {
            while (m_running.size() >= m_jobs) Reap();
            int fd = -1;
            const pid_t child = ForkWithPipe(fd);
            if (child == 0) {
                close(m_toMain);
                for (const auto& [pid, running] : m_running) close(running.fd);
                m_running.clear();
                m_resultFd = fd;
                alarm(kRunSeconds);
                m_escapedFrom = static_cast<std::size_t>(out.tellp());
                auto& calls = world.Fake().Calls();
                inject == Inject::Fail ? calls.FailAt(n, E_FAIL) : calls.ThrowAt(n);
                return true;
            }
            m_running[child] = Running{fd, inject, n};
        }
        return false;
    }

    // Waits for one run to end and passes on what it found.
    void Reap()
    {
        int status = 0;
        pid_t child;
        while ((child = waitpid(-1, &status, 0)) < 0)
            if (errno != EINTR) Fatal("qev-faults: waitpid");
        const auto found = m_running.find(child);
        if (found == m_running.end()) return;
        const Running running = found->second;
        m_running.erase(found);
        const RunResult run = Interpret(status, ReadAll(running.fd));
        std::string line = !run.fired && run.problems.empty() ? "1\t" : "0\t";
        line += Label(running.inject, run, running.at);
        for (const std::string& problem : Unexcused(run)) line += "\t" + problem;
        WriteAll(m_toMain, line + "\n");
    }

    const std::vector<Statement>& m_session;
    const unsigned m_jobs;
    const int m_toMain;
    std::map<std::size_t, std::vector<std::uint64_t>> m_atPoint;
    std::size_t m_points = 0;  // points met so far, quiet or not
    std::map<pid_t, Running> m_running;
    int m_resultFd = -1;  // in a run: where its result goes
    std::size_t m_escapedFrom = 0;
};

// The counts of one session's sweep.
struct SessionCounts {
    std::uint64_t runs = 0, notReached = 0;
};

// Runs the trunk of one session in a process of its own and notes what its
// runs found, each after where.
SessionCounts Sweep(const std::vector<Statement>& session, const Plan& plan, const std::vector<std::uint64_t>& targets,
                    unsigned jobs, const std::string& where, qev::sim::ProblemTally& tally)
{
    int fd = -1;
    const pid_t trunk = ForkWithPipe(fd);
    if (trunk == 0) Trunk(session, plan, targets, jobs, fd).Run();
    SessionCounts counts;
    std::vector<std::uint64_t> again;
    std::istringstream lines(ReadAll(fd));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("again ")) {
            again.push_back(std::strtoull(line.c_str() + 6, nullptr, 10));
            continue;
        }
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        if (fields.size() < 2) continue;
        ++counts.runs;
        if (fields[0] == "1") ++counts.notReached;
        tally.Note(where + " " + fields[1], {fields.begin() + 2, fields.end()});
    }
    int status = 0;
    while (waitpid(trunk, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        tally.Note(where + " (the sweep's trunk)", Interpret(status, "").problems);
    for (const std::uint64_t n : again) {
        for (const Inject inject : {Inject::Fail, Inject::Throw}) {
            const RunResult run = RunWhole(session, inject, n, nullptr);
            ++counts.runs;
            if (!run.fired && run.problems.empty()) ++counts.notReached;
            tally.Note(where + " " + Label(inject, run, n), Unexcused(run));
        }
    }
    return counts;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto options = qev::sim::ParseSweepOptions(argc, argv, "qev-faults", std::cerr, true);
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
            Plan plan;
            const RunResult clean = RunWhole(played[s], Inject::None, 0, &plan);
            ++runs;
            tally.Note(where + " (no failure)", clean.problems);
            calls += clean.calls;
            std::vector<std::uint64_t> targets;
            for (std::uint64_t n = 1; n <= clean.calls; n += options->Step(clean.calls)) targets.push_back(n);
            if (targets.empty()) continue;
            const SessionCounts swept = Sweep(played[s], plan, targets, options->jobs, where, tally);
            runs += swept.runs;
            notFired += swept.notReached;
        }
    }
    std::uint64_t problems = 0;
    std::cout << "faults: " << scenarios << " scenarios, " << sessions << " sessions, " << calls << " host calls, "
              << runs << " runs (every " << every << (every == 1 ? "st" : "th") << " call failed and thrown), "
              << notFired << " not reached;" << tally.Totals(problems) << "\n";
    return problems == 0 ? 0 : 1;
}
