// The in-memory Office command bars of an explorer, as Outlook 2003 and 2007
// have them: bars made invisible, a name in use refused, buttons whose face
// is pasted from the clipboard, and a Click that reaches the sinks of every
// button with the clicked one's tag while the add-in holds that button
// (Office drops the sinks of a button the add-in let go).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/fake/fake_desktop.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_outlook.h"
#include "host/office.h"

namespace host::fake {

class FakeCommandBar;

class FakeCommandBarButton final : public Counted<CommandBarButton> {
public:
    FakeCommandBarButton(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop, FakeCommandBar& bar, int number);

    // Object: Unknown, EventSource, CommandBarButton.
    Object* Query(Iface iface) noexcept override;
    std::uint32_t Advise(EventInterface iface, EventSink* sink) override;
    void Unadvise(EventInterface iface, std::uint32_t cookie) override;
    void SetCaption(std::u16string_view caption) override;
    void SetTooltipText(std::u16string_view tooltip) override;
    void SetTag(std::u16string_view tag) override;
    void SetStyle(std::int32_t style) override;
    void SetEnabled(bool enabled) override;
    // The clipboard's bitmap becomes the face; ComError(E_FAIL) when it has none.
    void PasteFace() override;

    const std::u16string& Caption() const noexcept { return m_caption; }
    const std::u16string& Tooltip() const noexcept { return m_tooltip; }
    const std::u16string& Tag() const noexcept { return m_tag; }
    bool Enabled() const noexcept { return m_enabled; }
    std::int32_t Style() const noexcept { return m_style; }
    const std::optional<FakeDesktop::Picture>& Face() const noexcept { return m_face; }
    // The add-in holds a reference (beyond the world's own).
    bool Held() const { return References() > 1; }
    // The Click event to this button's sinks; how many were called.
    std::size_t FireClick();
    std::vector<std::string> LiveSubscriptions() const;

private:
    HostCalls& m_calls;
    FakeDesktop& m_desktop;
    FakeCommandBar& m_bar;
    std::u16string m_caption;
    std::u16string m_tooltip;
    std::u16string m_tag;
    std::int32_t m_style = 0;  // msoButtonAutomatic
    bool m_enabled = true;
    std::optional<FakeDesktop::Picture> m_face;
    ConnectionPoints m_points;
};

class FakeCommandBarControls final : public Counted<CommandBarControls> {
public:
    FakeCommandBarControls(Ledger& ledger, HostCalls& calls, FakeCommandBar& bar);
    Object* Query(Iface iface) noexcept override;
    // A button for msoControlButton; ComError(E_INVALIDARG) for another type.
    Ref<Object> Add(std::int32_t type, bool temporary) override;

private:
    HostCalls& m_calls;
    FakeCommandBar& m_bar;
};

// What the world is told as the add-in works on the bars.
struct CommandBarListener {
    std::function<void(FakeCommandBar&)> visibleSet;                     // a bar's Visible was set
    std::function<void(FakeCommandBarButton&, bool)> enabledSet;          // a button's Enabled was set
};

class FakeCommandBar final : public Counted<CommandBar> {
public:
    FakeCommandBar(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop, const CommandBarListener& listener,
                   std::u16string name, int number);

    Object* Query(Iface iface) noexcept override;
    std::int32_t Position() override;
    std::int32_t Top() override;
    std::int32_t Left() override;
    bool Visible() override;
    void SetPosition(std::int32_t position) override;
    void SetTop(std::int32_t top) override;
    void SetLeft(std::int32_t left) override;
    void SetProtection(std::int32_t protection) override;
    void SetVisible(bool visible) override;
    Ref<CommandBarControls> Controls() override;

    const std::u16string& Name() const noexcept { return m_name; }
    std::int32_t Protection() const noexcept { return m_protection; }
    // Where the bar is now, read without a host call.
    struct Placement {
        std::int32_t position;
        std::int32_t top;
        std::int32_t left;
        bool visible;
    };
    Placement Now() const noexcept { return {m_position, m_top, m_left, m_visible}; }
    // The user docks, moves, shows or hides the bar.
    void Move(std::optional<std::int32_t> position, std::optional<std::int32_t> top, std::optional<std::int32_t> left,
              std::optional<bool> visible);
    const std::vector<std::unique_ptr<FakeCommandBarButton>>& Buttons() const noexcept { return m_buttons; }
    FakeCommandBarButton& AddButton();
    const CommandBarListener& Listener() const noexcept { return m_listener; }

private:
    Ledger& m_ledger;
    HostCalls& m_calls;
    FakeDesktop& m_desktop;
    const CommandBarListener& m_listener;
    std::u16string m_name;
    int m_number;
    std::int32_t m_position = 4;  // msoBarFloating
    std::int32_t m_top = 0;
    std::int32_t m_left = 0;
    std::int32_t m_protection = 0;
    bool m_visible = false;  // Office makes new bars hidden
    std::unique_ptr<FakeCommandBarControls> m_controls;
    std::vector<std::unique_ptr<FakeCommandBarButton>> m_buttons;
};

class FakeCommandBars final : public Counted<CommandBars> {
public:
    FakeCommandBars(Ledger& ledger, HostCalls& calls, FakeDesktop& desktop, const CommandBarListener& listener,
                    int explorer);

    Object* Query(Iface iface) noexcept override;
    // ComError(E_INVALIDARG) for a name a bar has already.
    Ref<CommandBar> Add(std::u16string_view name, bool temporary) override;

    const std::vector<std::unique_ptr<FakeCommandBar>>& Bars() const noexcept { return m_bars; }
    // The user clicks the button with that tag: Click reaches every held
    // button with the tag; how many sinks were called.
    std::size_t Click(std::u16string_view tag);
    std::vector<std::string> LiveSubscriptions() const;

private:
    Ledger& m_ledger;
    HostCalls& m_calls;
    FakeDesktop& m_desktop;
    const CommandBarListener& m_listener;
    int m_explorer;
    std::vector<std::unique_ptr<FakeCommandBar>> m_bars;
};

}  // namespace host::fake
