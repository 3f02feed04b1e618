// The trace over the real debug channel: Trace -> OutputDebugStringW -> the
// listener, in this process.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "addin/trace.h"
#include "host/system.h"
#include "host/win/debug_channel.h"

namespace {

using host::win::DebugChannelListener;

// Keeps what this process writes to the channel. A slow consumer takes its
// time over each message, as a console that scrolls does.
class Capture {
public:
    explicit Capture(DWORD slowConsumerMs = 0)
    {
        m_started = m_listener.Start([this, slowConsumerMs](std::uint32_t pid, std::string_view text) {
            if (pid != GetCurrentProcessId()) return;  // other programs in the prefix
            if (slowConsumerMs) Sleep(slowConsumerMs);
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_texts.emplace_back(text);
            m_arrived.notify_all();
        });
    }

    DWORD Started() const { return m_started; }

    // The first count messages, or fewer when they do not come in time.
    std::vector<std::string> WaitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_arrived.wait_for(lock, std::chrono::seconds(10), [&] { return m_texts.size() >= count; });
        return m_texts;
    }

    // Everything written so far, after the listener has let go of the channel.
    std::vector<std::string> StopAndTake()
    {
        m_listener.Stop();
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }

private:
    DebugChannelListener m_listener;
    DWORD m_started = ERROR_SUCCESS;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<std::string> m_texts;
};

// A line of exactly units code units: the prefix, filler, the line end.
std::u16string LineOf(std::size_t units)
{
    std::u16string line = u"[as][qev] ";
    line.append(units - line.size() - 1, u'w');
    line.push_back(u'\n');
    return line;
}

TEST(DebugChannel, TraceLinesArriveWholeOrAsTooLong)
{
    const std::u16string tooLong = u"[as][qev] String too long\n";
    struct Case {
        std::u16string written;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"[as][qev] OnConnection...\n", u"[as][qev] OnConnection...\n"},
        {u"[as][qev] caf\u00e9 <\u00e0>\n", u"[as][qev] caf\u00e9 <\u00e0>\n"},  // in the ANSI code page
        {LineOf(2046), LineOf(2046)},
        {LineOf(2047), tooLong},
        {LineOf(2048), tooLong},
        {LineOf(5000), tooLong},
    };

    Capture capture;
    ASSERT_EQ(capture.Started(), static_cast<DWORD>(ERROR_SUCCESS));
    for (const Case& c : cases) qev::Trace(u"%s", c.written);

    const std::vector<std::string> texts = capture.WaitFor(std::size(cases));
    ASSERT_EQ(texts.size(), std::size(cases));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(host::Sys().Widen(texts[i], 0), cases[i].expected);
    }
}

TEST(DebugChannel, WholeTextLongerThanTheSectionArrivesCutNotLost)
{
    std::u16string dump = u"[as][qev] ";
    for (int i = 0; dump.size() < 6000; ++i) dump += u"line " + std::u16string(1, u'0' + i % 10) + u"\r\n";

    Capture capture;
    ASSERT_EQ(capture.Started(), static_cast<DWORD>(ERROR_SUCCESS));
    qev::TraceWhole(dump);
    const std::vector<std::string> texts = capture.StopAndTake();

    // Whatever the system does with the tail (Wine cuts it), what arrives is
    // the text from its start, at least one full section of it.
    std::string arrived;
    for (const std::string& text : texts) arrived += text;
    ASSERT_GE(arrived.size(), DebugChannelListener::kMaxTextBytes);
    EXPECT_EQ(host::Sys().Widen(arrived, 0), dump.substr(0, arrived.size()));
}

TEST(DebugChannel, StopDeliversEveryLineWrittenBeforeIt)
{
    // The consumer is still busy with a line when the last one is written and
    // the stop comes: that last line waits in the section and must not be lost.
    Capture capture(5);
    ASSERT_EQ(capture.Started(), static_cast<DWORD>(ERROR_SUCCESS));
    constexpr int kLines = 40;
    for (int i = 0; i < kLines; ++i) qev::Trace(u"[as][qev]     item<%d>...\n", i);
    const std::vector<std::string> texts = capture.StopAndTake();

    ASSERT_EQ(texts.size(), static_cast<std::size_t>(kLines));
    for (int i = 0; i < kLines; ++i) EXPECT_EQ(texts[i], "[as][qev]     item<" + std::to_string(i) + ">...\n");
}

TEST(DebugChannel, OneMonitorAtATime)
{
    {
        Capture first;
        ASSERT_EQ(first.Started(), static_cast<DWORD>(ERROR_SUCCESS));
        DebugChannelListener second;
        EXPECT_EQ(second.Start([](std::uint32_t, std::string_view) {}), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        EXPECT_FALSE(second.Running());
    }
    // The first one let go of every object: the channel can be taken again,
    // and it works.
    Capture again;
    ASSERT_EQ(again.Started(), static_cast<DWORD>(ERROR_SUCCESS));
    qev::Trace(u"[as][qev] %s\n", u"again");
    const std::vector<std::string> texts = again.WaitFor(1);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "[as][qev] again\n");
}

}  // namespace
