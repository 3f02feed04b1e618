// Pictures for the ribbon: PNGs decoded with GDI+ (a real PNG decoder in the
// native build), GDI bitmaps made from them, and the OLE picture objects
// (IPictureDisp) Outlook takes.
#pragma once

#include <cstdint>
#include <span>

#include "host/desktop.h"
#include "host/hresult.h"
#include "host/libraries.h"
#include "host/object.h"

namespace host {

// A decoded image (a GDI+ Bitmap), owned by whoever decoded it.
using ImageHandle = void*;

class Graphics {
public:
    // Decodes PNG bytes (GdipCreateBitmapFromStream over a stream on a
    // movable global copy of them, without embedded colour management);
    // null when they are no picture.
    virtual ImageHandle DecodePng(std::span<const std::uint8_t> bytes) noexcept = 0;
    virtual void DisposeImage(ImageHandle image) noexcept = 0;
    // A new GDI bitmap of the image over the background colour (ARGB)
    // (GdipCreateHBITMAPFromBitmap); the caller owns it. Null on failure.
    virtual BitmapHandle ImageToBitmap(ImageHandle image, std::uint32_t argbBackground) noexcept = 0;
    // A bitmap resource, or the colour bitmap of an icon resource, at full
    // size with LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS (LoadImageW,
    // GetIconInfo); the caller owns it. Null on failure.
    virtual BitmapHandle LoadImageBitmap(LibraryHandle module, std::uint32_t id, bool icon) noexcept = 0;
    // OleCreatePictureIndirect for IPictureDisp over a bitmap, the picture
    // owning it from then on. On failure the bitmap is still the caller's.
    virtual HRESULT CreatePicture(BitmapHandle bitmap, Ref<Object>& picture) noexcept = 0;

protected:
    ~Graphics() = default;
};

}  // namespace host
