// Another program holding the clipboard open (`clipboard busy N`).
//
// A thread of the runner's opens the clipboard with a window of its own, so
// that the add-in's OpenClipboard really fails as it fails on Windows
// (ERROR_ACCESS_DENIED: the clipboard is open in another window). qev.dll's
// import of OpenClipboard is patched (import_patch.h) only to count the
// add-in's attempts: once the Nth has failed, the thread lets go and the next
// attempt finds the clipboard free. The runner's own clipboard calls are not
// counted.
#pragma once

#include <windows.h>

namespace qev::sim::win {

class ClipboardHolder {
public:
    ClipboardHolder() = default;
    ~ClipboardHolder() { Free(); }
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;

    // Counts module's attempts from now on; false when it does not import
    // OpenClipboard. One holder is installed at a time.
    bool Install(HMODULE module) noexcept;

    // Holds the clipboard for the add-in's next attempts (0: not at all);
    // false when the clipboard could not be taken.
    bool HoldFor(DWORD attempts);
    bool Held() const noexcept { return m_thread != nullptr; }
    // Lets go (the thread ends); nothing when not held.
    void Free() noexcept;

    // Whether a window of another thread could open the clipboard now: false
    // while the calling thread (the add-in's, say) still has it open.
    static bool OpenableElsewhere();

    // The runner's own use of the clipboard while it is held: free for the
    // length of the scope, then held again for the attempts still due.
    class Lent {
    public:
        explicit Lent(ClipboardHolder& holder) noexcept;
        ~Lent();
        Lent(const Lent&) = delete;
        Lent& operator=(const Lent&) = delete;

    private:
        ClipboardHolder& m_holder;
        DWORD m_attempts;
    };

private:
    static BOOL WINAPI CountedOpenClipboard(HWND window);
    static DWORD WINAPI Hold(void* self);

    HANDLE m_thread = nullptr;
    HANDLE m_taken = nullptr;  // the thread has the clipboard open (or failed to)
    HANDLE m_letGo = nullptr;  // the thread is to close it
    bool m_holding = false;    // the thread's OpenClipboard succeeded
    DWORD m_attempts = 0;      // attempts of the add-in still to fail
};

}  // namespace qev::sim::win
