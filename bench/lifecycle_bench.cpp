// What a whole add-in object costs Outlook, phase by phase: connection (with
// the engine client's load and its state read), start-up work, and shutdown
// (OnBeginShutdown, Quit, OnDisconnection, the last release), over the
// in-memory Outlook, with the trace off and on. Each figure times its own
// phase of full sessions.
#include <benchmark/benchmark.h>

#include <chrono>

#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "host/fake/fake_world.h"

namespace {

using host::fake::FakeWorld;
using host::fake::Marker;

enum class Phase { Connect, Startup, Shutdown };

void Lifecycle(benchmark::State& state, Phase timed, bool traceOn)
{
    using Clock = std::chrono::steady_clock;
    FakeWorld world;
    world.SetMarker(Marker::Trace, traceOn);
    qev::TraceLevel = 0;
    for (auto _ : state) {
        const auto begin = Clock::now();
        auto* addin = new qev::ConnectObject(world.Services());
        qev::CConnect& connect = addin->Connect();
        benchmark::DoNotOptimize(connect.OnConnection(&world.Application(), qev::kConnectStartup, &world.AddInInstance()));
        const auto connected = Clock::now();
        benchmark::DoNotOptimize(connect.OnStartupComplete());
        const auto started = Clock::now();
        benchmark::DoNotOptimize(connect.OnBeginShutdown());
        world.Quit();
        benchmark::DoNotOptimize(connect.OnDisconnection(0));
        addin->Release();
        const auto ended = Clock::now();
        if (!traceOn) qev::TraceLevel = 0;
        world.System().ClearDebugWrites();
        const auto span = timed == Phase::Connect   ? connected - begin
                          : timed == Phase::Startup ? started - connected
                                                    : ended - started;
        state.SetIterationTime(std::chrono::duration<double>(span).count());
    }
    qev::TraceLevel = 0;
}

BENCHMARK_CAPTURE(Lifecycle, ConnectTraceOff, Phase::Connect, false)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Lifecycle, ConnectTraceOn, Phase::Connect, true)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Lifecycle, StartupTraceOff, Phase::Startup, false)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Lifecycle, StartupTraceOn, Phase::Startup, true)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Lifecycle, ShutdownTraceOff, Phase::Shutdown, false)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Lifecycle, ShutdownTraceOn, Phase::Shutdown, true)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
