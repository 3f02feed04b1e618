// The registration script engine against the in-memory registry: qev.dll's
// own script (resources/qev.rgs), the marks' semantics, the per-user
// mapping, malformed scripts and registry failures.
#include "addin/registrar.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "host/fake/fake_ledger.h"
#include "host/fake/fake_registry.h"
#include "host/utf.h"
#include "host/fake/fake_text.h"

namespace {

using host::RegRoot;
using host::RegValue;
using host::fake::FakeRegistry;
using qev::Registrar;

constexpr char16_t kModule[] = u"C:\\Program Files\\Marlowcrest\\O'Neil 100%\\qev.dll";
constexpr char16_t kClsidKey[] = u"CLSID\\{4190EC4D-6B01-4CF9-9DE5-088485114359}";
constexpr char16_t kAddins[] = u"Software\\Microsoft\\Office\\Outlook\\Addins";

std::u16string ProductScript()
{
    std::ifstream file(QEV_RGS_PATH, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::u16string script;
    EXPECT_FALSE(bytes.empty()) << "cannot read " << QEV_RGS_PATH;
    EXPECT_TRUE(qev::DecodeScript(bytes, script));
    return script;
}

struct World {
    host::fake::HostCalls calls;
    FakeRegistry registry{calls};
    Registrar registrar{registry};

    World()
    {
        registrar.AddReplacement(u"MODULE", kModule);
        registrar.AddReplacement(u"APPID", u"");
    }

    // Keys and values that are not the add-in's and must outlive it.
    void PutNeighbours()
    {
        registry.Put(RegRoot::ClassesRoot, u"CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32", u"",
                     RegValue::Text(u"other.dll"));
        registry.Put(RegRoot::ClassesRoot, u".txt", u"", RegValue::Text(u"txtfile"));
        registry.Put(RegRoot::LocalMachine, std::u16string(kAddins) + u"\\Other.Addin", u"LoadBehavior",
                     RegValue::Dword(3));
        registry.Put(RegRoot::LocalMachine, u"Software\\Microsoft\\Office\\Outlook", u"Version", RegValue::Text(u"16"));
    }
};

// What stays of a registration after unregistration: the parents nobody may
// remove.
const char kUnregistered[] =
    "HKCR\\CLSID\n"
    "HKLM\\Software\n"
    "HKLM\\Software\\Microsoft\n"
    "HKLM\\Software\\Microsoft\\Office\n"
    "HKLM\\Software\\Microsoft\\Office\\Outlook\n"
    "HKLM\\Software\\Microsoft\\Office\\Outlook\\Addins\n";

TEST(Registrar, ProductScriptRegistersAndUnregistersToTheParents)
{
    World world;
    const std::u16string script = ProductScript();

    ASSERT_EQ(world.registrar.Register(script), S_OK) << host::Utf8(world.registrar.LastError());
    // The module's path goes in as it is, its quote and percent sign included.
    const auto server = world.registry.Get(RegRoot::ClassesRoot, std::u16string(kClsidKey) + u"\\InprocServer32", u"");
    ASSERT_TRUE(server);
    EXPECT_EQ(server->data, RegValue::Text(kModule).data);
    const auto loadBehavior =
        world.registry.Get(RegRoot::LocalMachine, std::u16string(kAddins) + u"\\qev.Connect", u"LoadBehavior");
    ASSERT_TRUE(loadBehavior);
    EXPECT_EQ(loadBehavior->data, RegValue::Dword(3).data);
    const std::string once = world.registry.Dump();
    ASSERT_EQ(world.registrar.Register(script), S_OK) << "registering twice";
    EXPECT_EQ(world.registry.Dump(), once) << "registering twice changes nothing";

    ASSERT_EQ(world.registrar.Unregister(script), S_OK) << host::Utf8(world.registrar.LastError());
    EXPECT_EQ(world.registry.Dump(), kUnregistered);
    ASSERT_EQ(world.registrar.Unregister(script), S_OK) << "unregistering what is gone";
    EXPECT_EQ(world.registry.Dump(), kUnregistered);
    EXPECT_EQ(world.registry.OpenKeys(), 0u);

    // Every request went to the default view.
    for (const std::string& request : world.registry.Requests()) {
        const bool keyRequest = request.rfind("OpenKey", 0) == 0 || request.rfind("CreateKey", 0) == 0 ||
                                request.rfind("DeleteTree", 0) == 0;
        if (keyRequest) {
            EXPECT_EQ(request.substr(request.size() - 7), "default") << request;
        }
    }

    // Other programs' keys beside the add-in's outlive it.
    World neighbours;
    neighbours.PutNeighbours();
    const std::string before = neighbours.registry.Dump();
    ASSERT_EQ(neighbours.registrar.Register(script), S_OK);
    ASSERT_EQ(neighbours.registrar.Unregister(script), S_OK);
    EXPECT_EQ(neighbours.registry.Dump(), before);
}

TEST(Registrar, ForceRemoveReplacesStaleKeysWhole)
{
    World fresh;
    ASSERT_EQ(fresh.registrar.Register(ProductScript()), S_OK);

    World world;
    const std::u16string clsid = kClsidKey;
    const std::u16string addin = std::u16string(kAddins) + u"\\qev.Connect";
    world.registry.Put(RegRoot::ClassesRoot, clsid + u"\\InprocServer32", u"", RegValue::Text(u"D:\\old\\qev.dll"));
    world.registry.Put(RegRoot::ClassesRoot, clsid + u"\\LocalServer32", u"", RegValue::Text(u"old.exe"));
    world.registry.Put(RegRoot::ClassesRoot, clsid, u"AppID", RegValue::Text(u"{stale}"));
    world.registry.Put(RegRoot::ClassesRoot, u"qev.Connect\\CurVer", u"", RegValue::Text(u"qev.Connect.0"));
    world.registry.Put(RegRoot::ClassesRoot, u"qev.Connect\\Stale", u"", RegValue::Text(u"x"));
    world.registry.Put(RegRoot::LocalMachine, addin, u"LoadBehavior", RegValue::Dword(2));
    world.registry.Put(RegRoot::LocalMachine, addin, u"CommandLineSafe", RegValue::Dword(1));
    world.registry.Put(RegRoot::LocalMachine, addin + u"\\Sub", u"", RegValue::Text(u"x"));

    ASSERT_EQ(world.registrar.Register(ProductScript()), S_OK);
    EXPECT_EQ(world.registry.Dump(), fresh.registry.Dump());
}

// The marks, one at a time, on small scripts: what each run leaves.
TEST(Registrar, MarksDecideWhatRegisteringAndUnregisteringDo)
{
    struct Case {
        const char* name;
        const char16_t* script;
        void (*prepare)(FakeRegistry&);
        const char* registered;
        const char* unregistered;
    };
    const Case cases[] = {
        {"a plain key goes when nothing foreign is left in it", u"HKCU { A = s 'x' { B { val V = d 7 } } }",
         [](FakeRegistry&) {}, "HKCU\\A\n  (default) = REG_SZ \"x\"\nHKCU\\A\\B\n  V = REG_DWORD 0x00000007\n", ""},
        {"a plain key keeps a foreign subkey and loses only the script's values",
         u"HKCU { A = s 'x' { val V = s 'v' } }",
         [](FakeRegistry& r) {
             r.Put(RegRoot::CurrentUser, u"A\\Foreign", u"", RegValue::Text(u"f"));
             r.Put(RegRoot::CurrentUser, u"A", u"Other", RegValue::Text(u"o"));
         },
         "HKCU\\A\n  (default) = REG_SZ \"x\"\n  Other = REG_SZ \"o\"\n  V = REG_SZ \"v\"\n"
         "HKCU\\A\\Foreign\n  (default) = REG_SZ \"f\"\n",
         "HKCU\\A\n  Other = REG_SZ \"o\"\nHKCU\\A\\Foreign\n  (default) = REG_SZ \"f\"\n"},
        {"a NoRemove key stays and loses its script values", u"HKCU { NoRemove A { val V = s 'v' B } }",
         [](FakeRegistry& r) { r.Put(RegRoot::CurrentUser, u"A", u"Other", RegValue::Text(u"o")); },
         "HKCU\\A\n  Other = REG_SZ \"o\"\n  V = REG_SZ \"v\"\nHKCU\\A\\B\n", "HKCU\\A\n  Other = REG_SZ \"o\"\n"},
        {"a ForceRemove key goes whole, foreign content included", u"HKCU { ForceRemove A { B } }",
         [](FakeRegistry& r) { r.Put(RegRoot::CurrentUser, u"A\\Old", u"", RegValue::Text(u"o")); },
         "HKCU\\A\nHKCU\\A\\B\n", ""},
        {"a Delete key is deleted at registration and left alone after", u"HKCU { Delete Old  A }",
         [](FakeRegistry& r) { r.Put(RegRoot::CurrentUser, u"Old\\Deep", u"", RegValue::Text(u"o")); }, "HKCU\\A\n",
         ""},
        {"value types, quoting and case of keywords",
         u"hkey_current_user { 'val' { VAL 'it''s' = E '%%SystemRoot%%' val Bin = b 00fF10 "
         u"val Hex = D 0xFFFFFFFF val Zero = d '0' } }",
         [](FakeRegistry&) {},
         "HKCU\\val\n  Bin = REG_BINARY [00 FF 10]\n  Hex = REG_DWORD 0xFFFFFFFF\n"
         "  it's = REG_EXPAND_SZ \"%SystemRoot%\"\n  Zero = REG_DWORD 0x00000000\n",
         ""},
    };
    for (const Case& c : cases) {
        World world;
        c.prepare(world.registry);
        ASSERT_EQ(world.registrar.Register(c.script), S_OK) << c.name << ": " << host::Utf8(world.registrar.LastError());
        EXPECT_EQ(world.registry.Dump(), c.registered) << c.name;
        ASSERT_EQ(world.registrar.Unregister(c.script), S_OK) << c.name << ": " << host::Utf8(world.registrar.LastError());
        EXPECT_EQ(world.registry.Dump(), c.unregistered) << c.name;
        EXPECT_EQ(world.registry.OpenKeys(), 0u) << c.name;
    }
}

TEST(Registrar, PerUserRunWritesOnlyUnderTheCurrentUser)
{
    World world;
    world.PutNeighbours();
    world.registrar.SetMappings(qev::PerUserMappings());
    const std::u16string script = ProductScript();

    ASSERT_EQ(world.registrar.Register(script), S_OK) << host::Utf8(world.registrar.LastError());
    for (const std::string& request : world.registry.Requests())
        EXPECT_NE(request.find(" HKCU\\"), std::string::npos) << "reaches beyond the user: " << request;
    EXPECT_EQ(
        world.registry
            .Get(RegRoot::CurrentUser, std::u16string(u"Software\\Classes\\") + kClsidKey + u"\\InprocServer32", u"")
            ->data,
        RegValue::Text(kModule).data);
    EXPECT_TRUE(world.registry.KeyExists(RegRoot::CurrentUser, u"Software\\Classes\\qev.Connect\\CurVer"));
    EXPECT_TRUE(world.registry.KeyExists(RegRoot::CurrentUser, u"Software\\Classes\\qev.Connect.1\\CLSID"));
    const auto loadBehavior =
        world.registry.Get(RegRoot::CurrentUser, std::u16string(kAddins) + u"\\qev.Connect", u"LoadBehavior");
    ASSERT_TRUE(loadBehavior);
    EXPECT_EQ(loadBehavior->data, RegValue::Dword(3).data);
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::ClassesRoot, u"qev.Connect"));
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::LocalMachine, std::u16string(kAddins) + u"\\qev.Connect"));

    world.registry.ClearRequests();
    ASSERT_EQ(world.registrar.Unregister(script), S_OK) << host::Utf8(world.registrar.LastError());
    for (const std::string& request : world.registry.Requests())
        EXPECT_NE(request.find(" HKCU\\"), std::string::npos) << "reaches beyond the user: " << request;
    EXPECT_TRUE(world.registry.KeyExists(RegRoot::CurrentUser, u"Software\\Classes\\CLSID"));
    EXPECT_TRUE(world.registry.KeyExists(RegRoot::CurrentUser, kAddins));
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::CurrentUser, std::u16string(u"Software\\Classes\\") + kClsidKey));
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::CurrentUser, u"Software\\Classes\\qev.Connect"));
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::CurrentUser, u"Software\\Classes\\qev.Connect.1"));
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::CurrentUser, std::u16string(kAddins) + u"\\qev.Connect"));
}

