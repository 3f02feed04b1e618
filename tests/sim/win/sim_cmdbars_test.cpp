// The simulated Outlook's command bars reached through the add-in's own
// adapters (host/win/win_office.h), and the add-in's desktop over the prefix's
// real clipboard feeding PasteFace.
#include <olectl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/com_error.h"
#include "host/office.h"
#include "host/win/win_desktop.h"
#include "host/win/win_outlook.h"
#include "host/win/win_wrapper.h"
#include "sim/win/clipboard_holder.h"
#include "sim/win/sim_cmdbars.h"

namespace {

using namespace qev::sim::win;

HRESULT ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const host::ComError& e) {
        return e.Error();
    }
    return S_OK;
}

class ClickSink final : public host::EventSink {
public:
    void OnEvent(std::int32_t dispId, std::span<const host::Variant> args) override
    {
        ++clicks;
        EXPECT_EQ(dispId, host::kDispIdClick);
        ASSERT_EQ(args.size(), 2u);
        EXPECT_EQ(args[0].type, host::Variant::Type::Dispatch);  // Ctrl
        EXPECT_EQ(args[1].type, host::Variant::Type::Other);     // CancelDefault, by reference
    }
    int clicks = 0;
};

TEST(SimCommandBars, OfficesRulesThroughTheAddinsAdapters)
{
    Ledger ledger;
    CommandBarEvents* none = nullptr;
    SimCommandBars bars(ledger, "Explorer 1", none);
    ClickSink sink;
    {
        const auto adapter = host::QueryAs<host::CommandBars>(host::win::WrapDispatch(&bars).Get());
        ASSERT_TRUE(adapter);
        const auto bar = adapter->Add(u"Antispam", true);
        EXPECT_FALSE(bar->Visible()) << "Office makes new bars hidden";
        EXPECT_EQ(bar->Position(), 4) << "floating unless Position is given";
        EXPECT_EQ(ErrorOf([&] { adapter->Add(u"Antispam", true); }), E_INVALIDARG) << "a name in use";
        bar->SetPosition(0);
        bar->SetTop(-5);
        bar->SetVisible(true);
        EXPECT_EQ(bar->Position(), 0);
        EXPECT_EQ(bar->Top(), -5);
        EXPECT_TRUE(bar->Visible());
        EXPECT_EQ(ErrorOf([&] { bar->SetPosition(7); }), E_INVALIDARG);

        const auto button =
            host::QueryAs<host::CommandBarButton>(bar->Controls()->Add(host::kMsoControlButton, true).Get());
        ASSERT_TRUE(button);
        button->SetTag(u"tag");
        button->SetEnabled(false);
        button->Advise(host::EventInterface::CommandBarButtonEvents, &sink);
        SimButton& made = *bars.Bars()[0]->Buttons()[0];
        EXPECT_FALSE(made.Enabled());
        ASSERT_EQ(bars.ButtonsTagged(u"tag").size(), 1u);
        made.RaiseClick();
        EXPECT_EQ(sink.clicks, 1);
    }
    EXPECT_EQ(ledger.Problems(), std::vector<std::string>{});

    // A sink left subscribed when the add-in lets its button go: Office drops
    // it, and clicks reach nobody.
    SimButton& button = *bars.Bars()[0]->Buttons()[0];
    {
        host::win::ComPtr<IConnectionPointContainer> held;  // the add-in's reference
        ASSERT_EQ(button.QueryInterface(IID_IConnectionPointContainer, held.OutVoid()), S_OK);
        host::win::ComPtr<IConnectionPoint> point;
        ASSERT_EQ(held->FindConnectionPoint(kCommandBarButtonEvents, point.Out()), S_OK);
        const auto sinkObject = host::win::Make<host::win::SinkObject>(kCommandBarButtonEvents, &sink);
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sinkObject.Get(), &cookie), S_OK);
        button.RaiseClick();
        EXPECT_EQ(sink.clicks, 2);
    }
    EXPECT_TRUE(bars.LiveSubscriptions().empty());
    button.RaiseClick();
    EXPECT_EQ(sink.clicks, 2);
    EXPECT_EQ(ledger.Problems(), std::vector<std::string>{});
}

// The clipboard rules the add-in relies on, under Wine: a bitmap set without
// emptying keeps the text beside it, PasteFace takes that bitmap and fails
// without one, and the copies the backup makes keep the size (1 by 1 too).
TEST(WinDesktop, BitmapBesideTextOnTheRealClipboardFeedsPasteFace)
{
    host::win::WinDesktop desktop;
    std::uint32_t error = 0;
    ASSERT_TRUE(desktop.OpenClipboard(error));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, sizeof(L"kept"));
    std::memcpy(GlobalLock(text), L"kept", sizeof(L"kept"));
    GlobalUnlock(text);
    SetClipboardData(CF_UNICODETEXT, text);
    ASSERT_TRUE(desktop.CloseClipboard(error));

    Ledger ledger;
    CommandBarEvents* none = nullptr;
    SimCommandBar bar(ledger, u"Bar", 1, none);
    SimButton& button = bar.AddButton();
    const auto adapter = host::QueryAs<host::CommandBarButton>(host::win::WrapDispatch(&button).Get());
    ASSERT_TRUE(adapter);
    EXPECT_EQ(ErrorOf([&] { adapter->PasteFace(); }), E_FAIL) << "no bitmap on the clipboard";

    for (const auto& [width, height] : {std::pair{7, 5}, std::pair{1, 1}}) {
        HDC screen = GetDC(nullptr);
        HBITMAP original = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        const host::BitmapHandle dib = desktop.CopyToDibSection(original);
        const host::BitmapHandle copy = desktop.CopyToScreenBitmap(dib, width, height);
        std::int32_t w = 0, h = 0;
        ASSERT_TRUE(desktop.BitmapSize(copy, w, h));
        EXPECT_EQ(std::pair(w, h), std::pair(width, height));
        desktop.DeleteBitmap(original);
        desktop.DeleteBitmap(dib);

        ASSERT_TRUE(desktop.OpenClipboard(error));
        EXPECT_TRUE(desktop.SetClipboardBitmap(copy, error));  // the clipboard owns it now
        ASSERT_TRUE(desktop.CloseClipboard(error));
        adapter->PasteFace();
        EXPECT_EQ(button.FaceSize(), std::optional(std::pair<LONG, LONG>(width, height)));
    }
    ASSERT_TRUE(desktop.OpenClipboard(error));
    EXPECT_FALSE(ClipboardHolder::OpenableElsewhere()) << "what `expect released` sees of a clipboard left open";
    EXPECT_TRUE(desktop.ClipboardHasBitmap());
    const auto* kept = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
    EXPECT_STREQ(kept, L"kept");
    EmptyClipboard();
    desktop.CloseClipboard(error);
    EXPECT_TRUE(ClipboardHolder::OpenableElsewhere());
}

}  // namespace
