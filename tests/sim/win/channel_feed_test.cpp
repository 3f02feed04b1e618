// The transcript's feed from the debug channel: the add-in's writes and the
// runner's own lines keep the order in which they happened, whichever thread
// made them.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include "sim/transcript.h"
#include "sim/win/channel_feed.h"

namespace {

using qev::sim::Transcript;
using qev::sim::win::ChannelFeed;

TEST(ChannelFeed, LinesKeepTheOrderOfEvents)
{
    std::ostringstream out;
    Transcript transcript(out);
    ChannelFeed feed;

    OutputDebugStringW(L"before attach\n");  // not part of any transcript
    ASSERT_TRUE(feed.Sync());
    feed.Attach(&transcript);

    // Writes of this thread and of another, each followed by a line of this
    // thread that must come after it: the way an engine call follows the
    // trace lines the add-in wrote before it.
    OutputDebugStringW(L"[as][qev] one\n");
    ASSERT_TRUE(feed.Sync());
    transcript.Line("< engine Init 1");
    std::thread([] {
        OutputDebugStringA("from another thread");
        OutputDebugStringW(L"\x00e9t\x00e9\r\n\x0001");
    }).join();
    ASSERT_TRUE(feed.Sync());
    transcript.Result("connect", 0);
    for (int i = 0; i < 50; ++i) OutputDebugStringW((L"burst " + std::to_wstring(i)).c_str());
    ASSERT_TRUE(feed.Sync());
    transcript.Line("< engine Release");
    feed.Attach(nullptr);
    OutputDebugStringW(L"after detach\n");
    ASSERT_TRUE(feed.Sync());

    std::string expected =
        "> [as][qev] one\\n\n"
        "< engine Init 1\n"
        "> from another thread\n"
        "> \xC3\xA9t\xC3\xA9\\r\\n\\x01\n"
        "= connect 0x00000000\n";
    for (int i = 0; i < 50; ++i) expected += "> burst " + std::to_string(i) + "\n";
    expected += "< engine Release\n";
    EXPECT_EQ(out.str(), expected);
}

}  // namespace
