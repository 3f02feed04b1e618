// The user's desktop as the command bar needs it: the clipboard, shared with
// every program the user runs, and the bitmaps put on it (GDI).
#pragma once

#include <cstdint>

#include "host/libraries.h"

namespace host {

// An HBITMAP on Windows; a picture of the in-memory desktop natively.
using BitmapHandle = void*;

// The system's error codes the desktop reports (GetLastError).
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;
inline constexpr std::uint32_t kErrorResourceNameNotFound = 1814;
inline constexpr std::uint32_t kErrorClipboardNotOpen = 1418;

class Desktop {
public:
    // ---- the clipboard ----

    // OpenClipboard with no owner window: false (with the system's error)
    // while another program holds it open.
    virtual bool OpenClipboard(std::uint32_t& lastError) noexcept = 0;
    virtual bool CloseClipboard(std::uint32_t& lastError) noexcept = 0;
    // IsClipboardFormatAvailable(CF_BITMAP).
    virtual bool ClipboardHasBitmap() noexcept = 0;
    // GetClipboardData(CF_BITMAP): the clipboard keeps the bitmap; null when none.
    virtual BitmapHandle ClipboardBitmap() noexcept = 0;
    // SetClipboardData(CF_BITMAP) without emptying the clipboard first, so
    // that its other formats stay. On true the clipboard owns the bitmap.
    virtual bool SetClipboardBitmap(BitmapHandle bitmap, std::uint32_t& lastError) noexcept = 0;

    // ---- bitmaps ----

    // Bitmap resource id of a loaded module (LoadBitmapW); null with the
    // system's error when the module has none.
    virtual BitmapHandle LoadBitmap(LibraryHandle module, std::uint32_t id, std::uint32_t& lastError) noexcept = 0;
    // A new DIB section of the same size and pixels (CopyImage); null on failure.
    virtual BitmapHandle CopyToDibSection(BitmapHandle bitmap) noexcept = 0;
    // Width and height (GetObjectW); false on failure.
    virtual bool BitmapSize(BitmapHandle bitmap, std::int32_t& width, std::int32_t& height) noexcept = 0;
    // A new bitmap compatible with the screen, of that size, holding the
    // source's pixels: the screen's device context, two memory device
    // contexts, CreateCompatibleBitmap and a SRCCOPY BitBlt, every context
    // and selection given back. Null on failure.
    virtual BitmapHandle CopyToScreenBitmap(BitmapHandle source, std::int32_t width, std::int32_t height) noexcept = 0;
    virtual void DeleteBitmap(BitmapHandle bitmap) noexcept = 0;

    // Sleep: the calling thread waits (the system's tick count is not the
    // add-in's to advance).
    virtual void Pause(std::uint32_t ms) noexcept = 0;

protected:
    ~Desktop() = default;
};

}  // namespace host
