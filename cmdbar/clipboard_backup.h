// Building the command bar pastes every button face through the user's
// clipboard. This keeps the picture the user had copied: it is copied away
// when the build starts and put back when it ends. Only the bitmap format is
// touched; the build never empties the clipboard, so the user's text, files
// and other formats stay throughout.
#pragma once

#include "host/desktop.h"

namespace qev {

class CClipboardBitmapBackup {
public:
    // Saves a copy of the bitmap on the clipboard, if any. Never fails
    // outward: a busy clipboard or a bitmap that cannot be copied saves
    // nothing.
    explicit CClipboardBitmapBackup(host::Desktop& desktop) noexcept;
    // Puts a copy of the saved bitmap back on the clipboard, beside whatever
    // else is on it, and lets the saved one go. Quiet on every failure.
    ~CClipboardBitmapBackup();
    CClipboardBitmapBackup(const CClipboardBitmapBackup&) = delete;
    CClipboardBitmapBackup& operator=(const CClipboardBitmapBackup&) = delete;

private:
    void Restore() noexcept;

    host::Desktop& m_desktop;
    host::BitmapHandle m_saved = nullptr;  // a DIB section this object owns
};

}  // namespace qev
