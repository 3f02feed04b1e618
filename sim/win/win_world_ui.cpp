// The Windows runner's world, its user interface: the command bars of the
// active explorer, the prefix's real clipboard, the language and layout
// values, the add-in's tick count.
#include <iostream>

#include "host/utf.h"
#include "sim/bar_lines.h"
#include "sim/win/bar_picture.h"
#include "sim/win/import_patch.h"
#include "sim/win/win_world.h"

namespace qev::sim::win {
namespace {

// HKEY_USERS\.DEFAULT\Software\ZarUD, where the add-in reads its language and layout.
constexpr wchar_t kLanguageKey[] = L".DEFAULT\\Software\\ZarUD";

void SetLanguageValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_USERS, kLanguageKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS)
        throw Failure("cannot write the value " + host::Utf8(host::win::U(name)) + " (error " + std::to_string(status) +
                      ")");
}

// The clipboard, opened with no window for the length of a scope.
class OpenedClipboard {
public:
    OpenedClipboard()
    {
        if (!OpenClipboard(nullptr)) throw Failure("the clipboard cannot be opened");
    }
    ~OpenedClipboard() { CloseClipboard(); }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

// A Windows path for a file the scenario names: Unix paths are the host's.
std::wstring WindowsPath(const std::string& file)
{
    if (file.starts_with("/")) {
        using Convert = wchar_t*(CDECL*)(const char*);
        if (auto convert = reinterpret_cast<Convert>(
                reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")))) {
            if (wchar_t* dos = convert(file.c_str())) {
                std::wstring path(dos);
                HeapFree(GetProcessHeap(), 0, dos);
                return path;
            }
        }
    }
    const std::u16string path = host::Utf16(file);
    return std::wstring(path.begin(), path.end());
}

}  // namespace

void WinWorld::ResetDesktop()
{
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_USERS, kLanguageKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"wslibsite_lang");
        RegDeleteValueW(key, L"rtl");
        RegCloseKey(key);
    }
    for (const CatchUpPlace place : kCatchUpPlaces) {
        const CatchUpKey where = CatchUpKeyOf(place);
        if (RegOpenKeyExW(where.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(where.path), 0,
                          KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"CatchUp");
            RegCloseKey(key);
        }
    }
}

