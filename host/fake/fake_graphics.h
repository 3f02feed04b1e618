// The in-memory pictures of the ribbon: PNGs decoded with libpng (the pixels
// GDI+ gives), bitmaps in the in-memory desktop, and picture objects that own
// their bitmap.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "host/fake/fake_desktop.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_pool.h"
#include "host/graphics.h"

namespace host::fake {

// An IPictureDisp over a bitmap it owns.
class FakePicture final : public Counted<Object> {
public:
    FakePicture(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop, BitmapHandle bitmap, std::uint64_t number);
    ~FakePicture();
    Object* Query(Iface iface) noexcept override;
    BitmapHandle Bitmap() const noexcept { return m_bitmap; }

private:
    HostCalls& m_calls;
    FakeDesktop& m_desktop;
    BitmapHandle m_bitmap;
};

class FakeGraphics final : public host::Graphics {
public:
    // Bitmaps are made in desktop, which also loads bitmap resources.
    FakeGraphics(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop);
    ~FakeGraphics();

    ImageHandle DecodePng(std::span<const std::uint8_t> bytes) noexcept override;
    void DisposeImage(ImageHandle image) noexcept override;
    BitmapHandle ImageToBitmap(ImageHandle image, std::uint32_t argbBackground) noexcept override;
    BitmapHandle LoadImageBitmap(LibraryHandle module, std::uint32_t id, bool icon) noexcept override;
    HRESULT CreatePicture(BitmapHandle bitmap, Ref<Object>& picture) noexcept override;

    // How many PNGs were decoded; the picture object of a handle-as-object.
    std::size_t Decodes() const noexcept { return m_decodes; }
    const FakePicture* FindPicture(const Object* object) const noexcept;
    // Decoded images not disposed yet (the add-in keeps its buttons' until
    // the add-in object goes).
    std::size_t LiveImages() const noexcept { return m_images.size(); }

private:
    struct Decoded {
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::vector<std::uint32_t> argb;
    };

    Ledger& m_ledger;
    HostCalls& m_calls;
    FakeDesktop& m_desktop;
    std::map<ImageHandle, std::unique_ptr<Decoded>> m_images;
    Pool<FakePicture> m_pictures;
    std::size_t m_decodes = 0;
};

}  // namespace host::fake
