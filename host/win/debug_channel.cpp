#include "host/win/debug_channel.h"

#include <cstring>
#include <system_error>

namespace host::win {
namespace {

// How long a stopping listener waits for a writer that already holds the
// buffer to finish its message.
constexpr DWORD kInFlightWaitMs = 1000;
// A bound on the messages delivered after a stop, in case writers keep coming.
constexpr int kMaxDrainMessages = 256;

}  // namespace

DebugChannelListener::~DebugChannelListener()
{
    Stop();
}

DWORD DebugChannelListener::Start(Callback callback)
{
    if (Running()) return ERROR_ALREADY_INITIALIZED;

    UniqueHandle section(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            static_cast<DWORD>(kSectionBytes), L"DBWIN_BUFFER"));
    if (!section) return GetLastError();
    if (GetLastError() == ERROR_ALREADY_EXISTS) return ERROR_ALREADY_EXISTS;

    MappedView view(MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, kSectionBytes));
    if (!view) return GetLastError();

    // The buffer starts free; no data yet.
    UniqueHandle bufferReady(CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY"));
    if (!bufferReady) return GetLastError();
    UniqueHandle dataReady(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    if (!dataReady) return GetLastError();
    UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) return GetLastError();

    m_callback = std::move(callback);
    m_section = std::move(section);
    m_view = std::move(view);
    m_bufferReady = std::move(bufferReady);
    m_dataReady = std::move(dataReady);
    m_stop = std::move(stop);
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        m_stop.Reset();
        m_dataReady.Reset();
        m_bufferReady.Reset();
        m_view.Reset();
        m_section.Reset();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

void DebugChannelListener::Stop() noexcept
{
    if (!Running()) return;
    SetEvent(m_stop.Get());
    m_thread.join();
    m_stop.Reset();
    m_dataReady.Reset();
    m_bufferReady.Reset();
    m_view.Reset();
    m_section.Reset();
    m_callback = nullptr;
}

void DebugChannelListener::Deliver() noexcept
{
    const auto* section = static_cast<const char*>(m_view.Get());
    DWORD pid = 0;
    std::memcpy(&pid, section, sizeof pid);
    const char* text = section + sizeof pid;
    // A writer always terminates its text, but the section is shared: never
    // read past it.
    const void* end = std::memchr(text, 0, kMaxTextBytes + 1);
    const std::size_t length = end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : kMaxTextBytes + 1;

    std::string copy;
    bool copied = true;
    try {
        copy.assign(text, length);
    } catch (...) {
        copied = false;
    }
    SetEvent(m_bufferReady.Get());

    if (!copied || !m_callback) return;
    try {
        m_callback(pid, copy);
    } catch (...) {
        // A failing consumer loses this message, not the channel.
    }
}

void DebugChannelListener::Run() noexcept
{
    const HANDLE waits[2] = {m_stop.Get(), m_dataReady.Get()};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0 + 1) break;  // stop, or the wait failed
        Deliver();
    }

    // Stopping: deliver what is already written, and the message of a writer
    // that has taken the buffer but not yet signalled its data.
    for (int i = 0; i < kMaxDrainMessages; ++i) {
        if (WaitForSingleObject(m_dataReady.Get(), 0) == WAIT_OBJECT_0) {
            Deliver();
            continue;
        }
        if (WaitForSingleObject(m_bufferReady.Get(), 0) == WAIT_OBJECT_0) break;  // free: nobody writing
        if (WaitForSingleObject(m_dataReady.Get(), kInFlightWaitMs) != WAIT_OBJECT_0) break;
        Deliver();
    }
    // Leave the buffer free so that a writer that still has the channel open
    // does not sit out its timeout.
    SetEvent(m_bufferReady.Get());
}

}  // namespace host::win
