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
