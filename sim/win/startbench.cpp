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
// apart. On the ribbon, after start-up: the markup request (by vtable, as
// Outlook asks), every getter callback of the tab's eleven elements and the
// seven buttons' pictures (by name, as Outlook calls them), the process's
// first run (its first MSXML document) apart from the later ones. The
// add-in's trace level stays on once a connection has seen the marker, so
// the rows run in that order.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "addin/com/office_ribbon.h"
#include "ribbon/ribbon_elements.h"
#include "sim/win/channel_feed.h"
#include "sim/win/product_folder.h"
#include "sim/win/sim_outlook.h"
#include "sim/win/win_world.h"

namespace {

using qev::sim::win::ComApartment;

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
    Times times;
    const double begin = Now();
    auto addin = qev::sim::win::StartAddin(application, instance);
    const double started = Now();
    qev::sim::win::ShutDownAddin(addin, application);
    const double ended = Now();
    times.startup = started - begin;
    times.shutdown = ended - started;
    return times;
}

// The getters IRibbonCallback offers, asked of every element of the tab as
// Outlook may ask them while it draws it (onAction runs a command: no part
// of drawing), and the button pictures.
constexpr const char* kGetters[] = {"getLabel",   "getScreentip", "getSupertip", "getSize",
                                    "getVisible", "getEnabled",   "getImageMso"};

struct RibbonTimes {
    double startup = 0;
    double markup = 0;         // GetCustomUI by vtable
    double callbacks = 0;      // every getter of every element, by name
    double pictures = 0;       // getImage of every button: each decodes its PNG
    double picturesAgain = 0;  // the same again: decoded already
    std::size_t callbackCount = 0;
    std::size_t pictureCount = 0;

    double Drawn() const { return markup + callbacks + pictures; }
    RibbonTimes& operator+=(const RibbonTimes& t)
    {
        startup += t.startup;
        markup += t.markup;
        callbacks += t.callbacks;
        pictures += t.pictures;
        picturesAgain += t.picturesAgain;
        callbackCount = t.callbackCount;
        pictureCount = t.pictureCount;
        return *this;
    }
};

// One session of Outlook 16: start-up, the markup, every callback of every
// element and every button's picture, twice.
RibbonTimes RibbonSession(qev::sim::win::Ledger& ledger, qev::sim::win::SimApplication& application,
                          qev::sim::win::SimAddInInstance& instance)
{
    RibbonTimes times;
    qev::sim::win::SimRibbon ribbon(ledger, application, [] {});
    const double begin = Now();
    auto addin = qev::sim::win::StartAddin(application, instance);
    const double started = Now();
    host::win::ComPtr<IRibbonExtensibility> extensibility;
    if (FAILED(addin->QueryInterface(IID_IRibbonExtensibility, extensibility.OutVoid())))
        throw std::runtime_error("the add-in does not answer IRibbonExtensibility");
    const host::win::Bstr explorer(qev::kExplorerRibbonId);
    host::win::Bstr markup;
    const double asked = Now();
    if (extensibility->GetCustomUI(explorer.Get(), markup.Out()) != S_OK) throw std::runtime_error("no markup");
    const double marked = Now();
    // The elements' ids, read back from a second request as Outlook reads
    // markup (not timed).
    ribbon.Markup(addin.Get(), "Microsoft.Outlook.Explorer");
    std::vector<std::pair<std::string, std::string>> elements;  // the element table's rows: tab, groups, buttons
    for (const auto& element : ribbon.Elements())
        if (element.first == "tab" || element.first == "group" || element.first == "button") elements.push_back(element);
    if (elements.size() != 11) throw std::runtime_error("the markup has " + std::to_string(elements.size()) + " controls");

    const double calling = Now();
    for (const auto& [name, id] : elements) {
        for (const char* getter : kGetters) {
            const auto answer = ribbon.Call(addin.Get(), getter, id, qev::sim::RibbonContext::Explorer);
            if (answer.hr != S_OK) throw std::runtime_error(std::string(getter) + " of " + id + " failed");
            ++times.callbackCount;
        }
    }
    const double called = Now();
    const auto pictures = [&] {
        for (const auto& [name, id] : elements) {
            if (name != "button") continue;
            const auto answer = ribbon.Call(addin.Get(), "getImage", id, qev::sim::RibbonContext::Explorer);
            if (answer.value != "picture 32x32") throw std::runtime_error("no picture of " + id + ": " + answer.value);
        }
    };
    pictures();
    const double pictured = Now();
    pictures();
    const double again = Now();
    times.pictureCount = 7;
    times.startup = started - begin;
    times.markup = marked - asked;
    times.callbacks = called - calling;
    times.pictures = pictured - called;
    times.picturesAgain = again - pictured;
    extensibility.Reset();
    qev::sim::win::ShutDownAddin(addin, application);
    return times;
}

// One figure a line: "  NAME  VALUE ms".
void Figure(const std::string& name, double ms)
{
    std::printf("  %-76s %10.3f ms\n", name.c_str(), ms);
}

void RibbonFigures(const char* run, const RibbonTimes& t, double n)
{
    const std::string head = std::string("ribbon (16.0), trace off, ") + run + ": ";
    Figure(head + "start-up", t.startup / n);
    Figure(head + "GetCustomUI", t.markup / n);
    Figure(head + std::to_string(t.callbackCount) + " callbacks by name (7 getters x 11 elements)", t.callbacks / n);
    Figure(head + std::to_string(t.pictureCount) + " getImage, each decoding its PNG", t.pictures / n);
    Figure(head + std::to_string(t.pictureCount) + " getImage again", t.picturesAgain / n);
    Figure(head + "markup, callbacks and pictures (aim: under 10)", t.Drawn() / n);
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
            // The process's first markup also makes its first MSXML document.
            RibbonFigures("first run", RibbonSession(ledger, application, instance), 1);
            RibbonTimes sum;
            for (int i = 0; i < runs; ++i) sum += RibbonSession(ledger, application, instance);
            RibbonFigures("later runs", sum, runs);
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
