// qev.dll's self-registration against the real registry of the Wine prefix:
// DllRegisterServer / DllUnregisterServer for the machine and DllInstall
// "user" for the current user, key by key, and creation through the
// registration by ProgID; and the registry adapter it writes with.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/win/win_registry.h"
#include "tests/win/qev_dll.h"

namespace {

using qevtest::GuidText;
using host::win::ComPtr;
using qevtest::QevDll;

const std::wstring kClsid = L"{4190EC4D-6B01-4CF9-9DE5-088485114359}";
const std::wstring kLibid = L"{C0F0383F-D6F0-44EF-9FE7-531D1624B8B7}";
const std::wstring kAddins = L"Software\\Microsoft\\Office\\Outlook\\Addins";

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A value as text: a string as it stands, a DWORD as "dword:N"; "(missing)".
std::wstring ValueOf(HKEY root, const std::wstring& path, const wchar_t* name = L"")
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"(missing)";
    DWORD type = 0;
    std::vector<BYTE> data(4096);
    DWORD size = static_cast<DWORD>(data.size());
    const LONG error = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS) return L"(missing)";
    if (type == REG_DWORD) return L"dword:" + std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
    if (type != REG_SZ) return L"(type " + std::to_wstring(type) + L")";
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

// Every key and value under path, sorted, one per line; empty when the key is missing.
std::wstring Tree(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
    std::vector<std::wstring> values, subkeys;
    wchar_t name[512];
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        values.push_back(std::wstring(L"  ") + name + L" = " + ValueOf(root, path, name) + L"\n");
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = 512;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    RegCloseKey(key);
    std::sort(values.begin(), values.end());
    std::sort(subkeys.begin(), subkeys.end());
    std::wstring out = path + L"\n";
    for (const std::wstring& v : values) out += v;
    for (const std::wstring& sub : subkeys) out += Tree(root, path + L"\\" + sub);
    return out;
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (const wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

class Registration : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QevDll::Get().Loaded()) << "cannot load qev.dll";
        // Start from nothing, whatever an earlier run left.
        ASSERT_EQ(QevDll::Get().UnregisterServer(), S_OK);
        ASSERT_EQ(QevDll::Get().Install(FALSE, L"user"), S_OK);
    }
    void TearDown() override
    {
        EXPECT_EQ(QevDll::Get().UnregisterServer(), S_OK);
        EXPECT_EQ(QevDll::Get().Install(FALSE, L"user"), S_OK);
    }

    // Everything the registration writes for one scope, as text.
    static std::wstring Snapshot(HKEY classes, const std::wstring& classesPath, HKEY addins)
    {
        const std::wstring prefix = classesPath.empty() ? L"" : classesPath + L"\\";
        return Tree(classes, prefix + L"qev.Connect") + Tree(classes, prefix + L"qev.Connect.1") +
               Tree(classes, prefix + L"CLSID\\" + kClsid) + Tree(addins, kAddins + L"\\qev.Connect");
    }

    // The script's keys, present or absent, under the classes key and the add-in list given.
    static void ExpectScriptKeys(HKEY classes, const std::wstring& classesPath, HKEY addins, bool present)
    {
        const std::wstring prefix = classesPath.empty() ? L"" : classesPath + L"\\";
        for (const std::wstring& path :
             {prefix + L"qev.Connect", prefix + L"qev.Connect.1", prefix + L"CLSID\\" + kClsid})
            EXPECT_EQ(KeyExists(classes, path), present) << Narrow(path);
        EXPECT_EQ(KeyExists(addins, kAddins + L"\\qev.Connect"), present);
        // The parents stay whatever happens.
        EXPECT_TRUE(KeyExists(classes, prefix + L"CLSID"));
        EXPECT_TRUE(KeyExists(addins, kAddins));
    }

    static void ExpectScriptValues(HKEY classes, const std::wstring& classesPath, HKEY addins)
    {
        const std::wstring prefix = classesPath.empty() ? L"" : classesPath + L"\\";
        const std::wstring classKey = prefix + L"CLSID\\" + kClsid;
        const struct {
            HKEY root;
            std::wstring path;
            const wchar_t* name;
            std::wstring value;
        } expected[] = {
            {classes, prefix + L"qev.Connect.1", L"", L"Connect Class"},
            {classes, prefix + L"qev.Connect.1\\CLSID", L"", kClsid},
            {classes, prefix + L"qev.Connect", L"", L"Connect Class"},
            {classes, prefix + L"qev.Connect\\CLSID", L"", kClsid},
            {classes, prefix + L"qev.Connect\\CurVer", L"", L"qev.Connect.1"},
            {classes, classKey, L"", L"Connect Class"},
            {classes, classKey + L"\\ProgID", L"", L"qev.Connect.1"},
            {classes, classKey + L"\\VersionIndependentProgID", L"", L"qev.Connect"},
            {classes, classKey + L"\\Programmable", L"", L"(missing)"},
            {classes, classKey + L"\\InprocServer32", L"", QevDll::Get().Path()},
            {classes, classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
            {classes, classKey + L"\\TypeLib", L"", kLibid},
            {addins, kAddins + L"\\qev.Connect", L"FriendlyName", L"Marlowcrest Antispam"},
            {addins, kAddins + L"\\qev.Connect", L"LoadBehavior", L"dword:3"},
        };
        for (const auto& e : expected)
            EXPECT_EQ(ValueOf(e.root, e.path, e.name), e.value) << Narrow(e.path) << " " << Narrow(e.name);
        EXPECT_TRUE(KeyExists(classes, classKey + L"\\Programmable"));
    }
};

