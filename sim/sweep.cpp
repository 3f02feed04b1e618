#include "sim/sweep.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/player.h"

namespace qev::sim {

const std::vector<std::string> kProblemKinds = {"crash",        "hang",    "escaped", "unreleased", "overreleased",
                                                "subscription", "library", "key",     "clipboard",  "lock",    "misuse"};

std::string KindOf(const std::string& problem)
{
    const auto has = [&](const char* text) { return problem.find(text) != std::string::npos; };
    if (has("more than referenced")) return "overreleased";
    if (has("not released") || has("besides Outlook's")) return "unreleased";
    if (has("subscription") || has("interface table") || has("observer not unadvised")) return "subscription";
    if (has("library") || has("libraries:")) return "library";
    if (has("registry key")) return "key";
    if (has("clipboard")) return "clipboard";
    if (has("button lock")) return "lock";
    return "misuse";
}

std::uint64_t SweepOptions::Step(std::uint64_t calls) const
{
    return most ? std::max(every, (calls + most - 1) / most) : every;
}

std::optional<SweepOptions> ParseSweepOptions(int argc, char** argv, const char* program, std::ostream& errors,
                                              bool parallel)
{
    SweepOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--every" && i + 1 < argc) {
            options.every = std::max<std::uint64_t>(1, std::strtoull(argv[++i], nullptr, 10));
        } else if (arg == "--most" && i + 1 < argc) {
            options.most = std::strtoull(argv[++i], nullptr, 10);
        } else if (parallel && arg == "--jobs" && i + 1 < argc) {
            options.jobs = static_cast<unsigned>(std::max<std::uint64_t>(1, std::strtoull(argv[++i], nullptr, 10)));
        } else if (arg.starts_with("-")) {
            errors << "usage: " << program << " [--every K] [--most N]" << (parallel ? " [--jobs J]" : "")
                   << " PATH...\n";
            return std::nullopt;
        } else {
            options.paths.push_back(arg);
        }
    }
    return options;
}

void ProblemTally::Note(const std::string& where, const std::vector<std::string>& problems)
{
    for (const std::string& problem : problems) {
        ++m_totals[problem.substr(0, problem.find(' '))];
        m_errors << where << ": " << problem << "\n";
    }
}

std::string ProblemTally::Totals(std::uint64_t& problems) const
{
    std::string line;
    problems = 0;
    for (const std::string& kind : kProblemKinds) {
        const auto found = m_totals.find(kind);
        const std::uint64_t n = found == m_totals.end() ? 0 : found->second;
        line += " " + kind + " " + std::to_string(n);
        problems += n;
    }
    return line;
}

std::vector<std::filesystem::path> ScenarioFiles(const std::vector<std::string>& paths)
{
    std::vector<std::filesystem::path> files;
    for (const std::string& path : paths) {
        if (!std::filesystem::is_directory(path)) {
            files.emplace_back(path);
            continue;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
            if (entry.is_regular_file() && entry.path().extension() == ".scn") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::vector<Statement>> SessionsToTheEnd(const std::filesystem::path& file, std::ostream& errors)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream source;
    source << in.rdbuf();
    if (!in) {
        errors << file.string() << ": cannot be read\n";
        return {};
    }
    std::ostringstream parseErrors;
    const auto statements = ParseForPlay(source.str(), parseErrors);
    if (!statements) {
        errors << file.string() << ": " << parseErrors.str();
        return {};
    }
    std::vector<std::vector<Statement>> sessions;
    PlayEachSession(*statements, [&](const std::vector<Statement>& session) {
        sessions.push_back(session);
        int line = session.empty() ? 1 : session.back().line;
        // The calls of the last connection count (a session may connect again).
        auto last = session.begin();
        for (auto it = session.begin(); it != session.end(); ++it) {
            const auto* call = std::get_if<Session>(&it->action);
            if (call && call->call == SessionCall::Connect) last = it;
        }
        for (const auto& [call, verb] :
             {std::pair{SessionCall::BeginShutdown, "beginshutdown"}, std::pair{SessionCall::Quit, "quit"},
              std::pair{SessionCall::Disconnect, "disconnect"}}) {
            const bool made = std::any_of(last, session.end(), [&](const Statement& s) {
                const auto* earlier = std::get_if<Session>(&s.action);
                return earlier && earlier->call == call;
            });
            if (!made) sessions.back().push_back({++line, verb, Session{call, 0}});
        }
        return kExitPassed;
    });
    return sessions;
}

}  // namespace qev::sim
