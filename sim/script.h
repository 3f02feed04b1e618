// A scenario file parsed into typed statements. Parsing checks every
// statement's verb, arguments and options, so a malformed file is rejected
// before any of it runs.
//
// Shared by both scenario runners; standard C++ only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "sim/lexer.h"

namespace qev::sim {

// A field of a settings record written by the engine: index 0..18 and its value.
using SettingsField = std::pair<int, std::uint32_t>;

// ---- the world ----

struct OutlookVersion {
    std::optional<std::string> version;  // nothing: `outlook none`, reading the version fails
};
struct ExplorerCount {
    std::int32_t count = 1;
};
enum class MarkerKind { Trace, Disabled };
struct Marker {
    MarkerKind kind = MarkerKind::Trace;
    bool present = true;  // marker / unmarker
};
enum class EngineLibrary { Absent, NoFactory, Null };
struct EngineLibraryState {
    EngineLibrary state = EngineLibrary::Absent;
};
struct EngineStatus {
    bool up = true;
};
struct EngineSettings {
    std::vector<SettingsField> fields;
};
struct EngineOptions {
    std::optional<std::uint32_t> move;  // field 4
    std::optional<std::uint32_t> read;  // field 5
};
struct EngineValue {
    std::string name;
    std::uint32_t value = 0;
};
struct Store {
    std::string id;
    std::string displayName;
    bool unicodeRejected = false;
};
struct Folder {
    std::string store;
    std::string path;
    std::int32_t folderClass = 2;
    std::int32_t itemType = 0;
};
struct Lang {
    std::string code;
};
struct Rtl {
    std::uint32_t value = 0;
};
struct Tick {
    std::uint32_t tick = 0;
};
enum class UiModules { Beside, Product, None };
struct UiModulesAt {
    UiModules where = UiModules::Beside;
};
// `clipboard text|picture|busy`: another program's doing.
struct ClipboardText {
    std::string text;
};
struct ClipboardPicture {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
struct ClipboardBusy {
    std::uint32_t attempts = 0;
};

// ---- the session ----

enum class SessionCall { Connect, Startup, AddinsUpdate, BeginShutdown, Quit, Disconnect };
struct Session {
    SessionCall call = SessionCall::Connect;
    std::int32_t mode = 0;  // connect: ConnectMode (default 1); disconnect: RemoveMode (default 0)
};

// ---- mail and the explorer ----

enum class ItemKind { Mail, Meeting };
enum class HeadersForm { Unicode, Ansi, UnicodeEmpty, StreamUnicode, StreamAnsi, None };
enum class BodyForm { PlainUnicode, PlainAnsi, HtmlAnsi, HtmlUnicode, ObjectModelHtml, None };
struct Deliver {
    std::string store;
    std::string path;
    bool read = false;
    ItemKind kind = ItemKind::Mail;
    HeadersForm headers = HeadersForm::Unicode;
    BodyForm body = BodyForm::PlainUnicode;
    std::string message;  // header lines, an empty line, the body; CR LF line ends
};
// `waiting`: an item that was in the folder before Outlook started (no
// item-add event), received that many minutes from the scenario's now
// (negative: before it); nothing: it has no received time.
struct Waiting {
    Deliver item;
    std::optional<std::int32_t> receivedMinutes = 0;
};
// `burst`: count items arrive in one synchronisation; spam of them carry the
// engine's spam mark, the others its clean mark; Outlook raises the item-add
// event of the first `events` only.
struct Burst {
    std::string store;
    std::string path;
    std::uint32_t count = 0;
    std::uint32_t spam = 0;
    std::uint32_t events = 16;
    bool read = false;  // the items arrive read
};
// `catchup user|policy|machine on|off`: the add-in's catch-up setting.
enum class CatchUpPlace { User, Policy, Machine };
struct CatchUpSetting {
    CatchUpPlace place = CatchUpPlace::User;
    bool on = true;
};
// `norestrict S`: the store's item collections refuse every filter.
struct NoRestrict {
    std::string store;
};
// `fail NAME [COUNT] [HRESULT]`: the next COUNT calls of that method of the
// simulated Outlook ("MailItem.Move") fail with HRESULT.
struct FailCall {
    std::string name;
    std::uint32_t count = 1;
    std::uint32_t hr = 0x80004005;  // E_FAIL
};
// `idle [N]`: Outlook sits idle; the add-in's timers run as they fall due.
struct Idle {
    std::optional<std::uint32_t> limit;
};
struct Select {
    std::string store;
    std::string path;
    std::vector<std::int32_t> items;  // 1-based
};
enum class AccountChange { Add, Remove, Notify };
struct Account {
    AccountChange change = AccountChange::Notify;
    std::string store;        // add, remove
    std::string displayName;  // add
    std::int32_t code = 0;    // notify
};
struct NotifyStatus {
    bool up = true;
};
struct NotifySettings {
    std::vector<SettingsField> fields;
    std::uint32_t bytes = 48;
};
struct Click {
    std::string command;  // IsSpam, NotSpam, AddSpammer, AddFriend, Spammers, Friends, Settings
};
struct Wait {
    std::uint32_t ms = 0;
};
// `bar move` and `expect bar`: the options given.
struct BarOptions {
    std::optional<std::int32_t> pos;
    std::optional<std::int32_t> top;
    std::optional<std::int32_t> left;
    std::optional<std::int32_t> visible;  // 0 or 1
};
struct BarMove {
    BarOptions bar;
};
struct Picture {
    std::string file;
};
// `ribbon markup [RIBBONID]`, `ribbon load [null]`, `ribbon CALLBACK CONTROL [inspector|nocontext]`.
struct RibbonMarkup {
    std::string ribbonId = "Microsoft.Outlook.Explorer";
};
struct RibbonLoad {
    bool null = false;
};
enum class RibbonContext { Explorer, Inspector, None };
struct RibbonCallback {
    std::string callback;  // getLabel getScreentip getSupertip getSize getVisible getEnabled getImage getImageMso onAction
    std::string control;   // "tab:KEY", "group:KEY", "button:KEY", or an id as it stands
    bool controlIsId = false;  // written as a quoted token
    RibbonContext context = RibbonContext::Explorer;
};

// `session`: what follows is played in a new world with a new add-in object,
// as if it began a file of its own.
struct NewSession {};

// ---- assertions ----

struct ExpectFolder {
    std::string store;
    std::string path;
    std::int32_t items = 0;
    std::optional<std::int32_t> unread;
};
struct ExpectEngine {
    std::string op;
    std::int64_t count = 0;
};
struct ExpectTrace {
    std::string text;  // compared with the escaped debug writes
    bool present = true;
};
struct ExpectResult {
    SessionCall call = SessionCall::Connect;
    std::uint32_t hr = 0;
};
struct ExpectReleased {};
enum class ButtonPresence { Unsaid, Enabled, Disabled, Absent };
struct ExpectButton {
    std::string key;                 // IsSpam, NotSpam, ...
    ButtonPresence presence = ButtonPresence::Unsaid;
    std::optional<bool> face;        // face / noface
};
struct ExpectBar {
    BarOptions bar;
};
enum class ClipboardCheck { Text, Picture, NoPicture };
struct ExpectClipboard {
    ClipboardCheck check = ClipboardCheck::Text;
    std::string text;                // Text
    std::int32_t width = 0;          // Picture
    std::int32_t height = 0;
};
// A runner's own assertion: the transcript so far holds lines containing
// these texts in this order, each in the line right after the one before,
// except where a "..." entry lets any lines pass.
struct ExpectOrder {
    std::vector<std::string> lines;
};

using Action = std::variant<OutlookVersion, ExplorerCount, Marker, EngineLibraryState, EngineStatus, EngineSettings,
                            EngineOptions, EngineValue, Store, Folder, Lang, Rtl, Session, Deliver, Select, Account,
                            NotifyStatus, NotifySettings, Click, Wait, NewSession, ExpectFolder, ExpectEngine,
                            ExpectTrace, ExpectResult, ExpectReleased, ExpectOrder, Tick, UiModulesAt, ClipboardText,
                            ClipboardPicture, ClipboardBusy, BarMove, Picture, ExpectButton, ExpectBar,
                            ExpectClipboard, RibbonMarkup, RibbonLoad, RibbonCallback, Waiting, Burst,
                            CatchUpSetting, Idle, NoRestrict, FailCall>;

struct Statement {
    int line = 0;
    std::string verb;  // the statement's verb as written, e.g. "connect", "engine status", "expect trace"
    Action action;
};

// Parses a whole file. Throws ScenarioError for the first malformed statement.
std::vector<Statement> ParseScenario(std::string_view source);

// The verb of a session call as scenario files and transcripts write it.
std::string_view SessionVerb(SessionCall call) noexcept;

// The engine operations the add-in may call, by their slot-table names.
bool IsEngineOperation(std::string_view op) noexcept;

}  // namespace qev::sim