TEST_F(Registration, MachineRegistrationWritesTheTableAndUnregistrationLeavesTheParents)
{
    ASSERT_EQ(QevDll::Get().RegisterServer(), S_OK);
    ExpectScriptValues(HKEY_CLASSES_ROOT, L"", HKEY_LOCAL_MACHINE);
    // The ids in the script are the ids of the code.
    EXPECT_EQ(GuidText(CLSID_Connect), kClsid);
    EXPECT_EQ(GuidText(LIBID_qevLib), kLibid);
    // The type library, registered after the script.
    EXPECT_EQ(ValueOf(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibid + L"\\1.0"), L"qev 1.0 Type Library");
    EXPECT_EQ(ValueOf(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibid + L"\\1.0\\0\\win64"), QevDll::Get().Path());
    EXPECT_EQ(ValueOf(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID_IConnect) + L"\\TypeLib"), kLibid);
    EXPECT_EQ(ValueOf(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID_IRibbonCallback) + L"\\TypeLib"), kLibid);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID__IDTExtensibility2) + L"\\TypeLib") &&
                 ValueOf(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID__IDTExtensibility2) + L"\\TypeLib") == kLibid)
        << "the add-in designer's interface is not qev's to register";

    // Registering twice changes nothing.
    const std::wstring once =
        Snapshot(HKEY_CLASSES_ROOT, L"", HKEY_LOCAL_MACHINE) + Tree(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibid);
    ASSERT_EQ(QevDll::Get().RegisterServer(), S_OK);
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, L"", HKEY_LOCAL_MACHINE) + Tree(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibid),
              once);

    // COM finds the class by either ProgID and creates it from this library.
    for (const wchar_t* progId : {L"qev.Connect", L"qev.Connect.1"}) {
        CLSID clsid = {};
        ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << Narrow(progId);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Connect));
        ComPtr<_IDTExtensibility2> addin;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__IDTExtensibility2, addin.OutVoid()), S_OK);
        EXPECT_TRUE(addin);
        addin.Reset();
        EXPECT_EQ(QevDll::Get().CanUnloadNow(), S_OK);
    }

    ASSERT_EQ(QevDll::Get().UnregisterServer(), S_OK);
    ExpectScriptKeys(HKEY_CLASSES_ROOT, L"", HKEY_LOCAL_MACHINE, false);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibid));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + GuidText(IID_IConnect)));
    CLSID clsid = {};
    EXPECT_NE(CLSIDFromProgID(L"qev.Connect", &clsid), S_OK);
    ComPtr<IUnknown> none;
    EXPECT_EQ(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, none.OutVoid()),
              REGDB_E_CLASSNOTREG);

    // Unregistering what is gone is no failure.
    EXPECT_EQ(QevDll::Get().UnregisterServer(), S_OK);
}

