#include "cmdbar/clipboard_backup.h"

#include <cstdint>

namespace qev {

CClipboardBitmapBackup::CClipboardBitmapBackup(host::Desktop& desktop) noexcept : m_desktop(desktop)
{
    // One try only: a clipboard that another program holds right now simply
    // means there is nothing to save.
    std::uint32_t error = 0;
    if (!m_desktop.OpenClipboard(error)) return;
    if (m_desktop.ClipboardHasBitmap()) {
        if (host::BitmapHandle onClipboard = m_desktop.ClipboardBitmap())
            m_saved = m_desktop.CopyToDibSection(onClipboard);
    }
    m_desktop.CloseClipboard(error);
}

CClipboardBitmapBackup::~CClipboardBitmapBackup()
{
    if (!m_saved) return;
    Restore();
    m_desktop.DeleteBitmap(m_saved);
}

void CClipboardBitmapBackup::Restore() noexcept
{
    std::uint32_t error = 0;
    if (!m_desktop.OpenClipboard(error)) return;
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (m_desktop.BitmapSize(m_saved, width, height)) {
        // The clipboard gets a bitmap of its own; the saved copy stays ours
        // and is let go by the caller.
        if (host::BitmapHandle copy = m_desktop.CopyToScreenBitmap(m_saved, width, height)) {
            if (!m_desktop.SetClipboardBitmap(copy, error)) m_desktop.DeleteBitmap(copy);
        }
    }
    m_desktop.CloseClipboard(error);
}

}  // namespace qev
