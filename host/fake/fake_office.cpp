#include "host/fake/fake_office.h"

#include "host/com_error.h"

namespace host::fake {

// ---- button ----

FakeCommandBarButton::FakeCommandBarButton(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop,
                                           FakeCommandBar& bar, int number)
    : Counted(ledger, "CommandBarButton", "CommandBarButton " + std::to_string(number)),
      m_calls(calls),
      m_desktop(desktop),
      m_bar(bar),
      m_points({EventInterface::CommandBarButtonEvents})
{
}

Object* FakeCommandBarButton::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("CommandBarButton.QueryInterface"))) return nullptr;
    switch (iface) {
        case Iface::Unknown:
        case Iface::EventSource:
        case Iface::CommandBarButton:
            return Hand(static_cast<CommandBarButton*>(this));
        default:
            return nullptr;
    }
}

std::uint32_t FakeCommandBarButton::Advise(EventInterface iface, EventSink* sink)
{
    m_calls.Enter("CommandBarButton.Advise");
    return m_points.Advise(iface, sink);
}

void FakeCommandBarButton::Unadvise(EventInterface iface, std::uint32_t cookie)
{
    m_points.Cut(iface, cookie);
    m_calls.Enter("CommandBarButton.Unadvise");
    m_points.Unadvise(iface, cookie);
}

void FakeCommandBarButton::SetCaption(std::u16string_view caption)
{
    m_calls.Enter("CommandBarButton.Caption");
    m_caption = caption;
}

void FakeCommandBarButton::SetTooltipText(std::u16string_view tooltip)
{
    m_calls.Enter("CommandBarButton.TooltipText");
    m_tooltip = tooltip;
}

void FakeCommandBarButton::SetTag(std::u16string_view tag)
{
    m_calls.Enter("CommandBarButton.Tag");
    m_tag = tag;
}

void FakeCommandBarButton::SetStyle(std::int32_t style)
{
    m_calls.Enter("CommandBarButton.Style");
    m_style = style;
}

void FakeCommandBarButton::SetEnabled(bool enabled)
{
    m_calls.Enter("CommandBarButton.Enabled");
    m_enabled = enabled;
    if (m_bar.Listener().enabledSet) m_bar.Listener().enabledSet(*this, enabled);
}

void FakeCommandBarButton::PasteFace()
{
    m_calls.Enter("CommandBarButton.PasteFace");
    const FakeDesktop::Picture* picture = m_desktop.Find(m_desktop.ClipboardPictureHandle());
    if (!picture) throw ComError(E_FAIL);
    m_face = *picture;
}

std::size_t FakeCommandBarButton::FireClick()
{
    if (!Held()) return 0;
    Variant self;
    self.type = Variant::Type::Dispatch;
    self.object = Ref<Object>::Share(static_cast<CommandBarButton*>(this));
    Variant cancel;
    cancel.type = Variant::Type::Other;  // VT_BYREF | VT_BOOL: nothing the add-in unwraps
    const Variant args[] = {self, cancel};
    return m_points.Fire(EventInterface::CommandBarButtonEvents, kDispIdClick, args);
}

std::vector<std::string> FakeCommandBarButton::LiveSubscriptions() const
{
    if (!Held()) return {};  // Office dropped them with the button
    std::vector<std::string> live;
    for (const std::string& line : m_points.Live()) live.push_back(LedgerName() + " " + line);
    return live;
}

// ---- controls ----

FakeCommandBarControls::FakeCommandBarControls(Ledger& ledger, HostCalls& calls, FakeCommandBar& bar)
    : Counted(ledger, "CommandBarControls", "CommandBarControls"), m_calls(calls), m_bar(bar)
{
}

Object* FakeCommandBarControls::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("CommandBarControls.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::CommandBarControls)
        return Hand(static_cast<CommandBarControls*>(this));
    return nullptr;
}

Ref<Object> FakeCommandBarControls::Add(std::int32_t type, bool /*temporary*/)
{
    m_calls.Enter("CommandBarControls.Add");
    if (type != kMsoControlButton) throw ComError(E_INVALIDARG);
    FakeCommandBarButton& button = m_bar.AddButton();
    return Ref<Object>::Share(static_cast<CommandBarButton*>(&button));
}

// ---- bar ----

FakeCommandBar::FakeCommandBar(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop,
                               const CommandBarListener& listener, std::u16string name, int number)
    : Counted(ledger, "CommandBar", "CommandBar " + std::to_string(number)),
      m_ledger(ledger),
      m_calls(calls),
      m_desktop(desktop),
      m_listener(listener),
      m_name(std::move(name)),
      m_number(number)
{
}

