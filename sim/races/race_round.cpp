#include "sim/races/race_round.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <sstream>
#include <string_view>
#include <thread>

#include "sim/transcript.h"

namespace qev::sim::races {
namespace {

// The commands the user clicks: none of them moves mail, so every round's
// selection stays as it was made.
constexpr const char* kClicked[] = {"AddSpammer", "AddFriend", "Spammers", "Friends", "Settings", "NotSpam"};
constexpr const char* kGetters[] = {"getEnabled", "getLabel", "getVisible"};

// Written once the call that removes the add-in's observer has returned.
constexpr std::string_view kRemovedLine = "# races: observer removed";

// The add-in's writes that only a notification makes after the user's side
// has stopped: the status it was told, and the buttons following it.
bool NotificationWrite(std::string_view line)
{
    return line.starts_with("> ") &&
           (line.find("SetServerStatus_<") != std::string_view::npos ||
            line.find("SetToolbarStatus_<") != std::string_view::npos);
}

// The ids of the markup's buttons, by the command they end in.
std::string ButtonId(const World::MarkupAnswer& markup, std::string_view command)
{
    const std::string suffix = ".x-buttons." + std::string(command) + "\"";
    for (const std::string& line : markup.lines) {
        const std::size_t at = line.find(" id=\"");
        if (at == std::string::npos) continue;
        const std::size_t end = line.find('"', at + 5);
        if (end == std::string::npos) continue;
        const std::string id = line.substr(at + 5, end - at - 5);
        if ((id + "\"").ends_with(suffix)) return id;
    }
    return {};
}

// The engine's threads: each sends status and settings notifications in
// turn until told to stop, counting what reached an observer.
class EngineThreads {
public:
    // pump runs on the add-in's thread what the engine's threads wait for.
    EngineThreads(RaceHost& host, unsigned count, std::function<void()> pump)
        : m_counts(count), m_pump(std::move(pump))
    {
        for (unsigned i = 0; i < count; ++i) m_threads.emplace_back([this, &host, i] { Send(host, m_counts[i]); });
    }
    ~EngineThreads() { Join(); }

    // Returns once every thread has sent at least n more notifications.
    void AwaitMore(std::uint64_t n)
    {
        std::vector<std::uint64_t> from;
        for (const Counts& c : m_counts) from.push_back(c.sent.load());
        for (;;) {
            m_pump();
            bool all = true;
            for (std::size_t i = 0; i < m_counts.size(); ++i) all = all && m_counts[i].sent.load() >= from[i] + n;
            if (all) return;
            std::this_thread::yield();
        }
    }

    // Stops the threads; the add-in's thread keeps running their calls until
    // every thread has ended.
    void Join()
    {
        m_stop = true;
        for (;;) {
            m_pump();
            std::size_t running = 0;
            for (const Counts& c : m_counts) running += c.finished.load() ? 0 : 1;
            if (running == 0) break;
            std::this_thread::yield();
        }
        for (std::thread& thread : m_threads)
            if (thread.joinable()) thread.join();
    }

    void AddTo(RoundResult& result) const
    {
        for (const Counts& c : m_counts) {
            result.sent += c.sent.load();
            result.delivered += c.delivered.load();
            result.dropped += c.dropped.load();
        }
    }

private:
    struct Counts {
        std::atomic<std::uint64_t> sent{0};
        std::atomic<std::uint64_t> delivered{0};
        std::atomic<std::uint64_t> dropped{0};
        std::atomic<bool> finished{false};
    };

    void Send(RaceHost& host, Counts& counts)
    {
        for (std::uint64_t n = 0; !m_stop.load(); ++n) {
            std::size_t reached = 0;
            if (n % 2 == 0) {
                reached = host.NotifyStatus(n % 4 == 0);
            } else {
                // Antispam on and off in turn (f1 = 0 and f3 = 1 is on).
                AsSettings settings{};
                settings.f[0] = sizeof(AsSettings);
                settings.f[1] = n % 4 == 1 ? 0 : 1;
                settings.f[3] = 1;
                reached = host.NotifySettings(settings);
            }
            (reached ? counts.delivered : counts.dropped) += 1;
            ++counts.sent;
            // With no observer left a notification costs nothing: spinning
            // would only take the add-in's thread's share of the processor.
            if (!reached) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        counts.finished = true;
    }

    std::vector<Counts> m_counts;
    std::function<void()> m_pump;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
};

// The user's side while the engine's threads run: the mail selected, then
// clicks and the ribbon's callbacks (Outlook asks them when the add-in
// invalidates); between two steps every engine thread gets at least one more
// notification through to the add-in's thread.
void PlayUser(World& world, EngineThreads& engine, const RaceOptions& options)
{
    const auto step = [&] {
        engine.AwaitMore(1);
        world.Settle();
    };
    world.SelectItems(Select{"a", "Inbox", {1, 2}});
    step();
    if (!world.UsesRibbon()) {
        for (unsigned i = 0; i < options.userSteps; ++i) {
            world.AdvanceTick(600);  // past the click guard
            world.Click(kClicked[i % std::size(kClicked)]);
            step();
        }
        return;
    }
    const World::MarkupAnswer markup = world.RibbonMarkup("Microsoft.Outlook.Explorer");
    world.RibbonLoad(false);
    step();
    for (unsigned i = 0; i < options.userSteps; ++i) {
        const std::string id = ButtonId(markup, kClicked[i % std::size(kClicked)]);
        if (id.empty()) throw Failure("the markup has no button " + std::string(kClicked[i % std::size(kClicked)]));
        world.RibbonCall(kGetters[i % std::size(kGetters)], id, RibbonContext::Explorer);
        step();
        world.AdvanceTick(600);
        world.RibbonCall("onAction", id, RibbonContext::Explorer);
        step();
    }
}

// Takes the add-in down by path; returns once the call that removes its
// observer has returned, the rest of Outlook's exit still to come. Removed
// by the user, the add-in lets Outlook's objects go but keeps its observer
// and its subscriptions until Outlook quits (its Quit sink still hears it):
// the notifications in between still reach it, as they may.
void RemoveObserver(World& world, EngineThreads& engine, const RaceOptions& options, ShutdownPath path)
{
    switch (path) {
        case ShutdownPath::BeginShutdown:
            world.Call(SessionCall::BeginShutdown, 0);
            break;
        case ShutdownPath::Quit:
            world.Quit();
            break;
        case ShutdownPath::UserRemoval:
            world.Call(SessionCall::Disconnect, 1);
            engine.AwaitMore(options.afterRemoval);
            world.Quit();
            break;
    }
}

void FinishExit(World& world, ShutdownPath path)
{
    if (path != ShutdownPath::UserRemoval) world.Call(SessionCall::Disconnect, 0);
}

std::uint64_t WritesAfterRemoval(const std::string& transcript)
{
    std::istringstream lines(transcript);
    bool removed = false;
    std::uint64_t count = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line == kRemovedLine) removed = true;
        if (removed && NotificationWrite(line)) ++count;
    }
    return count;
}

const char* const kMail =
    "From: Ann <ann@example.com>\r\nTo: me@example.com\r\nSubject: hello\r\n\r\nbody\r\n";

}  // namespace

