// qev-sim.exe [--installed] FILE.scn: plays a scenario against the real
// qev.dll in a simulated Outlook (see win_world.h) and prints its transcript,
// exactly as the native qev-sim prints it for the same file. Exit status 0
// when every expectation held, 1 when one failed, 2 when the file is
// malformed or cannot be read, 3 when the simulated Outlook could not be set
// up (the reason on standard error).
//
// --installed: the add-in installed in the prefix, found in the registry as
// Outlook finds it (registered_addin.h), instead of the build's qev.dll; its
// path and the keys that named it are written to standard error. An add-in
// Outlook would not load ends the run with status 3 before anything is
// played.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "sim/player.h"
#include "sim/win/sim_mail.h"
#include "sim/win/win_world.h"

namespace {

constexpr int kExitSetup = 3;

}  // namespace

int main(int argc, char** argv)
{
    // The transcript's line ends are LF, as the native runner writes them.
    _setmode(_fileno(stdout), _O_BINARY);

    const bool installed = argc == 3 && std::string(argv[1]) == "--installed";
    if (argc != 2 + installed || std::string(argv[argc - 1]).starts_with("-")) {
        std::cerr << "usage: qev-sim.exe [--installed] FILE.scn\n";
        return qev::sim::kExitMalformed;
    }
    const char* path = argv[argc - 1];
    std::ifstream file(path, std::ios::binary);
    std::ostringstream source;
    source << file.rdbuf();
    if (!file) {
        std::cout << "error line 0: cannot read " << path << "\n";
        return qev::sim::kExitMalformed;
    }
    const auto statements = qev::sim::ParseForPlay(source.str(), std::cout);
    if (!statements) return qev::sim::kExitMalformed;

    try {
        std::optional<qev::sim::win::RegisteredAddin> addin;
        if (installed) {
            addin = qev::sim::win::FindRegisteredAddin(L"qev.Connect");
            std::cerr << "qev-sim.exe: installed " << addin->Describe() << "\n";
        }
        // Each session in a world of its own: leaving it unloads qev.dll.
        const int status =
            qev::sim::PlayEachSession(*statements, [&](const std::vector<qev::sim::Statement>& session) {
                qev::sim::win::WinWorld world(qev::sim::win::FindBuiltFiles(), addin ? &*addin : nullptr);
                return qev::sim::Play(world, session, std::cout);
            });
        // For the mail benchmark: the add-in's own time, apart from the transcript.
        if (std::getenv("QEV_SIM_SINK_TIME")) {
            const auto sink = qev::sim::win::ItemsSinkTime();
            std::cerr << "items sink: " << sink.calls << " calls, " << sink.milliseconds << " ms inside, " << sink.span
                      << " ms from the first to the end of the last\n";
        }
        return status;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "qev-sim.exe: " << e.what() << "\n";
        return kExitSetup;
    }
}
