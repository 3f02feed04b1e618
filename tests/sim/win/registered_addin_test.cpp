// How the simulated Outlook finds an installed add-in in the registry, on a
// ProgID and class of the test's own (the prefix's qev.Connect is left alone).
#include "sim/win/registered_addin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qev::sim::win::AddinNotFound;
using qev::sim::win::FindRegisteredAddin;

constexpr wchar_t kProgId[] = L"qevtest.Registered";
constexpr wchar_t kClsid[] = L"{5C6E1B2A-83D4-4F0E-9A57-2B1D7E4C9F30}";
constexpr wchar_t kAddins[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\qevtest.Registered";
constexpr wchar_t kProgIdKey[] = L"Software\\Classes\\qevtest.Registered";
const std::wstring kClassKey = std::wstring(L"Software\\Classes\\CLSID\\") + kClsid;

enum Hive { User, Machine };

struct Value {
    Hive hive;
    std::wstring key;
    const wchar_t* name;  // null: the default value
    DWORD type;
    std::wstring text;  // REG_SZ, REG_EXPAND_SZ
    DWORD number = 0;   // REG_DWORD
};

HKEY Root(Hive hive)
{
    return hive == User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

void Clear()
{
    for (const Hive hive : {User, Machine})
        for (const std::wstring& key : {std::wstring(kAddins), std::wstring(kProgIdKey), kClassKey}) {
            RegDeleteTreeW(Root(hive), key.c_str());
            RegDeleteKeyW(Root(hive), key.c_str());
        }
}

void Write(const Value& v)
{
    const bool text = v.type != REG_DWORD;
    const void* data = text ? static_cast<const void*>(v.text.c_str()) : &v.number;
    const DWORD bytes = text ? static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)) : sizeof(DWORD);
    ASSERT_EQ(RegSetKeyValueW(Root(v.hive), v.key.c_str(), v.name, v.type, data, bytes), ERROR_SUCCESS);
}

Value Addin(Hive hive, DWORD behavior)
{
    return {hive, kAddins, L"LoadBehavior", REG_DWORD, L"", behavior};
}
Value ProgId(Hive hive)
{
    return {hive, std::wstring(kProgIdKey) + L"\\CLSID", nullptr, REG_SZ, kClsid};
}
Value Server(Hive hive, const std::wstring& path, DWORD type = REG_SZ)
{
    return {hive, kClassKey + L"\\InprocServer32", nullptr, type, path};
}

TEST(RegisteredAddin, FoundAsOutlookFindsItOrSaidWhyNot)
{
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", windows, MAX_PATH), 0u);
    const std::string clsid = "{5C6E1B2A-83D4-4F0E-9A57-2B1D7E4C9F30}";
    struct Case {
        const char* what;
        std::vector<Value> keys;
        std::string found;  // Describe() of the answer, or a part of AddinNotFound's message
    } const cases[] = {
        {"per user",
         {Addin(User, 3), ProgId(User), Server(User, L"C:\\U\\qev.dll")},
         "qevtest.Registered: the user's Addins key (LoadBehavior 3), class " + clsid +
             " of the user's classes, server C:\\U\\qev.dll"},
        {"per machine",
         {Addin(Machine, 3), ProgId(Machine), Server(Machine, L"C:\\M\\qev.dll")},
         "qevtest.Registered: the machine's Addins key (LoadBehavior 3), class " + clsid +
             " of the machine's classes, server C:\\M\\qev.dll"},
        {"the user's keys before the machine's",
         {Addin(User, 3), Addin(Machine, 3), ProgId(User), ProgId(Machine), Server(User, L"C:\\U\\qev.dll"),
          Server(Machine, L"C:\\M\\qev.dll")},
         "qevtest.Registered: the user's Addins key (LoadBehavior 3), class " + clsid +
             " of the user's classes, server C:\\U\\qev.dll"},
        {"each key merged on its own: the user's ProgID, the machine's class",
         {Addin(Machine, 3), ProgId(User), Server(Machine, L"C:\\M\\qev.dll")},
         "qevtest.Registered: the machine's Addins key (LoadBehavior 3), class " + clsid +
             " of the machine's classes, server C:\\M\\qev.dll"},
        {"an expandable server path",
         {Addin(User, 3), ProgId(User), Server(User, L"%SystemRoot%\\qev.dll", REG_EXPAND_SZ)},
         "qevtest.Registered: the user's Addins key (LoadBehavior 3), class " + clsid +
             " of the user's classes, server " + std::string(windows, windows + wcslen(windows)) + "\\qev.dll"},
        {"loaded on demand only", {Addin(User, 9), ProgId(User)},
         "is not loaded at start-up: the user's Addins key has LoadBehavior 9"},
        {"unloaded", {Addin(Machine, 2), ProgId(Machine)}, "has LoadBehavior 2"},
        {"no Addins key", {ProgId(User), Server(User, L"C:\\U\\qev.dll")},
         "is not registered with Outlook: no Addins key"},
        {"no ProgID", {Addin(User, 3), Server(User, L"C:\\U\\qev.dll")}, "has no class id"},
        {"no server", {Addin(User, 3), ProgId(User)}, "has no in-process server"},
    };
    for (const Case& c : cases) {
        Clear();
        for (const Value& v : c.keys) Write(v);
        std::string answer;
        try {
            answer = FindRegisteredAddin(kProgId).Describe();
        } catch (const AddinNotFound& e) {
            answer = e.what();
        }
        EXPECT_NE(answer.find(c.found), std::string::npos) << c.what << ": " << answer;
    }
    Clear();
}

}  // namespace
