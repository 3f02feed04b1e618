#include "host/win/win_desktop.h"

namespace host::win {
namespace {

HBITMAP BitmapOf(BitmapHandle bitmap) noexcept
{
    return static_cast<HBITMAP>(bitmap);
}

// The screen's device context for the length of a scope.
class ScreenDc {
public:
    ScreenDc() noexcept : m_dc(GetDC(nullptr)) {}
    ~ScreenDc()
    {
        if (m_dc) ReleaseDC(nullptr, m_dc);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const noexcept { return m_dc; }

private:
    HDC m_dc;
};

// A memory device context holding one bitmap; the previous selection goes
// back before the context is deleted.
class MemoryDc {
public:
    MemoryDc(HDC compatibleWith, HBITMAP bitmap) noexcept : m_dc(CreateCompatibleDC(compatibleWith))
    {
        if (m_dc) m_previous = SelectObject(m_dc, bitmap);
    }
    ~MemoryDc()
    {
        if (!m_dc) return;
        if (m_previous && m_previous != HGDI_ERROR) SelectObject(m_dc, m_previous);
        DeleteDC(m_dc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    bool Ready() const noexcept { return m_dc && m_previous && m_previous != HGDI_ERROR; }
    HDC Get() const noexcept { return m_dc; }

private:
    HDC m_dc;
    HGDIOBJ m_previous = nullptr;
};

}  // namespace

bool WinDesktop::OpenClipboard(std::uint32_t& lastError) noexcept
{
    if (::OpenClipboard(nullptr)) return true;
    lastError = GetLastError();
    return false;
}

bool WinDesktop::CloseClipboard(std::uint32_t& lastError) noexcept
{
    if (::CloseClipboard()) return true;
    lastError = GetLastError();
    return false;
}

bool WinDesktop::ClipboardHasBitmap() noexcept
{
    return IsClipboardFormatAvailable(CF_BITMAP) != FALSE;
}

BitmapHandle WinDesktop::ClipboardBitmap() noexcept
{
    return GetClipboardData(CF_BITMAP);
}

bool WinDesktop::SetClipboardBitmap(BitmapHandle bitmap, std::uint32_t& lastError) noexcept
{
    // No EmptyClipboard: the user's other formats stay beside the bitmap.
    if (SetClipboardData(CF_BITMAP, bitmap)) return true;
    lastError = GetLastError();
    return false;
}

BitmapHandle WinDesktop::LoadBitmap(LibraryHandle module, std::uint32_t id, std::uint32_t& lastError) noexcept
{
    SetLastError(ERROR_SUCCESS);
    HBITMAP bitmap = LoadBitmapW(static_cast<HINSTANCE>(module), MAKEINTRESOURCEW(id));
    if (!bitmap) lastError = GetLastError();
    return bitmap;
}

BitmapHandle WinDesktop::CopyToDibSection(BitmapHandle bitmap) noexcept
{
    return CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
}

bool WinDesktop::BitmapSize(BitmapHandle bitmap, std::int32_t& width, std::int32_t& height) noexcept
{
    BITMAP info = {};
    if (GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) return false;
    width = info.bmWidth;
    height = info.bmHeight;
    return true;
}

BitmapHandle WinDesktop::CopyToScreenBitmap(BitmapHandle source, std::int32_t width, std::int32_t height) noexcept
{
    const ScreenDc screen;
    if (!screen.Get()) return nullptr;
    HBITMAP copy = CreateCompatibleBitmap(screen.Get(), width, height);
    if (!copy) return nullptr;
    bool copied = false;
    {
        const MemoryDc from(screen.Get(), BitmapOf(source));
        const MemoryDc to(screen.Get(), copy);
        copied = from.Ready() && to.Ready() && BitBlt(to.Get(), 0, 0, width, height, from.Get(), 0, 0, SRCCOPY);
    }
    if (!copied) {
        DeleteObject(copy);
        return nullptr;
    }
    return copy;
}

void WinDesktop::DeleteBitmap(BitmapHandle bitmap) noexcept
{
    if (bitmap) DeleteObject(bitmap);
}

void WinDesktop::Pause(std::uint32_t ms) noexcept
{
    Sleep(ms);
}

}  // namespace host::win
