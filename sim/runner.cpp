#include "sim/runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "sim/native_world.h"

namespace qev::sim {
namespace {

int PlayInWorld(const std::vector<Statement>& statements, std::ostream& out)
{
    NativeWorld world;
    return Play(world, statements, out);
}

// Runs a session in a child process. The add-in's module state (its globals)
// is then as new as a fresh load of qev.dll makes it: Outlook loads it anew
// with each start, and the Windows runner unloads it between sessions.
int InChildProcess(const std::function<int()>& play, std::ostream& out)
{
    out.flush();
    std::cerr.flush();
    const pid_t child = fork();
    if (child < 0) {
        std::cerr << "qev-sim: cannot start a session's process\n";
        return kExitFailed;
    }
    if (child == 0) {
        const int status = play();
        out.flush();
        std::exit(status);  // exit handlers run: the sanitizers' leak check among them
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return kExitFailed;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    // A session that crashed ends the runner the same way.
    std::signal(WTERMSIG(status), SIG_DFL);
    std::raise(WTERMSIG(status));
    return kExitFailed;
}

}  // namespace

int RunScenario(const std::vector<Statement>& statements, std::ostream& out)
{
    const bool several = std::any_of(statements.begin(), statements.end(),
                                     [](const Statement& s) { return std::holds_alternative<NewSession>(s.action); });
    return PlayEachSession(statements, [&](const std::vector<Statement>& session) {
        if (!several) return PlayInWorld(session, out);
        return InChildProcess([&] { return PlayInWorld(session, out); }, out);
    });
}

int RunScenarioText(std::string_view source, std::ostream& out)
{
    const std::optional<std::vector<Statement>> statements = ParseForPlay(source, out);
    if (!statements) return kExitMalformed;
    return RunScenario(*statements, out);
}

}  // namespace qev::sim
