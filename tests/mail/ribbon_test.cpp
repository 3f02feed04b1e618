// The ribbon's answers that Outlook's calls in a scenario cannot reach: null
// outputs and foreign objects, every host call of the markup and the
// pictures failing in turn, a picture module without one PNG, and the
// pictures decoded once.
#include "ribbon/ribbon.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/fake/fake_modules.h"
#include "tests/mail/mail_world.h"

namespace qev::testing {
namespace {

using host::fake::FakeWorld;

const std::u16string kButtons = std::u16string(kRibbonIdNamespace) + kButtonsMarker;

class RibbonTest : public MailWorldTest {
protected:
    host::Ref<host::Object> Control(std::u16string_view shortId)
    {
        return m_world.RibbonControl(kButtons + std::u16string(shortId), FakeWorld::ControlContext::Explorer);
    }
    std::u16string Markup()
    {
        std::u16string markup;
        EXPECT_EQ(Addin().RibbonTab().GetCustomUI(u"Microsoft.Outlook.Explorer", &markup), S_OK);
        return markup;
    }
};

TEST_F(RibbonTest, NullOutputsAndForeignControlsGetTheirCodes)
{
    Start();
    Markup();
    Ribbon& r = Addin().RibbonTab();
    const host::Ref<host::Object> control = Control(u"IsSpam");
    // Not a ribbon control: the add-in instance object.
    host::Object* foreign = &m_world.AddInInstance();
    std::u16string text;
    std::int16_t flag = 0;
    std::int32_t size = 0;
    host::Ref<host::Object> picture;
    struct Case {
        const char* what;
        HRESULT got;
        HRESULT want;
    };
    const Case cases[] = {
        {"markup without output", r.GetCustomUI(u"x", nullptr), E_POINTER},
        {"visible without output", r.Ribbon_OnGetVisible(control.Get(), nullptr), E_POINTER},
        {"enabled without output", r.Ribbon_OnGetEnabled(nullptr, nullptr), E_POINTER},
        {"label without output", r.Ribbon_OnGetLabel(control.Get(), nullptr), E_POINTER},
        {"size without output", r.Ribbon_OnGetSize(control.Get(), nullptr), E_INVALIDARG},
        {"image without control", r.Ribbon_OnGetImage(nullptr, nullptr), E_INVALIDARG},
        {"image without output", r.Ribbon_OnGetImage(control.Get(), nullptr), E_POINTER},
        {"label without control", r.Ribbon_OnGetLabel(nullptr, &text), E_INVALIDARG},
        {"action without control", r.Ribbon_OnAction(nullptr), E_INVALIDARG},
        {"size of a foreign object", r.Ribbon_OnGetSize(foreign, &size), E_NOINTERFACE},
        {"enabled of a foreign object", r.Ribbon_OnGetEnabled(foreign, &flag), E_NOINTERFACE},
        {"image of a foreign object", r.Ribbon_OnGetImage(foreign, &picture), E_NOTIMPL},
        {"load of a foreign object", r.Ribbon_OnLoad(foreign), E_NOINTERFACE},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
    EXPECT_EQ(r.RibbonUI(), nullptr);

    // Ids no row has: the short id, an empty one, XML's special characters,
    // a lone surrogate, a megabyte of units, the full id with one unit more.
    const std::u16string ids[] = {u"IsSpam", u"", u"<a id=\"&amp;\"/>", std::u16string(1, u'\xD800'),
                                  std::u16string(1 << 20, u'x'), kButtons + u"IsSpam\x01"};
    for (const std::u16string& id : ids) {
        const host::Ref<host::Object> unknown = m_world.RibbonControl(id, FakeWorld::ControlContext::Explorer);
        EXPECT_EQ(r.Ribbon_OnGetLabel(unknown.Get(), &text), E_FAIL) << id.size();
        EXPECT_EQ(r.Ribbon_OnAction(unknown.Get()), E_FAIL) << id.size();
        EXPECT_EQ(r.Ribbon_OnGetImage(unknown.Get(), &picture), E_NOTIMPL) << id.size();
    }
    ShutDown();
}

TEST_F(RibbonTest, MarkupAndPicturesRunInTheAddinFolderAndPutTheDirectoryBack)
{
    const std::u16string_view path = host::fake::kDefaultAddinPath;
    const std::u16string addin(path.substr(0, path.rfind(u'\\')));
    const std::u16string documents = u"C:\\Users\\qev\\Documents";
    Start();
    m_world.System().SetCurrentFolder(documents);
    Ribbon& r = Addin().RibbonTab();
    host::Ref<host::Object> picture;
    // The directories made current by each request: the texts of a markup
    // (33) and a picture's decoding share one change there and one back.
    struct Case {
        const char* what;
        std::function<void()> request;
        std::vector<std::u16string> changes;
    } const cases[] = {
        {"markup", [&] { Markup(); }, {addin, documents}},
        {"first picture", [&] { r.Ribbon_OnGetImage(Control(u"IsSpam").Get(), &picture); }, {addin, documents}},
        {"decoded picture", [&] { r.Ribbon_OnGetImage(Control(u"IsSpam").Get(), &picture); }, {}},
    };
    for (const Case& c : cases) {
        const std::size_t before = m_world.System().CurrentDirChanges().size();
        c.request();
        const auto all = m_world.System().CurrentDirChanges();
        EXPECT_EQ(std::vector<std::u16string>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()), c.changes)
            << c.what;
        EXPECT_EQ(m_world.System().CurrentFolder(), documents) << c.what;
    }
}

TEST_F(RibbonTest, PicturesAreDecodedOnceAndEachRequestGetsItsOwnBitmap)
{
    // A layout module without the NotSpam picture: that button has none, at
    // every request, and the others are not affected.
    host::fake::FakeLibraries::Resources resources =
        host::fake::ResourcesOf(*host::fake::FindBuiltModule(u"ui\\ltr\\qev.ui"));
    resources.erase({host::ResourceType::Png, 209});
    const std::u16string_view addin = host::fake::kDefaultAddinPath;
    m_world.Libraries().Install(std::u16string(addin.substr(0, addin.rfind(u'\\'))) + u"\\ui\\ltr\\qev.ui", {},
                                resources);
    Start();
    Markup();
    Ribbon& r = Addin().RibbonTab();
    host::Ref<host::Object> first, second, none;
    EXPECT_EQ(r.Ribbon_OnGetImage(Control(u"Settings").Get(), &first), S_OK);
    EXPECT_EQ(r.Ribbon_OnGetImage(Control(u"Settings").Get(), &second), S_OK);
    EXPECT_EQ(r.Ribbon_OnGetImage(Control(u"NotSpam").Get(), &none), E_NOTIMPL);
    EXPECT_EQ(r.Ribbon_OnGetImage(Control(u"NotSpam").Get(), &none), E_NOTIMPL);
    EXPECT_FALSE(none);
    const auto* a = m_world.Graphics().FindPicture(first.Get());
    const auto* b = m_world.Graphics().FindPicture(second.Get());
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->Bitmap(), b->Bitmap());
    EXPECT_EQ(m_world.Graphics().Decodes(), 1u);
    // The Settings picture is resource 214, and it is opaque where the PNG is.
    const auto* pixels = m_world.Desktop().Find(a->Bitmap());
    ASSERT_TRUE(pixels);
    EXPECT_EQ(pixels->width, 32);
    first.Reset();
    second.Reset();
    ShutDown();
    Addin();  // the add-in object is let go at tear-down; its images go with it
}

// A ribbon session over the in-memory world: the markup asked for twice,
// every callback of a button, its picture, then Outlook closes.
struct RibbonSession {
    FakeWorld world;
    std::string escaped;
    std::vector<HRESULT> results;

