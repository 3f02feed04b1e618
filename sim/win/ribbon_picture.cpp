#include "sim/win/ribbon_picture.h"

#include <algorithm>

#include "host/win/win_variant.h"
#include "sim/win/gdi_drawing.h"

namespace qev::sim::win {
namespace {

constexpr int kPad = 6;
constexpr int kPicture = 32;  // a large button's picture
constexpr int kLine = 16;     // one line of text
constexpr COLORREF kTabColour = RGB(0xF5, 0xF6, 0xF7);
constexpr COLORREF kHeaderColour = RGB(0xE3, 0xEF, 0xFF);
constexpr COLORREF kRuleColour = RGB(0xC5, 0xD2, 0xE0);

void Text(HDC dc, const std::u16string& text, RECT box, bool enabled, bool rightToLeft)
{
    SetTextColor(dc, enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, host::win::W(text.c_str()), static_cast<int>(text.size()), &box,
              DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX | (rightToLeft ? DT_RTLREADING : 0));
}

void Fill(HDC dc, RECT box, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

}  // namespace

std::string DrawRibbonTab(const RibbonTabView& tab, bool rightToLeft, const std::wstring& file)
{
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    // Each button as wide as its picture or its label; each group as wide as
    // its buttons or its label.
    std::vector<std::vector<int>> buttonWidths;
    std::vector<int> groupWidths;
    int tabLabel = 0;
    {
        HDC measure = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(measure, font);
        tabLabel = TextSize(measure, tab.label).cx;
        for (const RibbonGroupView& group : tab.groups) {
            std::vector<int> widths;
            int sum = 0;
            for (const RibbonButtonView& button : group.buttons) {
                widths.push_back(std::max(kPicture, static_cast<int>(TextSize(measure, button.label).cx)) + 2 * kPad);
                sum += widths.back();
            }
            buttonWidths.push_back(std::move(widths));
            groupWidths.push_back(std::max(sum, static_cast<int>(TextSize(measure, group.label).cx) + 2 * kPad) + kPad);
        }
        SelectObject(measure, previous);
        DeleteDC(measure);
    }
    int width = kPad;
    for (const int w : groupWidths) width += w;
    width = std::max(width, tabLabel + 4 * kPad);
    const int header = kLine + 2 * kPad;
    const int height = header + kPad + kPicture + kPad + kLine + kPad + kLine + kPad;

    Canvas canvas(width, height);
    if (!canvas.Ready()) {
        DeleteObject(font);
        return "cannot make a bitmap to draw in";
    }
    Fill(canvas.dc, {0, 0, width, height}, kTabColour);
    Fill(canvas.dc, {0, 0, width, header}, kHeaderColour);
    HGDIOBJ previousFont = SelectObject(canvas.dc, font);
    SetBkMode(canvas.dc, TRANSPARENT);
    // The tab's label stands at the start of its header.
    const int tabLeft = rightToLeft ? width - tabLabel - 3 * kPad : kPad;
    Fill(canvas.dc, {tabLeft, kPad / 2, tabLeft + tabLabel + 2 * kPad, header}, kTabColour);
    Text(canvas.dc, tab.label, {tabLeft, kPad / 2, tabLeft + tabLabel + 2 * kPad, header}, true, rightToLeft);

    // Positions are laid out left to right and mirrored for right to left.
    const auto place = [&](int left, int w) { return rightToLeft ? width - left - w : left; };
    int x = kPad;
    for (std::size_t g = 0; g < tab.groups.size(); ++g) {
        const RibbonGroupView& group = tab.groups[g];
        int bx = x;
        for (std::size_t b = 0; b < group.buttons.size(); ++b) {
            const RibbonButtonView& button = group.buttons[b];
            const int w = buttonWidths[g][b];
            const int left = place(bx, w);
            DrawPicture(canvas, left + (w - kPicture) / 2, header + kPad, button.picture, button.enabled);
            const int labelTop = header + kPad + kPicture + kPad;
            Text(canvas.dc, button.label, {left, labelTop, left + w, labelTop + kLine}, button.enabled, rightToLeft);
            bx += w;
        }
        const int groupLeft = place(x, groupWidths[g] - kPad);
        const int labelTop = height - kPad - kLine;
        Text(canvas.dc, group.label, {groupLeft, labelTop, groupLeft + groupWidths[g] - kPad, labelTop + kLine}, true,
             rightToLeft);
        // The rule that closes the group.
        const int rule = rightToLeft ? groupLeft - kPad / 2 : groupLeft + groupWidths[g] - kPad / 2;
        Fill(canvas.dc, {rule, header + kPad, rule + 1, height - kPad}, kRuleColour);
        x += groupWidths[g];
    }
    SelectObject(canvas.dc, previousFont);
    DeleteObject(font);
    return SavePng(canvas, file);
}

}  // namespace qev::sim::win
