// qev-races.exe [ROUNDS]: the race rounds (sim/races/race_round.h) against the
// real qev.dll in the simulated Outlook: every round a world of its own (a
// fresh Outlook, the add-in registered and created through COM), the engine
// stand-in's notifications sent from threads of the runner's.
#include <fcntl.h>
#include <io.h>

#include <iostream>
#include <optional>
#include <stdexcept>

#include "sim/races/race_round.h"
#include "sim/win/win_world.h"

namespace {

class WinRaceHost final : public qev::sim::races::RaceHost {
public:
    qev::sim::World& NewRound() override
    {
        m_world.reset();
        m_world.emplace(m_files);
        return *m_world;
    }
    std::size_t NotifyStatus(bool up) override { return Called(m_world->Engine().NotifyStatusHere(up)); }
    std::size_t NotifySettings(const qev::AsSettings& settings) override
    {
        return Called(m_world->Engine().NotifySettingsHere(settings));
    }
    // The calls COM carries into this apartment arrive as window messages.
    void RunPending() override
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // Checked once Outlook has let the add-in object go, as at its exit.
    std::vector<std::string> EndRound() override
    {
        std::vector<std::string> problems = m_world->LetAddinGo();
        m_world.reset();
        return problems;
    }

private:
    static std::size_t Called(int observers) { return observers > 0 ? static_cast<std::size_t>(observers) : 0; }

    const qev::sim::win::BuiltFiles m_files = qev::sim::win::FindBuiltFiles();
    std::optional<qev::sim::win::WinWorld> m_world;
};

}  // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    try {
        WinRaceHost host;
        return qev::sim::races::RunRaces(argc, argv, "qev-races.exe", host, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "qev-races.exe: " << e.what() << "\n";
        return 3;
    }
}
