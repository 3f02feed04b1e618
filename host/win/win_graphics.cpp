#include "host/win/win_graphics.h"

#include <windows.h>

#include <objidl.h>  // before gdiplus.h, which needs it
#include <olectl.h>

#include <gdiplus.h>

#include <cstring>
#include <mutex>

#include "host/win/com_object.h"
#include "host/win/win_libraries.h"
#include "host/win/win_outlook.h"

namespace host::win {
namespace {

// The functions of gdiplus.dll this file calls, looked up in the system's
// copy (see win_graphics.h): nothing of GDI+ is imported.
struct GdiplusFunctions {
    decltype(&Gdiplus::GdiplusStartup) startup = nullptr;
    decltype(&Gdiplus::GdiplusShutdown) shutdown = nullptr;
    decltype(&Gdiplus::DllExports::GdipCreateBitmapFromStream) createBitmapFromStream = nullptr;
    decltype(&Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap) createHbitmapFromBitmap = nullptr;
    decltype(&Gdiplus::DllExports::GdipDisposeImage) disposeImage = nullptr;
};

// GDI+'s functions, its start-up token and the decoded images it has to outlive.
struct GdiplusState {
    std::mutex mutex;
    bool looked = false;  // gdiplus.dll was looked for (found when gdip.startup is set)
    GdiplusFunctions gdip;
    ULONG_PTR token = 0;
    long liveImages = 0;
};

GdiplusState& Gdiplus() noexcept
{
    static GdiplusState state;
    return state;
}

// Loads gdiplus.dll from the system folder the first time; the library stays
// for the process, as an import would have kept it for the module's life, and
// so does windowscodecs.dll.
bool LoadGdiplusLocked(GdiplusState& state) noexcept
{
    if (!state.looked) {
        state.looked = true;
        // Wine's GDI+ decodes through WIC and delay-loads windowscodecs.dll
        // by its bare name at the first decode (see win_graphics.h): loaded
        // here from the system folder first, it is found loaded.
        LoadSystemLibrary(L"windowscodecs.dll");
        GdiplusFunctions found;
        const HMODULE module = LoadSystemLibrary(L"gdiplus.dll");
        if (module && FindExport(module, "GdiplusStartup", found.startup) &&
            FindExport(module, "GdiplusShutdown", found.shutdown) &&
            FindExport(module, "GdipCreateBitmapFromStream", found.createBitmapFromStream) &&
            FindExport(module, "GdipCreateHBITMAPFromBitmap", found.createHbitmapFromBitmap) &&
            FindExport(module, "GdipDisposeImage", found.disposeImage))
            state.gdip = found;
    }
    return state.gdip.startup != nullptr;
}

bool StartGdiplus() noexcept
{
    GdiplusState& state = Gdiplus();
    const std::lock_guard lock(state.mutex);
    if (state.token) return true;
    if (!LoadGdiplusLocked(state)) return false;
    const Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (state.gdip.startup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    state.token = token;
    return true;
}

// The functions once GDI+ has been started: an image exists only then.
const GdiplusFunctions& Gdip() noexcept
{
    return Gdiplus().gdip;
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
    const Gdiplus::Status status = Gdip().createBitmapFromStream(stream.Get(), &bitmap);
    if (status != Gdiplus::Ok || !bitmap) {
        if (bitmap) Gdip().disposeImage(bitmap);
        FreeBlock(block);
        return nullptr;
    }
    auto* decoded = new (std::nothrow) Decoded{bitmap, block};
    if (!decoded) {
        Gdip().disposeImage(bitmap);
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
    Gdip().disposeImage(decoded->bitmap);
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
    if (Gdip().createHbitmapFromBitmap(decoded->bitmap, &bitmap, argbBackground) != Gdiplus::Ok) return nullptr;
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
    state.gdip.shutdown(state.token);
    state.token = 0;
}

}  // namespace host::win