TEST(Registrar, PerUserRunRefusesKeysOutsideItsAreasBeforeTouchingAnything)
{
    const char16_t* scripts[] = {
        u"HKLM { NoRemove Software { Marlowcrest { val X = d 1 } } }",
        u"HKLM { NoRemove Software { val X = d 1 } }",
        u"HKLM { ForceRemove Software { NoRemove Microsoft } }",
        u"HKCU { A }",
        u"HKCR { B } HKLM { C }",
    };
    for (const char16_t* script : scripts) {
        World world;
        world.PutNeighbours();
        world.registrar.SetMappings(qev::PerUserMappings());
        const std::string before = world.registry.Dump();
        EXPECT_EQ(world.registrar.Register(script), qev::kHrOutsideMapping) << host::Utf8(script);
        EXPECT_FALSE(world.registrar.LastError().empty());
        EXPECT_EQ(world.registrar.Unregister(script), qev::kHrOutsideMapping) << host::Utf8(script);
        EXPECT_EQ(world.registry.Dump(), before) << host::Utf8(script);
        EXPECT_TRUE(world.registry.Requests().empty()) << host::Utf8(script);
    }
}

TEST(Registrar, MalformedScriptsFailWithALineAndChangeNothing)
{
    struct Case {
        const char16_t* script;
        const char* error;  // the start of LastError
    };
    const Case cases[] = {
        {u"HKCR { A { B }", "line 1: the script ends"},
        {u"HKCR { A } }", "line 1: unknown root key '}'"},
        {u"HKCR\n{\n  A = s 'never closed\n}\n", "line 3: unterminated"},
        {u"HKXX { A }", "line 1: unknown root key 'HKXX'"},
        {u"'HKCR' { A }", "line 1: unknown root key"},
        {u"HKCR A", "line 1: '{' expected, found 'A'"},
        {u"HKCR { A = q 'x' }", "line 1: unknown value type 'q'"},
        {u"HKCR { A = d twelve }", "line 1: 'twelve' is not a number"},
        {u"HKCR { A = d 4294967296 }", "line 1: '4294967296' does not fit"},
        {u"HKCR { A = d -1 }", "line 1: '-1' is not a number"},
        {u"HKCR { A = d 0x }", "line 1: '0x' is not a number"},
        {u"HKCR { A = b 0F1 }", "line 1: '0F1' has an odd number"},
        {u"HKCR { A = b 0G }", "line 1: '0G' is not hex data"},
        {u"HKCR { A = }", "line 1: the script ends"},
        {u"HKCR { A { val V s 'x' } }", "line 1: '=' expected, found 's'"},
        {u"HKCR { val V = s 'x' }", "line 1: a value needs a key"},
        {u"HKCR { A = s '%FOLDER%' }", "line 1: no replacement for %FOLDER%"},
        {u"HKCR { A = s '100%' }", "line 1: '%' without"},
        {u"HKCR { NoRemove ForceRemove A }", "line 1: more than one"},
        {u"HKCR { Delete A = s 'x' }", "line 1: the Delete key 'A' cannot"},
        {u"HKCR { 'A\\B' }", "line 1: '\\' in the key name"},
        {u"HKCR { '' }", "line 1: empty key name"},
        {u"HKCR { = }", "line 1: '=' where a key name"},
        {u"HKCR {\n A\n}\nHKLM {\n B {\n}\n", "line 6: the script ends"},
    };
    for (const Case& c : cases) {
        World world;
        world.PutNeighbours();
        const std::string before = world.registry.Dump();
        EXPECT_EQ(world.registrar.Register(c.script), qev::kHrScriptSyntax) << host::Utf8(c.script);
        EXPECT_EQ(host::Utf8(world.registrar.LastError()).rfind(c.error, 0), 0u)
            << host::Utf8(c.script) << "\n  said: " << host::Utf8(world.registrar.LastError()) << "\n  expected: " << c.error;
        EXPECT_EQ(world.registrar.Unregister(c.script), qev::kHrScriptSyntax) << host::Utf8(c.script);
        EXPECT_EQ(world.registry.Dump(), before) << host::Utf8(c.script);
        EXPECT_TRUE(world.registry.Requests().empty()) << host::Utf8(c.script);
    }
    // Nothing at all is a script that does nothing.
    World world;
    EXPECT_EQ(world.registrar.Register(u" \r\n\t"), S_OK);
}

