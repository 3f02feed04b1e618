#include "sim/native_world.h"

#include "addin/native/connect_object.h"
#include "host/utf.h"
#include "ribbon/ribbon.h"

#include <pugixml.hpp>
#include "sim/bar_lines.h"
#include "sim/idle_stats.h"
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

std::vector<std::string> NativeWorld::LetAddinGo()
{
    Attach(nullptr);
    m_addin.reset();
    return m_world.ExitProblems();
}

std::vector<std::string> NativeWorld::LockProblems() const
{
    if (m_addin && m_addin->Connect().ButtonLock().Initialised())
        return {"the button lock was not deleted at disconnection"};
    return {};
}

void NativeWorld::Attach(Transcript* transcript)
{
    m_transcript = transcript;
    fake::CommandBarListener& bars = m_world.Application().BarListener();
    if (!transcript) {
        bars = {};
        m_world.RibbonUI().onInvalidate = nullptr;
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
    m_world.RibbonUI().onInvalidate = [transcript] { transcript->Line("* INVALIDATE"); };
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
    m_version = version;
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
        m_world.Mail().Deliver(host::Utf16(delivery.store), host::Utf16(delivery.path),
                               MessageOf(delivery, m_world.System().LocalNow()));
    });
}

void NativeWorld::PlaceItem(const Waiting& waiting)
{
    PlayOnModel([&] { PlaceWaiting(m_world.Mail(), waiting, m_world.System().TickCount()); });
}

void NativeWorld::DeliverBurst(const Burst& burst)
{
    PlayOnModel([&] { sim::DeliverBurst(m_world.Mail(), burst, m_world.System().TickCount()); });
}

void NativeWorld::SetCatchUp(CatchUpPlace place, bool on)
{
    // Written as the administrator or the user did, before the session: not
    // a call of the add-in's, so a fault sweep never fails it.
    const CatchUpKey where = CatchUpKeyOf(place);
    const auto root = where.machine ? host::RegRoot::LocalMachine : host::RegRoot::CurrentUser;
    m_world.Registry().Put(root, where.path, kCatchUpValue, host::RegValue::Dword(on ? 1 : 0));
}

void NativeWorld::RefuseRestrict(const std::string& store)
{
    PlayOnModel([&] { m_world.Mail().SetRestrictRefused(host::Utf16(store), true); });
}

void NativeWorld::FailCalls(const std::string& name, std::uint32_t count, std::uint32_t hr)
{
    m_world.Calls().FailNamed(name, count, static_cast<HRESULT>(hr));
}

void NativeWorld::Idle(std::uint32_t limit)
{
    IdleStats stats;
    m_world.Idle(limit, [&](const std::function<void()>& run) { stats.Time(run); });
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

// ---- the ribbon ----

namespace qev::sim {
namespace {

// "@ " + two blanks per depth + the element's name and its attributes.
void Canonical(const pugi::xml_node& node, int depth, std::vector<std::string>& lines)
{
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        std::string line = "@ " + std::string(static_cast<std::size_t>(2 * depth), ' ') + child.name();
        for (const pugi::xml_attribute& a : child.attributes())
            line += std::string(" ") + a.name() + "=\"" + EscapeText(host::Utf16(a.value())) + "\"";
        lines.push_back(std::move(line));
        Canonical(child, depth + 1, lines);
    }
}

std::string Quoted(const std::u16string& text)
{
    return "\"" + EscapeText(text) + "\"";
}

}  // namespace

World::MarkupAnswer NativeWorld::RibbonMarkup(const std::string& ribbonId)
{
    MarkupAnswer answer;
    std::u16string markup;
    answer.hr = static_cast<std::uint32_t>(m_addin->Connect().RibbonTab().GetCustomUI(host::Utf16(ribbonId), &markup));
    if (FAILED(static_cast<HRESULT>(answer.hr))) return answer;
    pugi::xml_document document;
    const std::string text = host::Utf8(markup);
    if (!document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8))
        throw Failure("the markup is not well-formed XML");
    Canonical(document, 0, answer.lines);
    return answer;
}

std::uint32_t NativeWorld::RibbonLoad(bool null)
{
    host::Object* ribbon = null ? nullptr : static_cast<host::RibbonUI*>(&m_world.RibbonUI());
    return static_cast<std::uint32_t>(m_addin->Connect().RibbonTab().Ribbon_OnLoad(ribbon));
}

World::CallbackAnswer NativeWorld::RibbonCall(const std::string& callback, const std::string& controlId,
                                              RibbonContext context)
{
    const fake::FakeWorld::ControlContext where = context == RibbonContext::Inspector ? fake::FakeWorld::ControlContext::Inspector
                                                  : context == RibbonContext::None    ? fake::FakeWorld::ControlContext::None
                                                                                      : fake::FakeWorld::ControlContext::Explorer;
    host::Ref<host::Object> control = m_world.RibbonControl(host::Utf16(controlId), where);
    Ribbon& ribbon = m_addin->Connect().RibbonTab();
    CallbackAnswer answer;
    HRESULT hr = S_OK;
    const auto text = [&](HRESULT (Ribbon::*get)(host::Object*, std::u16string*)) {
        std::u16string out;
        hr = (ribbon.*get)(control.Get(), &out);
        if (SUCCEEDED(hr)) answer.value = Quoted(out);
    };
    const auto flag = [&](HRESULT (Ribbon::*get)(host::Object*, std::int16_t*)) {
        std::int16_t out = 0;
        hr = (ribbon.*get)(control.Get(), &out);
        if (SUCCEEDED(hr)) answer.value = out ? "true" : "false";
    };
    if (callback == "getLabel") text(&Ribbon::Ribbon_OnGetLabel);
    else if (callback == "getScreentip") text(&Ribbon::Ribbon_OnGetScreentip);
    else if (callback == "getSupertip") text(&Ribbon::Ribbon_OnGetSupertip);
    else if (callback == "getImageMso") text(&Ribbon::Ribbon_OnGetImageMso);
    else if (callback == "getVisible") flag(&Ribbon::Ribbon_OnGetVisible);
    else if (callback == "getEnabled") flag(&Ribbon::Ribbon_OnGetEnabled);
    else if (callback == "getSize") {
        std::int32_t size = 0;
        hr = ribbon.Ribbon_OnGetSize(control.Get(), &size);
        if (SUCCEEDED(hr)) answer.value = std::to_string(size);
    } else if (callback == "getImage") {
        host::Ref<host::Object> picture;
        hr = ribbon.Ribbon_OnGetImage(control.Get(), &picture);
        const fake::FakePicture* held = m_world.Graphics().FindPicture(picture.Get());
        const fake::FakeDesktop::Picture* pixels = held ? m_world.Desktop().Find(held->Bitmap()) : nullptr;
        if (SUCCEEDED(hr) && pixels)
            answer.value = "picture " + std::to_string(pixels->width) + "x" + std::to_string(pixels->height);
    } else if (callback == "onAction") {
        hr = ribbon.Ribbon_OnAction(control.Get());
    } else {
        throw Failure("no ribbon callback " + callback);
    }
    answer.hr = static_cast<std::uint32_t>(hr);
    return answer;
}

}  // namespace qev::sim
