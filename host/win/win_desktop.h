// The user's desktop over user32 and gdi32: the clipboard, opened with no
// owner window (the add-in has none), and the GDI bitmaps that go on it.
// Every failure is reported with the system's own GetLastError code.
#pragma once

#include <windows.h>

// user32's LoadBitmap macro would rename the seam's LoadBitmap here.
#undef LoadBitmap

#include "host/desktop.h"

namespace host::win {

class WinDesktop final : public Desktop {
public:
    bool OpenClipboard(std::uint32_t& lastError) noexcept override;
    bool CloseClipboard(std::uint32_t& lastError) noexcept override;
    bool ClipboardHasBitmap() noexcept override;
    BitmapHandle ClipboardBitmap() noexcept override;
    bool SetClipboardBitmap(BitmapHandle bitmap, std::uint32_t& lastError) noexcept override;

    BitmapHandle LoadBitmap(LibraryHandle module, std::uint32_t id, std::uint32_t& lastError) noexcept override;
    BitmapHandle CopyToDibSection(BitmapHandle bitmap) noexcept override;
    bool BitmapSize(BitmapHandle bitmap, std::int32_t& width, std::int32_t& height) noexcept override;
    BitmapHandle CopyToScreenBitmap(BitmapHandle source, std::int32_t width, std::int32_t height) noexcept override;
    void DeleteBitmap(BitmapHandle bitmap) noexcept override;

    void Pause(std::uint32_t ms) noexcept override;
};

}  // namespace host::win
