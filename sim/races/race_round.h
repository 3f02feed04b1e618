// Race rounds: the engine's notifications from several engine threads at once
// while the add-in's thread plays the user's clicks, the ribbon's callbacks
// and then one of the three ways Outlook takes an add-in down, with
// notifications still arriving during and after it.
//
// Each round gives a fresh add-in in Outlook 16 (the ribbon) or 12 (the
// command bar), in turn, and the shutdown paths in rotation. A round checks
// that no notification reaches the add-in once the call that removes its
// observer has returned (the transcript's SetServerStatus_ and
// SetToolbarStatus_ writes after it), and that everything handed out came
// back. The two races programs (native, under ThreadSanitizer, and the
// Windows one around the real qev.dll) differ only in their RaceHost.
//
// Standard C++ only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/as_client.h"
#include "sim/world.h"

namespace qev::sim::races {

// How Outlook lets the add-in go.
enum class ShutdownPath {
    BeginShutdown,  // OnBeginShutdown, then OnDisconnection (Outlook closes)
    Quit,           // the application's Quit event, then OnDisconnection (Outlook closes)
    UserRemoval,    // OnDisconnection alone with ext_dm_UserClosed (COM Add-ins; Outlook runs on)
};
const char* NameOf(ShutdownPath path);

// What differs between the builds: the world, how an engine thread sends a
// notification, and the add-in's thread's message loop.
class RaceHost {
public:
    virtual ~RaceHost() = default;
    // A world holding a fresh add-in object, not connected yet.
    virtual World& NewRound() = 0;
    // One notification from the calling thread, which stands for one of the
    // engine's: the observers it reached.
    virtual std::size_t NotifyStatus(bool up) = 0;
    virtual std::size_t NotifySettings(const AsSettings& settings) = 0;
    // The add-in's thread runs the calls other threads wait to make into it.
    virtual void RunPending() = 0;
    // Outlook lets the add-in object go; what was not given back.
    virtual std::vector<std::string> EndRound() = 0;
};

struct RaceOptions {
    unsigned engineThreads = 3;
    // Notifications each engine thread still sends once the observer is removed.
    unsigned afterRemoval = 10;
    // Clicks and ribbon callbacks the user's side plays per round.
    unsigned userSteps = 12;
};

struct RoundResult {
    std::uint64_t sent = 0;
    std::uint64_t delivered = 0;  // observer calls the engine made
    std::uint64_t dropped = 0;    // notifications no advised observer was left for
    std::uint64_t callsAfterRemoval = 0;
    std::vector<std::string> problems;
};

RoundResult PlayRound(RaceHost& host, std::size_t round, const RaceOptions& options);

// The races command: "[ROUNDS]" (default 1000). Plays the rounds, writes each
// round's problems to err and one line of totals to out; 0 when there was
// no problem and no call after removal, 1 otherwise, 2 for bad arguments.
int RunRaces(int argc, char** argv, const char* program, RaceHost& host, std::ostream& out, std::ostream& err);

}  // namespace qev::sim::races
