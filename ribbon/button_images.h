// The ribbon buttons' pictures: each button's PNG is decoded once and kept;
// every request makes a new bitmap from it and hands it, with ownership, to a
// new picture object.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "host/graphics.h"
#include "host/libraries.h"
#include "host/object.h"
#include "host/services.h"
#include "ribbon/ribbon_elements.h"

namespace qev {

namespace graphics {

// One decoded picture (a GDI+ bitmap), held until Free.
class Image {
public:
    explicit Image(host::Graphics& graphics) noexcept : m_graphics(graphics) {}
    ~Image() { Free(); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Decodes resource id of that type in module; true when an image is held.
    bool Load(host::Libraries& libraries, host::LibraryHandle module, std::uint32_t id, host::ResourceType type);
    // A new bitmap of the image over opaque black, the caller's; null without
    // an image or when it cannot be made.
    host::BitmapHandle GetHBITMAP() noexcept;
    void Free() noexcept;
    bool Loaded() const noexcept { return m_image != nullptr; }

private:
    host::Graphics& m_graphics;
    host::ImageHandle m_image = nullptr;
};

}  // namespace graphics

class ButtonImages {
public:
    explicit ButtonImages(host::Services& services) noexcept;

    // The picture of a control (Ribbon_OnGetImage after the control and its
    // row are known): E_NOTIMPL when there is none to give.
    HRESULT Picture(std::u16string_view controlId, ImageKind kind, std::uint32_t resourceId,
                    host::Ref<host::Object>& picture);

private:
    host::Services& m_services;
    // By button name, in the order names are matched: Settings, IsSpam,
    // NotSpam, AddSpammer, AddFriend, Spammers, Friends.
    std::array<graphics::Image, 7> m_images;
};

}  // namespace qev
