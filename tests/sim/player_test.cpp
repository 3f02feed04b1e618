// The player against a world whose events reach the transcript late, as the
// Windows runner's debug writes do: the player's own lines and checks must
// wait for them.
#include "sim/player.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include "sim/transcript.h"

namespace qev::sim {
namespace {

// Each session call "writes" a debug line that reaches the transcript only
// when the world settles; everything else is scripted by the test.
class LateWorld final : public World {
public:
    void Attach(Transcript* transcript) override { m_transcript = transcript; }
    void Settle() override
    {
        ++settles;
        if (settleFails) throw Failure("the channel went quiet");
        if (!m_transcript) return;
        for (const std::u16string& write : m_pending) m_transcript->DebugWrite(write);
        m_pending.clear();
    }

    void SetOutlookVersion(const std::optional<std::string>&) override {}
    void SetExplorers(std::int32_t) override {}
    void SetMarker(MarkerKind, bool) override {}
    void SetEngineLibrary(EngineLibrary) override {}
    void SetEngineStatus(bool) override {}
    void SetEngineSetting(int, std::uint32_t) override {}
    void SetEngineOption(int field, std::uint32_t value) override { options.emplace_back(field, value); }
    void SetEngineValue(const std::string&, std::uint32_t) override {}

    std::uint32_t Call(SessionCall call, std::int32_t mode) override
    {
        if (hangOnCall) std::this_thread::sleep_for(std::chrono::seconds(30));
        m_pending.push_back(u"call " + std::u16string(1, static_cast<char16_t>(u'0' + static_cast<int>(call))) +
                            u" mode " + std::u16string(1, static_cast<char16_t>(u'0' + mode)) + u"\n");
        // An engine call in the middle of the host call: written at once,
        // after what the add-in wrote before it.
        if (call == SessionCall::Startup) {
            Settle();
            m_transcript->Line("< engine Advise *");
        }
        return call == SessionCall::Connect ? 1 : 0;
    }
    void Quit() override { m_pending.push_back(u"quit"); }
    bool NotifyStatus(bool) override { return notifyInTime; }
    bool NotifySettings(const std::vector<SettingsField>&, std::uint32_t) override { return true; }

    void AddStore(const Store&) override {}
    void AddFolder(const Folder&) override {}
    void DeliverItem(const Deliver&) override {}
    void SelectItems(const Select&) override {}
    void ChangeAccounts(const Account&) override {}
    FolderCount CountFolder(const std::string&, const std::string&) override { return {}; }

    std::size_t EngineCallCount(const std::string& op) override { return op == "Advise" ? 1 : 0; }
    std::vector<std::string> ReleaseProblems() override { return problems; }

    int settles = 0;
    bool settleFails = false;
    bool hangOnCall = false;
    bool notifyInTime = true;
    std::vector<std::pair<int, std::uint32_t>> options;
    std::vector<std::string> problems;

private:
    Transcript* m_transcript = nullptr;
    std::vector<std::u16string> m_pending;
};

struct Played {
    int status;
    std::string transcript;
};

Played Play(LateWorld& world, std::string_view source)
{
    std::ostringstream out;
    const auto statements = ParseForPlay(source, out);
    if (!statements) return {kExitMalformed, out.str()};
    const int status = qev::sim::Play(world, *statements, out);
    return {status, out.str()};
}

TEST(Player, OwnLinesAndChecksWaitForTheWorldsLateEvents)
{
    LateWorld world;
    const Played run = Play(world,
                            "connect 3\n"
                            "quit\n"
                            "expect trace \"quit\"\n"
                            "startup\n"
                            "quit\n"
                            "expect order <<END\n"
                            "= connect 0x00000001\n"
                            "> quit\n"
                            "> call 1 mode 0\\n\n"
                            "< engine Advise *\n"
                            "= startup 0x00000000\n"
                            "> quit\n"
                            "END\n"
                            "engine options move=1 read=0\n"
                            "expect engine Advise 1\n"
                            "expect result connect 0x00000001\n");
    EXPECT_EQ(run.status, kExitPassed) << run.transcript;
    EXPECT_EQ(run.transcript,
              "> call 0 mode 3\\n\n"
              "= connect 0x00000001\n"
              "> quit\n"
              "> call 1 mode 0\\n\n"
              "< engine Advise *\n"
              "= startup 0x00000000\n"
              "> quit\n");
    EXPECT_EQ(world.options, (std::vector<std::pair<int, std::uint32_t>>{{4, 1}, {5, 0}}));
}

TEST(Player, FailuresComeAfterEverythingThatHappened)
{
    {
        LateWorld world;
        world.problems = {"Application \"Application\": 1 reference not released", "subscription left: x"};
        const Played run = Play(world, "quit\nexpect released\nconnect\n");
        EXPECT_EQ(run.status, kExitFailed);
        EXPECT_EQ(run.transcript,
                  "> quit\n"
                  "FAIL line 2: not released exactly once: Application \"Application\": 1 reference not released; "
                  "subscription left: x\n");
    }
    {
        LateWorld world;
        world.notifyInTime = false;
        const Played run = Play(world, "quit\nnotify status up\n");
        EXPECT_EQ(run.transcript, "> quit\nFAIL line 2: the engine's status notification did not finish in time\n");
    }
    {
        // A world that cannot vouch for its transcript fails the run, even at its end.
        LateWorld world;
        world.settleFails = true;
        const Played run = Play(world, "quit\n");
        EXPECT_EQ(run.status, kExitFailed);
        EXPECT_EQ(run.transcript, "FAIL line 1: the channel went quiet\n");
    }
    {
        LateWorld world;
        const Played run = Play(world, "quit\nclick IsSpam\n");
        EXPECT_EQ(run.transcript, "> quit\nFAIL line 2: not supported yet: click\n");
    }
}

TEST(PlayerDeathTest, AStatementThatHangsEndsTheRun)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto statements = ParseScenario("quit\nconnect\n");
    EXPECT_EXIT(
        {
            LateWorld world;
            world.hangOnCall = true;
            qev::sim::Play(world, statements, std::cerr, std::chrono::seconds(1));
        },
        testing::ExitedWithCode(kExitFailed), "FAIL line 2: the statement did not finish within 1 seconds");
}

}  // namespace
}  // namespace qev::sim
