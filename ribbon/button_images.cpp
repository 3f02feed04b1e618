#include "ribbon/button_images.h"

#include <string>
#include <vector>

#include "text/ui_strings.h"

namespace qev {

namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000;
constexpr std::u16string_view kButtonNames[] = {u"Settings",  u"IsSpam",   u"NotSpam", u"AddSpammer",
                                                u"AddFriend", u"Spammers", u"Friends"};

}  // namespace

namespace graphics {

bool Image::Load(host::Libraries& libraries, host::LibraryHandle module, std::uint32_t id, host::ResourceType type)
{
    Free();
    std::vector<std::uint8_t> bytes;
    if (!module) return false;  // not the host program's resources
    if (FAILED(libraries.Resource(module, type, id, bytes)) || bytes.empty()) return false;
    m_image = m_graphics.DecodePng(bytes);
    return m_image != nullptr;
}

host::BitmapHandle Image::GetHBITMAP() noexcept
{
    return m_image ? m_graphics.ImageToBitmap(m_image, kOpaqueBlack) : nullptr;
}

void Image::Free() noexcept
{
    if (m_image) m_graphics.DisposeImage(m_image);
    m_image = nullptr;
}

}  // namespace graphics

ButtonImages::ButtonImages(host::Services& services) noexcept
    : m_services(services),
      m_images{graphics::Image(services.graphics), graphics::Image(services.graphics),
               graphics::Image(services.graphics), graphics::Image(services.graphics),
               graphics::Image(services.graphics), graphics::Image(services.graphics),
               graphics::Image(services.graphics)}
{
}

HRESULT ButtonImages::Picture(std::u16string_view controlId, ImageKind kind, std::uint32_t resourceId,
                              host::Ref<host::Object>& picture)
{
    if (kind != ImageKind::Icon && kind != ImageKind::Bitmap && kind != ImageKind::Png) return E_NOTIMPL;
    if (resourceId == 0) return E_NOTIMPL;

    host::BitmapHandle bitmap = nullptr;
    if (kind == ImageKind::Bitmap || kind == ImageKind::Icon) {
        // Without a module the system would hand out one of its own pictures
        // of that number, so no module gives no picture.
        const host::LibraryHandle module = GetUiModule_(m_services);
        const bool icon = kind == ImageKind::Icon;
        if (module) bitmap = m_services.graphics.LoadImageBitmap(module, resourceId, icon);
        if (!bitmap && icon) return E_FAIL;
    } else {
        // The button's name, whatever namespace its id carries; the picture
        // follows the name, its resource the row.
        std::u16string_view name = controlId;
        const std::u16string prefix = std::u16string(kRibbonIdNamespace).append(kButtonsMarker);
        if (name.starts_with(prefix)) name.remove_prefix(prefix.size());
        for (std::size_t i = 0; i < std::size(kButtonNames); ++i) {
            if (name != kButtonNames[i]) continue;
            graphics::Image& image = m_images[i];
            // A failed decode is tried again at the next request; a decoded
            // picture needs its module no more.
            if (!image.Loaded())
                image.Load(m_services.libraries, GetUiModule_(m_services), resourceId, host::ResourceType::Png);
            bitmap = image.GetHBITMAP();
            break;
        }
    }
    if (!bitmap) return E_NOTIMPL;

    const HRESULT hr = m_services.graphics.CreatePicture(bitmap, picture);
    if (FAILED(hr)) {
        picture.Reset();
        m_services.desktop.DeleteBitmap(bitmap);  // never handed over
        return hr;
    }
    return S_OK;
}

}  // namespace qev
