#include "sim/runner.h"

#include "sim/native_world.h"

namespace qev::sim {

int RunScenario(const std::vector<Statement>& statements, std::ostream& out)
{
    NativeWorld world;
    return Play(world, statements, out);
}

int RunScenarioText(std::string_view source, std::ostream& out)
{
    const std::optional<std::vector<Statement>> statements = ParseForPlay(source, out);
    if (!statements) return kExitMalformed;
    return RunScenario(*statements, out);
}

}  // namespace qev::sim
