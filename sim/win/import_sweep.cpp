// qev-importfaults.exe [--every K] [--most N] PATH...: the fault sweep of the
// Windows-only calls. Every session of each scenario file (PATH a file, or a
// folder searched for *.scn) is played against the real qev.dll once
// cleanly, counting its calls of the clipboard, GDI, GDI+, the OLE picture
// and MSXML's document (import_faults.h), then once for each of those calls
// made to fail, each run in a process of its own. A run must end normally
// (no crash, no hang), with no exception reaching Outlook and, wherever the
// scenario says `expect released`, everything given back as that checks it:
// Outlook's objects, subscriptions, the add-in object, the engine client,
// the clipboard.
//
// Prints the problems, one line each, on standard error and one line of
// totals on standard output; exit status 0 when there were none, 3 when the
// simulated Outlook could not be set up.
//
// qev-importfaults.exe --run N --report FILE SCENARIO plays one file with the
// Nth counted call failing (0: none) and writes what it found to FILE.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host/utf.h"
#include "sim/player.h"
#include "sim/sweep.h"
#include "sim/win/import_faults.h"
#include "sim/win/product_folder.h"
#include "sim/win/win_world.h"

namespace {

using qev::sim::win::ImportFaults;

constexpr int kExitSetup = 3;
// A run that has not ended by then is hung (each statement has 30 s).
constexpr DWORD kRunLimitMs = 10 * 60 * 1000;

// The child: plays every session of file with the nth call failing.
int PlayOne(const std::string& file, std::uint64_t n, const std::string& reportPath)
{
    const auto sessions = qev::sim::SessionsToTheEnd(file, std::cerr);
    if (sessions.empty()) return qev::sim::kExitMalformed;
    std::vector<std::string> problems;
    std::string missing;
    ImportFaults::FailAt(n);
    try {
        for (std::size_t s = 0; s < sessions.size(); ++s) {
            const std::string where = sessions.size() > 1 ? "session " + std::to_string(s + 1) + ": " : "";
            qev::sim::win::WinWorld world(qev::sim::win::FindBuiltFiles());
            missing.clear();
            ImportFaults::Install(world.AddinModule(), missing);
            std::ostringstream transcript;  // not wanted
            const auto released = [&](int line) {
                for (const std::string& problem : world.ReleaseProblems())
                    problems.push_back(qev::sim::KindOf(problem) + " " + where + "line " + std::to_string(line) + ": " +
                                       problem);
            };
            if (qev::sim::PlayRegardless(world, sessions[s], transcript, released) > 0) {
                std::istringstream lines(transcript.str());
                for (std::string line; std::getline(lines, line);)
                    if (line.starts_with("ESCAPED ")) problems.push_back("escaped " + where + line.substr(8));
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "qev-importfaults.exe: " << e.what() << "\n";
        return kExitSetup;
    }
    std::ofstream report(reportPath, std::ios::binary | std::ios::trunc);
    report << ImportFaults::Count() << "\n" << ImportFaults::Fired() << "\n" << missing << "\n";
    for (std::size_t i = 0; i < problems.size() && i < 16; ++i) report << problems[i] << "\n";
    return report.flush() ? 0 : kExitSetup;
}

struct RunResult {
    std::uint64_t calls = 0;
    std::string fired;                  // "GetDC #3", empty when no call failed
    std::string missing;                // the imports qev.dll does not have
    std::vector<std::string> problems;  // "KIND TEXT"
    bool setup = false;                 // the child could not set its Outlook up
};

std::wstring Quoted(const std::string& text)
{
    const std::u16string wide = host::Utf16(text);
    return L"\"" + std::wstring(wide.begin(), wide.end()) + L"\"";
}

// Runs the child for file and n; a child that dies is a crash, one that
// does not end (or that its watchdog ended) a hang.
RunResult RunChild(const std::string& file, std::uint64_t n)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring report =
        std::wstring(folder) + L"qev-importfaults-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    DeleteFileW(report.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --run " + std::to_wstring(n) + L" --report \"" + report +
                           L"\" " + Quoted(file);
    PROCESS_INFORMATION process = {};
    RunResult result;
    if (!qev::sim::win::StartProgram(command, 0, process)) {
        result.problems.push_back("crash the run could not be started: error " + std::to_string(GetLastError()));
        return result;
    }
    CloseHandle(process.hThread);
    DWORD status = 0;
    const bool ended = WaitForSingleObject(process.hProcess, kRunLimitMs) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    std::ifstream in(report.c_str(), std::ios::binary);
    std::string calls;
    const bool reported = ended && status == 0 && std::getline(in, calls) && std::getline(in, result.fired) &&
                          std::getline(in, result.missing);
    for (std::string line; reported && std::getline(in, line);) result.problems.push_back(line);
    in.close();
    DeleteFileW(report.c_str());
    if (status == kExitSetup) {
        result.setup = true;
        return result;
    }
    if (!reported) {
        std::ostringstream code;
        code << std::hex << std::uppercase << status;
        const bool hang = !ended || status == qev::sim::kExitFailed;
        result.problems.push_back(hang ? "hang a statement did not finish"
                                       : "crash the run's process ended with 0x" + code.str());
        return result;
    }
    result.calls = std::strtoull(calls.c_str(), nullptr, 10);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 6 && std::string(argv[1]) == "--run" && std::string(argv[3]) == "--report")
        return PlayOne(argv[5], std::strtoull(argv[2], nullptr, 10), argv[4]);

    const auto options = qev::sim::ParseSweepOptions(argc, argv, "qev-importfaults.exe", std::cerr);
    if (!options) return qev::sim::kExitMalformed;
    const std::uint64_t every = options->every;
    qev::sim::ProblemTally tally(std::cerr);
    std::uint64_t scenarios = 0, calls = 0, runs = 0, notReached = 0;
    for (const auto& path : qev::sim::ScenarioFiles(options->paths)) {
        const std::string file = path.string();
        if (qev::sim::SessionsToTheEnd(path, std::cerr).empty()) continue;  // malformed: said so
        ++scenarios;
        const RunResult clean = RunChild(file, 0);
        ++runs;
        if (clean.setup) return kExitSetup;
        if (scenarios == 1 && !clean.missing.empty())
            std::cerr << "qev-importfaults.exe: qev.dll does not import " << clean.missing << "\n";
        tally.Note(file + " (no failure)", clean.problems);
        calls += clean.calls;
        for (std::uint64_t n = 1; n <= clean.calls; n += options->Step(clean.calls)) {
            const RunResult run = RunChild(file, n);
            ++runs;
            if (run.setup) return kExitSetup;
            if (run.fired.empty() && run.problems.empty()) ++notReached;
            tally.Note(file + " fail at " + (run.fired.empty() ? "#" + std::to_string(n) : run.fired), run.problems);
        }
    }
    std::uint64_t problems = 0;
    std::cout << "import faults: " << scenarios << " scenarios, " << calls << " calls, " << runs << " runs (every "
              << every << (every == 1 ? "st" : "th") << " call failed), " << notReached << " not reached;"
              << tally.Totals(problems) << "\n";
    return problems == 0 ? 0 : 1;
}
