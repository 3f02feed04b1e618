// A scenario file is anyone's text: the lexer and parser take any bytes and
// either give statements or refuse the file with the line at fault; nothing
// else may come out of them.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sim/lexer.h"
#include "sim/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (const char c : source) lines += c == '\n' ? 1 : 0;
    try {
        for (const auto& statement : qev::sim::ParseScenario(source))
            if (statement.line < 1 || static_cast<std::size_t>(statement.line) > lines) std::abort();
    } catch (const qev::sim::ScenarioError& error) {
        if (error.Line() < 0 || static_cast<std::size_t>(error.Line()) > lines) std::abort();
    }
    return 0;
}
