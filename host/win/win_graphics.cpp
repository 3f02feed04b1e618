#include "host/win/win_graphics.h"

#include <windows.h>

#include <objidl.h>  // before gdiplus.h, which needs it
#include <olectl.h>

#include <gdiplus.h>

#include <cstring>
#include <mutex>

#include "host/win/com_object.h"
#include "host/win/win_outlook.h"

namespace host::win {
namespace {

// GDI+'s start-up token and the decoded images it has to outlive.
struct GdiplusState {
    std::mutex mutex;
    ULONG_PTR token = 0;
    long liveImages = 0;
};

GdiplusState& Gdiplus() noexcept
{
    static GdiplusState state;
    return state;
}

bool StartGdiplus() noexcept
{
    GdiplusState& state = Gdiplus();
    const std::lock_guard lock(state.mutex);
    if (state.token) return true;
    const Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    state.token = token;
    return true;
}

// A decoded image and the locked global block its stream reads from: GDI+
// may read the stream's bytes again for as long as the image lives.
struct Decoded {
    Gdiplus::GpBitmap* bitmap = nullptr;
    HGLOBAL block = nullptr;
};

void FreeBlock(HGLOBAL block) noexcept
{
    GlobalUnlock(block);
    GlobalFree(block);
}

}  // namespace

ImageHandle WinGraphics::DecodePng(std::span<const std::uint8_t> bytes) noexcept
{
    if (bytes.empty() || !StartGdiplus()) return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return nullptr;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, bytes.data(), bytes.size());
    // The stream must not free the block: the image keeps using it.
    IStream* raw = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, FALSE, &raw)) || !raw) {
        FreeBlock(block);
        return nullptr;
    }
    const auto stream = ComPtr<IStream>::Adopt(raw);
    Gdiplus::GpBitmap* bitmap = nullptr;
    const Gdiplus::Status status = Gdiplus::DllExports::GdipCreateBitmapFromStream(stream.Get(), &bitmap);
    if (status != Gdiplus::Ok || !bitmap) {
        if (bitmap) Gdiplus::DllExports::GdipDisposeImage(bitmap);
        FreeBlock(block);
        return nullptr;
    }
    auto* decoded = new (std::nothrow) Decoded{bitmap, block};
    if (!decoded) {
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
        FreeBlock(block);
        return nullptr;
    }
    const std::lock_guard lock(Gdiplus().mutex);
    ++Gdiplus().liveImages;
    return decoded;
}

void WinGraphics::DisposeImage(ImageHandle image) noexcept
{
    auto* decoded = static_cast<Decoded*>(image);
    if (!decoded) return;
    Gdiplus::DllExports::GdipDisposeImage(decoded->bitmap);
    FreeBlock(decoded->block);
    delete decoded;
    const std::lock_guard lock(Gdiplus().mutex);
    --Gdiplus().liveImages;
}

BitmapHandle WinGraphics::ImageToBitmap(ImageHandle image, std::uint32_t argbBackground) noexcept
{
    const auto* decoded = static_cast<const Decoded*>(image);
    if (!decoded) return nullptr;
    HBITMAP bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(decoded->bitmap, &bitmap, argbBackground) != Gdiplus::Ok)
        return nullptr;
    return bitmap;
}

BitmapHandle WinGraphics::LoadImageBitmap(LibraryHandle module, std::uint32_t id, bool icon) noexcept
{
    constexpr UINT kFlags = LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS;  // 0x1020
    auto* instance = static_cast<HINSTANCE>(module);
    if (!icon) return LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, kFlags);
    auto* loaded = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, kFlags));
    if (!loaded) return nullptr;
    ICONINFO info = {};
    const BOOL read = GetIconInfo(loaded, &info);
    DestroyIcon(loaded);
    if (!read) return nullptr;
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return info.hbmColor;
}

HRESULT WinGraphics::CreatePicture(BitmapHandle bitmap, Ref<Object>& picture) noexcept
{
    picture.Reset();
    PICTDESC description = {};
    description.cbSizeofstruct = sizeof(description);
    description.picType = PICTYPE_BITMAP;
    description.bmp.hbitmap = static_cast<HBITMAP>(bitmap);
    description.bmp.hpal = nullptr;
    IPictureDisp* raw = nullptr;
    // fOwn: the picture deletes the bitmap when it is finally released.
    const HRESULT hr = OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&raw));
    const auto made = ComPtr<IPictureDisp>::Adopt(raw);
    if (FAILED(hr)) return hr;
    if (!made) return E_POINTER;
    try {
        picture = WrapUnknown(made.Get());
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void ShutdownGdiplus() noexcept
{
    GdiplusState& state = Gdiplus();
    const std::lock_guard lock(state.mutex);
    if (!state.token || state.liveImages != 0) return;
    Gdiplus::GdiplusShutdown(state.token);
    state.token = 0;
}

}  // namespace host::win
