// The product as a run of the simulated Outlook lays it out: the chain the
// add-in follows from the configuration library to the crash handler, the
// registration of qev.dll, the engine client's three forms, the markers, and
// nothing left behind.
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "sim/win/product_folder.h"

namespace {

using qev::sim::win::EngineFile;
using qev::sim::win::FindBuiltFiles;
using qev::sim::win::Markers;
using qev::sim::win::ProductFolder;

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring IniString(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[1024] = {};
    const DWORD length = GetPrivateProfileStringW(section, key, L"", value, 1024, file.c_str());
    return std::wstring(value, length);
}

std::optional<std::wstring> RegText(HKEY root, const std::wstring& key, const wchar_t* name)
{
    wchar_t value[1024] = {};
    DWORD bytes = sizeof value;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

std::optional<std::wstring> RegisteredServer()
{
    CLSID clsid = {};
    if (FAILED(CLSIDFromProgID(L"qev.Connect", &clsid))) return std::nullopt;
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return RegText(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + text + L"\\InprocServer32", nullptr);
}

bool ExportsFactory(const std::wstring& library)
{
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return false;
    const bool found = GetProcAddress(module, "asCreateInstance") != nullptr;
    FreeLibrary(module);
    return found;
}

TEST(ProductFolder, LaysOutTheProductAndTakesItAway)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::wstring program;
    {
        ProductFolder folder(FindBuiltFiles());
        program = folder.ProgramFolder();
        for (const wchar_t* name : {L"qev.dll", L"zkascl.dll", L"IPrefVault.dll", L"IPrefVault.ini", L"zkch.dll"})
            EXPECT_TRUE(Exists(program + L"\\" + name)) << "missing beside qev.dll";

        // The configuration library's strings lead where the add-in looks:
        // 400 to the folder of zkch.xml, 202 to the key whose AppPath names a
        // program beside zkch.dll.
        const std::wstring ini = program + L"\\IPrefVault.ini";
        const std::wstring data = IniString(ini, L"Desktop", L"400");
        ASSERT_FALSE(data.empty());
        EXPECT_EQ(data.back(), L'\\');
        EXPECT_TRUE(Exists(data + L"zkch.xml"));
        const auto appPath = RegText(HKEY_LOCAL_MACHINE, IniString(ini, L"Desktop", L"202"), L"AppPath");
        ASSERT_TRUE(appPath);
        EXPECT_TRUE(Exists(FolderOf(*appPath) + L"\\zkch.dll"));

        // Registered by regsvr32 as this copy.
        const auto server = RegisteredServer();
        ASSERT_TRUE(server);
        EXPECT_EQ(CompareStringOrdinal(server->c_str(), -1, folder.AddinPath().c_str(), -1, TRUE), CSTR_EQUAL);

        EXPECT_TRUE(ExportsFactory(folder.EnginePath()));
        folder.PlaceEngine(EngineFile::WithoutFactory);
        EXPECT_TRUE(Exists(folder.EnginePath()));
        EXPECT_FALSE(ExportsFactory(folder.EnginePath()));
        folder.PlaceEngine(EngineFile::None);
        EXPECT_FALSE(Exists(folder.EnginePath()));
        folder.PlaceEngine(EngineFile::Regular);
        EXPECT_TRUE(ExportsFactory(folder.EnginePath()));
    }
    EXPECT_FALSE(Exists(FolderOf(FolderOf(FolderOf(FolderOf(program))))));  // the run's folder
    EXPECT_FALSE(RegisteredServer());
    CoUninitialize();
}

TEST(ProductFolder, MarkersComeAndGo)
{
    wchar_t roaming[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming)));
    const std::wstring profiles = std::wstring(roaming) + L"\\Marlowcrest\\Desktop\\Profiles";
    {
        Markers markers;
        markers.Set(Markers::Kind::Trace, true);
        markers.Set(Markers::Kind::Disabled, true);
        EXPECT_TRUE(Exists(profiles + L"\\as.trace"));
        EXPECT_TRUE(Exists(profiles + L"\\as.disabled"));
        markers.Set(Markers::Kind::Disabled, false);
        markers.Set(Markers::Kind::Disabled, false);  // already gone: nothing to do
        EXPECT_FALSE(Exists(profiles + L"\\as.disabled"));
    }
    EXPECT_FALSE(Exists(profiles + L"\\as.trace"));

    // A marker that is a folder counts as well, and a new run clears it.
    ASSERT_TRUE(SHCreateDirectoryExW(nullptr, (profiles + L"\\as.trace").c_str(), nullptr) == ERROR_SUCCESS);
    {
        Markers markers;
        EXPECT_FALSE(Exists(profiles + L"\\as.trace"));
    }
}

}  // namespace