// Every registry request of a registration and of an unregistration, failed
// or thrown in turn: the run answers the failure (or shrugs off a missing key
// where that is harmless), throws nothing and leaves no key open.
TEST(Registrar, EveryRegistryFailureIsAnsweredAndNothingIsLeftOpen)
{
    const std::u16string script = ProductScript();
    for (const bool registering : {true, false}) {
        std::uint64_t calls = 0;
        {
            World world;
            if (!registering) {
                ASSERT_EQ(world.registrar.Register(script), S_OK);
            }
            const std::uint64_t start = world.calls.Count();
            ASSERT_EQ(registering ? world.registrar.Register(script) : world.registrar.Unregister(script), S_OK);
            calls = world.calls.Count() - start;
        }
        ASSERT_GE(calls, 10u);
        for (std::uint64_t n = 1; n <= calls; ++n) {
            for (const bool toThrow : {false, true}) {
                World world;
                if (!registering) {
                    ASSERT_EQ(world.registrar.Register(script), S_OK);
                }
                const std::uint64_t at = world.calls.Count() + n;
                if (toThrow)
                    world.calls.ThrowAt(at);
                else
                    world.calls.FailAt(at, host::kHrAccessDenied);
                const HRESULT hr = registering ? world.registrar.Register(script) : world.registrar.Unregister(script);
                ASSERT_TRUE(world.calls.Fired()) << n;
                EXPECT_EQ(hr, toThrow ? E_UNEXPECTED : host::kHrAccessDenied)
                    << (registering ? "register" : "unregister") << " failing call " << n << " "
                    << world.calls.FiredAt();
                if (!toThrow) {
                    EXPECT_FALSE(world.registrar.LastError().empty());
                }
                EXPECT_EQ(world.registry.OpenKeys(), 0u);
            }
        }
    }
}

