#include "cmdbar/command_bar.h"

#include <memory>
#include <string>

#include "addin/trace.h"
#include "cmdbar/clipboard_backup.h"
#include "host/com_error.h"
#include "host/format.h"
#include "text/ui_strings.h"

namespace qev {
namespace {

constexpr std::uint32_t kBarNameText = 301;
constexpr std::uint32_t kClipboardTries = 5;
constexpr std::uint32_t kClipboardRetryMs = 50;

// The buttons from left to right: the text that is both caption and tooltip,
// the bitmap and the sink id.
struct ButtonRow {
    CommandKey key;
    std::int32_t sinkId;
    std::uint32_t text;
    std::uint32_t bitmap;
};
constexpr ButtonRow kButtonRows[] = {
    {CommandKey::Settings, 107, 314, 206},   {CommandKey::IsSpam, 101, 302, 200},
    {CommandKey::NotSpam, 102, 304, 201},    {CommandKey::AddSpammer, 103, 306, 202},
    {CommandKey::AddFriend, 104, 308, 203},  {CommandKey::Spammers, 105, 310, 204},
    {CommandKey::Friends, 106, 312, 205},
};

// The COM error line of each button's unsubscription, in the order of the sinks.
constexpr const char16_t* kUnadviseErrors[] = {
    u"[as][qev] error : exception! : ButtonsUnadvise_ Unadvise m_pBtnIsSpam: %s\n",
    u"[as][qev] error : exception! : ButtonsUnadvise_ Unadvise m_pBtnNotSpam: %s\n",
    u"[as][qev] error : exception! : ButtonsUnadvise_ Unadvise m_pBtnAddSpammer: %s\n",
    u"[as][qev] error : exception! : ButtonsUnadvise_ m_pBtnAddFriend: %s\n",
    u"[as][qev] error : exception! : ButtonsUnadvise_ m_pBtnSpammers: %s\n",
    u"[as][qev] error : exception! : ButtonsUnadvise_ m_pBtnFriends: %s\n",
    u"[as][qev] error : exception! : ButtonsUnadvise_ m_pBtnSettings: %s\n",
};

// A bitmap this code owns until the clipboard takes it.
struct BitmapDeleter {
    host::Desktop* desktop;
    void operator()(void* bitmap) const noexcept { desktop->DeleteBitmap(bitmap); }
};
using OwnedBitmap = std::unique_ptr<void, BitmapDeleter>;

// The clipboard, open from Open() until Close() or the end of the scope.
class OpenClipboard {
public:
    explicit OpenClipboard(host::Desktop& desktop) noexcept : m_desktop(desktop) {}
    ~OpenClipboard() { Close(); }
    OpenClipboard(const OpenClipboard&) = delete;
    OpenClipboard& operator=(const OpenClipboard&) = delete;

