// A listener on the process-wide debug channel (what OutputDebugString writes
// to), the way debug monitors such as DebugView read it.
//
// The channel is a 4096-byte shared section "DBWIN_BUFFER" (the writer's
// process id as a DWORD, then its text in the system's ANSI code page, zero
// terminated) and two auto-reset events: the monitor sets
// "DBWIN_BUFFER_READY" when the section is free, a writer fills the section
// and sets "DBWIN_DATA_READY". Writers serialize among themselves on the
// "DBWinMutex" they create. Only one monitor can own the channel at a time.
//
// How Wine 8 delivers (read in its kernelbase, checked by experiment):
// - OutputDebugStringW converts the text to the ANSI code page (1252 in a
//   default prefix) and passes it to OutputDebugStringA; there is no wide path
//   to a monitor. The conversion uses best fit: U+03A9 arrives as 'O', a
//   character with no fit as '?', a surrogate pair as "??".
// - OutputDebugStringA raises DBG_PRINTEXCEPTION_C first and writes to the
//   section only when no debugger takes it. The write is synchronous: the call
//   returns after the data-ready event is set, so what a process wrote just
//   before it exits is still there for a monitor that keeps listening.
// - One call is one message: text beyond 4091 bytes is cut off, never split
//   into further messages. An empty or null string is an empty message.
// - A writer waits at most 10 seconds for the buffer, then drops its message.
// - With no monitor the call finds no section and returns at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace host::win {

// Owns a kernel handle (null and INVALID_HANDLE_VALUE both mean none).
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) noexcept : m_handle(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    HANDLE Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Release() noexcept
    {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HANDLE handle = nullptr) noexcept
    {
        if (*this) CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

// Owns a mapped view of a section.
class MappedView {
public:
    MappedView() = default;
    explicit MappedView(void* view) noexcept : m_view(view) {}
    MappedView(MappedView&& other) noexcept : m_view(other.m_view) { other.m_view = nullptr; }
    MappedView& operator=(MappedView&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_view = other.m_view;
            other.m_view = nullptr;
        }
        return *this;
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    ~MappedView() { Reset(); }

    const void* Get() const noexcept { return m_view; }
    explicit operator bool() const noexcept { return m_view != nullptr; }
    void Reset() noexcept
    {
        if (m_view) UnmapViewOfFile(m_view);
        m_view = nullptr;
    }

private:
    void* m_view = nullptr;
};

class DebugChannelListener {
public:
    // Called on the listener's own thread, one message at a time, with the
    // writer's process id and its text exactly as written (ANSI bytes).
    using Callback = std::function<void(std::uint32_t pid, std::string_view text)>;

    static constexpr std::size_t kSectionBytes = 4096;
    // The most text one message can carry.
    static constexpr std::size_t kMaxTextBytes = kSectionBytes - sizeof(DWORD) - 1;

    DebugChannelListener() = default;
    DebugChannelListener(const DebugChannelListener&) = delete;
    DebugChannelListener& operator=(const DebugChannelListener&) = delete;
    ~DebugChannelListener();

    // Takes the channel and starts listening. Returns ERROR_SUCCESS, or
    // ERROR_ALREADY_EXISTS when another monitor owns the channel, or the
    // error of the call that failed.
    DWORD Start(Callback callback);

    // Delivers every message written before the call (and one a writer is in
    // the middle of), then releases the channel. Safe to call twice.
    void Stop() noexcept;

    bool Running() const noexcept { return m_thread.joinable(); }

private:
    void Run() noexcept;
    // Copies the message out of the section, frees the section for the next
    // writer, then hands the copy to the callback.
    void Deliver() noexcept;

    Callback m_callback;
    UniqueHandle m_section;
    MappedView m_view;
    UniqueHandle m_bufferReady;
    UniqueHandle m_dataReady;
    UniqueHandle m_stop;
    std::thread m_thread;
};

}  // namespace host::win
