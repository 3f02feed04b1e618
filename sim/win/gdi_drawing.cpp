#include "sim/win/gdi_drawing.h"

#include <objidl.h>  // before gdiplus.h, which needs it

#include <gdiplus.h>

#include "host/win/win_libraries.h"
#include "host/win/win_variant.h"

namespace qev::sim::win {
namespace {

// {557CF406-1A04-11D3-9A73-0000F81EF32E}: GDI+'s PNG encoder.
constexpr CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

}  // namespace

Canvas::Canvas(int w, int h) : width(w), height(h)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels = static_cast<std::uint32_t*>(bits);
    dc = CreateCompatibleDC(nullptr);
    if (dc && bitmap) previous = SelectObject(dc, bitmap);
}

Canvas::~Canvas()
{
    if (dc) {
        if (previous) SelectObject(dc, previous);
        DeleteDC(dc);
    }
    if (bitmap) DeleteObject(bitmap);
}

void Canvas::Deselect() noexcept
{
    if (dc && previous) SelectObject(dc, previous);
    previous = nullptr;
}

SIZE DrawPicture(Canvas& target, int x, int y, HBITMAP picture, bool enabled)
{
    BITMAP info = {};
    if (!picture || GetObjectW(picture, sizeof(info), &info) != sizeof(info)) return {0, 0};
    Canvas copy(info.bmWidth, info.bmHeight);
    if (!copy.Ready()) return {0, 0};
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(source, picture);
    BitBlt(copy.dc, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    GdiFlush();
    const std::size_t count = static_cast<std::size_t>(info.bmWidth) * info.bmHeight;
    bool hasAlpha = false;
    for (std::size_t i = 0; i < count && info.bmBitsPixel == 32; ++i)
        hasAlpha = hasAlpha || (copy.pixels[i] >> 24) != 0;
    for (int row = 0; row < info.bmHeight; ++row) {
        for (int column = 0; column < info.bmWidth; ++column) {
            const int tx = x + column;
            const int ty = y + row;
            if (tx < 0 || ty < 0 || tx >= target.width || ty >= target.height) continue;
            std::uint32_t p = copy.pixels[static_cast<std::size_t>(row) * info.bmWidth + column];
            const std::uint32_t alpha = hasAlpha ? p >> 24 : 255;
            if (!enabled) {
                const std::uint32_t grey = 128 + (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 6;
                p = (grey << 16) | (grey << 8) | grey;
            }
            std::uint32_t& out = target.pixels[static_cast<std::size_t>(ty) * target.width + tx];
            std::uint32_t blended = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                // Premultiplied, as GDI+ gives its bitmaps: source + what shows through.
                const std::uint32_t s = (p >> shift) & 0xFF;
                const std::uint32_t d = (out >> shift) & 0xFF;
                const std::uint32_t c =
                    std::min<std::uint32_t>(255, (enabled ? s : s * alpha / 255) + d * (255 - alpha) / 255);
                blended |= c << shift;
            }
            out = blended;
        }
    }
    GdiFlush();
    return {info.bmWidth, info.bmHeight};
}

SIZE TextSize(HDC dc, const std::u16string& text)
{
    SIZE size = {};
    GetTextExtentPoint32W(dc, host::win::W(text.c_str()), static_cast<int>(text.size()), &size);
    return size;
}

std::string SavePng(Canvas& canvas, const std::wstring& file)
{
    GdiFlush();
    canvas.Deselect();
    // GDI+ from the system folder, looked up rather than imported: the runner
    // must not have loaded gdiplus.dll before the add-in loads it, so that the
    // planting test sees where the add-in's own load takes it from. Kept for
    // the process once loaded.
    static const HMODULE gdiplus = host::win::LoadSystemLibrary(L"gdiplus.dll");
    decltype(&Gdiplus::GdiplusStartup) startup = nullptr;
    decltype(&Gdiplus::GdiplusShutdown) shutdown = nullptr;
    decltype(&Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP) fromHbitmap = nullptr;
    decltype(&Gdiplus::DllExports::GdipSaveImageToFile) save = nullptr;
    decltype(&Gdiplus::DllExports::GdipDisposeImage) dispose = nullptr;
    if (!gdiplus || !host::win::FindExport(gdiplus, "GdiplusStartup", startup) ||
        !host::win::FindExport(gdiplus, "GdiplusShutdown", shutdown) ||
        !host::win::FindExport(gdiplus, "GdipCreateBitmapFromHBITMAP", fromHbitmap) ||
        !host::win::FindExport(gdiplus, "GdipSaveImageToFile", save) ||
        !host::win::FindExport(gdiplus, "GdipDisposeImage", dispose))
        return "GDI+ is not there";
    ULONG_PTR token = 0;
    const Gdiplus::GdiplusStartupInput input;
    if (startup(&token, &input, nullptr) != Gdiplus::Ok) return "GDI+ does not start";
    Gdiplus::GpBitmap* picture = nullptr;
    Gdiplus::Status saved = fromHbitmap(canvas.bitmap, nullptr, &picture);
    if (saved == Gdiplus::Ok) {
        saved = save(picture, file.c_str(), &kPngEncoder, nullptr);
        dispose(picture);
    }
    shutdown(token);
    return saved == Gdiplus::Ok ? std::string() : "GDI+ could not save the PNG (status " + std::to_string(saved) + ")";
}

}  // namespace qev::sim::win