    // Another program may hold the clipboard for a moment: a few tries with
    // a pause after each failed one.
    bool Open() noexcept
    {
        for (std::uint32_t attempt = 0; attempt < kClipboardTries; ++attempt) {
            std::uint32_t error = 0;
            if (m_desktop.OpenClipboard(error)) return m_open = true;
            m_desktop.Pause(kClipboardRetryMs);
        }
        return false;
    }
    // The system's error when closing fails; 0 when it closed.
    std::uint32_t Close() noexcept
    {
        if (!m_open) return 0;
        m_open = false;
        std::uint32_t error = 0;
        return m_desktop.CloseClipboard(error) ? 0 : error;
    }

private:
    host::Desktop& m_desktop;
    bool m_open = false;
};

}  // namespace

CommandBar::CommandBar(host::Services& services, EngineLink& engine, Commands& commands,
                       const host::Ref<host::Application>& application, CriticalSection& buttonLock)
    : m_services(services),
      m_engine(engine),
      m_pApplication(application),
      m_csButtons(buttonLock),
      m_buttons{ButtonSlot{nullptr, ButtonSink(commands, CommandKey::IsSpam)},
                ButtonSlot{nullptr, ButtonSink(commands, CommandKey::NotSpam)},
                ButtonSlot{nullptr, ButtonSink(commands, CommandKey::AddSpammer)},
                ButtonSlot{nullptr, ButtonSink(commands, CommandKey::AddFriend)},
                ButtonSlot{nullptr, ButtonSink(commands, CommandKey::Spammers)},
                ButtonSlot{nullptr, ButtonSink(commands, CommandKey::Friends)},
                ButtonSlot{nullptr, ButtonSink(commands, CommandKey::Settings)}}
{
}

bool CommandBar::AddCmdBar_()
{
    host::Ref<host::Explorer> spExplorer = m_pApplication->ActiveExplorer();
    if (!spExplorer) {
        QEV_TRACE_ERROR(u"AddCmdBar_..epxp<$null>...failed");
        return false;
    }
    host::Ref<host::CommandBars> spBars = spExplorer->GetCommandBars();
    QEV_TRACE_STEP(u"  AddCommandBar_...");

    const std::u16string name = LoadUiString_(m_services, kBarNameText);
    m_pCommandBar = spBars->Add(name, true);
    const BarPlacement& placement = m_engine.Bar();
    m_pCommandBar->SetPosition(static_cast<std::int32_t>(placement.m_barPos));
    m_pCommandBar->SetTop(static_cast<std::int32_t>(placement.m_barTop));
    m_pCommandBar->SetLeft(static_cast<std::int32_t>(placement.m_barLeft));
    m_pCommandBar->SetProtection(host::kMsoBarNoCustomize);

    {
        const CClipboardBitmapBackup backup(m_services.desktop);
        for (const ButtonRow& row : kButtonRows)
            AddCmdBarBtn_(row.key, row.text, row.text, row.bitmap, kButtonTagBase, row.sinkId);
        m_pCommandBar->SetVisible(placement.m_barVisible != 0);
        QEV_TRACE_STEP(u"  AddCommandBar_...ok");
    }
    return true;
}

bool CommandBar::AddCmdBarBtn_(CommandKey key, std::uint32_t captionId, std::uint32_t tooltipId,
                               std::uint32_t bitmapId, const char16_t* tagBase, std::int32_t sinkId)
{
    const std::u16string caption = LoadUiString_(m_services, captionId);
    const std::u16string tooltip = LoadUiString_(m_services, tooltipId);
    QEV_TRACE(kTraceProgress, u"[as][qev]     AddCmdBarBtn_<%s>...\n", caption);

    bool done = false;
    {
        const CriticalSectionScope lock(m_csButtons);
        host::Ref<host::CommandBarButton>& member = Slot(key).button;
        host::Ref<host::CommandBarControls> spControls = m_pCommandBar->Controls();
        host::Ref<host::Object> spControl = spControls->Add(host::kMsoControlButton, true);
        member = host::QueryAs<host::CommandBarButton>(spControl.Get());
        if (!member) {
            QEV_TRACE_ERROR(u"Add...failed");
        } else {
            member->SetCaption(caption);
            member->SetTooltipText(tooltip);
            member->SetTag(Format(u"zk.qev_%s_%ld", std::u16string_view(tagBase), sinkId));
            done = SetFace_(*member, bitmapId, caption);
        }
    }
    QEV_TRACE(kTraceProgress, u"[as][qev]     AddCmdBarBtn_<%s>...%s\n", caption, done ? u"ok" : u"failed");
    return true;
}

bool CommandBar::SetFace_(host::CommandBarButton& button, std::uint32_t bitmapId, const std::u16string& caption)
{
    host::Desktop& desktop = m_services.desktop;
    OwnedBitmap bitmap(nullptr, BitmapDeleter{&desktop});
    {
        const CCurrentDirGuard guard(m_services);
        // Without a module the system would load one of its own bitmaps of
        // that number: none is a resource not found.
        std::uint32_t error = host::kErrorResourceNameNotFound;
        if (const host::LibraryHandle module = GetUiModule_(m_services))
            bitmap.reset(desktop.LoadBitmap(module, bitmapId, error));
        if (!bitmap) {
            QEV_TRACE(kTraceError, u"[as][qev] error :  %d : loading bitmap for <%s> failed\n",
                      static_cast<std::int32_t>(error), caption);
            return false;
        }
    }

    OpenClipboard clipboard(desktop);
    if (!clipboard.Open()) {
        QEV_TRACE_ERROR(u"OpenClipboard failed");
        return false;
    }
    std::uint32_t error = 0;
    if (!desktop.SetClipboardBitmap(bitmap.get(), error)) {
        QEV_TRACE(kTraceError, u"[as][qev] error : %d : SetClipboardData failed\n", static_cast<std::int32_t>(error));
        return false;
    }
    bitmap.release();  // the clipboard's now
    if (const std::uint32_t closeError = clipboard.Close())
        QEV_TRACE(kTraceWarning, u"[as][qev] warning : %d : CloseClipboard failed\n",
                  static_cast<std::int32_t>(closeError));

    try {
        button.SetStyle(host::kMsoButtonIconAndCaption);
        button.PasteFace();
        return true;
    } catch (const host::ComError& e) {
        QEV_TRACE(kTraceError, u"[as][qev] error : %s : AddCmdBarBtn_ com error\n", e.ErrorMessage());
    } catch (...) {
        QEV_TRACE_ERROR(u"AddCmdBarBtn_ unknown error !!!");
    }
    return false;
}

void CommandBar::ButtonsAdvise_()
{
    for (ButtonSlot& slot : m_buttons) {
        if (!slot.button) continue;
        if (slot.sink.cookie != kNoCookie) throw SinkError(E_FAIL);
        slot.sink.cookie = slot.button->Advise(host::EventInterface::CommandBarButtonEvents, &slot.sink);
    }
}

void CommandBar::ButtonsUnadvise_()
{
    try {
        for (std::size_t i = 0; i < m_buttons.size(); ++i) {
            ButtonSlot& slot = m_buttons[i];
            try {
                if (!slot.button) continue;
                slot.button->Unadvise(host::EventInterface::CommandBarButtonEvents, slot.sink.cookie);
                slot.sink.cookie = kNoCookie;
            } catch (...) {
                TraceCaughtException(kUnadviseErrors[i], u"ButtonsUnadvise_");
            }
        }
    } catch (...) {
        TraceCaughtException(u"ButtonsUnadvise_");
    }
}

void CommandBar::ReleaseButtons_() noexcept
{
    for (ButtonSlot& slot : m_buttons) slot.button.Reset();
}

void CommandBar::EnableButton(CommandKey key, bool enabled)
{
    if (host::CommandBarButton* button = Slot(key).button.Get()) button->SetEnabled(enabled);
}

bool CommandBar::ReadPlacement(BarPlacement& placement)
{
    if (!m_pCommandBar) return false;
    placement.m_barPos = static_cast<std::uint32_t>(m_pCommandBar->Position());
    placement.m_barTop = static_cast<std::uint32_t>(m_pCommandBar->Top());
    placement.m_barLeft = static_cast<std::uint32_t>(m_pCommandBar->Left());
    placement.m_barVisible = m_pCommandBar->Visible() ? 1 : 0;
    return true;
}

void CommandBar::ButtonSink::OnEvent(std::int32_t dispId, std::span<const host::Variant> args)
{
    if (dispId != host::kDispIdClick) return;
    ClickSource source;
    source.kind = ClickSource::Kind::CommandBar;
    if (!args.empty()) source.button = args[0].object.Get();
    commands.Run(key, source);
}

}  // namespace qev
