// The language and layout modules the build makes, loaded by the real loader:
// their string tables read by the add-in's own reader agree with LoadStringW,
// their pictures are what Windows and GDI+ decode, and the portable module
// search finds them over the Windows adapters.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/registry.h"
#include "host/win/win_libraries.h"
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