Object* FakeCommandBar::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("CommandBar.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::CommandBar) return Hand(static_cast<CommandBar*>(this));
    return nullptr;
}

std::int32_t FakeCommandBar::Position()
{
    m_calls.Enter("CommandBar.Position");
    return m_position;
}

std::int32_t FakeCommandBar::Top()
{
    m_calls.Enter("CommandBar.Top");
    return m_top;
}

std::int32_t FakeCommandBar::Left()
{
    m_calls.Enter("CommandBar.Left");
    return m_left;
}

bool FakeCommandBar::Visible()
{
    m_calls.Enter("CommandBar.Visible");
    return m_visible;
}

void FakeCommandBar::SetPosition(std::int32_t position)
{
    m_calls.Enter("CommandBar.Position");
    // What Office does with msoBarPopup or msoBarMenuBar on a toolbar is not
    // documented; the bar keeps any MsoBarPosition and refuses only values
    // outside the enumeration, so no scenario leans on the unknown case.
    if (position < 0 || position > 6) throw ComError(E_INVALIDARG);
    m_position = position;
}

void FakeCommandBar::SetTop(std::int32_t top)
{
    m_calls.Enter("CommandBar.Top");
    m_top = top;
}

void FakeCommandBar::SetLeft(std::int32_t left)
{
    m_calls.Enter("CommandBar.Left");
    m_left = left;
}

void FakeCommandBar::SetProtection(std::int32_t protection)
{
    m_calls.Enter("CommandBar.Protection");
    m_protection = protection;
}

void FakeCommandBar::SetVisible(bool visible)
{
    m_calls.Enter("CommandBar.Visible");
    m_visible = visible;
    if (m_listener.visibleSet) m_listener.visibleSet(*this);
}

Ref<CommandBarControls> FakeCommandBar::Controls()
{
    m_calls.Enter("CommandBar.Controls");
    if (!m_controls) m_controls = std::make_unique<FakeCommandBarControls>(m_ledger, m_calls, *this);
    return Ref<CommandBarControls>::Share(m_controls.get());
}

FakeCommandBarButton& FakeCommandBar::AddButton()
{
    const int number = m_number * 100 + static_cast<int>(m_buttons.size()) + 1;
    m_buttons.push_back(std::make_unique<FakeCommandBarButton>(m_ledger, m_calls, m_desktop, *this, number));
    return *m_buttons.back();
}

void FakeCommandBar::Move(std::optional<std::int32_t> position, std::optional<std::int32_t> top,
                          std::optional<std::int32_t> left, std::optional<bool> visible)
{
    if (position) m_position = *position;
    if (top) m_top = *top;
    if (left) m_left = *left;
    if (visible) m_visible = *visible;
}

// ---- bars ----

FakeCommandBars::FakeCommandBars(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop,
                                 const CommandBarListener& listener, int explorer)
    : Counted(ledger, "CommandBars", "CommandBars " + std::to_string(explorer)),
      m_ledger(ledger),
      m_calls(calls),
      m_desktop(desktop),
      m_listener(listener),
      m_explorer(explorer)
{
}

Object* FakeCommandBars::Query(Iface iface) noexcept
{
    if (FAILED(m_calls.CheckNoThrow("CommandBars.QueryInterface"))) return nullptr;
    if (iface == Iface::Unknown || iface == Iface::CommandBars) return Hand(static_cast<CommandBars*>(this));
    return nullptr;
}

Ref<CommandBar> FakeCommandBars::Add(std::u16string_view name, bool /*temporary*/)
{
    m_calls.Enter("CommandBars.Add");
    for (const auto& bar : m_bars)
        if (bar->Name() == name) throw ComError(E_INVALIDARG);
    const int number = m_explorer * 10 + static_cast<int>(m_bars.size()) + 1;
    m_bars.push_back(
        std::make_unique<FakeCommandBar>(m_ledger, m_calls, m_desktop, m_listener, std::u16string(name), number));
    return Ref<CommandBar>::Share(m_bars.back().get());
}

std::size_t FakeCommandBars::Click(std::u16string_view tag)
{
    std::size_t called = 0;
    for (const auto& bar : m_bars)
        for (const auto& button : bar->Buttons())
            if (button->Tag() == tag) called += button->FireClick();
    return called;
}

std::vector<std::string> FakeCommandBars::LiveSubscriptions() const
{
    std::vector<std::string> live;
    for (const auto& bar : m_bars)
        for (const auto& button : bar->Buttons())
            for (std::string& line : button->LiveSubscriptions()) live.push_back(std::move(line));
    return live;
}

}  // namespace host::fake
