#include "sim/native_world.h"

#include "addin/native/connect_object.h"
#include "host/utf.h"
#include "sim/bar_lines.h"
#include "sim/mail_model.h"
#include "sim/transcript.h"

#include <iostream>
#include <stdexcept>

namespace qev::sim {

namespace fake = host::fake;

void NativeWorld::AddinRelease::operator()(ConnectObject* addin) const noexcept
{
    addin->Release();
}

NativeWorld::NativeWorld() : m_addin(new ConnectObject(m_world.Services())) {}

NativeWorld::~NativeWorld()
{
    // The add-in goes while the world it holds still stands.
    Attach(nullptr);
    m_addin.reset();
}

void NativeWorld::Attach(Transcript* transcript)
{
    m_transcript = transcript;
    fake::CommandBarListener& bars = m_world.Application().BarListener();
    if (!transcript) {
        bars = {};
        m_world.System().OnDebugWrite(nullptr);
        m_world.Engine().OnCall(nullptr);
        m_world.OnMailEvent(nullptr);
        return;
    }
    m_world.System().OnDebugWrite([transcript](const std::u16string& text) { transcript->DebugWrite(text); });
    m_world.OnMailEvent([transcript](const fake::MailEvent& event) { transcript->Line("* " + event.Render(EscapeText)); });
    m_world.Engine().OnCall(
        [transcript](const fake::EngineCall& call) { transcript->Line("< engine " + call.Render(EscapeText)); });
    bars.visibleSet = [this](fake::FakeCommandBar& bar) { ReportBar(bar, true); };
    bars.enabledSet = [transcript](fake::FakeCommandBarButton& button, bool enabled) {
        transcript->Line(EnabledLine(button.Tag(), enabled));
    };
}

void NativeWorld::ReportBar(fake::FakeCommandBar& bar, bool withBar)
{
    if (!m_transcript) return;
    for (const auto& button : bar.Buttons()) {
        if (!m_reported.insert(button.get()).second) continue;
        std::optional<std::pair<std::int32_t, std::int32_t>> face;
        if (button->Face()) face = std::pair(button->Face()->width, button->Face()->height);
        m_transcript->Line(ButtonLine(button->Tag(), button->Caption(), face));
    }
    if (withBar && m_reported.insert(&bar).second)
    {
        const fake::FakeCommandBar::Placement now = bar.Now();
        m_transcript->Line(BarLine(bar.Name(), now.position, now.top, now.left, now.visible));
    }
}

void NativeWorld::Settle()
{
    m_world.Pump();
}

// ---- the world's statements ----

void NativeWorld::SetOutlookVersion(const std::optional<std::string>& version)
{
    m_world.SetOutlookVersion(version ? std::optional<std::u16string>(host::Utf16(*version)) : std::nullopt);
}

void NativeWorld::SetExplorers(std::int32_t count)
{
    m_world.SetExplorers(count);
}

void NativeWorld::SetMarker(MarkerKind kind, bool present)
{
    m_world.SetMarker(kind == MarkerKind::Trace ? fake::Marker::Trace : fake::Marker::Disabled, present);
}

void NativeWorld::SetEngineLibrary(EngineLibrary library)
{
    switch (library) {
        case EngineLibrary::Absent:
            m_world.SetEngineLibrary(fake::EngineLibrary::Absent);
            break;
        case EngineLibrary::NoFactory:
            m_world.SetEngineLibrary(fake::EngineLibrary::NoFactory);
            break;
        case EngineLibrary::Null:
            m_world.SetEngineLibrary(fake::EngineLibrary::NullFactory);
            break;
    }
}

void NativeWorld::SetEngineStatus(bool up)
{
    m_world.SetEngineStatus(up);
}

void NativeWorld::SetEngineSetting(int field, std::uint32_t value)
{
    m_world.SetEngineSetting(field, value);
}

void NativeWorld::SetEngineOption(int field, std::uint32_t value)
{
    m_world.SetEngineOption(field, value);
}

void NativeWorld::SetEngineValue(const std::string& name, std::uint32_t value)
{
    m_world.SetEngineValue(host::Utf16(name), value);
}

// ---- the session ----

std::uint32_t NativeWorld::Call(SessionCall call, std::int32_t mode)
{
    CConnect& connect = m_addin->Connect();
    HRESULT hr = S_OK;
    switch (call) {
        case SessionCall::Connect:
            hr = connect.OnConnection(&m_world.Application(), mode, &m_world.AddInInstance());
            break;
        case SessionCall::Startup:
            hr = connect.OnStartupComplete();
            break;
        case SessionCall::AddinsUpdate:
            hr = connect.OnAddInsUpdate();
            break;
        case SessionCall::BeginShutdown:
            hr = connect.OnBeginShutdown();
            break;
        case SessionCall::Disconnect:
            hr = connect.OnDisconnection(mode);
            break;
        case SessionCall::Quit:
            throw Failure("quit is an event, not a call");
    }
    if (fake::FakeCommandBar* bar = AddinBar()) ReportBar(*bar, false);
    return static_cast<std::uint32_t>(hr);
}

void NativeWorld::Quit()
{
    m_world.Quit();
}

bool NativeWorld::NotifyStatus(bool up)
{
    return m_world.NotifyStatus(up);
}

bool NativeWorld::NotifySettings(const std::vector<SettingsField>& fields, std::uint32_t bytes)
{
    return m_world.NotifySettings(fields, bytes);
}

// ---- checks ----

std::size_t NativeWorld::EngineCallCount(const std::string& op)
{
    return m_world.Engine().CallCount(op);
}

std::vector<std::string> NativeWorld::ReleaseProblems()
{
    return m_world.ReleaseProblems();
}

}  // namespace qev::sim

