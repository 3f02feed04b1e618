#include "host/fake/fake_product.h"

#include <gtest/gtest.h>

#include <functional>

namespace host::fake {
namespace {

struct Loaded {
    LibraryHandle library = nullptr;
    qev::ZkCreateObjectFn create = nullptr;
    qev::ZkDestroyObjectFn destroy = nullptr;
};

Loaded Load(FakeLibraries& libraries, const std::u16string& path)
{
    Loaded loaded;
    HRESULT error = S_OK;
    loaded.library = libraries.Load(path, false, &error);
    if (!loaded.library) return loaded;
    loaded.create = reinterpret_cast<qev::ZkCreateObjectFn>(libraries.Symbol(loaded.library, "ZkCreateObject", &error));
    loaded.destroy =
        reinterpret_cast<qev::ZkDestroyObjectFn>(libraries.Symbol(loaded.library, "ZkDestroyObject", &error));
    return loaded;
}

TEST(FakeProduct, ComesUpAndAnswersItsStrings)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeProduct product(calls, libraries, u"C:\\P");
    const Loaded lib = Load(libraries, u"C:\\P\\IPrefVault.dll");
    ASSERT_TRUE(lib.create && lib.destroy);

    qev::IZkObject* object = nullptr;
    EXPECT_NE(lib.create(u"other", &qev::kIidZkObject, &object), 0);
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(lib.create(qev::kProductInfoObject, &qev::kIidProductInfo, &object), 0);  // the wrong id
    ASSERT_EQ(lib.create(qev::kProductInfoObject, &qev::kIidZkObject, &object), 0);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->GetInterface(&qev::kIidZkObject), nullptr);
    qev::IProductInfo* info = object->GetInterface(&qev::kIidProductInfo);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Initialize(0), 0);
    EXPECT_EQ(info->Start(), 0);
    EXPECT_EQ(std::u16string(info->GetString(400, u"Desktop")), u"C:\\ProgramData\\Marlowcrest\\Desktop\\");
    EXPECT_EQ(std::u16string(info->GetString(202, u"Desktop")), u"SOFTWARE\\Marlowcrest\\Desktop");
    EXPECT_EQ(std::u16string(info->GetString(202, u"Other")), u"");
    EXPECT_EQ(std::u16string(info->GetString(999, u"Desktop")), u"");
    EXPECT_EQ(std::u16string(info->GetProductName()), u"Marlowcrest Antispam");
    EXPECT_EQ(product.LiveObjects(), 1u);
    EXPECT_TRUE(product.Faults().empty());
}

TEST(FakeProduct, SwitchesShapeTheLibraryAndMisuseIsRecorded)
{
    struct Case {
        const char* what;
        std::function<void(FakeProduct&)> setup;
        bool library;
        bool destroyExport;
        std::int32_t initialize;
        std::int32_t start;
    };
    const Case cases[] = {
        {"as shipped", [](FakeProduct&) {}, true, true, 0, 0},
        {"absent", [](FakeProduct& p) { p.SetPresent(false); }, false, false, 0, 0},
        {"no destroy export", [](FakeProduct& p) { p.SetDestroyExport(false); }, true, false, 0, 0},
        {"initialize fails", [](FakeProduct& p) { p.SetInitializeResult(1); }, true, true, 1, 0},
        {"start fails", [](FakeProduct& p) { p.SetStartResult(5); }, true, true, 0, 5},
    };
    for (const Case& c : cases) {
        HostCalls calls;
        FakeLibraries libraries(calls);
        FakeProduct product(calls, libraries, u"C:\\P");
        c.setup(product);
        const Loaded lib = Load(libraries, u"C:\\P\\IPrefVault.dll");
        EXPECT_EQ(lib.library != nullptr, c.library) << c.what;
        EXPECT_EQ(lib.destroy != nullptr, c.destroyExport) << c.what;
        if (!lib.create) continue;
        qev::IZkObject* object = nullptr;
        ASSERT_EQ(lib.create(qev::kProductInfoObject, &qev::kIidZkObject, &object), 0) << c.what;
        qev::IProductInfo* info = object->GetInterface(&qev::kIidProductInfo);
        EXPECT_EQ(info->Initialize(0), c.initialize) << c.what;
        EXPECT_EQ(info->Start(), c.start) << c.what;
        info->Stop();
        info->ReleaseInterface();
        if (lib.destroy) lib.destroy(qev::kProductInfoObject, object);
        EXPECT_EQ(product.LiveObjects(), c.destroyExport ? 0u : 1u) << c.what;
        EXPECT_TRUE(product.Faults().empty()) << c.what;
    }

    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeProduct product(calls, libraries, u"C:\\P");
    const Loaded lib = Load(libraries, u"C:\\P\\IPrefVault.dll");
    qev::IZkObject* object = nullptr;
    ASSERT_EQ(lib.create(qev::kProductInfoObject, &qev::kIidZkObject, &object), 0);
    qev::IProductInfo* info = object->GetInterface(&qev::kIidProductInfo);
    info->ReleaseInterface();
    info->Stop();
    lib.destroy(qev::kProductInfoObject, object);
    lib.destroy(qev::kProductInfoObject, object);
    EXPECT_EQ(product.Calls(), (std::vector<std::string>{
                                   "ZkCreateObject \"productinfo\"",
                                   "GetInterface productinfo",
                                   "ReleaseInterface",
                                   "Stop",
                                   "ZkDestroyObject \"productinfo\"",
                                   "ZkDestroyObject \"productinfo\"",
                               }));
    EXPECT_EQ(product.Faults(), (std::vector<std::string>{"Stop on productinfo object 1 after ReleaseInterface",
                                                          "productinfo object 1 destroyed again"}));
}

TEST(FakeCrashHandler, RecordsItsCalls)
{
    HostCalls calls;
    FakeLibraries libraries(calls);
    FakeCrashHandler handler(calls, libraries, u"C:\\Prog");
    HRESULT error = S_OK;
    LibraryHandle library = libraries.Load(u"C:\\Prog\\zkch.dll", false, &error);
    ASSERT_TRUE(library);
    auto enable = reinterpret_cast<qev::EnableCrashHandlerFn>(libraries.Symbol(library, "EnableCrashHandler", &error));
    auto settings = reinterpret_cast<qev::SetSettingsFileFn>(libraries.Symbol(library, "SetSettingsFile", &error));
    ASSERT_TRUE(enable && settings);
    EXPECT_EQ(settings(u"C:\\Data\\zkch.xml"), 0);
    handler.SetEnableResult(static_cast<std::int32_t>(0x80004005u));
    EXPECT_EQ(enable(0, 0, 0), static_cast<std::int32_t>(0x80004005u));
    EXPECT_TRUE(handler.Enabled());
    EXPECT_EQ(handler.SettingsFile(), u"C:\\Data\\zkch.xml");
    EXPECT_EQ(handler.Calls(),
              (std::vector<std::string>{"SetSettingsFile \"C:\\Data\\zkch.xml\"", "EnableCrashHandler 0 0 0"}));
    handler.SetPresent(false);
    EXPECT_EQ(libraries.Load(u"C:\\Prog\\zkch.dll", false, &error), library);  // still loaded: the same module
    libraries.Free(library);
    libraries.Free(library);
    EXPECT_EQ(libraries.Load(u"C:\\Prog\\zkch.dll", false, &error), nullptr);
}

}  // namespace
}  // namespace host::fake
