#include "sim/win/bar_picture.h"

#include <algorithm>
#include <vector>

#include "host/win/win_variant.h"
#include "sim/win/gdi_drawing.h"
#include "sim/win/sim_cmdbars.h"

namespace qev::sim::win {
namespace {

constexpr int kPad = 4;
constexpr int kFaceBox = 32;  // the room of a face; a button without one keeps it empty
constexpr COLORREF kBarColour = RGB(0xE3, 0xEF, 0xFF);

// A face centred in its room.
void DrawFace(Canvas& target, int x, int y, HBITMAP face, bool enabled)
{
    BITMAP info = {};
    if (!face || GetObjectW(face, sizeof(info), &info) != sizeof(info)) return;
    DrawPicture(target, x, y + (kFaceBox - info.bmHeight) / 2, face, enabled);
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
        DrawFace(canvas, faceX, kPad, button.Face(), button.Enabled());
        RECT text = {rightToLeft ? left + kPad : faceX + kFaceBox + kPad, kPad,
                     rightToLeft ? faceX - kPad : left + widths[i] - kPad, kPad + kFaceBox};
        SetTextColor(canvas.dc, button.Enabled() ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(canvas.dc, host::win::W(button.Caption().c_str()), static_cast<int>(button.Caption().size()), &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (rightToLeft ? DT_RIGHT | DT_RTLREADING : DT_LEFT));
        x += widths[i];
    }
    SelectObject(canvas.dc, previousFont);
    DeleteObject(font);
    return SavePng(canvas, file);
}

}  // namespace qev::sim::win