// ---- mail and the explorer ----

namespace qev::sim {

void NativeWorld::AddStore(const Store& store)
{
    PlayOnModel([&] {
        m_world.AddStore(host::Utf16(store.id), host::Utf16(store.displayName),
                         {.unicodeRejected = store.unicodeRejected});
    });
}

void NativeWorld::AddFolder(const Folder& folder)
{
    PlayOnModel([&] {
        m_world.AddFolder(host::Utf16(folder.store), host::Utf16(folder.path), folder.folderClass,
                          folder.itemType);
    });
}

void NativeWorld::DeliverItem(const sim::Deliver& delivery)
{
    PlayOnModel([&] {
        m_world.Deliver(host::Utf16(delivery.store), host::Utf16(delivery.path),
                        host::Utf16(delivery.message),
                        {.read = delivery.read,
                         .kind = delivery.kind == ItemKind::Meeting ? fake::ItemKind::Meeting : fake::ItemKind::Mail,
                         .headers = HeaderFormOf(delivery.headers),
                         .body = BodyFormOf(delivery.body)});
    });
}

void NativeWorld::SelectItems(const sim::Select& selection)
{
    PlayOnModel([&] {
        std::vector<std::size_t> items;
        for (const std::int32_t n : selection.items) {
            if (n < 1) throw Failure("no item " + std::to_string(n));
            items.push_back(static_cast<std::size_t>(n));
        }
        if (!m_world.Select(host::Utf16(selection.store), host::Utf16(selection.path), items))
            throw Failure("there is no active explorer to select in");
    });
}

void NativeWorld::ChangeAccounts(const Account& change)
{
    PlayOnModel([&] {
        switch (change.change) {
            case AccountChange::Add:
                m_world.AccountAdd(host::Utf16(change.store), host::Utf16(change.displayName));
                break;
            case AccountChange::Remove:
                m_world.AccountRemove(host::Utf16(change.store));
                break;
            case AccountChange::Notify:
                m_world.AccountNotify(static_cast<std::uint32_t>(change.code));
                break;
        }
    });
}

World::FolderCount NativeWorld::CountFolder(const std::string& store, const std::string& path)
{
    FolderCount count;
    PlayOnModel([&] {
        const fake::FolderCount held = m_world.FolderCounts(host::Utf16(store), host::Utf16(path));
        count.items = static_cast<std::int32_t>(held.items);
        count.unread = static_cast<std::int32_t>(held.unread);
    });
    return count;
}

}  // namespace qev::sim

