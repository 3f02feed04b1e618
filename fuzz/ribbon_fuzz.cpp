// The ribbon's untrusted input. The first byte picks what the rest is:
//   even: a control id (UTF-16 units, any of them, lone surrogates and XML's
//         special characters included) that Outlook passes to every callback.
//         Only the ids of the last markup have a row; any other id answers
//         E_FAIL (E_NOTIMPL for a picture) and nothing else.
//   odd:  the bytes of a button's PNG resource, decoded as the add-in decodes
//         its pictures; a decoded picture makes a bitmap of its own size, and
//         every bitmap and image is given back.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "addin/native/connect_object.h"
#include "host/fake/fake_world.h"
#include "ribbon/button_images.h"
#include "ribbon/ribbon.h"

namespace {

host::fake::FakeWorld& World()
{
    static host::fake::FakeWorld world;
    return world;
}

qev::Ribbon& Tab()
{
    static qev::ConnectObject* addin = [] {
        auto* object = new qev::ConnectObject(World().Services());
        object->Connect().OnConnection(&World().Application(), 1, &World().AddInInstance());
        std::u16string markup;
        if (object->Connect().RibbonTab().GetCustomUI(u"Microsoft.Outlook.Explorer", &markup) != S_OK) std::abort();
        return object;
    }();
    return addin->Connect().RibbonTab();
}

void ControlId(const std::uint8_t* data, std::size_t size)
{
    std::u16string id;
    for (std::size_t i = 0; i + 1 < size; i += 2) id.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    qev::Ribbon& tab = Tab();
    const bool known = tab.Elements().Rows().end() !=
                       std::find_if(tab.Elements().Rows().begin(), tab.Elements().Rows().end(),
                                    [&](const qev::RibbonElement& row) { return row.id == id; });
    const host::Ref<host::Object> control =
        World().RibbonControl(id, host::fake::FakeWorld::ControlContext::Explorer);
    std::u16string text;
    std::int16_t flag = 0;
    std::int32_t size32 = 0;
    host::Ref<host::Object> picture;
    const HRESULT want = known ? S_OK : E_FAIL;
    if (tab.Ribbon_OnGetLabel(control.Get(), &text) != want) std::abort();
    if (tab.Ribbon_OnGetSupertip(control.Get(), &text) != want) std::abort();
    if (tab.Ribbon_OnGetEnabled(control.Get(), &flag) != want) std::abort();
    if (tab.Ribbon_OnGetVisible(control.Get(), &flag) != want) std::abort();
    if (tab.Ribbon_OnGetSize(control.Get(), &size32) != want) std::abort();
    const HRESULT image = tab.Ribbon_OnGetImage(control.Get(), &picture);
    if (!known && (image != E_NOTIMPL || picture)) std::abort();
}

void Png(const std::uint8_t* data, std::size_t size)
{
    constexpr char16_t kPath[] = u"C:\\fuzz\\pictures.dll";
    host::fake::FakeLibraries& libraries = World().Libraries();
    // The add-in keeps the pictures of the buttons it was asked for.
    const std::size_t kept = World().Graphics().LiveImages();
    libraries.Install(kPath, {}, {{{host::ResourceType::Png, 208}, std::vector<std::uint8_t>(data, data + size)}});
    HRESULT error = S_OK;
    const host::LibraryHandle module = libraries.Load(kPath, false, &error);
    if (!module) std::abort();
    {
        qev::graphics::Image image(World().Graphics());
        if (image.Load(libraries, module, 208, host::ResourceType::Png)) {
            const host::BitmapHandle bitmap = image.GetHBITMAP();
            const auto* pixels = World().Desktop().Find(bitmap);
            if (!pixels || pixels->pixels.size() != static_cast<std::size_t>(pixels->width) * pixels->height)
                std::abort();
            World().Desktop().DeleteBitmap(bitmap);
        }
    }
    libraries.Free(module);
    if (World().Graphics().LiveImages() != kept) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    if (data[0] % 2 == 0)
        ControlId(data + 1, size - 1);
    else
        Png(data + 1, size - 1);
    World().ForgetHistory();
    return 0;
}
