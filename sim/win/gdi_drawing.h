// What the runner's pictures (the command bar's, the ribbon's) are drawn
// with: a 32-bit canvas of GDI, pictures copied onto it as Office shows them
// (blended by their alpha, greyed when disabled), and the canvas saved as a
// PNG with GDI+.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qev::sim::win {

// A 32-bit top-down DIB section and a memory context holding it.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;

    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    bool Ready() const noexcept { return dc && bitmap && previous; }
    // GDI+ takes a bitmap that no context holds.
    void Deselect() noexcept;
};

// Draws picture at (x, y) of target: each pixel over what is there by its
// alpha (a picture without alpha is opaque), washed out to grey when not
// enabled. Returns the picture's size (0 x 0 when it is none).
SIZE DrawPicture(Canvas& target, int x, int y, HBITMAP picture, bool enabled);

SIZE TextSize(HDC dc, const std::u16string& text);

// The canvas as a PNG file; empty on success, else what failed.
std::string SavePng(Canvas& canvas, const std::wstring& file);

}  // namespace qev::sim::win