void WinWorld::SetCatchUp(CatchUpPlace place, bool on)
{
    const CatchUpKey where = CatchUpKeyOf(place);
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(where.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(where.path),
                                     0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        const DWORD data = on ? 1 : 0;
        status = RegSetValueExW(key, L"CatchUp", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) throw Failure("the catch-up setting could not be written: " + std::to_string(status));
}

// ---- the transcript's lines ----

void WinWorld::ButtonMade(SimButton& button)
{
    m_pendingButtons.push_back(&button);
}

void WinWorld::WritePendingButtons()
{
    for (SimButton* button : std::exchange(m_pendingButtons, {})) {
        std::optional<std::pair<std::int32_t, std::int32_t>> face;
        if (const auto size = button->FaceSize())
            face = std::pair<std::int32_t, std::int32_t>(size->first, size->second);
        EventLine(ButtonLine(button->Tag(), button->Caption(), face));
    }
}

void WinWorld::VisibleSet(SimCommandBar& bar)
{
    // The end of the bar's build: once per bar.
    for (const SimCommandBar* shown : m_shownBars)
        if (shown == &bar) return;
    m_shownBars.push_back(&bar);
    WritePendingButtons();
    const BarPlace& place = bar.Place();
    EventLine(BarLine(bar.Name(), place.position, place.top, place.left, place.visible));
}

void WinWorld::EnabledSet(SimButton& button, bool enabled)
{
    EventLine(EnabledLine(button.Tag(), enabled));
}

// ---- the world's statements ----

void WinWorld::SetTick(std::uint32_t tick)
{
    ScenarioClock::Set(tick);
}

void WinWorld::AdvanceTick(std::uint32_t ms)
{
    ScenarioClock::Advance(ms);
}

void WinWorld::SetUiModules(UiModules where)
{
    try {
        m_folder.PlaceUiModules(where);
    } catch (const std::runtime_error& e) {
        throw Failure(e.what());
    }
}

void WinWorld::SetLanguage(const std::string& code)
{
    const std::u16string text = host::Utf16(code);
    SetLanguageValue(L"wslibsite_lang", REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

void WinWorld::SetRtl(std::uint32_t value)
{
    const DWORD data = value;
    SetLanguageValue(L"rtl", REG_DWORD, &data, sizeof(data));
    // The add-in lays its pictures out right to left exactly for 1.
    m_rightToLeft = value == 1;
}

void WinWorld::PutClipboardText(const std::string& text)
{
    const ClipboardHolder::Lent lent(m_clipboardHolder);
    const std::u16string wide = host::Utf16(text);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(char16_t));
    if (!memory) throw Failure("no memory for the clipboard's text");
    auto* target = static_cast<char16_t*>(GlobalLock(memory));
    std::copy(wide.c_str(), wide.c_str() + wide.size() + 1, target);
    GlobalUnlock(memory);
    const OpenedClipboard clipboard;
    // Another program adding a format: no EmptyClipboard, the picture stays.
    if (!SetClipboardData(CF_UNICODETEXT, memory)) {
        GlobalFree(memory);
        throw Failure("the clipboard refused the text");
    }
}

void WinWorld::PutClipboardPicture(std::int32_t width, std::int32_t height)
{
    const ClipboardHolder::Lent lent(m_clipboardHolder);
    HDC screen = GetDC(nullptr);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (!picture) throw Failure("cannot make a picture of " + std::to_string(width) + "x" + std::to_string(height));
    const OpenedClipboard clipboard;
    if (!SetClipboardData(CF_BITMAP, picture)) {
        DeleteObject(picture);
        throw Failure("the clipboard refused the picture");
    }
}

void WinWorld::HoldClipboard(std::uint32_t attempts)
{
    if (!m_clipboardHolder.HoldFor(attempts)) throw Failure("the clipboard cannot be held");
}

SimCommandBar& WinWorld::AddinBar()
{
    SimCommandBar* bar = m_commandBars->Newest();
    if (!bar) throw Failure("the add-in has no command bar");
    return *bar;
}

SimButton* WinWorld::ButtonFor(const std::string& command)
{
    const std::u16string tag = TagOfButtonKey(command);
    const auto& buttons = AddinBar().Buttons();
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it)
        if ((*it)->Tag() == tag) return it->get();
    return nullptr;
}

void WinWorld::Click(const std::string& command)
{
    if (!m_commandBars->Newest()) throw Failure("the add-in has no command bar to click on");
    SimButton* clicked = ButtonFor(command);
    if (!clicked) throw Failure("the command bar has no " + command + " button");
    // Office raises Click on every live button object with the clicked one's tag.
    for (SimButton* button : m_commandBars->ButtonsTagged(clicked->Tag()))
        if (button->Live()) button->RaiseClick();
}

void WinWorld::MoveBar(const BarOptions& options)
{
    if (!m_commandBars->Newest()) throw Failure("the add-in has no command bar to move");
    BarPlace& place = m_commandBars->Newest()->Place();
    if (options.pos) place.position = *options.pos;
    if (options.top) place.top = *options.top;
    if (options.left) place.left = *options.left;
    if (options.visible) place.visible = *options.visible != 0;
}

void WinWorld::DrawPicture(const std::string& file)
{
    if (UsesRibbon()) {
        DrawRibbon(WindowsPath(file));
        return;
    }
    SimCommandBar* bar = m_commandBars->Newest();
    if (!bar) {
        std::cerr << "qev-sim.exe: no command bar to draw into " << file << "\n";
        return;
    }
    const std::string failed = DrawCommandBar(*bar, m_rightToLeft, WindowsPath(file));
    if (!failed.empty()) std::cerr << "qev-sim.exe: " << file << ": " << failed << "\n";
}

// ---- checks ----

World::ButtonState WinWorld::Button(const std::string& command)
{
    ButtonState state;
    if (!m_commandBars->Newest()) return state;
    if (const SimButton* button = ButtonFor(command)) {
        state.exists = true;
        state.enabled = button->Enabled();
        state.face = button->Face() != nullptr;
    }
    return state;
}

std::optional<World::BarState> WinWorld::Bar()
{
    const SimCommandBar* bar = m_commandBars->Newest();
    if (!bar) return std::nullopt;
    const BarPlace& place = bar->Place();
    return BarState{place.position, place.top, place.left, place.visible};
}

World::ClipboardState WinWorld::Clipboard()
{
    const ClipboardHolder::Lent lent(m_clipboardHolder);
    const OpenedClipboard clipboard;
    ClipboardState state;
    if (HANDLE text = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const char16_t*>(GlobalLock(text))) {
            state.text = host::Utf8(std::u16string_view(chars));
            GlobalUnlock(text);
        }
    }
    if (HANDLE picture = GetClipboardData(CF_BITMAP)) {
        BITMAP info = {};
        if (GetObjectW(picture, sizeof(info), &info) == sizeof(info))
            state.picture = std::pair<std::int32_t, std::int32_t>(info.bmWidth, info.bmHeight);
    }
    return state;
}

}  // namespace qev::sim::win
