// The language and layout modules: where they are looked for and in what
// order, the registry values that choose them, the texts with the product's
// name, the current-directory guard, and the modules the build makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/fake/fake_modules.h"
#include "host/fake/fake_world.h"
#include "tests/support/addin_process.h"
#include "tests/unit/test_text.h"
#include "text/string_table.h"
#include "text/ui_strings.h"

namespace {

using host::RegRoot;
using host::RegValue;
using host::ResourceType;
using host::fake::FakeWorld;
using host::fake::UiModules;

constexpr char16_t kAddinFolder[] = u"C:\\Program Files\\Marlowcrest\\Desktop\\";
constexpr char16_t kProductFolder[] = u"C:\\ProgramData\\Marlowcrest\\Desktop\\";
constexpr char16_t kKey[] = u".DEFAULT\\Software\\ZarUD";

void InstallModules(FakeWorld& world, const std::u16string& folder)
{
    for (const auto& module : host::fake::BuiltUiModules())
        world.Libraries().Install(folder + module.path, {}, host::fake::ResourcesOf(module));
}

RegValue Raw(std::uint32_t type, std::vector<std::uint8_t> data)
{
    RegValue v;
    v.type = type;
    v.data = std::move(data);
    return v;
}

class UiStrings : public ::testing::Test {
protected:
    UiStrings() { qev::testing::ResetAddinProcess(); }
    ~UiStrings() override { qev::testing::ResetAddinProcess(); }

    host::Services& S() { return m_world.Services(); }
    std::u16string PathOf(host::LibraryHandle module)
    {
        return module ? m_world.Libraries().FileName(module) : std::u16string(u"(none)");
    }

