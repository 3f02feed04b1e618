// qev-soak.exe [ROUNDS]: the real qev.dll draws its pictures again and
// again in the simulated Outlook, and the process's GDI objects and handles
// must stay flat.
//
//   ribbon:      Outlook 16 with the add-in connected; each round asks
//                getImage of every button of the tab (by name through the
//                add-in's IDispatch, as Office calls it) and lets each
//                picture go, as Office does once it has drawn it;
//   command bar: Outlook 2007; each round is a session of its own with the
//                trace on: the add-in created and connected (it builds its
//                bar, every picture pasted through the clipboard), started
//                up, shut down and let go.
//
//   reload:      first, qev.dll loaded by its path as COM loads a server,
//                one Outlook 16 session, freed once DllCanUnloadNow allows;
//                its GDI objects are checked, its handles only shown.
//
// ROUNDS defaults to 1000 for each. The counts (process_counts.h) are
// sampled ten times a part; a part fails when the last sample is above the
// first, taken after a tenth of its rounds (the warm-up), by more than 8 GDI
// objects or 16 handles, when a picture did not come (a getImage without its
// 32 by 32 picture, a bar without its seven faces), or when the simulated
// Outlook is left holding something of the add-in's.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/soak/soak_series.h"
#include "sim/win/product_folder.h"
#include "sim/win/registered_addin.h"
#include "sim/win/sim_outlook.h"
#include "sim/win/sim_ribbon.h"
#include "sim/win/soak/process_counts.h"
#include "sim/win/win_world.h"

namespace {

namespace win = qev::sim::win;

std::vector<std::int64_t> Sample()
{
    const win::ProcessCounts counts = win::CountProcessObjects();
    return {counts.gdiObjects, counts.handles, counts.userObjects};
}

// rounds of round(), sampled; the part's problems. handleSlack < 0 shows the
// handles without checking them.
std::vector<std::string> Soak(const char* part, int rounds, const std::function<void()>& round,
                              std::int64_t handleSlack = 16)
{
    std::cout << "\n== " << part << ": " << rounds << " rounds\n";
    qev::sim::SoakSeries series(std::cout, "rounds",
                                {{"GDI objects", "objects", 8, 0}, {"handles", "handles", handleSlack, 0},
                                 {"USER objects", "objects", -1, 0}});
    const int every = std::max(1, rounds / 10);
    series.Sample(0, Sample(), false);
    const auto begin = std::chrono::steady_clock::now();
    std::vector<std::string> problems;
    try {
        for (int i = 1; i <= rounds; ++i) {
            round();
            if (i % every == 0) series.Sample(static_cast<std::uint64_t>(i), Sample(), true);
        }
    } catch (const std::exception& e) {
        problems.push_back(e.what());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::cout << "growth from the warm-up sample to the last:\n";
    series.WriteGrowth(std::cout);
    std::printf("time: %.1f s, %.2f ms a round\n", seconds, seconds * 1000 / rounds);
    for (const std::string& problem : series.Problems()) problems.push_back(problem);
    for (std::string& problem : problems) problem = std::string(part) + ": " + problem;
    return problems;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (rounds < 10 || argc > 2) {
        std::fprintf(stderr, "usage: qev-soak.exe [ROUNDS]   (at least 10)\n");
        return 2;
    }
    std::vector<std::string> problems;
    try {
        win::Markers markers;
        win::ProductFolder folder(win::FindBuiltFiles());
        win::ComApartment apartment;
        win::Ledger ledger;
        win::SimAddInInstance instance(ledger);
        const win::ProcessCounts counts = win::CountProcessObjects();
        std::cout << "qev.dll in the simulated Outlook under Wine. GDI objects: " << counts.gdiSource
                  << "; handles: " << counts.handleSource
                  << "; USER objects: GetGuiResources (-1: it answers 0, not counted)\n";
        // First, while nothing else holds qev.dll: each round loads it as COM
        // loads a server, runs one session and frees it, as Outlook does when
        // the user turns the add-in off and on again. Its handles are shown,
        // not checked: each load leaves four (README, "Nothing grows with use").
        const win::RegisteredAddin registered = win::FindRegisteredAddin(L"qev.Connect");
        for (const std::string& problem : Soak(
                 "qev.dll loaded and freed, a session a round", rounds,
                 [&] {
                     {
                         win::InprocServer server(registered);
                         win::SimApplication outlook16(ledger);
                         auto addin = win::StartAddin(server.Create(), outlook16, instance);
                         win::ShutDownAddin(addin, outlook16);
                     }
                     if (GetModuleHandleW(registered.server.c_str()))
                         throw std::runtime_error("qev.dll stayed loaded after its session");
                 },
                 -1))
            problems.push_back(problem);
        {
            win::SimApplication outlook16(ledger);
            win::SimRibbon ribbon(ledger, outlook16, [] {});
            auto addin = win::StartAddin(outlook16, instance);
            ribbon.Markup(addin.Get(), "Microsoft.Outlook.Explorer");
            ribbon.Load(addin.Get(), false);
            std::vector<std::string> buttons;
            for (const auto& [name, id] : ribbon.Elements())
                if (name == "button") buttons.push_back(id);
            if (buttons.empty()) throw std::runtime_error("the tab has no buttons");
            for (const std::string& problem : Soak(("ribbon pictures, getImage of " + std::to_string(buttons.size()) +
                                                    " buttons a round").c_str(),
                                                   rounds, [&] {
                for (const std::string& id : buttons) {
                    const auto answer = ribbon.Call(addin.Get(), "getImage", id, qev::sim::RibbonContext::Explorer);
                    if (answer.value != "picture 32x32")
                        throw std::runtime_error("getImage of " + id + " answered " + answer.value);
                }
            }))
                problems.push_back(problem);
            win::ShutDownAddin(addin, outlook16);
        }
        markers.Set(win::Markers::Kind::Trace, true);
        for (const std::string& problem : Soak("command bar of Outlook 2007, a session a round, trace on", rounds, [&] {
                 // Each session has an Outlook of its own: a temporary bar
                 // holds its name until Outlook closes.
                 win::SimApplication outlook2007(ledger);
                 outlook2007.SetVersion(L"12.0.4518");
                 auto addin = win::StartAddin(outlook2007, instance);
                 const auto& bars = outlook2007.ExplorerAt(1)->CommandBars().Bars();
                 std::size_t faces = 0;
                 if (!bars.empty())
                     for (const auto& button : bars.back()->Buttons()) faces += button->FaceSize().has_value();
                 if (faces != 7) throw std::runtime_error("the bar was built with " + std::to_string(faces) + " pictures, not 7");
                 win::ShutDownAddin(addin, outlook2007);
             }))
            problems.push_back(problem);
        for (const std::string& problem : ledger.Problems()) problems.push_back("not released: " + problem);
    } catch (const std::exception& e) {
        problems.push_back(e.what());
    }
    for (const std::string& problem : problems) std::cout << "FAIL " << problem << "\n";
    std::cout << (problems.empty() ? "flat: passed\n" : "failed\n");
    return problems.empty() ? 0 : 1;
}
