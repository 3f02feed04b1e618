#include "sim/player.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "engine/as_client.h"
#include "sim/transcript.h"

namespace qev::sim {
namespace {

std::string Quote(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

// Ends the run when a statement does not finish in time: an add-in that
// hangs (or a host thread that died under it) must not hold the runner, and
// with it the debug channel and the machine's registration, for good. A
// limit of zero watches nothing and starts no thread.
class Watchdog {
public:
    Watchdog(Transcript& transcript, std::chrono::seconds limit) : m_transcript(transcript), m_limit(limit)
    {
        if (m_limit.count() > 0) m_thread = std::thread([this] { Watch(); });
    }
    ~Watchdog()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Arm(int line)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_line = line;
            m_deadline = std::chrono::steady_clock::now() + m_limit;
            ++m_armed;
        }
        m_changed.notify_all();
    }
    void Disarm()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_line = 0;
        }
        m_changed.notify_all();
    }

private:
    void Watch()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stop || m_line != 0; });
            if (m_stop) return;
            const std::uint64_t armed = m_armed;
            if (m_changed.wait_until(lock, m_deadline, [&] { return m_stop || m_line == 0 || m_armed != armed; }))
                continue;
            m_transcript.Fail(m_line,
                              "the statement did not finish within " + std::to_string(m_limit.count()) + " seconds");
            std::_Exit(kExitFailed);
        }
    }

    Transcript& m_transcript;
    const std::chrono::seconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_line = 0;  // the statement running, 0 between statements
    std::uint64_t m_armed = 0;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_stop = false;
    std::thread m_thread;
};

class Player {
public:
    Player(World& world, std::ostream& out, std::chrono::seconds statementLimit)
        : m_world(world), m_transcript(out), m_watchdog(m_transcript, statementLimit)
    {
        m_world.Attach(&m_transcript);
    }

    ~Player()
    {
        // Whatever the world does after the run (letting the add-in go, say)
        // is not part of the transcript.
        m_world.Attach(nullptr);
    }

    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Plays on past failures, skipping the assertions; counts what escaped.
    int PlayRegardless(const std::vector<Statement>& statements, const std::function<void(int)>& released,
                       const std::function<void(std::size_t)>& before)
    {
        int escaped = 0;
        for (std::size_t index = 0; index < statements.size(); ++index) {
            const Statement& statement = statements[index];
            if (before) before(index);
            if (IsAssertion(statement.action)) {
                if (released && std::holds_alternative<ExpectReleased>(statement.action)) {
                    m_world.Settle();
                    released(statement.line);
                }
                continue;
            }
            m_statement = &statement;
            m_watchdog.Arm(statement.line);
            try {
                std::visit(*this, statement.action);
                m_world.Settle();
            } catch (const Failure&) {
                // What the world could not do with the add-in as it is now.
            } catch (const std::exception& e) {
                ++escaped;
                m_transcript.Line("ESCAPED line " + std::to_string(statement.line) + ": " + e.what());
            } catch (...) {
                ++escaped;
                m_transcript.Line("ESCAPED line " + std::to_string(statement.line) + ": an exception");
            }
            m_watchdog.Disarm();
        }
        return escaped;
    }

    int Play(const std::vector<Statement>& statements)
    {
        for (const Statement& statement : statements) {
            std::string failure;
            try {
                m_statement = &statement;
                m_watchdog.Arm(statement.line);
                std::visit(*this, statement.action);
                m_watchdog.Disarm();
                continue;
            } catch (const Failure& e) {
                failure = e.what();
            } catch (const std::exception& e) {
                failure = std::string("exception escaped: ") + e.what();
            } catch (...) {
                failure = "exception escaped";
            }
            try {
                m_world.Settle();
            } catch (const std::exception& e) {
                failure += std::string(" (and ") + e.what() + ")";
            }
            m_watchdog.Disarm();
            m_transcript.Fail(statement.line, failure);
            return kExitFailed;
        }
        try {
            m_world.Settle();
        } catch (const std::exception& e) {
            m_transcript.Fail(statements.empty() ? 0 : statements.back().line, e.what());
            return kExitFailed;
        }
        return kExitPassed;
    }

    // ---- the world ----

