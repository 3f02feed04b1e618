// qev-soak [MESSAGES]: the add-in files a long stream of new mail in the
// in-memory world, and the process's resident set must stay flat.
//
// MESSAGES (default 100000) arrive one by one in the Inbox of a connected
// add-in (the engine's options: move spam to the spam folder, mark it read):
// a third stamped as spam, the others as clean; every fifth kept in 8-bit
// form (headers and body), every seventh with an HTML body, one in fifty
// already read, one in a hundred large (a 256 KiB body under 64 KiB of
// headers). The first half runs with the trace on, the second with a new
// add-in object and the trace off. Every 500 messages the user empties the
// Inbox and the spam folder, and the world forgets its history, so that
// what the harness keeps stays flat too.
//
// The resident set is sampled ten times; the run fails when the last sample
// is more than 8 MiB or 10% (whichever is more) above the first one, taken
// at a tenth of the run (the warm-up), or when the add-in leaves anything
// unreleased. Build it in the release tree: ASan's quarantine holds freed
// memory and would hide what this measures.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "host/utf.h"
#include "sim/native_world.h"
#include "sim/soak/soak_series.h"

namespace {

using qev::sim::Deliver;
using qev::sim::NativeWorld;

constexpr char kStore[] = "a";
constexpr char kSpamFolder[] = "Deleted Items/Spam";
constexpr std::uint64_t kEmptyEvery = 500;

// The process's resident set in KiB (Linux).
std::int64_t ResidentKib()
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Message number i of the stream.
Deliver MessageNumber(std::uint64_t i)
{
    Deliver d;
    d.store = kStore;
    d.path = "Inbox";
    const bool spam = i % 3 == 0;
    const bool eightBit = i % 5 == 1;
    const bool large = i % 100 == 7;
    d.read = i % 50 == 9;
    if (eightBit) {
        d.headers = qev::sim::HeadersForm::Ansi;
        d.body = qev::sim::BodyForm::PlainAnsi;
    } else if (i % 7 == 3) {
        d.body = qev::sim::BodyForm::HtmlUnicode;
    }
    const std::string n = std::to_string(i);
    std::string text = "From: Sender " + n + " <sender" + n + "@example.com>\r\n" +
                       (eightBit ? "Subject: Grüße aus Köln " + n + "\r\n" : "Subject: mail " + n + "\r\n") +
                       "X-MarlowcrestWKS-Spam: " + (spam ? "Yes" : "No") + "\r\n";
    if (large) {
        for (int line = 0; text.size() < 64 * 1024; ++line)
            text += "Received: from relay" + std::to_string(line) + ".example.net by mx.example.com; hop " + n + "\r\n";
    }
    text += "\r\n";
    text += eightBit ? "Café, crème brûlée, € " + n + "\r\n" : "body " + n + "\r\n";
    if (large) text += std::string(256 * 1024, 'x') + "\r\n";
    d.message = std::move(text);
    return d;
}

// A world with one store, an engine that moves spam and marks it read, and
// a connected add-in.
void SetUp(NativeWorld& world, bool trace)
{
    world.AddStore({.id = kStore, .displayName = "Mailbox - Ann"});
    world.SetEngineSetting(3, 1);
    world.SetEngineOption(4, 1);
    world.SetEngineOption(5, 1);
    world.SetMarker(qev::sim::MarkerKind::Trace, trace);
    if (world.Call(qev::sim::SessionCall::Connect, 0) != 0 || world.Call(qev::sim::SessionCall::Startup, 0) != 0)
        throw std::runtime_error("the add-in did not start");
}

// Outlook's shutdown; the add-in's release problems.
std::vector<std::string> TearDown(NativeWorld& world)
{
    world.Call(qev::sim::SessionCall::BeginShutdown, 0);
    world.Quit();
    world.Call(qev::sim::SessionCall::Disconnect, 1);
    return world.LetAddinGo();
}

}  // namespace

int main(int argc, char** argv)
{
    const std::uint64_t messages = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
    if (messages < 20 || argc > 2) {
        std::cerr << "usage: qev-soak [MESSAGES]   (at least 20)\n";
        return 2;
    }
    const std::uint64_t every = messages / 10;
    std::cout << "qev-soak: " << messages << " new messages filed in the in-memory world; the first half traced\n";
    qev::sim::SoakSeries series(std::cout, "messages",
                                {{"resident set", "KiB", 8 * 1024, 0.10},
                                 {"items held", "items", -1, 0},
                                 {"spam filed", "items", -1, 0}});
    std::vector<std::string> problems;
    std::uint64_t spamFiled = 0;
    const auto begin = std::chrono::steady_clock::now();
    try {
        std::uint64_t i = 0;
        for (const bool trace : {true, false}) {
            NativeWorld world;
            SetUp(world, trace);
            if (i == 0)
                series.Sample(0, {ResidentKib(), static_cast<std::int64_t>(world.Fake().Mail().ItemRecords()), 0},
                              false);
            const std::uint64_t end = trace ? messages / 2 : messages;
            while (i < end) {
                ++i;
                world.DeliverItem(MessageNumber(i));
                world.Settle();
                if (i % kEmptyEvery == 0 || i == end) {
                    spamFiled += world.CountFolder(kStore, kSpamFolder).items;
                    world.Fake().Mail().Empty(u"a", u"Inbox");
                    world.Fake().Mail().Empty(u"a", host::Utf16(kSpamFolder));
                    world.Fake().ForgetHistory();
                }
                if (i % every == 0)
                    series.Sample(i,
                                  {ResidentKib(), static_cast<std::int64_t>(world.Fake().Mail().ItemRecords()),
                                   static_cast<std::int64_t>(spamFiled)},
                                  true);
            }
            for (const std::string& problem : TearDown(world)) problems.push_back("not released: " + problem);
        }
    } catch (const std::exception& e) {
        problems.push_back(e.what());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    // Spam is every third message, less the one in fifty that arrives read.
    std::uint64_t expected = 0;
    for (std::uint64_t i = 1; i <= messages; ++i) expected += i % 3 == 0 && i % 50 != 9;
    if (spamFiled != expected)
        problems.push_back("filed " + std::to_string(spamFiled) + " spam, expected " + std::to_string(expected));
    for (const std::string& problem : series.Problems()) problems.push_back(problem);

    std::cout << "growth from the warm-up sample to the last:\n";
    series.WriteGrowth(std::cout);
    std::printf("time: %.1f s, %.0f messages a second\n", seconds, static_cast<double>(messages) / seconds);
    for (const std::string& problem : problems) std::cout << "FAIL " << problem << "\n";
    std::cout << (problems.empty() ? "flat: passed\n" : "failed\n");
    return problems.empty() ? 0 : 1;
}
