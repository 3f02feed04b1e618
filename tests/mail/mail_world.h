// A connected add-in over the in-memory world, for the mail suites.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "addin/connect.h"
#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "host/fake/fake_world.h"
#include "tests/support/addin_process.h"

namespace qev::testing {

// A message as the engine leaves it: transport headers (CR LF line ends,
// closed by an empty line) and a body.
inline std::u16string MessageText(std::u16string_view subject, std::u16string_view spamLine,
                                  std::u16string_view body = u"Hello\r\nthere")
{
    std::u16string text = u"Received: from mx.example.org\r\nFrom: Ann Example <ann@example.org>\r\nSubject: ";
    text.append(subject).append(u"\r\n");
    if (!spamLine.empty()) text.append(spamLine).append(u"\r\n");
    text.append(u"\r\n").append(body).append(u"\r\n");
    return text;
}

// A progress line and an error line as the trace writes them.
inline std::u16string Line(std::u16string_view text)
{
    return std::u16string(u"[as][qev] ").append(text).append(u"\n");
}
inline std::u16string Error(std::u16string_view text)
{
    return std::u16string(u"[as][qev] error : ").append(text).append(u"\n");
}
using Lines = std::vector<std::u16string>;

inline constexpr std::u16string_view kSpamYes = u"X-MarlowcrestWKS-Spam: Yes";
inline constexpr std::u16string_view kSpamNo = u"X-MarlowcrestWKS-Spam: No";

class MailWorldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAddinProcess();
        m_world.SetMarker(host::fake::Marker::Trace, true);
        m_world.SetEngineSetting(3, 1);  // the engine's antispam is on
    }
    void TearDown() override
    {
        if (m_addin) m_addin->Release();
        ResetAddinProcess();
    }

    CConnect& Addin()
    {
        if (!m_addin) m_addin = new ConnectObject(m_world.Services());
        return m_addin->Connect();
    }
    // Connects at Outlook's start and runs the start-up work (inboxes watched).
    void Start()
    {
        ASSERT_EQ(Addin().OnConnection(&m_world.Application(), kConnectStartup, &m_world.AddInInstance()), S_OK);
        ASSERT_EQ(Addin().OnStartupComplete(), S_OK);
    }
    // Connects without the start-up work: nothing is watched.
    void ConnectOnly()
    {
        ASSERT_EQ(Addin().OnConnection(&m_world.Application(), kConnectStartup, &m_world.AddInInstance()), S_OK);
    }
    void ShutDown()
    {
        Addin().OnBeginShutdown();
        m_world.Quit();
        Addin().OnDisconnection(0);
    }

    // Item number index (1-based) of the folder, as a mail item (null for another kind).
    host::Ref<host::MailItem> MailItemAt(std::u16string_view store, std::u16string_view path, std::size_t index)
    {
        const host::Ref<host::Object> item = m_world.Mail().Item(store, path, index);
        return host::QueryAs<host::MailItem>(item.Get());
    }
    EntryId StoreId(std::u16string_view store) { return EntryId(m_world.Mail().StoreEntryId(store)); }

    std::vector<std::u16string> Writes() { return m_world.System().DebugWrites(); }
    void ClearWrites() { m_world.System().ClearDebugWrites(); }
    std::size_t CountWrites(std::u16string_view text)
    {
        const auto writes = Writes();
        return static_cast<std::size_t>(std::count_if(writes.begin(), writes.end(), [&](const std::u16string& w) {
            return w.find(text) != std::u16string::npos;
        }));
    }
    host::fake::FakeWorld m_world;
    ConnectObject* m_addin = nullptr;
};

// The fault sweep: a Session type runs a whole session in a world of its
// own, taking a function that prepares the world first, and keeps the world
// and `escaped`, what reached the host. The host calls of a clean session
// that pass `pick` are collected; then each is made to fail, and to throw, in
// a session of its own: the failure must have been delivered and nothing may
// have escaped; `check` looks at the rest.
using HostCallList = std::vector<std::pair<std::uint64_t, std::string>>;

template <class Session>
HostCallList PickHostCalls(const std::function<bool(std::string_view)>& pick)
{
    HostCallList calls;
    Session clean([&](host::fake::FakeWorld& world) {
        world.Calls().OnCall([&](std::uint64_t n, std::string_view what) {
            if (pick(what)) calls.emplace_back(n, std::string(what));
        });
    });
    EXPECT_EQ(clean.escaped, "");
    EXPECT_EQ(clean.world.ReleaseProblems(), std::vector<std::string>{});
    return calls;
}

template <class Session>
void FailEachInTurn(const HostCallList& calls,
                    const std::function<void(Session&, const std::string& what, const std::string& where)>& check)
{
    for (const auto& [n, what] : calls) {
        for (const bool toThrow : {false, true}) {
            Session run([&](host::fake::FakeWorld& world) {
                toThrow ? world.Calls().ThrowAt(n) : world.Calls().FailAt(n, E_FAIL);
            });
            const std::string where = (toThrow ? "throw at " : "fail at ") + run.world.Calls().FiredAt();
            ASSERT_TRUE(run.world.Calls().Fired()) << what << " #" << n;
            EXPECT_EQ(run.escaped, "") << where;
            check(run, what, where);
        }
    }
}

}  // namespace qev::testing