    explicit RibbonSession(const std::function<void(FakeWorld&)>& arm)
    {
        ResetAddinProcess();
        arm(world);
        auto* addin = new ConnectObject(world.Services());
        try {
            CConnect& c = addin->Connect();
            c.OnConnection(&world.Application(), kConnectStartup, &world.AddInInstance());
            Ribbon& r = c.RibbonTab();
            std::u16string markup;
            results.push_back(r.GetCustomUI(u"Microsoft.Outlook.Explorer", &markup));
            results.push_back(r.GetCustomUI(u"Microsoft.Outlook.Mail.Read", &markup));
            results.push_back(r.Ribbon_OnLoad(static_cast<host::RibbonUI*>(&world.RibbonUI())));
            c.OnStartupComplete();
            for (const auto context : {FakeWorld::ControlContext::Explorer, FakeWorld::ControlContext::Inspector}) {
                const host::Ref<host::Object> control = world.RibbonControl(kButtons + u"IsSpam", context);
                std::int16_t flag = 0;
                std::u16string text;
                host::Ref<host::Object> picture;
                results.push_back(r.Ribbon_OnGetVisible(control.Get(), &flag));
                results.push_back(r.Ribbon_OnGetEnabled(control.Get(), &flag));
                results.push_back(r.Ribbon_OnGetLabel(control.Get(), &text));
                results.push_back(r.Ribbon_OnGetImage(control.Get(), &picture));
                results.push_back(r.Ribbon_OnAction(control.Get()));
            }
            world.Quit();
            c.OnDisconnection(0);
        } catch (const std::exception& e) {
            escaped = e.what();
        }
        addin->Release();
        ResetAddinProcess();
    }
};

// The interface table may refuse to revoke the engine observer's entry. It
// then keeps the add-in object, and with it the ribbon, until Outlook's
// process ends; the check at the end names the entry and nothing else.
TEST_F(RibbonTest, RefusedRevocationLeavesOnlyTheTableEntryAtExit)
{
    Start();
    Markup();
    ASSERT_EQ(Addin().RibbonTab().Ribbon_OnLoad(&m_world.RibbonUI()), S_OK);
    m_world.Calls().FailNamed("GIT.RevokeInterfaceFromGlobal", 1, E_FAIL);
    ShutDown();
    m_addin->Release();
    m_addin = nullptr;
    const std::vector<std::string> problems = m_world.ExitProblems();
    ASSERT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
    EXPECT_TRUE(problems[0].starts_with("interface table entry left: cookie ")) << problems[0];
}

bool IsRibbonCall(std::string_view what)
{
    for (const std::string_view prefix : {"Xml", "CLSIDFromProgID", "CoCreateInstance.DOM", "RibbonControl.",
                                          "RibbonUI.", "Inspector.", "Gdip.", "OleCreatePicture", "FindResource"})
        if (what.starts_with(prefix)) return true;
    return false;
}

TEST(RibbonFaults, EveryRibbonCallFailingOrThrowing)
{
    const HostCallList calls = PickHostCalls<RibbonSession>(IsRibbonCall);
    ASSERT_GT(calls.size(), 150u);
    FailEachInTurn<RibbonSession>(calls, [](RibbonSession& run, const std::string&, const std::string& where) {
        // The add-in object is gone: everything it held is back, the
        // ribbon object and the decoded pictures included.
        EXPECT_EQ(run.world.ReleaseProblems(), std::vector<std::string>{}) << where;
        EXPECT_EQ(run.world.Graphics().LiveImages(), 0u) << where;
    });
}

}  // namespace
}  // namespace qev::testing
