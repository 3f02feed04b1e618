#include "sim/win/bar_picture.h"

#include <windows.h>

#include <objidl.h>  // before gdiplus.h, which needs it

#include <gdiplus.h>

#include <algorithm>
#include <vector>

#include "host/win/win_variant.h"
#include "sim/win/sim_cmdbars.h"

namespace qev::sim::win {
namespace {

constexpr int kPad = 4;
constexpr int kFaceBox = 32;  // the room of a face; a button without one keeps it empty
constexpr COLORREF kBarColour = RGB(0xE3, 0xEF, 0xFF);

// {557CF406-1A04-11D3-9A73-0000F81EF32E}: GDI+'s PNG encoder.
constexpr CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// A 32-bit top-down DIB section and a memory context holding it.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* pixels = nullptr;

    Canvas(int width, int height)
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
    ~Canvas()
    {
        if (dc) {
            if (previous) SelectObject(dc, previous);
            DeleteDC(dc);
        }
        if (bitmap) DeleteObject(bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    bool Ready() const noexcept { return dc && bitmap && previous; }
    // GDI+ takes a bitmap that no context holds.
    void Deselect() noexcept
    {
        if (dc && previous) SelectObject(dc, previous);
        previous = nullptr;
    }
};

// A face as it is drawn: its own pixels, or washed out to grey when disabled.
void DrawFace(HDC target, int x, int y, HBITMAP face, bool enabled)
{
    BITMAP info = {};
    if (!face || GetObjectW(face, sizeof(info), &info) != sizeof(info)) return;
    Canvas copy(info.bmWidth, info.bmHeight);
    if (!copy.Ready()) return;
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(source, face);
    BitBlt(copy.dc, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
    GdiFlush();
    if (!enabled) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(info.bmWidth) * info.bmHeight; ++i) {
            const std::uint32_t p = copy.pixels[i];
            const std::uint32_t grey = 128 + (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 6;
            copy.pixels[i] = (grey << 16) | (grey << 8) | grey;
        }
    }
    BitBlt(target, x, y + (kFaceBox - info.bmHeight) / 2, info.bmWidth, info.bmHeight, copy.dc, 0, 0, SRCCOPY);
}

SIZE TextSize(HDC dc, const std::u16string& text)
{
    SIZE size = {};
    GetTextExtentPoint32W(dc, host::win::W(text.c_str()), static_cast<int>(text.size()), &size);
    return size;
}

}  // namespace

std::string DrawCommandBar(const SimCommandBar& bar, bool rightToLeft, const std::wstring& file)
{
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    // Each button's width: the face's room, then its caption.
    std::vector<int> widths;
    {
        HDC measure = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(measure, font);
        for (const auto& button : bar.Buttons())
            widths.push_back(kPad + kFaceBox + kPad + TextSize(measure, button->Caption()).cx + 2 * kPad);
        SelectObject(measure, previous);
        DeleteDC(measure);
    }
    int width = kPad;
    for (const int w : widths) width += w;
    const int height = kFaceBox + 2 * kPad;

    Canvas canvas(std::max(width + kPad, 1), height);
    if (!canvas.Ready()) {
        DeleteObject(font);
        return "cannot make a bitmap to draw in";
    }
    const RECT all = {0, 0, width + kPad, height};
    HBRUSH background = CreateSolidBrush(kBarColour);
    FillRect(canvas.dc, &all, background);
    DeleteObject(background);
    HGDIOBJ previousFont = SelectObject(canvas.dc, font);
    SetBkMode(canvas.dc, TRANSPARENT);

    int x = kPad;
    for (std::size_t i = 0; i < bar.Buttons().size(); ++i) {
        const SimButton& button = *bar.Buttons()[i];
        // Left to right the face comes first; right to left the buttons start
        // at the right edge and each caption stands left of its face.
        const int left = rightToLeft ? width + kPad - x - widths[i] : x;
        const int faceX = rightToLeft ? left + widths[i] - kPad - kFaceBox : left + kPad;
        DrawFace(canvas.dc, faceX, kPad, button.Face(), button.Enabled());
        RECT text = {rightToLeft ? left + kPad : faceX + kFaceBox + kPad, kPad,
                     rightToLeft ? faceX - kPad : left + widths[i] - kPad, kPad + kFaceBox};
        SetTextColor(canvas.dc, button.Enabled() ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(canvas.dc, host::win::W(button.Caption().c_str()), static_cast<int>(button.Caption().size()), &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (rightToLeft ? DT_RIGHT | DT_RTLREADING : DT_LEFT));
        x += widths[i];
    }
    SelectObject(canvas.dc, previousFont);
    DeleteObject(font);
    GdiFlush();
    canvas.Deselect();

    ULONG_PTR token = 0;
    const Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return "GDI+ does not start";
    Gdiplus::Status saved = Gdiplus::GenericError;
    {
        Gdiplus::Bitmap picture(canvas.bitmap, nullptr);
        saved = picture.Save(file.c_str(), &kPngEncoder, nullptr);
    }
    Gdiplus::GdiplusShutdown(token);
    return saved == Gdiplus::Ok ? std::string() : "GDI+ could not save the PNG (status " + std::to_string(saved) + ")";
}

}  // namespace qev::sim::win