TEST(Registrar, UnregisteringGoesOnPastAFailure)
{
    World world;
    const std::u16string script = ProductScript();
    ASSERT_EQ(world.registrar.Register(script), S_OK);
    // The first request of the unregistration fails: the rest is still removed.
    world.calls.FailAt(world.calls.Count() + 1, host::kHrAccessDenied);
    EXPECT_EQ(world.registrar.Unregister(script), host::kHrAccessDenied);
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::ClassesRoot, kClsidKey));
    EXPECT_FALSE(world.registry.KeyExists(RegRoot::LocalMachine, std::u16string(kAddins) + u"\\qev.Connect"));
}

TEST(Registrar, DecodesTheResourceText)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        bool ok;
        std::u16string text;
    };
    const Case cases[] = {
        {{'H', 'K', 'C', 'R'}, true, u"HKCR"},
        {{0xEF, 0xBB, 0xBF, 'A', 0xC3, 0xA9}, true, u"A\u00E9"},
        {{0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}, true, u"\u20AC\U0001F600"},
        {{0xFF, 0xFE, 'A', 0, 0xAC, 0x20}, true, u"A\u20AC"},
        {{0xFF, 0xFE, 'A'}, false, u""},
        {{'A', 0xC3}, false, u""},               // cut short
        {{0xC0, 0x80}, false, u""},              // overlong
        {{0xED, 0xA0, 0x80}, false, u""},        // a surrogate
        {{0xF4, 0x90, 0x80, 0x80}, false, u""},  // past U+10FFFF
        {{0x80}, false, u""},
        {{}, true, u""},
    };
    for (const Case& c : cases) {
        std::u16string text = u"junk";
        EXPECT_EQ(qev::DecodeScript(c.bytes, text), c.ok) << host::Utf8(c.text);
        if (c.ok) {
            EXPECT_EQ(text, c.text);
        }
    }
}

}  // namespace
