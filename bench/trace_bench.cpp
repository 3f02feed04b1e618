// What a trace site costs: a disabled one must cost one integer comparison,
// whatever its arguments; an enabled one formats a line on the stack.
#include <benchmark/benchmark.h>

#include <string>

#include "addin/trace.h"
#include "host/system.h"

namespace {

// A debug channel that takes the write and drops it, so that the figure is
// the add-in's own cost.
class DiscardingSystem final : public host::System {
public:
    void DebugOutput(const char16_t* text) noexcept override { benchmark::DoNotOptimize(text); }
    std::optional<std::u16string> RoamingAppDataFolder() override { return std::nullopt; }
    bool PathExists(std::u16string_view) override { return false; }
    std::optional<std::u16string> SystemMessage(HRESULT) override { return std::nullopt; }
    bool WidenText(std::string_view, unsigned, std::u16string&, std::uint32_t&) override { return false; }
    bool CurrentDir(std::size_t, std::u16string&) noexcept override { return false; }
    bool SetCurrentDir(std::u16string_view) noexcept override { return false; }
    std::uint32_t TickCount() noexcept override { return 0; }
};

DiscardingSystem g_system;

std::u16string ExpensiveText(int i)
{
    std::u16string text(200, u'x');
    text[static_cast<std::size_t>(i) % text.size()] = u'y';
    return text;
}

void EmptyLoop(benchmark::State& state)
{
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(++i);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(EmptyLoop);

void DisabledSiteWithExpensiveArguments(benchmark::State& state)
{
    host::InstallSystem(&g_system);
    qev::TraceLevel = 0;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(++i);
        QEV_TRACE(qev::kTraceProgress, u"[as][qev] item<%d> %s %s\n", i, ExpensiveText(i), ExpensiveText(i + 1));
        benchmark::ClobberMemory();  // the level is read again every time
    }
}
BENCHMARK(DisabledSiteWithExpensiveArguments);

void EnabledFormattedLine(benchmark::State& state)
{
    host::InstallSystem(&g_system);
    qev::TraceLevel = qev::kTraceProgress;
    const std::u16string subject = u"Cheap watches, limited offer";
    int i = 0;
    for (auto _ : state) {
        QEV_TRACE(qev::kTraceProgress, u"[as][qev]     item<%d>... subject<%s> hr<0x%8.8x> obj<$%p>\n", ++i, subject,
                  static_cast<HRESULT>(0x80040106u), static_cast<const void*>(&subject));
        benchmark::ClobberMemory();
    }
    qev::TraceLevel = 0;
}
BENCHMARK(EnabledFormattedLine);

void TooLongLine(benchmark::State& state)
{
    host::InstallSystem(&g_system);
    qev::TraceLevel = qev::kTraceProgress;
    const std::u16string body(4000, u'z');
    for (auto _ : state) {
        QEV_TRACE(qev::kTraceProgress, u"[as][qev] %s\n", body);
        benchmark::ClobberMemory();
    }
    qev::TraceLevel = 0;
}
BENCHMARK(TooLongLine);

}  // namespace
