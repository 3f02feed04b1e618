#include "sim/script.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <tuple>

namespace qev::sim {
namespace {

constexpr std::array<std::string_view, 18> kEngineOperations{
    "Release",       "Init",       "GetSettings", "GetServerStatus", "Advise",      "Unadvise",
    "SetConfigFile", "Shutdown",   "GetOptions",  "GetValue",        "SetValue",    "IsSpam",
    "NotSpam",       "AddSpammer", "AddFriend",   "ShowSpammers",    "ShowFriends", "ShowSettings",
};

constexpr std::array<std::string_view, 7> kCommands{
    "IsSpam", "NotSpam", "AddSpammer", "AddFriend", "Spammers", "Friends", "Settings",
};

constexpr std::array<std::pair<std::string_view, SessionCall>, 6> kSessionVerbs{{
    {"connect", SessionCall::Connect},
    {"startup", SessionCall::Startup},
    {"addinsupdate", SessionCall::AddinsUpdate},
    {"beginshutdown", SessionCall::BeginShutdown},
    {"quit", SessionCall::Quit},
    {"disconnect", SessionCall::Disconnect},
}};

// What `fail` can name: the members of these objects of the simulated
// Outlook ("MailItem.Move"), and the MAPI session's calls. Both runners
// answer these from objects of their own; the add-in's own object and the
// platform's calls (the registry, libraries, MSXML) are another matter.
constexpr std::array<std::string_view, 19> kFailKinds{
    "Application", "Explorers",  "Explorer",           "Namespace",        "Folder",   "Items",         "MailItem",
    "Selection",   "MsgStore",   "MapiFolder",         "Message",          "AccountManager",           "CommandBars",
    "CommandBar",  "CommandBarControls",               "CommandBarButton", "RibbonUI", "RibbonControl", "Inspector",
};
constexpr std::array<std::string_view, 5> kFailSessionCalls{
    "OpenEntry", "OpenMsgStore", "GetMsgStoresTable", "GetReceiveFolder", "OpenProfileSection",
};

std::string Quote(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

// The arguments of one statement after its verb: positional tokens in order,
// options by key. Every failure names the statement's line.
class Args {
public:
    Args(const SourceStatement& statement, std::size_t start) : m_line(statement.line)
    {
        for (std::size_t i = start; i < statement.tokens.size(); ++i) {
            const Token& token = statement.tokens[i];
            if (!token.IsOption()) {
                m_positional.push_back(&token);
                continue;
            }
            const std::string key(token.Key());
            if (!m_options.emplace(key, std::string(token.Value())).second) Fail("option " + key + "= given twice");
        }
    }

    [[noreturn]] void Fail(const std::string& why) const { throw ScenarioError(m_line, why); }

    bool More() const noexcept { return m_next < m_positional.size(); }

    const Token& Next(std::string_view what)
    {
        if (!More()) Fail("missing " + std::string(what));
        return *m_positional[m_next++];
    }

    std::string Text(std::string_view what) { return Next(what).text; }

    // One of the given words.
    template <std::size_t N>
    std::size_t Choice(std::string_view what, const std::array<std::string_view, N>& words)
    {
        return ChoiceOf(Next(what).text, what, words);
    }

    template <std::size_t N>
    std::size_t ChoiceOf(std::string_view word, std::string_view what,
                         const std::array<std::string_view, N>& words) const
    {
        for (std::size_t i = 0; i < N; ++i) {
            if (word == words[i]) return i;
        }
        std::string list;
        for (const std::string_view w : words) list += (list.empty() ? "" : "|") + std::string(w);
        Fail(std::string(what) + " must be " + list + ", not " + Quote(word));
    }

    std::int64_t Number(std::string_view text, std::string_view what, std::int64_t min, std::int64_t max) const
    {
        const std::optional<std::int64_t> n = ParseNumber(text);
        if (!n) Fail(std::string(what) + " is not a number: " + Quote(text));
        if (*n < min || *n > max) Fail(std::string(what) + " out of range: " + std::string(text));
        return *n;
    }
    std::int32_t Int32(std::string_view text, std::string_view what) const
    {
        return static_cast<std::int32_t>(
            Number(text, what, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    }
    std::uint32_t UInt32(std::string_view text, std::string_view what) const
    {
        return static_cast<std::uint32_t>(Number(text, what, 0, std::numeric_limits<std::uint32_t>::max()));
    }
    std::int32_t NextInt32(std::string_view what) { return Int32(Next(what).text, what); }
    std::uint32_t NextUInt32(std::string_view what) { return UInt32(Next(what).text, what); }

    // Takes an option out; nothing when it was not given.
    std::optional<std::string> Option(const std::string& key)
    {
        const auto it = m_options.find(key);
        if (it == m_options.end()) return std::nullopt;
        std::string value = std::move(it->second);
        m_options.erase(it);
        return value;
    }

    // Takes out every option fN=V (settings record fields).
    std::vector<SettingsField> SettingsFields()
    {
        std::vector<SettingsField> fields;
        for (auto it = m_options.begin(); it != m_options.end();) {
            const std::string& key = it->first;
            if (key.size() < 2 || key[0] != 'f' ||
                !std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                ++it;
                continue;
            }
            const std::int64_t index = Number(key.substr(1), "settings field", 0, 18);
            fields.emplace_back(static_cast<int>(index), UInt32(it->second, key));
            it = m_options.erase(it);
        }
        std::sort(fields.begin(), fields.end());
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (fields[i].first == fields[i - 1].first)
                Fail("settings field f" + std::to_string(fields[i].first) + " given twice");
        }
        return fields;
    }

    // Every argument and option must have been used.
    void Done() const
    {
        if (More()) Fail("unexpected argument " + Quote(m_positional[m_next]->text));
        if (!m_options.empty()) Fail("unknown option " + m_options.begin()->first + "=");
    }

private:
    int m_line;
    std::vector<const Token*> m_positional;
    std::size_t m_next = 0;
    std::map<std::string, std::string> m_options;
};

Statement Make(const SourceStatement& source, std::string verb, Action action)
{
    return Statement{source.line, std::move(verb), std::move(action)};
}

Action ParseEngine(Args& args, std::string& verb)
{
    const Token& what = args.Next("what the engine does");
    const std::string& word = what.text;
    verb += " " + word;
    if (word == "absent") return EngineLibraryState{EngineLibrary::Absent};
    if (word == "nofactory") return EngineLibraryState{EngineLibrary::NoFactory};
    if (word == "null") return EngineLibraryState{EngineLibrary::Null};
    if (word == "status") {
        constexpr std::array<std::string_view, 2> kUpDown{"up", "down"};
        return EngineStatus{args.Choice("status", kUpDown) == 0};
    }
    if (word == "settings") {
        EngineSettings settings{args.SettingsFields()};
        if (settings.fields.empty()) args.Fail("engine settings names no field fN=V");
        return settings;
    }
    if (word == "options") {
        EngineOptions options;
        if (auto v = args.Option("move")) options.move = args.UInt32(*v, "move");
        if (auto v = args.Option("read")) options.read = args.UInt32(*v, "read");
        if (!options.move && !options.read) args.Fail("engine options names neither move= nor read=");
        return options;
    }
    if (word == "value") {
        EngineValue value;
        value.name = args.Text("value name");
        value.value = args.NextUInt32("value");
        return value;
    }
    args.Fail("engine takes absent, nofactory, null, status, settings, options or value, not " + Quote(what.text));
}

// pos=N top=N left=N visible=0|1, any subset but not none.
BarOptions ParseBarOptions(Args& args, std::string_view verb)
{
    BarOptions bar;
    if (auto v = args.Option("pos")) bar.pos = args.Int32(*v, "pos");
    if (auto v = args.Option("top")) bar.top = args.Int32(*v, "top");
    if (auto v = args.Option("left")) bar.left = args.Int32(*v, "left");
    if (auto v = args.Option("visible")) {
        bar.visible = args.Int32(*v, "visible");
        if (*bar.visible != 0 && *bar.visible != 1) args.Fail("visible must be 0 or 1");
    }
    if (!bar.pos && !bar.top && !bar.left && !bar.visible)
        args.Fail(std::string(verb) + " needs pos=, top=, left= or visible=");
    return bar;
}

// WxH, both at least 1.
std::pair<std::int32_t, std::int32_t> ParseSize(Args& args, const Token& token)
{
    const std::size_t x = token.text.find('x');
    if (x == std::string::npos) args.Fail("a picture's size is WxH, not " + Quote(token.text));
    const std::int64_t w = args.Number(token.text.substr(0, x), "width", 1, 4096);
    const std::int64_t h = args.Number(token.text.substr(x + 1), "height", 1, 4096);
    return {static_cast<std::int32_t>(w), static_cast<std::int32_t>(h)};
}

Action ParseExpect(Args& args, std::string& verb, const std::optional<std::string>& heredoc)
{
    const Token& what = args.Next("what to expect");
    const std::string& word = what.text;
    verb += " " + word;
    if (word == "trace" || word == "no-trace") return ExpectTrace{args.Text("trace text"), word == "trace"};
    if (word == "released") return ExpectReleased{};
    if (word == "engine") {
        ExpectEngine expect;
        expect.op = args.Text("engine operation");
        if (!IsEngineOperation(expect.op)) args.Fail("unknown engine operation " + Quote(expect.op));
        expect.count = args.NextUInt32("call count");
        return expect;
    }
    if (word == "result") {
        const Token& call = args.Next("session verb");
        const auto it = std::find_if(kSessionVerbs.begin(), kSessionVerbs.end(),
                                     [&](const auto& v) { return v.first == call.text; });
        if (it == kSessionVerbs.end()) args.Fail("no session verb " + Quote(call.text) + " returns a result");
        if (it->second == SessionCall::Quit) args.Fail("quit is an event and returns no result");
        const Token& hr = args.Next("HRESULT");
        const std::int64_t value = args.Number(hr.text, "HRESULT", std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::uint32_t>::max());
        return ExpectResult{it->second, static_cast<std::uint32_t>(value)};
    }
    if (word == "order") {
        if (!heredoc) args.Fail("expect order takes its lines as a heredoc: <<TAG");
        ExpectOrder expect;
        std::string_view text = *heredoc;
        while (!text.empty()) {
            const std::size_t end = text.find("\r\n");
            const std::string_view line = text.substr(0, end);
            if (line.find_first_not_of(" \t") != std::string_view::npos) expect.lines.emplace_back(line);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
        }
        if (expect.lines.empty()) args.Fail("expect order names no line");
        return expect;
    }
    if (word == "folder") {
        ExpectFolder expect;
        expect.store = args.Text("store");
        expect.path = args.Text("folder path");
        const std::optional<std::string> items = args.Option("items");
        if (!items) args.Fail("expect folder needs items=N");
        expect.items = args.Int32(*items, "items");
        if (auto unread = args.Option("unread")) expect.unread = args.Int32(*unread, "unread");
        return expect;
    }
    if (word == "button") {
        ExpectButton expect;
        expect.key = std::string(kCommands[args.Choice("command", kCommands)]);
        constexpr std::array<std::string_view, 5> kStates{"enabled", "disabled", "absent", "face", "noface"};
        while (args.More()) {
            const std::size_t state = args.Choice("button state", kStates);
            if (state < 3) {
                if (expect.presence != ButtonPresence::Unsaid) args.Fail("expect button takes one of enabled|disabled|absent");
                expect.presence = static_cast<ButtonPresence>(state + 1);
            } else {
                if (expect.face) args.Fail("expect button takes one of face|noface");
                expect.face = state == 3;
            }
        }
        if (expect.presence == ButtonPresence::Unsaid && !expect.face) args.Fail("expect button needs a state");
        return expect;
    }
    if (word == "bar") return ExpectBar{ParseBarOptions(args, verb)};
    if (word == "clipboard") {
        constexpr std::array<std::string_view, 3> kChecks{"text", "picture", "no-picture"};
        ExpectClipboard expect;
        expect.check = static_cast<ClipboardCheck>(args.Choice("clipboard content", kChecks));
        if (expect.check == ClipboardCheck::Text) expect.text = args.Text("text");
        if (expect.check == ClipboardCheck::Picture)
            std::tie(expect.width, expect.height) = ParseSize(args, args.Next("picture size"));
        return expect;
    }
    args.Fail("expect takes trace, no-trace, engine, result, released, order, folder, button, bar or clipboard, not " +
              Quote(what.text));
}

Action ParseDeliver(const SourceStatement& source, Args& args)
{
    Deliver deliver;
    deliver.store = args.Text("store");
    deliver.path = args.Text("folder path");
    while (args.More()) {
        const Token& flag = args.Next("flag");
        if (flag.text != "read") args.Fail("unexpected argument " + Quote(flag.text));
        deliver.read = true;
    }
    if (auto kind = args.Option("kind")) {
        constexpr std::array<std::string_view, 2> kKinds{"mail", "meeting"};
        deliver.kind = static_cast<ItemKind>(args.ChoiceOf(*kind, "kind", kKinds));
    }
    if (auto headers = args.Option("headers")) {
        constexpr std::array<std::string_view, 6> kForms{"unicode",        "ansi",        "unicode-empty",
                                                         "stream-unicode", "stream-ansi", "none"};
        deliver.headers = static_cast<HeadersForm>(args.ChoiceOf(*headers, "headers", kForms));
    }
    if (auto body = args.Option("body")) {
        constexpr std::array<std::string_view, 6> kForms{"plain-unicode", "plain-ansi",        "html-ansi",
                                                         "html-unicode",  "object-model-html", "none"};
        deliver.body = static_cast<BodyForm>(args.ChoiceOf(*body, "body", kForms));
    }
    if (!source.heredoc) args.Fail("the message comes as a heredoc: <<TAG");
    deliver.message = *source.heredoc;
    return deliver;
}

Action ParseAccount(Args& args, std::string& verb)
{
    constexpr std::array<std::string_view, 3> kChanges{"add", "remove", "notify"};
    Account account;
    account.change = static_cast<AccountChange>(args.Choice("account change", kChanges));
    verb += " " + std::string(kChanges[static_cast<std::size_t>(account.change)]);
    switch (account.change) {
        case AccountChange::Add:
            account.store = args.Text("store");
            account.displayName = args.Text("display name");
            break;
        case AccountChange::Remove:
            account.store = args.Text("store");
            break;
        case AccountChange::Notify:
            account.code = args.NextInt32("notification code");
            break;
    }
    return account;
}

Action ParseNotify(Args& args, std::string& verb)
{
    constexpr std::array<std::string_view, 2> kKinds{"status", "settings"};
    const std::size_t kind = args.Choice("notification", kKinds);
    verb += " " + std::string(kKinds[kind]);
    if (kind == 0) {
        constexpr std::array<std::string_view, 2> kUpDown{"up", "down"};
        return NotifyStatus{args.Choice("status", kUpDown) == 0};
    }
    NotifySettings notify;
    if (auto bytes = args.Option("bytes")) notify.bytes = args.UInt32(*bytes, "bytes");
    notify.fields = args.SettingsFields();
    return notify;
}

Action ParseRibbon(Args& args, std::string& verb)
{
    constexpr std::array<std::string_view, 11> kWhat{"markup",       "load",       "getLabel",   "getScreentip",
                                                     "getSupertip",  "getSize",    "getVisible", "getEnabled",
                                                     "getImage",     "getImageMso", "onAction"};
    const std::size_t what = args.Choice("ribbon statement", kWhat);
    verb += " " + std::string(kWhat[what]);
    if (what == 0) {
        RibbonMarkup markup;
        if (args.More()) markup.ribbonId = args.Text("ribbon id");
        return markup;
    }
    if (what == 1) {
        RibbonLoad load;
        if (args.More()) {
            constexpr std::array<std::string_view, 1> kNull{"null"};
            args.Choice("ribbon object", kNull);
            load.null = true;
        }
        return load;
    }
    RibbonCallback call;
    call.callback = std::string(kWhat[what]);
    const Token& control = args.Next("control");
    call.control = control.text;
    call.controlIsId = control.quoted;
    if (!control.quoted) {
        const std::size_t colon = control.text.find(':');
        const std::string_view kind = std::string_view(control.text).substr(0, colon);
        if (colon == std::string::npos || colon + 1 == control.text.size() ||
            (kind != "tab" && kind != "group" && kind != "button"))
            args.Fail("a control is tab:KEY, group:KEY, button:KEY or a quoted id, not " + Quote(control.text));
    }
    if (args.More()) {
        constexpr std::array<std::string_view, 2> kContexts{"inspector", "nocontext"};
        call.context = args.Choice("context", kContexts) == 0 ? RibbonContext::Inspector : RibbonContext::None;
    }
    return call;
}

Action ParseClipboard(Args& args, std::string& verb)
{
    constexpr std::array<std::string_view, 3> kKinds{"text", "picture", "busy"};
    const std::size_t kind = args.Choice("clipboard content", kKinds);
    verb += " " + std::string(kKinds[kind]);
    if (kind == 0) return ClipboardText{args.Text("text")};
    if (kind == 1) {
        const auto [w, h] = ParseSize(args, args.Next("picture size"));
        return ClipboardPicture{w, h};
    }
    return ClipboardBusy{args.NextUInt32("attempts")};
}

Action ParseFail(Args& args)
{
    const Token& name = args.Next("method name");
    const std::size_t dot = name.text.find('.');
    const std::string_view kind = std::string_view(name.text).substr(0, dot);
    const std::string_view member = dot == std::string::npos ? "" : std::string_view(name.text).substr(dot + 1);
    const bool session = std::find(kFailSessionCalls.begin(), kFailSessionCalls.end(), name.text) != kFailSessionCalls.end();
    const bool known = std::find(kFailKinds.begin(), kFailKinds.end(), kind) != kFailKinds.end() && !member.empty() &&
                       member != "QueryInterface";
    if (name.quoted || (!session && !known))
        args.Fail("fail names a method of Outlook's objects (Kind.Member) or a MAPI session call, not " +
                  Quote(name.text));
    FailCall fail{name.text};
    if (args.More()) {
        fail.count = args.NextUInt32("call count");
        if (fail.count == 0) args.Fail("call count below 1");
    }
    if (args.More()) {
        const Token& hr = args.Next("HRESULT");
        fail.hr = static_cast<std::uint32_t>(args.Number(hr.text, "HRESULT", std::numeric_limits<std::int32_t>::min(),
                                                         std::numeric_limits<std::uint32_t>::max()));
        if ((fail.hr & 0x80000000u) == 0) args.Fail("a failure's HRESULT has its high bit set, not " + hr.text);
    }
    return fail;
}

Statement ParseStatement(const SourceStatement& source)
{
    const Token& first = source.tokens.front();
    if (first.quoted || first.IsOption()) throw ScenarioError(source.line, "a statement begins with its verb");
    std::string verb = first.text;
    Args args(source, 1);
    const bool takesHeredoc =
        verb == "deliver" || verb == "waiting" || (verb == "expect" && source.tokens.size() > 1 && source.tokens[1].text == "order");
    if (source.heredoc && !takesHeredoc) args.Fail("only deliver, waiting and expect order take a heredoc");

    Action action;
    if (verb == "outlook") {
        const Token& version = args.Next("version");
        action = OutlookVersion{!version.quoted && version.text == "none" ? std::nullopt
                                                                          : std::optional<std::string>(version.text)};
    } else if (verb == "explorers") {
        const std::int32_t count = args.NextInt32("explorer count");
        if (count < 0) args.Fail("explorer count below 0");
        action = ExplorerCount{count};
    } else if (verb == "marker" || verb == "unmarker") {
        constexpr std::array<std::string_view, 2> kMarkers{"trace", "disabled"};
        action = Marker{static_cast<MarkerKind>(args.Choice("marker", kMarkers)), verb == "marker"};
    } else if (verb == "engine") {
        action = ParseEngine(args, verb);
    } else if (verb == "store") {
        Store store;
        store.id = args.Text("store");
        store.displayName = args.Text("display name");
        if (args.More()) {
            const Token& flag = args.Next("flag");
            if (flag.text != "unicode-rejected") args.Fail("unexpected argument " + Quote(flag.text));
            store.unicodeRejected = true;
        }
        action = std::move(store);
    } else if (verb == "folder") {
        Folder folder;
        folder.store = args.Text("store");
        folder.path = args.Text("folder path");
        if (auto c = args.Option("class")) folder.folderClass = args.Int32(*c, "class");
        if (auto t = args.Option("itemtype")) folder.itemType = args.Int32(*t, "itemtype");
        action = std::move(folder);
    } else if (verb == "lang") {
        action = Lang{args.Text("language code")};
    } else if (verb == "rtl") {
        action = Rtl{args.NextUInt32("rtl value")};
    } else if (const auto session = std::find_if(kSessionVerbs.begin(), kSessionVerbs.end(),
                                                 [&](const auto& v) { return v.first == verb; });
               session != kSessionVerbs.end()) {
        Session call{session->second, session->second == SessionCall::Connect ? 1 : 0};
        const bool takesMode = call.call == SessionCall::Connect || call.call == SessionCall::Disconnect;
        if (takesMode && args.More()) call.mode = args.NextInt32("mode");
        action = call;
    } else if (verb == "deliver") {
        action = ParseDeliver(source, args);
    } else if (verb == "waiting") {
        Waiting waiting;
        if (auto received = args.Option("received")) {
            if (*received == "none") {
                waiting.receivedMinutes.reset();
            } else {
                waiting.receivedMinutes = args.Int32(*received, "received");
            }
        }
        waiting.item = std::get<Deliver>(ParseDeliver(source, args));
        action = std::move(waiting);
    } else if (verb == "burst") {
        Burst burst;
        burst.store = args.Text("store");
        burst.path = args.Text("folder path");
        burst.count = args.NextUInt32("item count");
        if (args.More()) {
            const Token& flag = args.Next("flag");
            if (flag.text != "read") args.Fail("unexpected argument " + Quote(flag.text));
            burst.read = true;
        }
        if (auto spam = args.Option("spam")) burst.spam = args.UInt32(*spam, "spam");
        if (auto events = args.Option("events")) burst.events = args.UInt32(*events, "events");
        if (burst.spam > burst.count || burst.events > burst.count) args.Fail("spam= and events= cannot exceed the count");
        action = std::move(burst);
    } else if (verb == "catchup") {
        constexpr std::array<std::string_view, 3> kPlaces{"user", "policy", "machine"};
        constexpr std::array<std::string_view, 2> kStates{"off", "on"};
        CatchUpSetting setting;
        setting.place = static_cast<CatchUpPlace>(args.Choice("where", kPlaces));
        setting.on = args.Choice("state", kStates) == 1;
        action = setting;
    } else if (verb == "norestrict") {
        action = NoRestrict{args.Text("store")};
    } else if (verb == "fail") {
        action = ParseFail(args);
    } else if (verb == "idle") {
        Idle idle;
        if (args.More()) idle.limit = args.NextUInt32("timer count");
        action = idle;
    } else if (verb == "select") {
        Select select;
        select.store = args.Text("store");
        select.path = args.Text("folder path");
        while (args.More()) {
            const std::int32_t n = args.NextInt32("item number");
            if (n < 1) args.Fail("item numbers begin at 1");
            select.items.push_back(n);
        }
        action = std::move(select);
    } else if (verb == "account") {
        action = ParseAccount(args, verb);
    } else if (verb == "notify") {
        action = ParseNotify(args, verb);
    } else if (verb == "click") {
        action = Click{std::string(kCommands[args.Choice("command", kCommands)])};
    } else if (verb == "wait") {
        action = Wait{args.NextUInt32("milliseconds")};
    } else if (verb == "tick") {
        action = Tick{args.NextUInt32("tick count")};
    } else if (verb == "uimodules") {
        constexpr std::array<std::string_view, 3> kWhere{"beside", "product", "none"};
        action = UiModulesAt{static_cast<UiModules>(args.Choice("where", kWhere))};
    } else if (verb == "clipboard") {
        action = ParseClipboard(args, verb);
    } else if (verb == "bar") {
        constexpr std::array<std::string_view, 1> kMove{"move"};
        args.Choice("bar statement", kMove);
        verb += " move";
        action = BarMove{ParseBarOptions(args, verb)};
    } else if (verb == "ribbon") {
        action = ParseRibbon(args, verb);
    } else if (verb == "picture") {
        action = Picture{args.Text("file")};
    } else if (verb == "session") {
        action = NewSession{};
    } else if (verb == "expect") {
        action = ParseExpect(args, verb, source.heredoc);
    } else {
        args.Fail("unknown verb " + Quote(verb));
    }
    args.Done();
    return Make(source, std::move(verb), std::move(action));
}

}  // namespace

std::vector<Statement> ParseScenario(std::string_view source)
{
    std::vector<Statement> statements;
    for (const SourceStatement& s : Lex(source)) statements.push_back(ParseStatement(s));
    return statements;
}

std::string_view SessionVerb(SessionCall call) noexcept
{
    for (const auto& [verb, c] : kSessionVerbs) {
        if (c == call) return verb;
    }
    return {};
}

bool IsEngineOperation(std::string_view op) noexcept
{
    return std::find(kEngineOperations.begin(), kEngineOperations.end(), op) != kEngineOperations.end();
}

}  // namespace qev::sim
