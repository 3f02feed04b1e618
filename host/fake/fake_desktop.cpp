#include "host/fake/fake_desktop.h"

#include <cstring>

namespace host::fake {
namespace {

constexpr std::uint32_t kErrorNotEnoughMemory = 8;
constexpr std::uint32_t kErrorInvalidHandle = 6;

std::int32_t ReadInt32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    std::int32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

std::uint16_t ReadUInt16(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    std::uint16_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// A bitmap resource: a BITMAPINFOHEADER and the rows, bottom up unless the
// height is negative; 16-bit pixels are 5-5-5, 24 and 32-bit ones BGR(A).
std::optional<FakeDesktop::Picture> DecodeBitmapResource(const std::vector<std::uint8_t>& bytes)
{
    constexpr std::size_t kHeaderSize = 40;
    if (bytes.size() < kHeaderSize || ReadInt32(bytes, 0) < static_cast<std::int32_t>(kHeaderSize))
        return std::nullopt;
    const std::size_t headerSize = static_cast<std::size_t>(ReadInt32(bytes, 0));
    const std::int32_t width = ReadInt32(bytes, 4);
    const std::int32_t rawHeight = ReadInt32(bytes, 8);
    const std::uint16_t bits = ReadUInt16(bytes, 14);
    if (width <= 0 || rawHeight == 0 || width > 4096 || rawHeight > 4096 || rawHeight < -4096) return std::nullopt;
    if (bits != 16 && bits != 24 && bits != 32) return std::nullopt;
    const std::int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
    const std::size_t stride = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    const std::size_t colourMasks = ReadInt32(bytes, 16) == 3 ? 12 : 0;  // BI_BITFIELDS
    const std::size_t start = headerSize + colourMasks;
    if (bytes.size() < start + stride * static_cast<std::size_t>(height)) return std::nullopt;

    FakeDesktop::Picture picture{width, height, {}};
    picture.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t row = rawHeight < 0 ? y : height - 1 - y;
        const std::uint8_t* p = bytes.data() + start + stride * static_cast<std::size_t>(row);
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint32_t rgb = 0;
            if (bits == 16) {
                const std::uint32_t v = static_cast<std::uint32_t>(p[2 * x] | (p[2 * x + 1] << 8));
                rgb = (((v >> 10) & 31u) << 19) | (((v >> 5) & 31u) << 11) | ((v & 31u) << 3);
            } else {
                const std::size_t step = bits / 8;
                rgb = static_cast<std::uint32_t>(p[step * x + 2] << 16 | p[step * x + 1] << 8 | p[step * x]);
            }
            picture.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                rgb;
        }
    }
    return picture;
}

}  // namespace

FakeDesktop::FakeDesktop(HostCalls& calls, host::Libraries& libraries) : m_calls(calls), m_libraries(libraries) {}

BitmapHandle FakeDesktop::Add(Picture picture)
{
    const std::uintptr_t handle = m_nextHandle++;
    m_bitmaps.emplace(handle, std::move(picture));
    return reinterpret_cast<BitmapHandle>(handle);
}

const FakeDesktop::Picture* FakeDesktop::Find(BitmapHandle bitmap) const
{
    const auto it = m_bitmaps.find(reinterpret_cast<std::uintptr_t>(bitmap));
    return it == m_bitmaps.end() ? nullptr : &it->second;
}

bool FakeDesktop::OpenClipboard(std::uint32_t& lastError) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("Clipboard.Open")) || m_heldFor > 0 || m_open) {
        if (m_heldFor > 0) --m_heldFor;
        lastError = kErrorAccessDenied;
        return false;
    }
    m_open = true;
    return true;
}

bool FakeDesktop::CloseClipboard(std::uint32_t& lastError) noexcept
{
    if (!m_open) {
        lastError = kErrorClipboardNotOpen;
        return false;
    }
    m_open = false;  // closed even when the call is made to fail: the add-in cannot tell
    if (FAILED(m_calls.CheckNoThrow("Clipboard.Close"))) {
        lastError = kErrorClipboardNotOpen;
        return false;
    }
    return true;
}

bool FakeDesktop::ClipboardHasBitmap() noexcept
{
    return m_clipboardBitmap != nullptr;
}

BitmapHandle FakeDesktop::ClipboardBitmap() noexcept
{
    if (!m_open || FAILED(m_calls.CheckNoThrow("Clipboard.GetData"))) return nullptr;
    return m_clipboardBitmap;
}

