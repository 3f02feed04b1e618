// What a scenario is played against: a simulated Outlook holding one add-in
// object, its engine and its platform. The player (player.h) reads the
// statements and keeps the transcript; a world carries out what they say and
// reports what the add-in does.
//
// Two worlds implement it: the in-memory one of the native runner
// (native_world.h) and the simulated Outlook of the Windows runner, which
// loads the real qev.dll under COM (sim/win/).
//
// Shared by both scenario runners; standard C++ only.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "filing/catch_up_setting.h"
#include "sim/script.h"

namespace qev::sim {

class Transcript;

// Where `catchup` writes its REG_DWORD "CatchUp": the key, under
// HKEY_LOCAL_MACHINE when machine is true, else under HKEY_CURRENT_USER.
struct CatchUpKey {
    bool machine = false;
    const char16_t* path = u"";
};
inline CatchUpKey CatchUpKeyOf(CatchUpPlace place)
{
    switch (place) {
        case CatchUpPlace::Policy: return {true, kCatchUpPolicyKey};
        case CatchUpPlace::Machine: return {true, kCatchUpKey};
        case CatchUpPlace::User: break;
    }
    return {false, kCatchUpKey};
}
inline constexpr CatchUpPlace kCatchUpPlaces[] = {CatchUpPlace::User, CatchUpPlace::Policy, CatchUpPlace::Machine};

// Whether Outlook of that version has the ribbon in its main window, as the
// add-in decides it: a major version (the number before the first dot) of
// 14 or more. No version (a failing read) has none.
inline bool OutlookHasRibbon(const std::optional<std::string>& version)
{
    if (!version) return false;
    const std::size_t dot = version->find('.');
    if (dot == std::string::npos || dot == 0) return false;
    int major = 0;
    for (std::size_t i = 0; i < dot && (*version)[i] >= '0' && (*version)[i] <= '9' && major < 1000; ++i)
        major = major * 10 + ((*version)[i] - '0');
    return major >= 14;
}

// A statement the world could not carry out, or an expectation that did not
// hold: the run ends with "FAIL line N: WHAT".
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class World {
public:
    virtual ~World() = default;

    // From Attach(&transcript) until Attach(nullptr), the world writes to the
    // transcript, as they happen, every debug write of the add-in ("> ") and
    // every call the add-in makes on the engine client ("< engine ").
    virtual void Attach(Transcript* transcript) = 0;

    // Returns once every event that happened so far is in the transcript. The
    // player calls it before it writes a line of its own or reads the
    // transcript, so that its lines keep their place among the world's.
    virtual void Settle() = 0;

    // ---- the world's statements; texts are UTF-8 ----

    virtual void SetOutlookVersion(const std::optional<std::string>& version) = 0;  // nothing: the read fails
    virtual void SetExplorers(std::int32_t count) = 0;
    virtual void SetMarker(MarkerKind kind, bool present) = 0;
    virtual void SetEngineLibrary(EngineLibrary library) = 0;
    virtual void SetEngineStatus(bool up) = 0;
    virtual void SetEngineSetting(int field, std::uint32_t value) = 0;
    virtual void SetEngineOption(int field, std::uint32_t value) = 0;
    virtual void SetEngineValue(const std::string& name, std::uint32_t value) = 0;

    // ---- the session ----

    // The add-in's _IDTExtensibility2 method for call (not Quit); mode is the
    // ConnectMode / RemoveMode where the method takes one. Returns its HRESULT.
    virtual std::uint32_t Call(SessionCall call, std::int32_t mode) = 0;
    // The application's Quit event.
    virtual void Quit() = 0;

    // The engine calls its observers from a thread of its own; returns once
    // whatever reached the add-in has run (false: not within the time limit).
    // Settings: the named fields of the record (the others 0), and the length
    // of the stream the add-in is handed (48 is the record's own).
    virtual bool NotifyStatus(bool up) = 0;
    virtual bool NotifySettings(const std::vector<SettingsField>& fields, std::uint32_t bytes) = 0;

    // ---- mail and the explorer ----
    // A world writes "* MOVE ...", "* READ ..." and "* CREATE ..." lines to the
    // transcript as the add-in moves, marks and creates. Unknown stores,
    // folders or item numbers throw Failure.

    // `store` and `folder` (a folder's class and item type default to 2 and 0).
    virtual void AddStore(const Store& store) = 0;
    virtual void AddFolder(const Folder& folder) = 0;
    // `deliver`: the item arrives in the folder (an item-add event when it is watched).
    virtual void DeliverItem(const Deliver& delivery) = 0;
    // `select`: the active explorer shows the folder and selects the items.
    virtual void SelectItems(const Select& selection) = 0;
    // `account add|remove|notify`.
    virtual void ChangeAccounts(const Account& change) = 0;
    // `waiting`: the item is in the folder, no event raised.
    virtual void PlaceItem(const Waiting& waiting) = 0;
    // `burst`: the items arrive together, events raised for the first ones only.
    virtual void DeliverBurst(const Burst& burst) = 0;
    // `norestrict`: the store's Items.Restrict fails.
    virtual void RefuseRestrict(const std::string& store) = 0;
    // `fail`: the next count calls of the method named "Kind.Member" (as the
    // in-memory host names its calls) fail with hr.
    virtual void FailCalls(const std::string& name, std::uint32_t count, std::uint32_t hr) = 0;
    // `catchup`: REG_DWORD "CatchUp" (1 or 0) under HKCU\Software\Marlowcrest\qev
    // (user), HKLM\Software\Policies\Marlowcrest\qev (policy) or
    // HKLM\Software\Marlowcrest\qev (machine).
    virtual void SetCatchUp(CatchUpPlace place, bool on) = 0;
    // `idle`: the add-in's timers run as they fall due, the tick count moving
    // to each one's time, until none is set or limit have run.
    virtual void Idle(std::uint32_t limit) = 0;

    // ---- the user interface ----
    // A world writes to the transcript, in their place among the debug
    // writes: "* ENABLED KEY true|false" when the add-in sets a command-bar
    // button's Enabled; the "* BUTTON ..." line of every button made and then
    // "* BAR ..." when the add-in sets its new bar's Visible (the end of the
    // build), and the BUTTON lines still due when the session call that built
    // the bar returns without that. KEY is the command whose tag the button
    // carries (zk.qev_CommandBar.Buttons_101 is IsSpam, ... 107 Settings);
    // face=WxH is the size of the picture PasteFace took from the clipboard.

    // `tick` / `wait`: the tick count the add-in reads (GetTickCount).
    virtual void SetTick(std::uint32_t tick) = 0;
    virtual void AdvanceTick(std::uint32_t ms) = 0;
    // `uimodules`, `lang`, `rtl`.
    virtual void SetUiModules(UiModules where) = 0;
    virtual void SetLanguage(const std::string& code) = 0;
    virtual void SetRtl(std::uint32_t value) = 0;
    // `clipboard text|picture|busy`: another program's doing. Text keeps the
    // picture on the clipboard and the reverse.
    virtual void PutClipboardText(const std::string& text) = 0;
    virtual void PutClipboardPicture(std::int32_t width, std::int32_t height) = 0;
    virtual void HoldClipboard(std::uint32_t attempts) = 0;
    // `click` on the command bar: the button's Click event to its sinks.
    // Failure when the add-in has no command bar or no such button (on the
    // ribbon the player calls onAction instead).
    virtual void Click(const std::string& command) = 0;
    // Whether the add-in chose the ribbon (Outlook 2010 and later).
    virtual bool UsesRibbon() = 0;
    // `bar move`: the user docks, moves, shows or hides the add-in's bar;
    // Failure when there is none.
    virtual void MoveBar(const BarOptions& bar) = 0;
    // `picture`: the add-in's command bar drawn into a PNG file. A world that
    // cannot draw says so on standard error and returns.
    virtual void DrawPicture(const std::string& file) = 0;

    // The ribbon: the add-in's IRibbonExtensibility and IRibbonCallback as
    // Outlook calls them. A world writes "* INVALIDATE" when the add-in calls
    // the ribbon object's Invalidate.
    struct MarkupAnswer {
        std::uint32_t hr = 0;
        // One line per element in document order: "@ " + two blanks per
        // depth + the name + ` name="value"` per attribute in document order.
        std::vector<std::string> lines;
    };
    virtual MarkupAnswer RibbonMarkup(const std::string& ribbonId) = 0;
    // Ribbon_OnLoad with Outlook's ribbon object, or null.
    virtual std::uint32_t RibbonLoad(bool null) = 0;
    struct CallbackAnswer {
        std::uint32_t hr = 0;
        // What the callback wrote, as the transcript shows it: a text in
        // quotes, true/false, a number, "picture WxH", or "-" for nothing.
        std::string value = "-";
    };
    // The callback by its name through the add-in's IDispatch, with a control
    // whose id is controlId and whose context is the explorer, an inspector
    // or none.
    virtual CallbackAnswer RibbonCall(const std::string& callback, const std::string& controlId,
                                      RibbonContext context) = 0;

    // ---- checks ----

    struct ButtonState {
        bool exists = false;
        bool enabled = true;
        bool face = false;
    };
    // `expect button`: the add-in's button for that command.
    virtual ButtonState Button(const std::string& command) = 0;
    struct BarState {
        std::int32_t pos = 0;
        std::int32_t top = 0;
        std::int32_t left = 0;
        bool visible = false;
    };
    // `expect bar`: the add-in's bar; nothing when it has none.
    virtual std::optional<BarState> Bar() = 0;
    struct ClipboardState {
        std::optional<std::string> text;                            // CF_UNICODETEXT, UTF-8
        std::optional<std::pair<std::int32_t, std::int32_t>> picture;  // CF_BITMAP's size
    };
    // `expect clipboard`: what the clipboard holds now.
    virtual ClipboardState Clipboard() = 0;

    // ---- checks of the mail and the engine ----

    struct FolderCount {
        std::int32_t items = 0;
        std::int32_t unread = 0;
    };
    // `expect folder`: what the folder holds now.
    virtual FolderCount CountFolder(const std::string& store, const std::string& path) = 0;

    // How often the add-in has called engine operation op so far.
    virtual std::size_t EngineCallCount(const std::string& op) = 0;
    // Everything the add-in was handed and did not give back exactly once,
    // one readable line each; empty when all is back.
    virtual std::vector<std::string> ReleaseProblems() = 0;
};

}  // namespace qev::sim
