// qev-startbench.exe [RUNS]: how long the real qev.dll takes to start and to
// shut down in the simulated Outlook, as Outlook drives it.
//
//   start-up:  CoCreateInstance(qev.Connect) .. OnConnection .. the return
//              of OnStartupComplete
//   shutdown:  OnBeginShutdown, the Quit event, OnDisconnection and the
//              final Release
//
// Each is timed RUNS times (default 20) with the trace off (Outlook 16 with
// the ribbon, then Outlook 12 with the command bar), then on with no
// debug monitor, then on with a monitor listening (when the channel is free).
// The first run of all also loads qev.dll and the engine client; it is shown
// apart. After start-up on the ribbon: the markup request (by vtable, as
// Outlook asks) and a button's picture by name (the first decodes its PNG). The add-in's trace level stays on once a connection has seen the
// marker, so the rows run in that order.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addin/com/office_ribbon.h"
#include "host/utf.h"
#include "ribbon/ribbon_elements.h"
#include "sim/win/channel_feed.h"
#include "sim/win/product_folder.h"
#include "sim/win/sim_outlook.h"
#include "sim/win/win_world.h"

namespace {

using qev::sim::win::ComApartment;
using qev::sim::win::CustomArray;

double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

struct Times {
    double startup = 0;
    double shutdown = 0;
};

// One session, as Outlook runs it.
Times Session(qev::sim::win::SimApplication& application, qev::sim::win::SimAddInInstance& instance)
{
    CustomArray custom;
    Times times;
    const double begin = Now();
    auto addin = qev::sim::win::CreateAddin();
    HRESULT hr = addin->OnConnection(&application, ext_cm_Startup, &instance, custom.Get());
    if (hr != S_OK) throw std::runtime_error("OnConnection returned " + std::to_string(hr));
    hr = addin->OnStartupComplete(custom.Get());
    if (hr != S_OK) throw std::runtime_error("OnStartupComplete returned " + std::to_string(hr));
    const double started = Now();
    addin->OnBeginShutdown(custom.Get());
    application.Quit();
    addin->OnDisconnection(ext_dm_HostShutdown, custom.Get());
    addin.Reset();
    const double ended = Now();
    times.startup = started - begin;
    times.shutdown = ended - started;
    return times;
}

struct RibbonTimes {
    double markup = 0;
    double firstPicture = 0;
    double picture = 0;
};

// One session of Outlook 16 that asks for the markup and twice for a picture.
RibbonTimes RibbonSession(qev::sim::win::Ledger& ledger, qev::sim::win::SimApplication& application,
                          qev::sim::win::SimAddInInstance& instance)
{
    CustomArray custom;
    RibbonTimes times;
    qev::sim::win::SimRibbon ribbon(ledger, application, [] {});
    auto addin = qev::sim::win::CreateAddin();
    if (addin->OnConnection(&application, ext_cm_Startup, &instance, custom.Get()) != S_OK ||
        addin->OnStartupComplete(custom.Get()) != S_OK)
        throw std::runtime_error("the add-in did not start");
    host::win::ComPtr<IRibbonExtensibility> extensibility;
    if (FAILED(addin->QueryInterface(IID_IRibbonExtensibility, extensibility.OutVoid())))
        throw std::runtime_error("the add-in does not answer IRibbonExtensibility");
    const host::win::Bstr explorer(u"Microsoft.Outlook.Explorer");
    host::win::Bstr markup;
    const std::string button =
        host::Utf8(std::u16string(qev::kRibbonIdNamespace) + qev::kButtonsMarker + u"IsSpam");
    const double begin = Now();
    if (extensibility->GetCustomUI(explorer.Get(), markup.Out()) != S_OK) throw std::runtime_error("no markup");
    const double marked = Now();
    ribbon.Call(addin.Get(), "getImage", button, qev::sim::RibbonContext::Explorer);
    const double decoded = Now();
    const auto answer = ribbon.Call(addin.Get(), "getImage", button, qev::sim::RibbonContext::Explorer);
    const double pictured = Now();
    if (answer.value != "picture 32x32") throw std::runtime_error("no picture: " + answer.value);
    times = {marked - begin, decoded - marked, pictured - decoded};
    extensibility.Reset();
    addin->OnBeginShutdown(custom.Get());
    application.Quit();
    addin->OnDisconnection(ext_dm_HostShutdown, custom.Get());
    return times;
}

void Row(const char* label, const std::vector<Times>& runs)
{
    double startup = 0;
    double shutdown = 0;
    for (const Times& t : runs) {
        startup += t.startup;
        shutdown += t.shutdown;
    }
    const double n = static_cast<double>(runs.size());
    std::printf("  %-30s %10.3f %10.3f\n", label, startup / n, shutdown / n);
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    try {
        qev::sim::win::Markers markers;
        qev::sim::win::ProductFolder folder(qev::sim::win::FindBuiltFiles());
        ComApartment apartment;
        qev::sim::win::Ledger ledger;
        qev::sim::win::SimApplication application(ledger);
        qev::sim::win::SimAddInInstance instance(ledger);

        std::printf("qev.dll in the simulated Outlook under Wine: milliseconds, mean of %d runs\n", runs);
        std::printf("  %-30s %10s %10s\n", "", "start-up", "shutdown");

        const Times first = Session(application, instance);
        std::printf("  %-30s %10.3f %10.3f\n", "first run (loads qev.dll)", first.startup, first.shutdown);

        auto measure = [&](const char* label) {
            std::vector<Times> times;
            for (int i = 0; i < runs; ++i) times.push_back(Session(application, instance));
            Row(label, times);
        };
        measure("trace off");
        {
            RibbonTimes sum;
            for (int i = 0; i < runs; ++i) {
                const RibbonTimes t = RibbonSession(ledger, application, instance);
                sum.markup += t.markup;
                sum.firstPicture += t.firstPicture;
                sum.picture += t.picture;
            }
            std::printf("  ribbon (16.0), trace off: GetCustomUI %.3f, first getImage (decodes) %.3f, next %.3f\n",
                        sum.markup / runs, sum.firstPicture / runs, sum.picture / runs);
        }
        // Outlook 2007: the add-in builds its command bar, seven faces pasted
        // through the clipboard. Each run has an Outlook of its own, as the
        // temporary bar of the run before would hold the name until Outlook
        // closes.
        {
            std::vector<Times> times;
            for (int i = 0; i < runs; ++i) {
                qev::sim::win::SimApplication outlook2007(ledger);
                outlook2007.SetVersion(L"12.0.4518");
                times.push_back(Session(outlook2007, instance));
            }
            Row("command bar (12.0), trace off", times);
        }
        markers.Set(qev::sim::win::Markers::Kind::Trace, true);
        measure("trace on, no debug monitor");
        std::optional<qev::sim::win::ChannelFeed> monitor;
        try {
            monitor.emplace();
        } catch (const std::exception& e) {
            std::printf("  trace on, monitor listening: not run (%s)\n", e.what());
        }
        if (monitor) measure("trace on, monitor listening");

        const std::vector<std::string> problems = ledger.Problems();
        for (const std::string& problem : problems) std::printf("  not released: %s\n", problem.c_str());
        return problems.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qev-startbench.exe: %s\n", e.what());
        return 3;
    }
}
