#include "host/fake/fake_graphics.h"

#include <png.h>

namespace host::fake {

FakePicture::FakePicture(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop, BitmapHandle bitmap,
                         std::uint64_t number)
    : Counted(ledger, "Picture", "Picture " + std::to_string(number)), m_calls(calls), m_desktop(desktop),
      m_bitmap(bitmap)
{
}

// A picture made to own its bitmap deletes it when it goes.
FakePicture::~FakePicture()
{
    m_desktop.PictureGone(m_bitmap);
}

Object* FakePicture::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("Picture.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::Picture) return Hand(static_cast<Object*>(this));
    return nullptr;
}

FakeGraphics::FakeGraphics(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop)
    : m_ledger(ledger), m_calls(calls), m_desktop(desktop)
{
}

FakeGraphics::~FakeGraphics() = default;

ImageHandle FakeGraphics::DecodePng(std::span<const std::uint8_t> bytes) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("Gdip.CreateBitmapFromStream"))) return nullptr;
    try {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return nullptr;
        image.format = PNG_FORMAT_BGRA;  // 32-bit ARGB in memory order, as GDI+ keeps it
        auto decoded = std::make_unique<Decoded>();
        decoded->width = static_cast<std::int32_t>(image.width);
        decoded->height = static_cast<std::int32_t>(image.height);
        decoded->argb.resize(static_cast<std::size_t>(image.width) * image.height);
        if (!png_image_finish_read(&image, nullptr, decoded->argb.data(), 0, nullptr)) {
            png_image_free(&image);
            return nullptr;
        }
        ++m_decodes;
        ImageHandle handle = decoded.get();
        m_images.emplace(handle, std::move(decoded));
        return handle;
    } catch (...) {
        return nullptr;
    }
}

void FakeGraphics::DisposeImage(ImageHandle image) noexcept
{
    m_images.erase(image);
}

BitmapHandle FakeGraphics::ImageToBitmap(ImageHandle image, std::uint32_t argbBackground) noexcept
{
    const auto it = m_images.find(image);
    if (it == m_images.end() || FAILED(m_calls.CheckNoThrow("Gdip.CreateHBITMAPFromBitmap"))) return nullptr;
    try {
        // Each pixel over the background, by its alpha: what GDI+ composes.
        const Decoded& d = *it->second;
        FakeDesktop::Picture picture{d.width, d.height, {}};
        picture.pixels.reserve(d.argb.size());
        for (const std::uint32_t p : d.argb) {
            const std::uint32_t a = p >> 24;
            std::uint32_t rgb = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const std::uint32_t fg = (p >> shift) & 0xFF;
                const std::uint32_t bg = (argbBackground >> shift) & 0xFF;
                rgb |= ((fg * a + bg * (255 - a) + 127) / 255) << shift;
            }
            picture.pixels.push_back(rgb);
        }
        return m_desktop.AddPicture(std::move(picture));
    } catch (...) {
        return nullptr;
    }
}

BitmapHandle FakeGraphics::LoadImageBitmap(LibraryHandle module, std::uint32_t id, bool icon) noexcept
{
    if (icon) return nullptr;  // the in-memory modules carry no icons
    std::uint32_t error = 0;
    return m_desktop.LoadBitmap(module, id, error);
}

HRESULT FakeGraphics::CreatePicture(BitmapHandle bitmap, Ref<Object>& picture) noexcept
{
    picture.Reset();
    if (!m_desktop.Find(bitmap)) return E_INVALIDARG;
    if (const HRESULT hr = m_calls.CheckNoThrow("OleCreatePictureIndirect"); FAILED(hr)) return hr;
    try {
        FakePicture& made = m_pictures.Make(m_ledger, m_calls, m_desktop, bitmap, m_pictures.Number());
        m_desktop.HandOver(bitmap);
        picture = Ref<Object>::Share(static_cast<Object*>(&made));
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

const FakePicture* FakeGraphics::FindPicture(const Object* object) const noexcept
{
    const FakePicture* found = nullptr;
    m_pictures.ForEach([&](const FakePicture& p) {
        if (static_cast<const Object*>(&p) == object) found = &p;
    });
    return found;
}

}  // namespace host::fake