    void operator()(const OutlookVersion& s) { m_world.SetOutlookVersion(s.version); }
    void operator()(const ExplorerCount& s) { m_world.SetExplorers(s.count); }
    void operator()(const Marker& s) { m_world.SetMarker(s.kind, s.present); }
    void operator()(const EngineLibraryState& s) { m_world.SetEngineLibrary(s.state); }
    void operator()(const EngineStatus& s) { m_world.SetEngineStatus(s.up); }
    void operator()(const EngineSettings& s)
    {
        for (const auto& [field, value] : s.fields) m_world.SetEngineSetting(field, value);
    }
    void operator()(const EngineOptions& s)
    {
        if (s.move) m_world.SetEngineOption(qev::kOptionMoveToSpamFolder, *s.move);
        if (s.read) m_world.SetEngineOption(qev::kOptionMarkAsRead, *s.read);
    }
    void operator()(const EngineValue& s) { m_world.SetEngineValue(s.name, s.value); }

    // ---- the session ----

    void operator()(const Session& s)
    {
        if (s.call == SessionCall::Quit) {
            m_world.Quit();  // an event: nothing comes back
            return;
        }
        const std::uint32_t result = m_world.Call(s.call, s.mode);
        Settle();
        m_transcript.Result(m_statement->verb, result);
        m_results[s.call] = result;
    }

    // ---- the engine's notifications ----

    void operator()(const NotifyStatus& s)
    {
        if (!m_world.NotifyStatus(s.up)) throw Failure("the engine's status notification did not finish in time");
    }
    void operator()(const NotifySettings& s)
    {
        if (!m_world.NotifySettings(s.fields, s.bytes))
            throw Failure("the engine's settings notification did not finish in time");
    }

    // ---- the user interface ----

    // `idle` without a count: until no timer is left, within reason.
    static constexpr std::uint32_t kIdleLimit = 100000;

    void operator()(const Tick& s) { m_world.SetTick(s.tick); }
    void operator()(const Wait& s) { m_world.AdvanceTick(s.ms); }
    void operator()(const UiModulesAt& s) { m_world.SetUiModules(s.where); }
    void operator()(const Lang& s) { m_world.SetLanguage(s.code); }
    void operator()(const Rtl& s) { m_world.SetRtl(s.value); }
    void operator()(const ClipboardText& s) { m_world.PutClipboardText(s.text); }
    void operator()(const ClipboardPicture& s) { m_world.PutClipboardPicture(s.width, s.height); }
    void operator()(const ClipboardBusy& s) { m_world.HoldClipboard(s.attempts); }
    void operator()(const Click& s)
    {
        if (!m_world.UsesRibbon()) {
            m_world.Click(s.command);
            return;
        }
        // Outlook shows the tab, and so asks for its markup, before anyone can click.
        if (!m_markupAsked) TakeMarkup(m_world.RibbonMarkup("Microsoft.Outlook.Explorer"));
        m_world.RibbonCall("onAction", ControlId("button:" + s.command), RibbonContext::Explorer);
    }
    void operator()(const RibbonMarkup& s)
    {
        if (!m_world.UsesRibbon()) throw Failure("the add-in chose the command bar: Outlook asks for no markup");
        const World::MarkupAnswer answer = m_world.RibbonMarkup(s.ribbonId);
        Settle();
        m_transcript.Line("= markup " + HexResult(answer.hr));
        for (const std::string& line : answer.lines) m_transcript.Line(line);
        TakeMarkup(answer);
    }
    void operator()(const RibbonLoad& s)
    {
        if (!m_world.UsesRibbon()) throw Failure("the add-in chose the command bar: there is no ribbon to load");
        const std::uint32_t hr = m_world.RibbonLoad(s.null);
        Settle();
        m_transcript.Line("= load " + HexResult(hr));
    }
    void operator()(const RibbonCallback& s)
    {
        if (!m_world.UsesRibbon()) throw Failure("the add-in chose the command bar: there is no ribbon to call");
        const std::string id = s.controlIsId ? s.control : ControlId(s.control);
        const World::CallbackAnswer answer = m_world.RibbonCall(s.callback, id, s.context);
        Settle();
        m_transcript.Line("= " + s.callback + " " + HexResult(answer.hr) + " " + answer.value);
    }
    void operator()(const BarMove& s) { m_world.MoveBar(s.bar); }
    void operator()(const Picture& s) { m_world.DrawPicture(s.file); }

    // PlayEachSession gives every session its own world and player.
    void operator()(const NewSession&) { throw Failure("a new session needs a new world"); }

    // ---- mail and the explorer ----

