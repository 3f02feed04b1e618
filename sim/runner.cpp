#include "sim/runner.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "addin/connect_object.h"
#include "host/fake/fake_world.h"
#include "sim/transcript.h"

namespace qev::sim {
namespace {

namespace fake = host::fake;

// An expectation that did not hold, or a statement the world could not play.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Quote(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

std::u16string Wide(std::string_view utf8)
{
    return fake::WidenUtf8(utf8);
}

// Releases the add-in object's last reference when the run ends.
struct AddinRelease {
    void operator()(ConnectObject* addin) const noexcept { addin->Release(); }
};

class Player {
public:
    explicit Player(std::ostream& out) : m_transcript(out), m_addin(new ConnectObject(m_world.Services()))
    {
        m_world.System().OnDebugWrite([this](const std::u16string& text) { m_transcript.DebugWrite(text); });
        m_world.Engine().OnCall(
            [this](const fake::EngineCall& call) { m_transcript.Line("< engine " + call.Render(EscapeText)); });
    }

    ~Player()
    {
        // Let the add-in go while the world it holds still stands; nothing it
        // writes on the way out belongs to the transcript.
        m_world.System().OnDebugWrite(nullptr);
        m_world.Engine().OnCall(nullptr);
        m_addin.reset();
    }

    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    int Play(const std::vector<Statement>& statements)
    {
        for (const Statement& statement : statements) {
            try {
                m_statement = &statement;
                std::visit(*this, statement.action);
            } catch (const Failure& failure) {
                m_transcript.Fail(statement.line, failure.what());
                return kExitFailed;
            } catch (const std::exception& e) {
                m_transcript.Fail(statement.line, std::string("exception escaped: ") + e.what());
                return kExitFailed;
            } catch (...) {
                m_transcript.Fail(statement.line, "exception escaped");
                return kExitFailed;
            }
        }
        return kExitPassed;
    }

    // ---- the world ----

    void operator()(const OutlookVersion& s)
    {
        m_world.SetOutlookVersion(s.version ? std::optional<std::u16string>(Wide(*s.version)) : std::nullopt);
    }
    void operator()(const ExplorerCount& s) { m_world.SetExplorers(s.count); }
    void operator()(const Marker& s)
    {
        m_world.SetMarker(s.kind == MarkerKind::Trace ? fake::Marker::Trace : fake::Marker::Disabled, s.present);
    }
    void operator()(const EngineLibraryState& s)
    {
        switch (s.state) {
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
    void operator()(const EngineStatus& s) { m_world.SetEngineStatus(s.up); }
    void operator()(const EngineSettings& s)
    {
        for (const auto& [field, value] : s.fields) m_world.SetEngineSetting(field, value);
    }
    void operator()(const EngineOptions& s)
    {
        if (s.move) m_world.SetEngineOption(kOptionMoveToSpamFolder, *s.move);
        if (s.read) m_world.SetEngineOption(kOptionMarkAsRead, *s.read);
    }
    void operator()(const EngineValue& s) { m_world.SetEngineValue(Wide(s.name), s.value); }

    // ---- the session ----

    void operator()(const Session& s)
    {
        CConnect& connect = m_addin->Connect();
        HRESULT hr = S_OK;
        switch (s.call) {
            case SessionCall::Connect:
                hr = connect.OnConnection(&m_world.Application(), s.mode, &m_world.AddInInstance());
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
            case SessionCall::Quit:
                m_world.Quit();  // an event: nothing comes back
                return;
            case SessionCall::Disconnect:
                hr = connect.OnDisconnection(s.mode);
                break;
        }
        const auto result = static_cast<std::uint32_t>(hr);
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

    // Time passing: nothing in the world reads the clock yet.
    void operator()(const Wait&) {}

    // ---- assertions ----

    void operator()(const ExpectTrace& s)
    {
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
    void operator()(const ExpectEngine& s)
    {
        const std::size_t calls = m_world.Engine().CallCount(s.op);
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

    // ---- statements of the mail, explorer and UI work still to come ----

    template <class Later>
    void operator()(const Later&)
    {
        throw Failure("not supported yet: " + m_statement->verb);
    }

private:
    fake::FakeWorld m_world;
    Transcript m_transcript;
    std::unique_ptr<ConnectObject, AddinRelease> m_addin;
    std::map<SessionCall, std::uint32_t> m_results;
    const Statement* m_statement = nullptr;
};

}  // namespace

int RunScenario(const std::vector<Statement>& statements, std::ostream& out)
{
    Player player(out);
    return player.Play(statements);
}

int RunScenarioText(std::string_view source, std::ostream& out)
{
    std::vector<Statement> statements;
    try {
        statements = ParseScenario(source);
    } catch (const ScenarioError& error) {
        Transcript(out).Error(error.Line(), error.what());
        return kExitMalformed;
    }
    return RunScenario(statements, out);
}

}  // namespace qev::sim