bool FakeDesktop::SetClipboardBitmap(BitmapHandle bitmap, std::uint32_t& lastError) noexcept
{
    if (!m_open) {
        lastError = kErrorClipboardNotOpen;
        return false;
    }
    if (!Find(bitmap)) {
        lastError = kErrorInvalidHandle;
        return false;
    }
    if (FAILED(m_calls.CheckNoThrow("Clipboard.SetData"))) {
        lastError = kErrorNotEnoughMemory;
        return false;
    }
    // The clipboard lets go of the bitmap it held in this format.
    if (m_clipboardBitmap && m_clipboardBitmap != bitmap) m_bitmaps.erase(reinterpret_cast<std::uintptr_t>(m_clipboardBitmap));
    m_clipboardBitmap = bitmap;
    return true;
}

BitmapHandle FakeDesktop::LoadBitmap(LibraryHandle module, std::uint32_t id, std::uint32_t& lastError) noexcept
{
    try {
        std::vector<std::uint8_t> bytes;
        const HRESULT hr = m_libraries.Resource(module, ResourceType::Bitmap, id, bytes);
        if (FAILED(hr)) {
            lastError = static_cast<std::uint32_t>(hr) & 0xFFFFu;
            return nullptr;
        }
        std::optional<Picture> picture = DecodeBitmapResource(bytes);
        if (!picture) {
            lastError = kErrorResourceNameNotFound;
            return nullptr;
        }
        return Add(std::move(*picture));
    } catch (...) {
        lastError = kErrorNotEnoughMemory;
        return nullptr;
    }
}

BitmapHandle FakeDesktop::CopyToDibSection(BitmapHandle bitmap) noexcept
{
    const Picture* source = Find(bitmap);
    if (!source || FAILED(m_calls.CheckNoThrow("Gdi.CopyImage"))) return nullptr;
    try {
        return Add(*source);
    } catch (...) {
        return nullptr;
    }
}

bool FakeDesktop::BitmapSize(BitmapHandle bitmap, std::int32_t& width, std::int32_t& height) noexcept
{
    const Picture* picture = Find(bitmap);
    if (!picture || FAILED(m_calls.CheckNoThrow("Gdi.GetObject"))) return false;
    width = picture->width;
    height = picture->height;
    return true;
}

BitmapHandle FakeDesktop::CopyToScreenBitmap(BitmapHandle source, std::int32_t width, std::int32_t height) noexcept
{
    const Picture* from = Find(source);
    if (!from || width <= 0 || height <= 0 || FAILED(m_calls.CheckNoThrow("Gdi.BitBlt"))) return nullptr;
    try {
        Picture copy{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
        for (std::int32_t y = 0; y < height && y < from->height; ++y)
            for (std::int32_t x = 0; x < width && x < from->width; ++x)
                copy.pixels[static_cast<std::size_t>(y) * width + x] =
                    from->pixels[static_cast<std::size_t>(y) * from->width + x];
        return Add(std::move(copy));
    } catch (...) {
        return nullptr;
    }
}

void FakeDesktop::DeleteBitmap(BitmapHandle bitmap) noexcept
{
    try {
        if (bitmap == m_clipboardBitmap && bitmap) {
            m_misuse.push_back("a bitmap the clipboard owns was deleted");
            return;
        }
        if (m_handedOver.count(reinterpret_cast<std::uintptr_t>(bitmap))) {
            m_misuse.push_back("a bitmap a picture owns was deleted");
            return;
        }
        if (m_bitmaps.erase(reinterpret_cast<std::uintptr_t>(bitmap)) == 0)
            m_misuse.push_back("a bitmap that is not live was deleted");
    } catch (...) {
    }
}

void FakeDesktop::Pause(std::uint32_t /*ms*/) noexcept
{
    ++m_pauses;
}

void FakeDesktop::PutText(std::u16string text)
{
    m_text = std::move(text);
}

void FakeDesktop::PutPicture(std::int32_t width, std::int32_t height)
{
    // A picture another program copied: a gradient, so that copies can be told apart from faces.
    Picture picture{width, height, {}};
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            picture.pixels.push_back(static_cast<std::uint32_t>((x * 255 / width) << 16 | (y * 255 / height) << 8));
    if (m_clipboardBitmap) m_bitmaps.erase(reinterpret_cast<std::uintptr_t>(m_clipboardBitmap));
    m_clipboardBitmap = Add(std::move(picture));
}

std::optional<std::pair<std::int32_t, std::int32_t>> FakeDesktop::ClipboardPictureSize() const
{
    const Picture* picture = Find(m_clipboardBitmap);
    if (!picture) return std::nullopt;
    return std::pair(picture->width, picture->height);
}

std::vector<std::string> FakeDesktop::Faults() const
{
    std::vector<std::string> faults = m_misuse;
    if (m_open) faults.emplace_back("clipboard left open");
    const std::size_t owned = m_bitmaps.size() - (m_clipboardBitmap ? 1 : 0) - m_handedOver.size();
    if (owned) faults.push_back(std::to_string(owned) + " bitmap(s) never deleted");
    return faults;
}

}  // namespace host::fake