    void operator()(const Store& s) { m_world.AddStore(s); }
    void operator()(const Folder& s) { m_world.AddFolder(s); }
    void operator()(const Deliver& s) { m_world.DeliverItem(s); }
    void operator()(const Select& s) { m_world.SelectItems(s); }
    void operator()(const Account& s) { m_world.ChangeAccounts(s); }
    void operator()(const Waiting& s) { m_world.PlaceItem(s); }
    void operator()(const Burst& s) { m_world.DeliverBurst(s); }
    void operator()(const CatchUpSetting& s) { m_world.SetCatchUp(s.place, s.on); }
    void operator()(const NoRestrict& s) { m_world.RefuseRestrict(s.store); }
    void operator()(const FailCall& s) { m_world.FailCalls(s.name, s.count, s.hr); }
    void operator()(const Idle& s) { m_world.Idle(s.limit.value_or(kIdleLimit)); }

    // ---- assertions ----

    void operator()(const ExpectTrace& s)
    {
        Settle();
        std::string found;
        const bool present = m_transcript.FindTrace(s.text, &found);
        if (s.present && !present) throw Failure("no debug write contains " + Quote(s.text));
        if (!s.present && present) throw Failure("a debug write contains " + Quote(s.text) + ": " + Quote(found));
    }
    void operator()(const ExpectResult& s)
    {
        const auto it = m_results.find(s.call);
        const std::string verb(SessionVerb(s.call));
        if (it == m_results.end()) throw Failure("no " + verb + " call has returned yet");
        if (it->second != s.hr)
            throw Failure(verb + " returned " + HexResult(it->second) + ", expected " + HexResult(s.hr));
    }
    void operator()(const ExpectFolder& s)
    {
        Settle();
        const World::FolderCount count = m_world.CountFolder(s.store, s.path);
        std::string what;
        if (count.items != s.items) what = "items=" + std::to_string(count.items);
        if (s.unread && count.unread != *s.unread)
            what += std::string(what.empty() ? "" : " ") + "unread=" + std::to_string(count.unread);
        if (!what.empty())
            throw Failure("folder " + s.store + " \"" + s.path + "\" holds " + what + ", expected items=" +
                          std::to_string(s.items) + (s.unread ? " unread=" + std::to_string(*s.unread) : ""));
    }
    void operator()(const ExpectEngine& s)
    {
        const std::size_t calls = m_world.EngineCallCount(s.op);
        if (static_cast<std::int64_t>(calls) != s.count)
            throw Failure("engine " + s.op + " called " + std::to_string(calls) + " times, expected " +
                          std::to_string(s.count));
    }
    void operator()(const ExpectReleased&)
    {
        const std::vector<std::string> problems = m_world.ReleaseProblems();
        if (problems.empty()) return;
        std::string what = "not released exactly once:";
        for (const std::string& problem : problems) what += (what.back() == ':' ? " " : "; ") + problem;
        throw Failure(what);
    }
    void operator()(const ExpectOrder& s)
    {
        Settle();
        const std::optional<std::size_t> missing = m_transcript.FirstUnmatched(s.lines);
        if (!missing) return;
        const std::string& want = s.lines[*missing];
        const bool adjacent = *missing > 0 && s.lines[*missing - 1] != kAnyLines;
        std::size_t before = *missing;
        while (before > 0 && s.lines[before - 1] == kAnyLines) --before;
        if (before == 0) throw Failure("no line contains " + Quote(want));
        const std::string& previous = s.lines[before - 1];
        if (adjacent)
            throw Failure("the line after the one containing " + Quote(previous) + " does not contain " + Quote(want));
        throw Failure("no line after the one containing " + Quote(previous) + " contains " + Quote(want));
    }

