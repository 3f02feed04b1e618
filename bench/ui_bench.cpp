// What the user interface costs Outlook natively: a connection that builds
// the command bar (seven buttons, each face through the clipboard) next to
// one that leaves the user interface to the ribbon; one update of the
// buttons' state and one ribbon getEnabled, each next to an empty call.
#include <benchmark/benchmark.h>

#include <memory>

#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "host/fake/fake_world.h"
#include "ribbon/ribbon.h"
#include "tests/support/addin_process.h"

namespace {

using host::fake::FakeWorld;

// One connection of a new add-in object in a new Outlook of that version;
// Outlook keeps a temporary bar until it closes, so each round has its own.
void Connect(benchmark::State& state, const char16_t* version)
{
    for (auto _ : state) {
        state.PauseTiming();
        qev::testing::ResetAddinProcess();
        auto world = std::make_unique<FakeWorld>();
        world->SetOutlookVersion(version);
        auto* addin = new qev::ConnectObject(world->Services());
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            addin->Connect().OnConnection(&world->Application(), qev::kConnectStartup, &world->AddInInstance()));
        state.PauseTiming();
        addin->Connect().OnDisconnection(0);
        addin->Release();
        world.reset();
        qev::testing::ResetAddinProcess();
        state.ResumeTiming();
    }
}

void ConnectCommandBar(benchmark::State& state)
{
    Connect(state, u"12.0.4518");
}
BENCHMARK(ConnectCommandBar)->Unit(benchmark::kMicrosecond);

void ConnectRibbonBaseline(benchmark::State& state)
{
    Connect(state, u"16.0.0.1234");
}
BENCHMARK(ConnectRibbonBaseline)->Unit(benchmark::kMicrosecond);

void SetToolbarStatusCommandBar(benchmark::State& state)
{
    qev::testing::ResetAddinProcess();
    FakeWorld world;
    world.SetOutlookVersion(u"12.0.4518");
    world.SetEngineSetting(3, 1);
    world.AddStore(u"a", u"Mailbox - Ann");
    world.Deliver(u"a", u"Inbox", u"Subject: s\r\n\r\nbody\r\n");
    auto* addin = new qev::ConnectObject(world.Services());
    qev::CConnect& connect = addin->Connect();
    connect.OnConnection(&world.Application(), qev::kConnectStartup, &world.AddInInstance());
    connect.OnStartupComplete();
    world.Select(u"a", u"Inbox", {1});
    for (auto _ : state) connect.Toolbar().SetToolbarStatus_();
    connect.OnDisconnection(0);
    addin->Release();
    qev::testing::ResetAddinProcess();
}
BENCHMARK(SetToolbarStatusCommandBar)->Unit(benchmark::kNanosecond);

// One getEnabled as Outlook asks it after an Invalidate, for a button of the
// tab's markup, on the ribbon path.
void RibbonGetEnabled(benchmark::State& state)
{
    qev::testing::ResetAddinProcess();
    FakeWorld world;
    auto* addin = new qev::ConnectObject(world.Services());
    qev::CConnect& connect = addin->Connect();
    connect.OnConnection(&world.Application(), qev::kConnectStartup, &world.AddInInstance());
    std::u16string markup;
    connect.RibbonTab().GetCustomUI(u"Microsoft.Outlook.Explorer", &markup);
    const host::Ref<host::Object> control =
        world.RibbonControl(std::u16string(qev::kRibbonIdNamespace) + qev::kButtonsMarker + u"Friends",
                            FakeWorld::ControlContext::Explorer);
    std::int16_t enabled = 0;
    for (auto _ : state) benchmark::DoNotOptimize(connect.RibbonTab().Ribbon_OnGetEnabled(control.Get(), &enabled));
    connect.OnDisconnection(0);
    addin->Release();
    qev::testing::ResetAddinProcess();
}
BENCHMARK(RibbonGetEnabled)->Unit(benchmark::kNanosecond);

__attribute__((noinline)) void EmptyCall(int* sink)
{
    benchmark::DoNotOptimize(sink);
}

void EmptyCallBaseline(benchmark::State& state)
{
    int sink = 0;
    for (auto _ : state) EmptyCall(&sink);
}
BENCHMARK(EmptyCallBaseline)->Unit(benchmark::kNanosecond);

}  // namespace
