#include "addin/trace.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "host/com_error.h"
#include "host/fake/fake_system.h"
#include "tests/unit/test_text.h"

namespace {

using host::fake::FakeSystem;

constexpr char16_t kRoaming[] = u"C:\\Users\\qev\\AppData\\Roaming";
constexpr char16_t kTraceMarkerPath[] = u"C:\\Users\\qev\\AppData\\Roaming\\Marlowcrest\\Desktop\\Profiles\\as.trace";
constexpr char16_t kTooLong[] = u"[as][qev] String too long\n";

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host::InstallSystem(&m_system);
        qev::TraceLevel = 0;
    }
    void TearDown() override
    {
        host::InstallSystem(nullptr);
        qev::TraceLevel = 0;
    }
    std::vector<std::u16string> Writes() const { return m_system.DebugWrites(); }

    FakeSystem m_system;
};

TEST_F(TraceTest, LinesAtAndAroundTheBufferLimit)
{
    // "[as][qev] " (10 units) + N units + "\n": a line of N + 11 units.
    struct Case {
        std::size_t lineUnits;
        bool writtenUnchanged;
    } const cases[] = {{11, true}, {2046, true}, {2047, false}, {2048, false}, {5000, false}};
    for (const Case& c : cases) {
        m_system.ClearDebugWrites();
        const std::u16string body(c.lineUnits - 11, u'a');
        qev::Trace(u"[as][qev] %s\n", body);
        const std::u16string line = u"[as][qev] " + body + u"\n";
        ASSERT_EQ(line.size(), c.lineUnits);
        ASSERT_EQ(Writes().size(), 1u);
        EXPECT_EQ(Writes()[0], c.writtenUnchanged ? line : std::u16string(kTooLong)) << c.lineUnits;
    }
}

TEST_F(TraceTest, OverlongFormatAndTextArguments)
{
    const std::u16string longFormat(4096, u'f');
    qev::Trace(longFormat);
    qev::Trace(u"[as][qev] <%s>\n", u"");
    qev::Trace(u"[as][qev] <%s>\n", std::u16string(100000, u'x'));
    qev::Trace(u"[as][qev] <%s><%d>\n");  // arguments missing
    EXPECT_EQ(Writes(), (std::vector<std::u16string>{kTooLong, u"[as][qev] <>\n", kTooLong, u"[as][qev] <><0>\n"}));
}

TEST_F(TraceTest, DisabledSiteEvaluatesNothing)
{
    int evaluated = 0;
    auto expensive = [&] {
        ++evaluated;
        return std::u16string(u"value");
    };
    QEV_TRACE(qev::kTraceProgress, u"[as][qev] %s\n", expensive());
    EXPECT_EQ(evaluated, 0);
    EXPECT_TRUE(Writes().empty());

    qev::TraceLevel = qev::kTraceProgress;
    QEV_TRACE(qev::kTraceProgress, u"[as][qev] %s\n", expensive());
    QEV_TRACE_STEP(u"OnAddInsUpdate...");
    QEV_TRACE_ERROR(u"OnConnection...Init_...failed");
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(Writes(), (std::vector<std::u16string>{u"[as][qev] value\n", u"[as][qev] OnAddInsUpdate...\n",
                                                     u"[as][qev] error : OnConnection...Init_...failed\n"}));
}

TEST_F(TraceTest, MarkerSwitchesTracingOnAndNeverOff)
{
    using Kind = FakeSystem::PathKind;
    qev::ReadTraceMarker();
    EXPECT_EQ(qev::TraceLevel, 0) << "no marker";

    m_system.CreatePath(kTraceMarkerPath, Kind::Directory);
    m_system.SetRoamingAppDataFolder(std::nullopt);
    qev::ReadTraceMarker();
    EXPECT_EQ(qev::TraceLevel, 0) << "no roaming folder: the marker cannot be found";

    m_system.SetRoamingAppDataFolder(kRoaming);
    qev::ReadTraceMarker();
    EXPECT_EQ(qev::TraceLevel, 5) << "a directory at the marker path counts";

    m_system.RemovePath(kTraceMarkerPath);
    qev::ReadTraceMarker();
    EXPECT_EQ(qev::TraceLevel, 5) << "a missing marker leaves the level as it was";

    qev::TraceLevel = 0;
    m_system.CreatePath(u"c:\\users\\QEV\\appdata\\roaming\\MARLOWCREST\\desktop\\profiles\\AS.TRACE", Kind::File);
    qev::ReadTraceMarker();
    EXPECT_EQ(qev::TraceLevel, 5) << "paths compare without case";
    EXPECT_FALSE(qev::ProfileMarkerExists(qev::kDisableMarker));
}