    FakeWorld m_world;
};

TEST_F(UiStrings, ModuleSearchOrder)
{
    const std::u16string beside = kAddinFolder;
    const std::u16string product = kProductFolder;
    struct Case {
        const char* what;
        std::function<void(FakeWorld&)> setup;
        std::u16string text;  // the text module's file, "(none)"
        std::u16string ui;
        std::u16string notSpam;  // text 304 then
        std::vector<std::u16string> bareLines;
    } const cases[] = {
        {"defaults", [](FakeWorld&) {}, beside + u"lang\\en-us\\qev.txtui", beside + u"ui\\ltr\\qev.ui", u"Not Spam", {}},
        {"de-de, rtl 1",
         [](FakeWorld& w) {
             w.SetLanguage(u"de-de");
             w.SetRightToLeft(1);
         },
         beside + u"lang\\de-de\\qev.txtui", beside + u"ui\\rtl\\qev.ui", u"Kein Spam", {}},
        {"he-il", [](FakeWorld& w) { w.SetLanguage(u"he-il"); }, beside + u"lang\\he-il\\qev.txtui",
         beside + u"ui\\ltr\\qev.ui", u"\u05DC\u05D0 \u05E1\u05E4\u05D0\u05DD", {}},
        {"rtl 2", [](FakeWorld& w) { w.SetRightToLeft(2); }, beside + u"lang\\en-us\\qev.txtui",
         beside + u"ui\\ltr\\qev.ui", u"Not Spam", {}},
        {"rtl of another type, 1 byte",
         [](FakeWorld& w) { w.Registry().Put(RegRoot::Users, kKey, u"rtl", Raw(host::kRegBinary, {1})); },
         beside + u"lang\\en-us\\qev.txtui", beside + u"ui\\rtl\\qev.ui", u"Not Spam", {}},
        {"rtl of 8 bytes counts as missing",
         [](FakeWorld& w) { w.Registry().Put(RegRoot::Users, kKey, u"rtl", Raw(11, {1, 0, 0, 0, 0, 0, 0, 0})); },
         beside + u"lang\\en-us\\qev.txtui", beside + u"ui\\ltr\\qev.ui", u"Not Spam", {}},
        {"rtl as text \"1\"", [](FakeWorld& w) { w.Registry().Put(RegRoot::Users, kKey, u"rtl", RegValue::Text(u"1")); },
         beside + u"lang\\en-us\\qev.txtui", beside + u"ui\\ltr\\qev.ui", u"Not Spam", {}},
        {"language of type REG_EXPAND_SZ",
         [](FakeWorld& w) {
             RegValue v = RegValue::Text(u"de-de");
             v.type = host::kRegExpandSz;
             w.Registry().Put(RegRoot::Users, kKey, u"wslibsite_lang", v);
         },
         beside + u"lang\\en-us\\qev.txtui", beside + u"ui\\ltr\\qev.ui", u"Not Spam", {}},
        {"language empty", [](FakeWorld& w) { w.SetLanguage(u""); }, beside + u"lang\\en-us\\qev.txtui",
         beside + u"ui\\ltr\\qev.ui", u"Not Spam", {}},
        {"language as a number",
         [](FakeWorld& w) { w.Registry().Put(RegRoot::Users, kKey, u"wslibsite_lang", RegValue::Dword(7)); },
         beside + u"lang\\en-us\\qev.txtui", beside + u"ui\\ltr\\qev.ui", u"Not Spam", {}},
        {"a language without a module: texts from the layout module", [](FakeWorld& w) { w.SetLanguage(u"fr-fr"); },
         beside + u"ui\\ltr\\qev.ui", beside + u"ui\\ltr\\qev.ui", u"", {}},
        {"only in the product's folder", [](FakeWorld& w) { w.SetUiModules(UiModules::Product); },
         product + u"lang\\en-us\\qev.txtui", product + u"ui\\ltr\\qev.ui", u"Not Spam",
         {product + u"\\ui\\ltr\\qev.ui", product + u"\\lang\\en-us\\qev.txtui"}},
        {"add-in in ...\\ZAREVORA32\\: below zarevora32\\ in the product's folder",
         [&](FakeWorld& w) {
             w.SetAddinPath(u"C:\\Program Files\\Marlowcrest\\ZAREVORA32\\qev.dll");
             w.SetUiModules(UiModules::None);
             InstallModules(w, product + u"zarevora32\\");
         },
         product + u"zarevora32\\lang\\en-us\\qev.txtui", product + u"zarevora32\\ui\\ltr\\qev.ui", u"Not Spam",
         {product + u"zarevora32\\\\ui\\ltr\\qev.ui", product + u"zarevora32\\\\lang\\en-us\\qev.txtui"}},
        {"zarevora32 followed by another folder: nothing appended",
         [](FakeWorld& w) {
             w.SetAddinPath(u"C:\\zarevora32\\bin\\qev.dll");
             w.SetUiModules(UiModules::Product);
         },
         product + u"lang\\en-us\\qev.txtui", product + u"ui\\ltr\\qev.ui", u"Not Spam",
         {product + u"\\ui\\ltr\\qev.ui", product + u"\\lang\\en-us\\qev.txtui"}},
        {"zarevora32 twice, the first occurrence decides",
         [](FakeWorld& w) {
             w.SetAddinPath(u"C:\\Zarevora32\\x\\zarevora32\\qev.dll");
             w.SetUiModules(UiModules::Product);
         },
         product + u"lang\\en-us\\qev.txtui", product + u"ui\\ltr\\qev.ui", u"Not Spam",
         {product + u"\\ui\\ltr\\qev.ui", product + u"\\lang\\en-us\\qev.txtui"}},
        {"nowhere", [](FakeWorld& w) { w.SetUiModules(UiModules::None); }, u"(none)", u"(none)", u"", {}},
        {"only the layout module",
         [&](FakeWorld& w) {
             for (const char16_t* lang : {u"en-us", u"de-de", u"he-il"})
                 w.Libraries().Uninstall(beside + u"lang\\" + lang + u"\\qev.txtui");
         },
         beside + u"ui\\ltr\\qev.ui", beside + u"ui\\ltr\\qev.ui", u"", {}},
    };
    for (const auto& c : cases) {
        qev::testing::ResetAddinProcess();
        FakeWorld world;
        c.setup(world);
        world.System().ClearDebugWrites();
        qev::LoadUiStringModules(world.Services());
        auto pathOf = [&](host::LibraryHandle m) { return m ? world.Libraries().FileName(m) : u"(none)"; };
        EXPECT_EQ(Narrow(pathOf(qev::g_langModules.text)), Narrow(c.text)) << c.what;
        EXPECT_EQ(Narrow(pathOf(qev::g_langModules.ui)), Narrow(c.ui)) << c.what;
        EXPECT_EQ(Narrow(qev::LoadUiString_(world.Services(), 304)), Narrow(c.notSpam)) << c.what;
        EXPECT_EQ(world.System().DebugWrites(), c.bareLines) << c.what;
        EXPECT_EQ(world.Registry().OpenKeys(), 0u) << c.what;
        EXPECT_TRUE(world.Libraries().Faults().empty()) << c.what;
    }
    qev::testing::ResetAddinProcess();
}

TEST_F(UiStrings, FirstAttemptUsesTheDoubledBackslash)
{
    m_world.Libraries().ClearEvents();
    qev::LoadUiStringModules(S());
    const auto events = m_world.Libraries().Events();
    EXPECT_NE(std::find(events.begin(), events.end(),
                        "load C:\\Program Files\\Marlowcrest\\Desktop\\\\lang\\en-us\\qev.txtui"),
              events.end());
}

TEST_F(UiStrings, WithoutProductInformationTheSecondAttemptCannotFindAFolder)
{
    m_world.SetUiModules(UiModules::None);
    m_world.Product().SetPresent(false);
    m_world.Libraries().ClearEvents();
    qev::LoadUiStringModules(S());
    const auto events = m_world.Libraries().Events();
    EXPECT_NE(std::find(events.begin(), events.end(), "load-failed <error-interface-not-inited>\\lang\\en-us\\qev.txtui"),
              events.end());
    EXPECT_EQ(qev::g_langModules.text, nullptr);
    EXPECT_EQ(qev::GetUiModule_(S()), m_world.Libraries().Self()) << "pictures from the add-in's own module";
}

TEST_F(UiStrings, LanguageTriesThe64BitViewOnlyWhenTheKeyDoesNotOpen)
{
    struct Case {
        bool keyExists;
        std::vector<std::string> opens;  // layout module (language, rtl), then language module (language)
    } const cases[] = {
        {true, {"default", "default", "default"}},
        {false, {"default", "64", "default", "default", "64"}},
    };
    for (const auto& c : cases) {
        qev::testing::ResetAddinProcess();
        FakeWorld world;
        if (c.keyExists) world.SetLanguage(u"en-us");
        world.Registry().ClearRequests();
        qev::LoadUiStringModules(world.Services());
        std::vector<std::string> opens;
        for (const std::string& r : world.Registry().Requests()) {
            if (!r.starts_with("OpenKey ")) continue;
            EXPECT_EQ(r.substr(0, r.rfind(' ')), "OpenKey HKU\\.DEFAULT\\Software\\ZarUD read");
            opens.push_back(r.substr(r.rfind(' ') + 1));
        }
        EXPECT_EQ(opens, c.opens) << c.keyExists;
    }
}

TEST_F(UiStrings, ProductNameFillsEveryPlaceholder)
{
    // A language module of the test's own: texts 400 to 405.
    std::vector<std::uint8_t> block;
    auto put = [&](std::u16string_view text) {
        block.push_back(static_cast<std::uint8_t>(text.size()));
        block.push_back(static_cast<std::uint8_t>(text.size() >> 8));
        for (char16_t u : text) {
            block.push_back(static_cast<std::uint8_t>(u));
            block.push_back(static_cast<std::uint8_t>(u >> 8));
        }
    };
    for (std::u16string_view t : {u"<#ProductName#> and <#ProductName#>", u"<#productname#> stays", u"<#ProductName",
                                  u"<#Product<#ProductName#>Name#>", u"plain"})
        put(t);
    const std::u16string path = kAddinFolder + std::u16string(u"lang\\en-us\\qev.txtui");

    struct Case {
        const char* what;
        std::function<void(FakeWorld&)> setup;
        std::vector<std::u16string> texts;  // 400..405
    } const cases[] = {
        {"the product's name",
         [](FakeWorld&) {},
         {u"Marlowcrest Antispam and Marlowcrest Antispam", u"<#productname#> stays", u"<#ProductName",
          u"<#ProductMarlowcrest AntispamName#>", u"plain", u""}},
        {"a name that is itself the placeholder is not filled again",
         [](FakeWorld& w) { w.Product().SetProductName(u"<#ProductName#>"); },
         {u"<#ProductName#> and <#ProductName#>", u"<#productname#> stays", u"<#ProductName",
          u"<#Product<#ProductName#>Name#>", u"plain", u""}},
        {"without product information the placeholder stays",
         [](FakeWorld& w) { w.Product().SetPresent(false); },
         {u"<#ProductName#> and <#ProductName#>", u"<#productname#> stays", u"<#ProductName",
          u"<#Product<#ProductName#>Name#>", u"plain", u""}},
    };
    for (const auto& c : cases) {
        qev::testing::ResetAddinProcess();
        FakeWorld world;
        world.Libraries().Install(path, {}, {{{ResourceType::StringTable, 26}, block}});
        c.setup(world);
        qev::LoadUiStringModules(world.Services());
        for (std::uint32_t n = 400; n <= 405; ++n)
            EXPECT_EQ(Narrow(qev::LoadUiString_(world.Services(), n)), Narrow(c.texts[n - 400])) << c.what << " " << n;
        const auto calls = world.Product().Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetProductName"), world.Product().LiveObjects() ? 2 : 0)
            << c.what << ": asked once per text that holds the placeholder";
    }
    qev::testing::ResetAddinProcess();
}

TEST_F(UiStrings, LookupsRunInTheAddinFolderAndPutTheDirectoryBack)
{
    const std::u16string addin = u"C:\\Program Files\\Marlowcrest\\Desktop";
    const std::u16string fits = u"C:\\" + std::u16string(256, u'a');  // 259 units and the terminator
    const std::u16string tooLong = fits + u"b";
    struct Case {
        const char* what;
        std::u16string before;
        bool addinFolderExists;
        std::vector<std::u16string> changes;
        std::u16string after;
    } const cases[] = {
        {"ordinary", u"C:\\Users\\qev\\Documents", true, {addin, u"C:\\Users\\qev\\Documents"}, u"C:\\Users\\qev\\Documents"},
        {"previous directory of 259 units", fits, true, {addin, fits}, fits},
        {"previous directory of 260 units is not kept", tooLong, true, {addin}, addin},
        {"add-in folder cannot be made current", u"C:\\Users\\qev\\Documents", false, {}, u"C:\\Users\\qev\\Documents"},
        {"add-in folder current already: left as it is", addin, true, {}, addin},
    };
    for (const auto& c : cases) {
        qev::testing::ResetAddinProcess();
        FakeWorld world;
        world.System().SetCurrentFolder(c.before);
        if (!c.addinFolderExists) world.System().RemovePath(addin);
        const std::size_t changesBefore = world.System().CurrentDirChanges().size();
        qev::LoadUiString_(world.Services(), 302);
        const auto all = world.System().CurrentDirChanges();
        EXPECT_EQ(std::vector<std::u16string>(all.begin() + static_cast<std::ptrdiff_t>(changesBefore), all.end()),
                  c.changes)
            << c.what;
        EXPECT_EQ(Narrow(world.System().CurrentFolder()), Narrow(c.after)) << c.what;
    }
}

TEST_F(UiStrings, ALayoutModuleWithoutABitmapDoesNotBorrowTheAddinsOwn)
{
    const std::u16string path = kAddinFolder + std::u16string(u"ui\\ltr\\qev.ui");
    auto resources = host::fake::ResourcesOf(*host::fake::FindBuiltModule(u"ui\\ltr\\qev.ui"));
    resources.erase({ResourceType::Bitmap, 203});
    m_world.Libraries().Install(path, {}, resources);
    qev::LoadUiStringModules(S());
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(qev::LoadUiPicture_(S(), ResourceType::Bitmap, 203, bytes), host::kHrResourceNameNotFound);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(qev::LoadUiPicture_(S(), ResourceType::Bitmap, 202, bytes), S_OK);
    EXPECT_EQ(qev::LoadUiPicture_(S(), ResourceType::Png, 207, bytes), host::kHrResourceNameNotFound);
    EXPECT_EQ(qev::LoadUiString_(S(), 302), u"Spam") << "texts still come from the language module";
}

}  // namespace