    void operator()(const ExpectButton& s)
    {
        Settle();
        const World::ButtonState button = m_world.Button(s.key);
        const auto state = [](const World::ButtonState& b) {
            if (!b.exists) return std::string("absent");
            return std::string(b.enabled ? "enabled" : "disabled") + (b.face ? " face" : " noface");
        };
        bool holds = true;
        switch (s.presence) {
            case ButtonPresence::Unsaid: holds = button.exists; break;
            case ButtonPresence::Absent: holds = !button.exists; break;
            case ButtonPresence::Enabled: holds = button.exists && button.enabled; break;
            case ButtonPresence::Disabled: holds = button.exists && !button.enabled; break;
        }
        if (s.face && button.exists && button.face != *s.face) holds = false;
        if (!holds) throw Failure("button " + s.key + " is " + state(button));
    }
    void operator()(const ExpectBar& s)
    {
        Settle();
        const std::optional<World::BarState> bar = m_world.Bar();
        if (!bar) throw Failure("the add-in has no command bar");
        const std::string now = "pos=" + std::to_string(bar->pos) + " top=" + std::to_string(bar->top) +
                                " left=" + std::to_string(bar->left) + " visible=" + (bar->visible ? "1" : "0");
        const BarOptions& want = s.bar;
        if ((want.pos && *want.pos != bar->pos) || (want.top && *want.top != bar->top) ||
            (want.left && *want.left != bar->left) || (want.visible && (*want.visible != 0) != bar->visible))
            throw Failure("the command bar is at " + now);
    }
    void operator()(const ExpectClipboard& s)
    {
        Settle();
        const World::ClipboardState clipboard = m_world.Clipboard();
        std::string now = clipboard.text ? "text " + Quote(*clipboard.text) : "no text";
        now += clipboard.picture ? ", picture " + std::to_string(clipboard.picture->first) + "x" +
                                       std::to_string(clipboard.picture->second)
                                 : ", no picture";
        bool holds = false;
        switch (s.check) {
            case ClipboardCheck::Text: holds = clipboard.text == s.text; break;
            case ClipboardCheck::NoPicture: holds = !clipboard.picture; break;
            case ClipboardCheck::Picture:
                holds = clipboard.picture == std::pair<std::int32_t, std::int32_t>(s.width, s.height);
                break;
        }
        if (!holds) throw Failure("the clipboard holds " + now);
    }

private:
    static bool IsAssertion(const Action& action)
    {
        return std::visit(
            [](const auto& s) {
                using S = std::decay_t<decltype(s)>;
                return std::is_same_v<S, ExpectFolder> || std::is_same_v<S, ExpectEngine> ||
                       std::is_same_v<S, ExpectTrace> || std::is_same_v<S, ExpectResult> ||
                       std::is_same_v<S, ExpectReleased> || std::is_same_v<S, ExpectButton> ||
                       std::is_same_v<S, ExpectBar> || std::is_same_v<S, ExpectClipboard> ||
                       std::is_same_v<S, ExpectOrder>;
            },
            action);
    }

    // The world's events so far are in the transcript (a world that cannot
    // tell throws Failure).
    void Settle() { m_world.Settle(); }

    // Keeps the ids of a markup's elements, for tab:KEY, group:KEY, button:KEY.
    void TakeMarkup(const World::MarkupAnswer& answer)
    {
        m_markupAsked = true;
        m_markupIds.clear();
        for (const std::string& line : answer.lines) {
            const std::size_t at = line.find(" id=\"");
            if (at == std::string::npos) continue;
            const std::size_t end = line.find('"', at + 5);
            if (end != std::string::npos) m_markupIds.push_back(line.substr(at + 5, end - at - 5));
        }
    }
    // The id of the last markup's element of that kind and key.
    std::string ControlId(const std::string& control) const
    {
        const std::size_t colon = control.find(':');
        const std::string suffix = ".x-" + control.substr(0, colon) + "s." + control.substr(colon + 1);
        for (const std::string& id : m_markupIds)
            if (id.size() >= suffix.size() && id.compare(id.size() - suffix.size(), suffix.size(), suffix) == 0)
                return id;
        throw Failure("the last markup has no element " + control);
    }

    World& m_world;
    Transcript m_transcript;
    Watchdog m_watchdog;
    std::map<SessionCall, std::uint32_t> m_results;
    const Statement* m_statement = nullptr;
    bool m_markupAsked = false;
    std::vector<std::string> m_markupIds;
};

}  // namespace

std::optional<std::vector<Statement>> ParseForPlay(std::string_view source, std::ostream& out)
{
    try {
        return ParseScenario(source);
    } catch (const ScenarioError& error) {
        Transcript(out).Error(error.Line(), error.what());
        return std::nullopt;
    }
}

int Play(World& world, const std::vector<Statement>& statements, std::ostream& out, std::chrono::seconds statementLimit)
{
    Player player(world, out, statementLimit);
    return player.Play(statements);
}

int PlayRegardless(World& world, const std::vector<Statement>& statements, std::ostream& out,
                   const std::function<void(int line)>& released, const std::function<void(std::size_t)>& before,
                   std::chrono::seconds statementLimit)
{
    Player player(world, out, statementLimit);
    return player.PlayRegardless(statements, released, before);
}

int PlayEachSession(const std::vector<Statement>& statements,
                    const std::function<int(const std::vector<Statement>&)>& playSession)
{
    std::vector<Statement> session;
    for (auto it = statements.begin();; ++it) {
        if (it != statements.end() && !std::holds_alternative<NewSession>(it->action)) {
            session.push_back(*it);
            continue;
        }
        if (const int status = playSession(session); status != kExitPassed) return status;
        if (it == statements.end()) return kExitPassed;
        session.clear();
    }
}

}  // namespace qev::sim