TEST_F(TraceTest, WholeAndBareWritesHaveNoLimit)
{
    const std::u16string dump(70000, u'm');
    qev::TraceWhole(dump);
    qev::TraceBare(u"_asClient.Load() succeeded");
    EXPECT_EQ(Writes(), (std::vector<std::u16string>{dump, u"_asClient.Load() succeeded"}));
}

TEST_F(TraceTest, CaughtExceptionsBecomeErrorLines)
{
    qev::TraceLevel = qev::kTraceProgress;
    m_system.SetSystemMessage(static_cast<HRESULT>(0x80070005u), u"Access denied.\r\n");
    m_system.SetSystemMessage(static_cast<HRESULT>(0x80004005u), u"x\n");
    m_system.SetSystemMessage(static_cast<HRESULT>(0x80004004u), u"\n");

    auto traceOf = [&](auto&& raise) {
        m_system.ClearDebugWrites();
        try {
            raise();
        } catch (...) {
            qev::TraceCaughtException(u"OnClickIsSpam_");
        }
        const auto writes = Writes();
        return writes.size() == 1 ? writes[0] : std::u16string(u"<writes: ") + char16_t(u'0' + writes.size()) + u">";
    };
    auto comError = [](std::uint32_t hr) { return [hr] { throw host::ComError(static_cast<HRESULT>(hr)); }; };

    const std::u16string prefix = u"[as][qev] error : exception! : OnClickIsSpam_ : ";
    EXPECT_EQ(traceOf(comError(0x80070005u)), prefix + u"Access denied.\n");
    EXPECT_EQ(traceOf(comError(0x80004005u)), prefix + u"x\n") << "a lone LF is dropped too";
    EXPECT_EQ(traceOf(comError(0x80004004u)), prefix + u"\n\n") << "a one-unit text is kept";
    EXPECT_EQ(traceOf(comError(0x80040205u)), prefix + u"IDispatch error #5\n");
    EXPECT_EQ(traceOf(comError(0x8004FFFFu)), prefix + u"IDispatch error #65023\n");
    EXPECT_EQ(traceOf(comError(0x80040200u)), prefix + u"Unknown error 0x80040200\n");
    EXPECT_EQ(traceOf(comError(0x80050000u)), prefix + u"Unknown error 0x80050000\n");
    EXPECT_EQ(traceOf([] { throw std::runtime_error("boom"); }),
              u"[as][qev] error : unknown exception! : OnClickIsSpam_\n");
    EXPECT_EQ(traceOf([] { throw 42; }), u"[as][qev] error : unknown exception! : OnClickIsSpam_\n");

    m_system.ClearDebugWrites();
    try {
        throw host::ComError(static_cast<HRESULT>(0x80040205u));
    } catch (...) {
        qev::TraceCaughtException(u"[as][qev] error : exception! : ButtonsUnadvise_ Unadvise m_pBtnIsSpam: %s\n",
                                  u"ButtonsUnadvise_");
    }
    EXPECT_EQ(Writes().at(0), u"[as][qev] error : exception! : ButtonsUnadvise_ Unadvise m_pBtnIsSpam: IDispatch error #5\n");

    qev::TraceLevel = 0;
    EXPECT_EQ(traceOf(comError(0x80070005u)), u"<writes: 0>") << "tracing off writes nothing";
}

TEST_F(TraceTest, ComErrorMessageIsComputedOnce)
{
    const host::ComError error(static_cast<HRESULT>(0x80070005u), u"from the object");
    m_system.SetSystemMessage(static_cast<HRESULT>(0x80070005u), u"first\r\n");
    EXPECT_EQ(error.ErrorMessage(), u"first");
    m_system.SetSystemMessage(static_cast<HRESULT>(0x80070005u), u"second\r\n");
    EXPECT_EQ(error.ErrorMessage(), u"first");
    EXPECT_EQ(error.Description(), u"from the object");
}

}  // namespace