// ---- the user interface ----

namespace qev::sim {

void NativeWorld::SetTick(std::uint32_t tick)
{
    m_world.System().SetTickCount(tick);
}

void NativeWorld::AdvanceTick(std::uint32_t ms)
{
    m_world.System().AdvanceTickCount(ms);
}

void NativeWorld::SetUiModules(UiModules where)
{
    switch (where) {
        case UiModules::Beside: m_world.SetUiModules(fake::UiModules::Beside); break;
        case UiModules::Product: m_world.SetUiModules(fake::UiModules::Product); break;
        case UiModules::None: m_world.SetUiModules(fake::UiModules::None); break;
    }
}

void NativeWorld::SetLanguage(const std::string& code)
{
    m_world.SetLanguage(host::Utf16(code));
}

void NativeWorld::SetRtl(std::uint32_t value)
{
    m_world.SetRightToLeft(value);
}

void NativeWorld::PutClipboardText(const std::string& text)
{
    m_world.Desktop().PutText(host::Utf16(text));
}

void NativeWorld::PutClipboardPicture(std::int32_t width, std::int32_t height)
{
    m_world.Desktop().PutPicture(width, height);
}

void NativeWorld::HoldClipboard(std::uint32_t attempts)
{
    m_world.Desktop().Hold(attempts);
}

fake::FakeCommandBar* NativeWorld::AddinBar()
{
    fake::FakeExplorer* explorer = m_world.Application().ExplorerAt(1);
    if (!explorer || explorer->Bars().Bars().empty()) return nullptr;
    return explorer->Bars().Bars().back().get();
}

fake::FakeCommandBarButton* NativeWorld::AddinButton(const std::string& command)
{
    fake::FakeCommandBar* bar = AddinBar();
    const std::u16string tag = TagOfButtonKey(command);
    if (!bar || tag.empty()) return nullptr;
    for (const auto& button : bar->Buttons())
        if (button->Tag() == tag) return button.get();
    return nullptr;
}

void NativeWorld::Click(const std::string& command)
{
    if (!AddinBar()) throw Failure("the add-in has no command bar to click on");
    fake::FakeCommandBarButton* button = AddinButton(command);
    if (!button) throw Failure("the command bar has no " + command + " button");
    m_world.Application().ExplorerAt(1)->Bars().Click(button->Tag());
}

void NativeWorld::MoveBar(const BarOptions& options)
{
    fake::FakeCommandBar* bar = AddinBar();
    if (!bar) throw Failure("the add-in has no command bar to move");
    bar->Move(options.pos, options.top, options.left,
              options.visible ? std::optional<bool>(*options.visible != 0) : std::nullopt);
}

void NativeWorld::DrawPicture(const std::string& file)
{
    std::cerr << "picture " << file << ": the native runner does not draw\n";
}

World::ButtonState NativeWorld::Button(const std::string& command)
{
    ButtonState state;
    if (const fake::FakeCommandBarButton* button = AddinButton(command)) {
        state.exists = true;
        state.enabled = button->Enabled();
        state.face = button->Face().has_value();
    }
    return state;
}

std::optional<World::BarState> NativeWorld::Bar()
{
    fake::FakeCommandBar* bar = AddinBar();
    if (!bar) return std::nullopt;
    const fake::FakeCommandBar::Placement now = bar->Now();
    return BarState{now.position, now.top, now.left, now.visible};
}

World::ClipboardState NativeWorld::Clipboard()
{
    ClipboardState state;
    if (const auto text = m_world.Desktop().ClipboardText()) state.text = host::Utf8(*text);
    state.picture = m_world.Desktop().ClipboardPictureSize();
    return state;
}

}  // namespace qev::sim
