// The transcript's feed from the debug channel: every message this process
// writes to the channel becomes a "> " line, in the order written.
//
// Events of the add-in arrive on two threads: its debug writes on the channel
// listener's thread, everything else (the engine calls it makes, the results
// of the host's calls) on the thread the simulated Outlook runs on. Writes to
// the channel are delivered one at a time in the order they were made, so
// Sync() puts a marker of its own into the channel and waits until the
// listener has reached it: then every write made before is in the transcript,
// and a line of the calling thread written next takes its place after them.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "host/win/debug_channel.h"

namespace qev::sim {
class Transcript;
}

namespace qev::sim::win {

class ChannelFeed {
public:
    // Takes the channel; std::runtime_error when another monitor owns it or
    // it cannot be opened.
    ChannelFeed();
    ChannelFeed(const ChannelFeed&) = delete;
    ChannelFeed& operator=(const ChannelFeed&) = delete;
    ~ChannelFeed() { m_listener.Stop(); }

    // Where this process's messages go (nowhere while null).
    void Attach(Transcript* transcript);

    // The channel carries text in the ANSI code page, which holds no Hebrew
    // (say) beside Latin-1: module's wide writes (its import of
    // OutputDebugStringW, import_patch.h) go as UTF-8 instead, which the feed
    // reads back. False when the module does not import it.
    static bool TakeWhole(HMODULE module) noexcept;

    // Returns once every message this process wrote before the call has gone
    // to the transcript; false when the channel did not deliver in time.
    bool Sync();

    // Tells the feed that the modules taken whole are the process's only
    // writers: Sync() then waits only when one of them wrote since the last.
    void OnlyWholeWriters();

private:
    void OnMessage(std::uint32_t pid, std::string_view text);

    host::win::DebugChannelListener m_listener;
    DWORD m_pid = GetCurrentProcessId();
    std::mutex m_mutex;
    std::condition_variable m_synced;
    Transcript* m_transcript = nullptr;
    std::uint64_t m_sent = 0;
    std::uint64_t m_seen = 0;
    std::uint64_t m_writtenBeforeSync = 0;  // the writes a marker has come through after
    bool m_onlyWholeWriters = false;
};

}  // namespace qev::sim::win
