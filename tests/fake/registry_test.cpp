#include "host/fake/fake_registry.h"

#include <gtest/gtest.h>

#include <functional>

namespace host::fake {
namespace {

// Windows' registry: names of keys and values compare without case and keep
// the spelling they were made with.
TEST(FakeRegistry, KeysAndValuesCompareWithoutCaseAndKeepTheirSpelling)
{
    HostCalls calls;
    FakeRegistry registry(calls);
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(registry.CreateKey(RegRoot::LocalMachine, u"SOFTWARE\\Marlowcrest\\Desktop", RegView::Default, key),
              S_OK);
    EXPECT_EQ(key->SetValue(u"AppPath", RegValue::Text(u"C:\\P\\app.exe")), S_OK);
    EXPECT_EQ(key->SetValue(u"APPPATH", RegValue::Text(u"C:\\Q\\app.exe")), S_OK);  // the same value
    EXPECT_EQ(key->SetValue(u"Count", RegValue::Dword(7)), S_OK);
    key.reset();

    ASSERT_EQ(registry.OpenKey(RegRoot::LocalMachine, u"software\\MARLOWCREST\\desktop", false, RegView::Force64, key),
              S_OK);
    RegValue value;
    ASSERT_EQ(key->QueryValue(u"apppath", value), S_OK);
    std::u16string text;
    ASSERT_TRUE(value.AsText(text));
    EXPECT_EQ(text, u"C:\\Q\\app.exe");
    std::vector<std::u16string> names;
    ASSERT_EQ(key->ValueNames(names), S_OK);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"AppPath", u"Count"}));
    key.reset();

    EXPECT_EQ(registry.Dump(),
              "HKLM\\SOFTWARE\n"
              "HKLM\\SOFTWARE\\Marlowcrest\n"
              "HKLM\\SOFTWARE\\Marlowcrest\\Desktop\n"
              "  AppPath = REG_SZ \"C:\\Q\\app.exe\"\n"
              "  Count = REG_DWORD 0x00000007\n");
    EXPECT_EQ(registry.OpenKeys(), 0u);
}

// The errors RegOpenKeyEx, RegQueryValueEx, RegSetValueEx and RegDeleteTree
// give: not found, access denied through a key opened for reading, and
// ERROR_KEY_DELETED through a handle whose key was deleted under it.
TEST(FakeRegistry, AnswersWithTheSystemsErrors)
{
    HostCalls calls;
    FakeRegistry registry(calls);
    registry.Put(RegRoot::CurrentUser, u"Software\\A\\B", u"v", RegValue::Dword(1));
    std::unique_ptr<RegistryKey> readOnly;
    ASSERT_EQ(registry.OpenKey(RegRoot::CurrentUser, u"Software\\A", false, RegView::Default, readOnly), S_OK);
    std::unique_ptr<RegistryKey> doomed;
    ASSERT_EQ(registry.OpenKey(RegRoot::CurrentUser, u"Software\\A\\B", true, RegView::Default, doomed), S_OK);
    RegValue value;

    struct Case {
        const char* what;
        std::function<HRESULT()> call;
        HRESULT expected;
    };
    std::unique_ptr<RegistryKey> out;
    const Case cases[] = {
        {"missing key",
         [&] { return registry.OpenKey(RegRoot::CurrentUser, u"Software\\X", false, RegView::Default, out); },
         kHrFileNotFound},
        {"key under another root",
         [&] { return registry.OpenKey(RegRoot::LocalMachine, u"Software\\A", false, RegView::Default, out); },
         kHrFileNotFound},
        {"doubled backslash",
         [&] { return registry.OpenKey(RegRoot::CurrentUser, u"Software\\\\A", false, RegView::Default, out); },
         kHrFileNotFound},
        {"trailing backslash",
         [&] { return registry.OpenKey(RegRoot::CurrentUser, u"Software\\A\\", false, RegView::Default, out); }, S_OK},
        {"missing value", [&] { return readOnly->QueryValue(u"none", value); }, kHrFileNotFound},
        {"write through a read key", [&] { return readOnly->SetValue(u"w", RegValue::Dword(2)); }, kHrAccessDenied},
        {"delete through a read key", [&] { return readOnly->DeleteValue(u"w"); }, kHrAccessDenied},
        {"delete a missing value", [&] { return doomed->DeleteValue(u"none"); }, kHrFileNotFound},
        {"delete a missing tree",
         [&] { return registry.DeleteTree(RegRoot::CurrentUser, u"Software\\X", RegView::Default); }, kHrFileNotFound},
        {"delete the tree", [&] { return registry.DeleteTree(RegRoot::CurrentUser, u"software\\a", RegView::Default); },
         S_OK},
        {"read a deleted key", [&] { return doomed->QueryValue(u"v", value); }, kHrKeyDeleted},
        {"write a deleted key", [&] { return doomed->SetValue(u"v", RegValue::Dword(3)); }, kHrKeyDeleted},
        {"open under the deleted tree",
         [&] { return registry.OpenKey(RegRoot::CurrentUser, u"Software\\A\\B", false, RegView::Default, out); },
         kHrFileNotFound},
    };
    for (const Case& c : cases) EXPECT_EQ(c.call(), c.expected) << c.what;
    EXPECT_TRUE(registry.KeyExists(RegRoot::CurrentUser, u"Software"));
    EXPECT_EQ(registry.Dump(), "HKCU\\Software\n");
}

}  // namespace
}  // namespace host::fake
