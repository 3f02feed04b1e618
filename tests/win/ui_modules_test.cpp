// The language and layout modules the build makes, loaded by the real loader:
// their string tables read by the add-in's own reader agree with LoadStringW,
// their pictures are what Windows and GDI+ decode (and what the ribbon's
// graphics make of them), and the portable module search finds them over the
// Windows adapters.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/registry.h"
#include "host/win/win_graphics.h"
#include "host/win/win_libraries.h"
#include "host/win/win_variant.h"
#include "host/win/win_services.h"
#include "host/win/win_system.h"
#include "text/string_table.h"
#include "text/ui_strings.h"

namespace {

using host::ResourceType;

const wchar_t* W(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string ExePath()
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return reinterpret_cast<const char16_t*>(exe);
}

// Where the modules land: beside qev.dll (QEV_UI_MODULE_RELATIVE, from this program's folder).
std::u16string ModuleFolder()
{
    std::u16string folder = ExePath();
    folder.resize(folder.find_last_of(u'\\') + 1);
    for (const char c : std::string(QEV_UI_MODULE_RELATIVE)) folder += c == '/' ? u'\\' : static_cast<char16_t>(c);
    return folder + u'\\';
}

class Module {
public:
    explicit Module(const std::u16string& path) : m_handle(m_libraries.Load(path, false, &m_error)) {}
    ~Module()
    {
        if (m_handle) m_libraries.Free(m_handle);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    host::LibraryHandle Handle() const { return m_handle; }
    HRESULT Error() const { return m_error; }
    HRESULT Read(ResourceType type, std::uint32_t id, std::vector<std::uint8_t>& out)
    {
        return m_libraries.Resource(m_handle, type, id, out);
    }

private:
    host::win::WinLibraries m_libraries;
    HRESULT m_error = S_OK;
    host::LibraryHandle m_handle;
};

TEST(UiModules, OwnReaderAgreesWithLoadStringW)
{
    struct Case {
        const char16_t* lang;
        const char16_t* notSpam;
    } const cases[] = {
        {u"en-us", u"Not Spam"},
        {u"de-de", u"Kein Spam"},
        {u"he-il", u"\u05DC\u05D0 \u05E1\u05E4\u05D0\u05DD"},
    };
    for (const auto& c : cases) {
        Module module(ModuleFolder() + u"lang\\" + c.lang + u"\\qev.txtui");
        ASSERT_NE(module.Handle(), nullptr) << std::hex << module.Error();
        int texts = 0;
        for (std::uint32_t n = 0; n < 600; ++n) {
            std::vector<std::uint8_t> block;
            std::u16string ours;
            if (SUCCEEDED(module.Read(ResourceType::StringTable, qev::StringBlockId(n), block)))
                ours = qev::StringFromBlock(block, n).value_or(u"");
            const wchar_t* theirs = nullptr;
            const int length = LoadStringW(static_cast<HMODULE>(module.Handle()), n, reinterpret_cast<LPWSTR>(&theirs), 0);
            const std::u16string expected =
                length > 0 ? std::u16string(reinterpret_cast<const char16_t*>(theirs), static_cast<std::size_t>(length))
                           : std::u16string();
            EXPECT_TRUE(ours == expected) << n;
            texts += !ours.empty();
        }
        EXPECT_EQ(texts, 1 + 7 + 33);
        std::vector<std::uint8_t> block;
        ASSERT_EQ(module.Read(ResourceType::StringTable, qev::StringBlockId(304), block), S_OK);
        EXPECT_TRUE(qev::StringFromBlock(block, 304) == std::u16string(c.notSpam));
        EXPECT_EQ(module.Read(ResourceType::Png, 208, block), host::kHrResourceTypeNotFound);
        EXPECT_TRUE(block.empty());
    }
}

TEST(UiModules, PicturesDecodeAsWindowsAndGdiplusSeeThem)
{
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    for (const std::u16string& path : {ModuleFolder() + u"ui\\ltr\\qev.ui", ModuleFolder() + u"ui\\rtl\\qev.ui",
                                      ModuleFolder() + u"qev.dll"}) {
        Module module(path);
        ASSERT_NE(module.Handle(), nullptr) << std::hex << module.Error();
        for (std::uint32_t id = 200; id <= 206; ++id) {
            HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(static_cast<HMODULE>(module.Handle()), MAKEINTRESOURCEW(id),
                                                             IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
            ASSERT_NE(bitmap, nullptr) << id;
            DIBSECTION dib = {};
            ASSERT_EQ(GetObjectW(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
            EXPECT_EQ(dib.dsBm.bmWidth, 32);
            EXPECT_EQ(dib.dsBm.bmHeight, 32);
            EXPECT_EQ(dib.dsBm.bmBitsPixel, 16);
            DeleteObject(bitmap);
        }
        for (std::uint32_t id = 208; id <= 214; ++id) {
            std::vector<std::uint8_t> png;
            ASSERT_EQ(module.Read(ResourceType::Png, id, png), S_OK) << id;
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, png.size());
            ASSERT_NE(memory, nullptr);
            std::memcpy(GlobalLock(memory), png.data(), png.size());
            GlobalUnlock(memory);
            IStream* stream = nullptr;
            ASSERT_EQ(CreateStreamOnHGlobal(memory, TRUE, &stream), S_OK);
            {
                Gdiplus::Bitmap decoded(stream, FALSE);
                ASSERT_EQ(decoded.GetLastStatus(), Gdiplus::Ok) << id;
                EXPECT_EQ(decoded.GetWidth(), 32u);
                EXPECT_EQ(decoded.GetHeight(), 32u);
                EXPECT_EQ(decoded.GetPixelFormat(), PixelFormat32bppARGB) << id;
                Gdiplus::Color corner;
                decoded.GetPixel(0, 31, &corner);
                EXPECT_EQ(corner.GetA(), 0) << id << ": transparent around the glyph";
            }
            stream->Release();
        }
        std::vector<std::uint8_t> none;
        EXPECT_EQ(module.Read(ResourceType::Png, 207, none), host::kHrResourceNameNotFound);
    }
    Gdiplus::GdiplusShutdown(token);
}

// A PNG whose header claims another size (its checksum made right again).
std::vector<std::uint8_t> Resized(std::vector<std::uint8_t> png, std::uint32_t width, std::uint32_t height)
{
    const auto put = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) png[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    };
    put(16, width);  // IHDR's data starts after the signature, length and type
    put(20, height);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 12; i < 29; ++i) {  // the type and the 13 bytes of data
        crc ^= png[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    put(29, ~crc);
    return png;
}

// The ribbon's pictures: each button's PNG decoded by WinGraphics (which
// starts GDI+ itself) into a 32 by 32 bitmap over opaque black, which a new
// picture owns; what is no picture decodes to nothing; GDI+ ends only once
// no decoded image is left.
TEST(UiModules, RibbonGraphicsDecodeIntoBitmapsThatPicturesOwn)
{
    host::win::WinGraphics graphics;
    Module module(ModuleFolder() + u"qev.dll");
    ASSERT_NE(module.Handle(), nullptr);
    std::vector<std::uint8_t> png;
    ASSERT_EQ(module.Read(ResourceType::Png, 208, png), S_OK);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool decodes;
    };
    const Case cases[] = {
        {"the button's PNG", png, true},
        {"cut short", std::vector<std::uint8_t>(png.begin(), png.begin() + 40), false},
        {"60000 by 60000", Resized(png, 60000, 60000), false},
        {"no PNG", {'G', 'I', 'F', '8', '9', 'a'}, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        host::ImageHandle image = graphics.DecodePng(c.bytes);
        EXPECT_EQ(image != nullptr, c.decodes) << c.what;
        if (!image) continue;
        // Two bitmaps of one image, each handed to a picture of its own.
        for (int i = 0; i < 2; ++i) {
            auto* bitmap = static_cast<HBITMAP>(graphics.ImageToBitmap(image, 0xFF000000));
            BITMAP info = {};
            ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info)) << c.what;
            EXPECT_EQ(info.bmWidth, 32);
            EXPECT_EQ(info.bmHeight, 32);
            host::Ref<host::Object> picture;
            ASSERT_EQ(graphics.CreatePicture(bitmap, picture), S_OK);
            host::win::ComPtr<IPicture> typed;
            ASSERT_EQ(host::win::ComUnknownOf(picture.Get())->QueryInterface(IID_IPicture, typed.OutVoid()), S_OK);
            OLE_HANDLE handle = 0;
            EXPECT_EQ(typed->get_Handle(&handle), S_OK);
            EXPECT_EQ(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), bitmap);
            typed.Reset();
            picture.Reset();
            EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), 0) << "the picture deleted its bitmap";
        }
        // GDI+ outlives every image: asked to end, it stays while one lives.
        host::win::ShutdownGdiplus();
        auto* still = static_cast<HBITMAP>(graphics.ImageToBitmap(image, 0xFF000000));
        EXPECT_NE(still, nullptr);
        DeleteObject(still);
        graphics.DisposeImage(image);
        host::win::ShutdownGdiplus();
    }
    // Ended, it is started again by the next decode.
    host::ImageHandle again = graphics.DecodePng(png);
    EXPECT_NE(again, nullptr);
    graphics.DisposeImage(again);
    host::win::ShutdownGdiplus();
}

