#include "sim/win/clipboard_holder.h"

#include <initializer_list>

#include "sim/win/import_patch.h"

namespace qev::sim::win {
namespace {

using OpenClipboardFunction = BOOL(WINAPI*)(HWND);

OpenClipboardFunction g_realOpenClipboard = nullptr;
ClipboardHolder* g_holder = nullptr;

}  // namespace

bool ClipboardHolder::Install(HMODULE module) noexcept
{
    void* real = PatchImport(module, "user32.dll", "OpenClipboard", reinterpret_cast<void*>(&CountedOpenClipboard));
    if (!real) return false;
    g_realOpenClipboard = reinterpret_cast<OpenClipboardFunction>(real);
    g_holder = this;
    return true;
}

BOOL WINAPI ClipboardHolder::CountedOpenClipboard(HWND window)
{
    const BOOL opened = g_realOpenClipboard(window);
    ClipboardHolder* holder = g_holder;
    if (holder && holder->m_attempts > 0 && --holder->m_attempts == 0) {
        const DWORD error = GetLastError();
        holder->Free();
        SetLastError(error);
    }
    return opened;
}

DWORD WINAPI ClipboardHolder::Hold(void* self)
{
    auto& holder = *static_cast<ClipboardHolder*>(self);
    // A window of its own: an open clipboard with no window is one that any
    // thread may open as well.
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    holder.m_holding = window && OpenClipboard(window);
    SetEvent(holder.m_taken);
    if (holder.m_holding) {
        while (MsgWaitForMultipleObjects(1, &holder.m_letGo, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        CloseClipboard();
    }
    if (window) DestroyWindow(window);
    return 0;
}

bool ClipboardHolder::HoldFor(DWORD attempts)
{
    Free();
    if (attempts == 0) return true;
    m_taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_letGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_taken && m_letGo) m_thread = CreateThread(nullptr, 0, &Hold, this, 0, nullptr);
    if (!m_thread) {
        Free();
        return false;
    }
    WaitForSingleObject(m_taken, INFINITE);
    if (!m_holding) {
        Free();
        return false;
    }
    m_attempts = attempts;
    return true;
}

void ClipboardHolder::Free() noexcept
{
    m_attempts = 0;
    if (m_thread) {
        SetEvent(m_letGo);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    for (HANDLE* event : {&m_taken, &m_letGo}) {
        if (*event) CloseHandle(*event);
        *event = nullptr;
    }
    m_holding = false;
}

bool ClipboardHolder::OpenableElsewhere()
{
    ClipboardHolder probe;
    if (!probe.HoldFor(1)) return false;
    probe.Free();
    return true;
}

ClipboardHolder::Lent::Lent(ClipboardHolder& holder) noexcept : m_holder(holder), m_attempts(holder.m_attempts)
{
    m_holder.Free();
}

ClipboardHolder::Lent::~Lent()
{
    if (m_attempts > 0) m_holder.HoldFor(m_attempts);
}

}  // namespace qev::sim::win
