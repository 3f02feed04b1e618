#include "sim/win/channel_feed.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>

#include "sim/transcript.h"
#include "sim/win/import_patch.h"

namespace qev::sim::win {
namespace {

// The marker's text: a character no debug write of the add-in begins with,
// then the marker's number.
constexpr std::string_view kSyncTag = "\x1Fqev-sim sync ";

// How long a marker may take to come through. A writer gives up on a busy
// channel after 10 seconds; this is a little more.
constexpr auto kSyncLimit = std::chrono::seconds(12);

// The text as the writer meant it: UTF-8 from a module that writes through
// the feed's OutputDebugStringW, the ANSI code page's form otherwise (what
// the system makes of every other write, wide ones included).
std::u16string Widen(std::string_view text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    UINT codePage = CP_UTF8;
    int needed = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (needed <= 0) {
        codePage = CP_ACP;
        needed = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    }
    if (needed <= 0) return {};
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, reinterpret_cast<wchar_t*>(wide.data()), needed);
    return wide;
}

// How many writes went through WriteAsUtf8 so far.
std::atomic<std::uint64_t> g_writes{0};

// OutputDebugStringW of a module whose writes the feed takes whole: the text
// goes to the channel as UTF-8 rather than in the ANSI code page.
void WINAPI WriteAsUtf8(const wchar_t* text)
{
    g_writes.fetch_add(1);
    if (!text) return;
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return;
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), needed, nullptr, nullptr);
    OutputDebugStringA(utf8.c_str());
}

}  // namespace

bool ChannelFeed::TakeWhole(HMODULE module) noexcept
{
    return PatchImport(module, "kernel32.dll", "OutputDebugStringW", reinterpret_cast<void*>(&WriteAsUtf8)) != nullptr;
}

ChannelFeed::ChannelFeed()
{
    const DWORD error = m_listener.Start([this](std::uint32_t pid, std::string_view text) { OnMessage(pid, text); });
    if (error == ERROR_ALREADY_EXISTS)
        throw std::runtime_error("the debug channel is taken by another monitor (a debug viewer, qevtrace)");
    if (error != ERROR_SUCCESS)
        throw std::runtime_error("cannot listen on the debug channel: error " + std::to_string(error));
}

void ChannelFeed::OnlyWholeWriters()
{
    const std::lock_guard lock(m_mutex);
    m_onlyWholeWriters = true;
}

void ChannelFeed::Attach(Transcript* transcript)
{
    const std::lock_guard lock(m_mutex);
    m_transcript = transcript;
}

bool ChannelFeed::Sync()
{
    // When the modules taken whole are the only writers, and they wrote
    // nothing since the last marker came through, there is nothing to wait
    // for. With the add-in's trace off that spares the round trip through
    // the channel at every event (most of a filed message's time in the
    // simulated Outlook).
    const std::uint64_t written = g_writes.load();
    std::uint64_t ticket = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_onlyWholeWriters && written == m_writtenBeforeSync) return true;
        ticket = ++m_sent;
    }
    const std::string marker = std::string(kSyncTag) + std::to_string(ticket);
    OutputDebugStringA(marker.c_str());
    std::unique_lock lock(m_mutex);
    if (!m_synced.wait_for(lock, kSyncLimit, [&] { return m_seen >= ticket; })) return false;
    m_writtenBeforeSync = std::max(m_writtenBeforeSync, written);
    return true;
}

void ChannelFeed::OnMessage(std::uint32_t pid, std::string_view text)
{
    if (pid != m_pid) return;  // regsvr32, other programs of the prefix
    if (text.starts_with(kSyncTag)) {
        std::uint64_t ticket = 0;
        for (char c : text.substr(kSyncTag.size())) {
            if (c < '0' || c > '9') break;
            ticket = ticket * 10 + static_cast<std::uint64_t>(c - '0');
        }
        {
            const std::lock_guard lock(m_mutex);
            if (ticket > m_seen) m_seen = ticket;
        }
        m_synced.notify_all();
        return;
    }
    const std::u16string wide = Widen(text);
    const std::lock_guard lock(m_mutex);
    if (m_transcript) m_transcript->DebugWrite(wide);
}

}  // namespace qev::sim::win
