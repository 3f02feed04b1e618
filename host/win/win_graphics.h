// The ribbon's pictures over GDI+ (flat API), GDI and OLE: PNGs decoded from
// a movable global copy of their bytes, GDI bitmaps made from the decoded
// images, bitmap and icon resources, and IPictureDisp objects owning their
// bitmap.
//
// GDI+ has to be started before anything is decoded and must never be
// started or stopped inside DllMain (its start-up makes a thread and waits
// for it, which deadlocks under the loader lock). So the first decode starts
// it, and ShutdownGdiplus() ends it where the module is known to be idle:
// qev.dll calls it from DllCanUnloadNow when that answers yes (no object, so
// no decoded image, is left, and COM asks outside the loader lock); a later
// decode starts it again.
//
// gdiplus.dll is not imported: the first decode loads it from the system
// folder (LoadSystemLibrary) and looks its five functions up. gdiplus.dll is
// no KnownDLL the add-in can count on, so an import of it is searched for.
// COM loads qev.dll with LOAD_WITH_ALTERED_SEARCH_PATH, so on Windows its
// imports are searched in qev.dll's folder, then the system folder, and only
// then the current directory (never beside OUTLOOK.EXE); but with
// SafeDllSearchMode 0 the current directory comes second, before the system
// folder, and a gdiplus.dll planted there would be taken. Wine (8.0) searches
// an import the same way: with the altered search path a copy beside the
// host program or in the current directory was not taken (the planting
// test), and with SafeDllSearchMode 0 in the prefix the copy in the current
// directory was (tried by hand, with WINEDLLOVERRIDES gdiplus=n,b so that
// Wine runs a native copy at all instead of its builtin).
//
// Wine's gdiplus.dll decodes through WIC, and imports windowscodecs.dll
// delay-loaded: its first decode loads it by the bare name in the process's
// own search order, which begins with the host program's folder, whatever
// folder gdiplus.dll came from. The planting test saw a windowscodecs.dll
// beside the host program taken so. windowscodecs.dll is therefore loaded
// from the system folder just before gdiplus.dll (and kept), so that the
// delayed load finds it loaded. On Windows it is a system library since
// Vista, whether GDI+ uses it or not; where it is missing nothing changes.
#pragma once

#include "host/graphics.h"

namespace host::win {

class WinGraphics final : public Graphics {
public:
    ImageHandle DecodePng(std::span<const std::uint8_t> bytes) noexcept override;
    void DisposeImage(ImageHandle image) noexcept override;
    BitmapHandle ImageToBitmap(ImageHandle image, std::uint32_t argbBackground) noexcept override;
    BitmapHandle LoadImageBitmap(LibraryHandle module, std::uint32_t id, bool icon) noexcept override;
    HRESULT CreatePicture(BitmapHandle bitmap, Ref<Object>& picture) noexcept override;
};

// Ends GDI+ if this module started it and no decoded image is alive.
void ShutdownGdiplus() noexcept;

}  // namespace host::win
