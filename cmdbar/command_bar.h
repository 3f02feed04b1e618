// The legacy toolbar of Outlook 2003 and 2007: one temporary command bar in
// the active explorer with seven picture buttons, rebuilt at every
// connection where the user left it. A click reaches the command through the
// button's own event sink. A button's picture can only be set by pasting it
// from the clipboard, so the build goes through the user's clipboard and puts
// the user's picture back afterwards (clipboard_backup.h).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "addin/critical_section.h"
#include "addin/event_sink.h"
#include "commands/commands.h"
#include "engine/engine_link.h"
#include "host/office.h"
#include "host/services.h"

namespace qev {

// The tag of each button is "zk.qev_CommandBar.Buttons_<sink id>".
inline constexpr char16_t kButtonTagBase[] = u"CommandBar.Buttons";

class CommandBar {
public:
    CommandBar(host::Services& services, EngineLink& engine, Commands& commands,
               const host::Ref<host::Application>& application, CriticalSection& buttonLock);
    CommandBar(const CommandBar&) = delete;
    CommandBar& operator=(const CommandBar&) = delete;

    // Builds the bar and its seven buttons in the active explorer; false
    // (after an error line) when Outlook shows no explorer. Raises the COM
    // errors of the bar and of a button before its face step.
    bool AddCmdBar_();
    // Adds one button to the bar; true whenever it returns, with or without a
    // face. Raises the COM errors from before the face step.
    bool AddCmdBarBtn_(CommandKey key, std::uint32_t captionId, std::uint32_t tooltipId, std::uint32_t bitmapId,
                       const char16_t* tagBase, std::int32_t sinkId);

    // Subscribes each button's sink (nothing for a button that is not
    // there). Raises the refusal of a button, or SinkError for a sink that is
    // subscribed already.
    void ButtonsAdvise_();
    // Ends each sink's subscription; an error on one button is traced and the
    // others go on. Never raises.
    void ButtonsUnadvise_();
    void ReleaseButtons_() noexcept;
    void ReleaseCommandBar_() noexcept { m_pCommandBar.Reset(); }

    // Sets the Enabled of the command's button; nothing when it has none.
    // Raises what Office raises.
    void EnableButton(CommandKey key, bool enabled);
    // The bar's Position, Top, Left and Visible (1 or 0); false when there is
    // no bar. Raises what Office raises.
    bool ReadPlacement(BarPlacement& placement);

    // For the suites: a button, and its sink's cookie (kNoCookie when not subscribed).
    host::CommandBarButton* Button(CommandKey key) const noexcept { return Slot(key).button.Get(); }
    std::uint32_t SinkCookie(CommandKey key) const noexcept { return Slot(key).sink.cookie; }

private:
    // One button's Click sink: runs the button's command.
    struct ButtonSink final : host::EventSink {
        ButtonSink(Commands& commandsToRun, CommandKey commandKey) noexcept : commands(commandsToRun), key(commandKey) {}
        void OnEvent(std::int32_t dispId, std::span<const host::Variant> args) override;

        Commands& commands;
        CommandKey key;
        std::uint32_t cookie = kNoCookie;
    };
    struct ButtonSlot {
        host::Ref<host::CommandBarButton> button;
        ButtonSink sink;
    };

    ButtonSlot& Slot(CommandKey key) noexcept { return m_buttons[static_cast<std::size_t>(key)]; }
    const ButtonSlot& Slot(CommandKey key) const noexcept { return m_buttons[static_cast<std::size_t>(key)]; }
    // Steps 6 to 10 of a button: its picture onto the clipboard and pasted as
    // its face. False after the step's error line.
    bool SetFace_(host::CommandBarButton& button, std::uint32_t bitmapId, const std::u16string& caption);

    host::Services& m_services;
    EngineLink& m_engine;
    const host::Ref<host::Application>& m_pApplication;
    CriticalSection& m_csButtons;
    host::Ref<host::CommandBar> m_pCommandBar;
    // By CommandKey: IsSpam, NotSpam, AddSpammer, AddFriend, Spammers,
    // Friends, Settings, the order of the sinks.
    std::array<ButtonSlot, 7> m_buttons;
};

}  // namespace qev
