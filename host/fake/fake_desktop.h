// The in-memory desktop: a clipboard with the rules of the real one (formats
// side by side, setting one format keeps the others, the clipboard owns what
// is put on it, another program may hold it open) and bitmaps as plain
// pixel arrays, each handle counted until it is deleted or given to the
// clipboard.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/desktop.h"
#include "host/fake/fake_ledger.h"
#include "host/libraries.h"

namespace host::fake {

class FakeDesktop final : public host::Desktop {
public:
    // Bitmaps come from the resources that libraries answers.
    FakeDesktop(HostCalls& calls, host::Libraries& libraries);

    // ---- Desktop ----
    bool OpenClipboard(std::uint32_t& lastError) noexcept override;
    bool CloseClipboard(std::uint32_t& lastError) noexcept override;
    bool ClipboardHasBitmap() noexcept override;
    BitmapHandle ClipboardBitmap() noexcept override;
    bool SetClipboardBitmap(BitmapHandle bitmap, std::uint32_t& lastError) noexcept override;
    BitmapHandle LoadBitmap(LibraryHandle module, std::uint32_t id, std::uint32_t& lastError) noexcept override;
    BitmapHandle CopyToDibSection(BitmapHandle bitmap) noexcept override;
    bool BitmapSize(BitmapHandle bitmap, std::int32_t& width, std::int32_t& height) noexcept override;
    BitmapHandle CopyToScreenBitmap(BitmapHandle source, std::int32_t width, std::int32_t height) noexcept override;
    void DeleteBitmap(BitmapHandle bitmap) noexcept override;
    void Pause(std::uint32_t ms) noexcept override;

    // ---- another program ----
    // Puts text (CF_UNICODETEXT) or a picture of that size (CF_BITMAP) on the
    // clipboard; the other format stays.
    void PutText(std::u16string text);
    void PutPicture(std::int32_t width, std::int32_t height);
    // The next `attempts` opens fail as if another program held the clipboard.
    void Hold(std::uint32_t attempts) noexcept { m_heldFor = attempts; }

    // ---- what is there ----
    std::optional<std::u16string> ClipboardText() const { return m_text; }
    // The size of the clipboard's bitmap.
    std::optional<std::pair<std::int32_t, std::int32_t>> ClipboardPictureSize() const;
    // A bitmap's size and pixels (32-bit values, rows top down); nothing for
    // a handle that is not live.
    struct Picture {
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::vector<std::uint32_t> pixels;
    };
    const Picture* Find(BitmapHandle bitmap) const;
    // The bitmap on the clipboard, for Office's PasteFace; null when none.
    BitmapHandle ClipboardPictureHandle() const noexcept { return m_clipboardBitmap; }
    std::uint32_t Pauses() const noexcept { return m_pauses; }
    // A new bitmap (GDI+ and the picture objects make theirs here too).
    BitmapHandle AddPicture(Picture picture) { return Add(std::move(picture)); }
    // A picture object took the bitmap over: deleting it is the picture's
    // business from now on.
    void HandOver(BitmapHandle bitmap) { m_handedOver.insert(reinterpret_cast<std::uintptr_t>(bitmap)); }
    // The picture that owned the bitmap is gone, and the bitmap with it.
    void PictureGone(BitmapHandle bitmap) noexcept
    {
        m_handedOver.erase(reinterpret_cast<std::uintptr_t>(bitmap));
        m_bitmaps.erase(reinterpret_cast<std::uintptr_t>(bitmap));
    }

    // Bitmaps nobody deleted, a clipboard left open, handles deleted twice.
    std::vector<std::string> Faults() const;

private:
    BitmapHandle Add(Picture picture);

    HostCalls& m_calls;
    host::Libraries& m_libraries;
    std::map<std::uintptr_t, Picture> m_bitmaps;  // live handles
    std::set<std::uintptr_t> m_handedOver;         // owned by picture objects
    std::uintptr_t m_nextHandle = 0x1000;
    bool m_open = false;
    std::uint32_t m_heldFor = 0;
    std::optional<std::u16string> m_text;
    BitmapHandle m_clipboardBitmap = nullptr;  // owned by the clipboard
    std::uint32_t m_pauses = 0;
    std::vector<std::string> m_misuse;
};

}  // namespace host::fake
