// What a whole add-in object costs Outlook: connection (with the engine
// client's load and its state read), start-up work, and the three shutdown
// paths, over the in-memory Outlook, with the trace off and on.
#include <benchmark/benchmark.h>

#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "host/fake/fake_world.h"

namespace {

using host::fake::FakeWorld;
using host::fake::Marker;

void Lifecycle(benchmark::State& state, bool traceOn)
{
    FakeWorld world;
    world.SetMarker(Marker::Trace, traceOn);
    qev::TraceLevel = 0;
    for (auto _ : state) {
        auto* addin = new qev::ConnectObject(world.Services());
        qev::CConnect& connect = addin->Connect();
        benchmark::DoNotOptimize(connect.OnConnection(&world.Application(), qev::kConnectStartup, &world.AddInInstance()));
        benchmark::DoNotOptimize(connect.OnStartupComplete());
        benchmark::DoNotOptimize(connect.OnBeginShutdown());
        world.Quit();
        benchmark::DoNotOptimize(connect.OnDisconnection(0));
        addin->Release();
        if (!traceOn) qev::TraceLevel = 0;
        state.PauseTiming();
        world.System().ClearDebugWrites();
        state.ResumeTiming();
    }
    qev::TraceLevel = 0;
}

void LifecycleTraceOff(benchmark::State& state)
{
    Lifecycle(state, false);
}
BENCHMARK(LifecycleTraceOff)->Unit(benchmark::kMicrosecond);

void LifecycleTraceOn(benchmark::State& state)
{
    Lifecycle(state, true);
}
BENCHMARK(LifecycleTraceOn)->Unit(benchmark::kMicrosecond);

}  // namespace