const char* NameOf(ShutdownPath path)
{
    switch (path) {
        case ShutdownPath::BeginShutdown: return "beginshutdown";
        case ShutdownPath::Quit: return "quit";
        case ShutdownPath::UserRemoval: return "user removal";
    }
    return "?";
}

RoundResult PlayRound(RaceHost& host, std::size_t round, const RaceOptions& options)
{
    RoundResult result;
    const ShutdownPath path = static_cast<ShutdownPath>(round % 3);
    std::ostringstream text;
    {
        Transcript transcript(text);
        World& world = host.NewRound();
        world.Attach(&transcript);
        try {
            world.SetMarker(MarkerKind::Trace, true);
            world.SetOutlookVersion(round % 2 == 0 ? "16.0.0.1234" : "12.0.4518");
            world.AddStore(Store{"a", "Mailbox - Ann"});
            for (int i = 0; i < 2; ++i) world.DeliverItem(Deliver{.store = "a", .path = "Inbox", .message = kMail});
            world.Call(SessionCall::Connect, 1);
            world.Call(SessionCall::Startup, 0);
            EngineThreads engine(host, options.engineThreads, [&host] { host.RunPending(); });
            PlayUser(world, engine, options);
            RemoveObserver(world, engine, options, path);
            host.RunPending();
            world.Settle();
            transcript.Line(kRemovedLine);
            engine.AwaitMore(options.afterRemoval);
            FinishExit(world, path);
            engine.AwaitMore(options.afterRemoval);
            engine.Join();
            world.Settle();
            engine.AddTo(result);
        } catch (const Failure& e) {
            result.problems.push_back(std::string("failure: ") + e.what());
        }
        world.Attach(nullptr);
    }
    result.callsAfterRemoval = WritesAfterRemoval(text.str());
    for (std::string& problem : host.EndRound()) result.problems.push_back(std::move(problem));
    return result;
}

int RunRaces(int argc, char** argv, const char* program, RaceHost& host, std::ostream& out, std::ostream& err)
{
    // --from lets a run go on where another stopped, with the same turn of
    // Outlook versions and shutdown paths (the Wine runs are played in
    // batches, one process each: see the README).
    std::uint64_t rounds = 1000, first = 0;
    bool usage = argc > 4;
    for (int i = 1; i < argc && !usage; ++i) {
        const std::string arg = argv[i];
        char* end = nullptr;
        if (arg == "--from" && i + 1 < argc) {
            first = std::strtoull(argv[++i], &end, 10);
            usage = *end != '\0';
        } else {
            rounds = std::strtoull(argv[i], &end, 10);
            usage = *end != '\0' || rounds == 0;
        }
    }
    if (usage) {
        err << "usage: " << program << " [ROUNDS] [--from FIRST]\n";
        return 2;
    }
    const RaceOptions options;
    RoundResult totals;
    std::uint64_t failedRounds = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t round = first; round < first + rounds; ++round) {
        const RoundResult r = PlayRound(host, round, options);
        totals.sent += r.sent;
        totals.delivered += r.delivered;
        totals.dropped += r.dropped;
        totals.callsAfterRemoval += r.callsAfterRemoval;
        const char* ui = round % 2 == 0 ? "ribbon" : "command bar";
        if (r.callsAfterRemoval)
            err << "round " << round + 1 << " (" << ui << ", " << NameOf(static_cast<ShutdownPath>(round % 3))
                << "): " << r.callsAfterRemoval << " notification writes after the observer was removed\n";
        for (const std::string& problem : r.problems)
            err << "round " << round + 1 << " (" << ui << ", " << NameOf(static_cast<ShutdownPath>(round % 3))
                << "): " << problem << "\n";
        if (r.callsAfterRemoval || !r.problems.empty()) ++failedRounds;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out << "races: " << rounds << " rounds, " << options.engineThreads << " engine threads, " << totals.sent
        << " notifications sent, " << totals.delivered << " delivered, " << totals.dropped
        << " dropped after removal, " << totals.callsAfterRemoval << " calls after removal, " << failedRounds
        << " rounds with problems, " << static_cast<long long>(seconds * 1000) << " ms\n";
    return failedRounds == 0 ? 0 : 1;
}

}  // namespace qev::sim::races