// The portable search over the real loader and registry: modules named after
// this program, beside it, found by the path with the doubled backslash.
TEST(UiModules, FoundBesideTheAddinOverTheWindowsAdapters)
{
    const std::u16string exe = ExePath();
    const std::u16string folder = exe.substr(0, exe.find_last_of(u'\\') + 1);
    std::u16string base = exe.substr(folder.size());
    base.resize(base.find_last_of(u'.'));
    for (const std::u16string module : {u"lang\\en-us\\", u"lang\\de-de\\", u"lang\\he-il\\", u"ui\\ltr\\", u"ui\\rtl\\"}) {
        const bool text = module.starts_with(u"lang");
        CreateDirectoryW(W(folder + module.substr(0, module.find(u'\\'))), nullptr);
        CreateDirectoryW(W(folder + module), nullptr);
        const std::u16string from = ModuleFolder() + module + (text ? u"qev.txtui" : u"qev.ui");
        const std::u16string to = folder + module + base + (text ? u".txtui" : u".ui");
        ASSERT_TRUE(CopyFileW(W(from), W(to), FALSE) || GetFileAttributesW(W(to)) != INVALID_FILE_ATTRIBUTES);
    }
    host::Services& services = host::win::WinServices();
    std::u16string before;
    ASSERT_TRUE(services.system.CurrentDir(260, before));

    qev::LoadUiStringModules(services);
    ASSERT_NE(qev::g_langModules.ui, nullptr);
    ASSERT_NE(qev::g_langModules.text, nullptr);
    const std::u16string notSpam = qev::LoadUiString_(services, 304);
    EXPECT_TRUE(notSpam == u"Not Spam" || notSpam == u"Kein Spam" || notSpam == u"\u05DC\u05D0 \u05E1\u05E4\u05D0\u05DD")
        << "the language the prefix's registry names";
    EXPECT_EQ(qev::GetUiModule_(services), qev::g_langModules.ui);
    std::vector<std::uint8_t> png;
    EXPECT_EQ(qev::LoadUiPicture_(services, ResourceType::Png, 211, png), S_OK);
    std::u16string after;
    ASSERT_TRUE(services.system.CurrentDir(260, after));
    EXPECT_TRUE(after == before) << "the guard put the current directory back";
    qev::UnloadUiStringModules(services.libraries);
}

}  // namespace
