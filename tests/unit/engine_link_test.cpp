// The engine link's other components: the crash handler found through the
// product's registry key, and the product information holder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/crash_handler.h"
#include "host/fake/fake_world.h"
#include "tests/support/addin_process.h"
#include "text/product_info.h"

namespace {

using host::RegRoot;
using host::RegValue;
using host::fake::FakeWorld;

constexpr char16_t kProductKey[] = u"SOFTWARE\\Marlowcrest\\Desktop";
constexpr HRESULT kModNotFound = static_cast<HRESULT>(0x8007007Eu);
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);

struct ProductInfoReset {
    ~ProductInfoReset() { qev::testing::ResetAddinProcess(); }
};

TEST(CrashHandler, FoundThroughTheProductsAppPath)
{
    enum class AppPath { Default, Missing, Empty, Dword, NoBackslash, KeyMissing, LibraryMissing, NoSettingsFile };
    struct Case {
        AppPath appPath;
        HRESULT result;
        bool settingsFileGiven;
    } const cases[] = {
        {AppPath::Default, S_OK, true},           {AppPath::Missing, E_FAIL, false},
        {AppPath::Empty, E_FAIL, false},          {AppPath::Dword, E_FAIL, false},
        {AppPath::NoBackslash, E_FAIL, false},    {AppPath::KeyMissing, kFileNotFound, false},
        {AppPath::LibraryMissing, kModNotFound, false}, {AppPath::NoSettingsFile, S_OK, false},
    };
    for (const auto& c : cases) {
        const ProductInfoReset reset;
        FakeWorld world;
        auto& registry = world.Registry();
        switch (c.appPath) {
        case AppPath::Default: break;
        case AppPath::Missing: registry.Remove(RegRoot::LocalMachine, kProductKey, u"AppPath"); break;
        case AppPath::Empty: registry.Put(RegRoot::LocalMachine, kProductKey, u"AppPath", RegValue::Text(u"")); break;
        case AppPath::Dword: registry.Put(RegRoot::LocalMachine, kProductKey, u"AppPath", RegValue::Dword(7)); break;
        case AppPath::NoBackslash:
            registry.Put(RegRoot::LocalMachine, kProductKey, u"AppPath", RegValue::Text(u"zkdesk.exe"));
            break;
        case AppPath::KeyMissing: registry.Remove(RegRoot::LocalMachine, kProductKey); break;
        case AppPath::LibraryMissing: world.CrashHandler().SetPresent(false); break;
        case AppPath::NoSettingsFile:
            world.System().RemovePath(u"C:\\ProgramData\\Marlowcrest\\Desktop\\zkch.xml");
            break;
        }
        EXPECT_EQ(qev::LoadCrashHandler(world.Services()), c.result) << static_cast<int>(c.appPath);
        EXPECT_EQ(world.CrashHandler().Enabled(), c.result == S_OK);
        EXPECT_EQ(world.CrashHandler().SettingsFile(),
                  c.settingsFileGiven ? u"C:\\ProgramData\\Marlowcrest\\Desktop\\zkch.xml" : u"");
        EXPECT_EQ(world.Registry().OpenKeys(), 0u) << "the key is closed on every path";
    }
}

TEST(ProductInfo, RetriesUntilLoadedThenKeepsIt)
{
    const ProductInfoReset reset;
    FakeWorld world;
    auto& libraries = world.Services().libraries;
    world.Product().SetPresent(false);
    EXPECT_EQ(qev::ProductString(libraries, 400), qev::kNotInited);
    EXPECT_EQ(qev::ProductString(libraries, 202), qev::kNotInited);
    const auto events = world.Libraries().Events();
    const auto attempts = std::count_if(events.begin(), events.end(), [](const std::string& e) {
        return e.starts_with("load-failed") && e.find("IPrefVault.dll") != std::string::npos;
    });
    EXPECT_EQ(attempts, 4) << "each lookup tries the full path, then with the altered search path";

    world.Product().SetPresent(true);
    EXPECT_EQ(qev::ProductString(libraries, 400), u"C:\\ProgramData\\Marlowcrest\\Desktop\\");
    EXPECT_EQ(qev::ProductString(libraries, 202), u"SOFTWARE\\Marlowcrest\\Desktop");
    EXPECT_EQ(world.Product().Calls(),
              (std::vector<std::string>{"ZkCreateObject \"productinfo\"", "GetInterface productinfo", "Initialize 0", "Start",
                                        "GetString 400 \"Desktop\"", "GetString 202 \"Desktop\""}));
    EXPECT_EQ(world.Libraries().LoadCount(world.Product().LibraryPath()), 1u) << "loaded once, kept";
}

TEST(ProductInfo, FoundBesideTheAddinModuleWhateverItsName)
{
    const ProductInfoReset reset;
    FakeWorld world;
    world.SetAddinPath(u"C:\\Program Files\\Marlowcrest\\Desktop\\qev-1.2.dll");
    EXPECT_EQ(qev::ProductString(world.Services().libraries, 202), u"SOFTWARE\\Marlowcrest\\Desktop");
    EXPECT_EQ(world.Libraries().LoadCount(world.Product().LibraryPath()), 1u);
}

TEST(ProductInfo, FailedStartsAreTakenDownInOrder)
{
    struct Case {
        const char* what;
        bool destroyExport;
        std::int32_t initialize, start;
        std::vector<std::string> calls;
    } const cases[] = {
        {"no ZkDestroyObject", false, 0, 0, {}},
        {"Initialize fails", true, 1, 0,
         {"ZkCreateObject \"productinfo\"", "GetInterface productinfo", "Initialize 0", "Stop", "ReleaseInterface", "ZkDestroyObject \"productinfo\""}},
        {"Start fails", true, 0, 5,
         {"ZkCreateObject \"productinfo\"", "GetInterface productinfo", "Initialize 0", "Start", "Stop", "ReleaseInterface",
          "ZkDestroyObject \"productinfo\""}},
    };
    for (const auto& c : cases) {
        const ProductInfoReset reset;
        FakeWorld world;
        world.Product().SetDestroyExport(c.destroyExport);
        world.Product().SetInitializeResult(c.initialize);
        world.Product().SetStartResult(c.start);
        EXPECT_EQ(qev::ProductString(world.Services().libraries, 400), qev::kNotInited) << c.what;
        EXPECT_EQ(world.Product().Calls(), c.calls) << c.what;
        EXPECT_EQ(world.Product().LiveObjects(), 0u) << c.what;
        EXPECT_EQ(world.Libraries().LoadCount(world.Product().LibraryPath()), 0u) << c.what << ": library freed";
    }
}

}  // namespace
