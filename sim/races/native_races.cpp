// qev-races_tsan [ROUNDS]: the race rounds (race_round.h) against the portable
// add-in in the in-memory world, built with ThreadSanitizer: its first report
// ends the run with a non-zero status.
#include <iostream>
#include <memory>

#include "sim/native_world.h"
#include "sim/races/race_round.h"
#include "tests/support/addin_process.h"

extern "C" const char* __tsan_default_options()
{
    return "halt_on_error=1:abort_on_error=0:exitcode=66:second_deadlock_stack=1";
}

namespace {

// A world of its own for every round, as a fresh Outlook process with a
// freshly loaded add-in module: everything it handed out is checked when
// Outlook lets the add-in go.
class NativeRaceHost final : public qev::sim::races::RaceHost {
public:
    qev::sim::World& NewRound() override
    {
        m_world.reset();
        qev::testing::ResetAddinProcess();
        m_world = std::make_unique<qev::sim::NativeWorld>();
        return *m_world;
    }
    std::size_t NotifyStatus(bool up) override { return m_world->Fake().Engine().NotifyStatusHere(up); }
    std::size_t NotifySettings(const qev::AsSettings& settings) override
    {
        return m_world->Fake().Engine().NotifySettingsHere(settings);
    }
    void RunPending() override { m_world->Fake().Pump(); }
    std::vector<std::string> EndRound() override { return m_world->LetAddinGo(); }

private:
    std::unique_ptr<qev::sim::NativeWorld> m_world;
};

}  // namespace

int main(int argc, char** argv)
{
    NativeRaceHost host;
    return qev::sim::races::RunRaces(argc, argv, "qev-races_tsan", host, std::cout, std::cerr);
}