// The registry the registrar drives, on its own.
TEST(WinRegistry, RoundTripsValuesAndNamesAndAnswersTheSystemsErrors)
{
    host::win::WinRegistry registry;
    const std::u16string base = u"Software\\qev-winregistry-test";
    registry.DeleteTree(host::RegRoot::CurrentUser, base, host::RegView::Default);

    std::unique_ptr<host::RegistryKey> key;
    ASSERT_EQ(registry.CreateKey(host::RegRoot::CurrentUser, base + u"\\a\\b", host::RegView::Force64, key), S_OK);
    const std::u16string longName(300, u'n');  // past the first enumeration buffer
    host::RegValue binary;
    binary.type = host::kRegBinary;
    binary.data.assign(5000, 0xAB);  // past the first query buffer
    const std::pair<std::u16string, host::RegValue> values[] = {
        {u"", host::RegValue::Text(u"default")},         {u"Text", host::RegValue::Text(u"\u00E9t\u00E9")},
        {u"Number", host::RegValue::Dword(0xFFFFFFFEu)}, {u"Blob", binary},
        {longName, host::RegValue::Text(u"")},
    };
    for (const auto& [name, value] : values) ASSERT_EQ(key->SetValue(name, value), S_OK);
    for (const auto& [name, value] : values) {
        host::RegValue back;
        ASSERT_EQ(key->QueryValue(name, back), S_OK);
        EXPECT_EQ(back.type, value.type);
        EXPECT_EQ(back.data, value.data);
    }
    std::vector<std::u16string> names;
    ASSERT_EQ(key->ValueNames(names), S_OK);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"Blob", u"Number", u"Text", longName}));
    const std::u16string longestKey(255, u'k');  // key names end at 255 units
    ASSERT_EQ(registry.CreateKey(host::RegRoot::CurrentUser, base + u"\\a\\" + longestKey, host::RegView::Default, key),
              S_OK);
    ASSERT_EQ(registry.OpenKey(host::RegRoot::CurrentUser, base + u"\\a", false, host::RegView::Default, key), S_OK);
    ASSERT_EQ(key->SubKeyNames(names), S_OK);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::u16string>{u"b", longestKey}));

    // The system's errors, as HRESULTs.
    host::RegValue none;
    EXPECT_EQ(key->QueryValue(u"missing", none), host::kHrFileNotFound);
    EXPECT_EQ(key->SetValue(u"x", host::RegValue::Dword(1)), host::kHrAccessDenied) << "opened for reading";
    ASSERT_EQ(registry.OpenKey(host::RegRoot::CurrentUser, base + u"\\a", true, host::RegView::Default, key), S_OK);
    EXPECT_EQ(key->DeleteValue(u"missing"), host::kHrFileNotFound);
    EXPECT_EQ(registry.OpenKey(host::RegRoot::CurrentUser, base + u"\\missing", false, host::RegView::Default, key),
              host::kHrFileNotFound);
    EXPECT_FALSE(key);
    EXPECT_EQ(registry.DeleteTree(host::RegRoot::CurrentUser, base + u"\\missing", host::RegView::Force64),
              host::kHrFileNotFound);
    EXPECT_EQ(registry.DeleteTree(host::RegRoot::CurrentUser, u"", host::RegView::Default), E_INVALIDARG)
        << "a root is never deleted";

    ASSERT_EQ(registry.DeleteTree(host::RegRoot::CurrentUser, base, host::RegView::Force64), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\qev-winregistry-test"));
}

// The per-user keys and values, registered twice and removed, are the
// regsvr32 run's (run_regsvr32.cmake); here the command line's spellings.
TEST_F(Registration, DllInstallTakesUserOrNothing)
{
    for (const wchar_t* user : {L"USER", L"user", L" User "}) {
        ASSERT_EQ(QevDll::Get().Install(TRUE, user), S_OK) << Narrow(user);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\qev.Connect")) << Narrow(user);
        EXPECT_EQ(Snapshot(HKEY_LOCAL_MACHINE, L"Software\\Classes", HKEY_LOCAL_MACHINE), L"") << Narrow(user);
        ASSERT_EQ(QevDll::Get().Install(FALSE, user), S_OK) << Narrow(user);
        EXPECT_EQ(Snapshot(HKEY_CURRENT_USER, L"Software\\Classes", HKEY_CURRENT_USER), L"") << Narrow(user);
    }
    EXPECT_EQ(QevDll::Get().Install(TRUE, L"bogus"), E_INVALIDARG);
    EXPECT_EQ(QevDll::Get().Install(TRUE, L"users"), E_INVALIDARG);
    EXPECT_EQ(Snapshot(HKEY_CURRENT_USER, L"Software\\Classes", HKEY_CURRENT_USER), L"");
    EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, L"", HKEY_LOCAL_MACHINE), L"");

    // No command line: the machine, as DllRegisterServer.
    ASSERT_EQ(QevDll::Get().Install(TRUE, L""), S_OK);
    ExpectScriptValues(HKEY_CLASSES_ROOT, L"", HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddins + L"\\qev.Connect"));
    ASSERT_EQ(QevDll::Get().Install(FALSE, nullptr), S_OK);
    ExpectScriptKeys(HKEY_CLASSES_ROOT, L"", HKEY_LOCAL_MACHINE, false);
}

}  // namespace
