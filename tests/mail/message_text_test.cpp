// The text helpers of mail reading: the sender address in header text, the
// engine's spam mark, CR LF joining and 8-bit widening, with their lines.
#include "mail/message_text.h"

#include "filing/spam_filing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "addin/trace.h"
#include "host/fake/fake_system.h"
#include "tests/unit/test_text.h"

namespace {

using Lines = std::vector<std::u16string>;

class MessageTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host::InstallSystem(&m_system);
        qev::TraceLevel = qev::kTraceProgress;
    }
    void TearDown() override
    {
        host::InstallSystem(nullptr);
        qev::TraceLevel = 0;
    }
    Lines Take()
    {
        Lines writes = m_system.DebugWrites();
        m_system.ClearDebugWrites();
        return writes;
    }
    host::fake::FakeSystem m_system;
};

TEST_F(MessageTextTest, SenderAddressFromHeaderText)
{
    const std::u16string noFrom = u"[as][qev] error : GetFrom_ : From<$null>\n";
    const std::u16string noClose = u"[as][qev] error : GetFrom_ : '>'<$null>\n";
    struct Case {
        std::u16string headers;
        bool found;
        std::u16string from;  // the output afterwards
        Lines lines;
    } const cases[] = {
        {u"R: x\r\nFrom: Ann Example <ann@example.org>\r\nTo: b@c.d\r\n", true, u"ann@example.org", {}},
        {u"R: x\nFrom: \t ann@example.org  \nTo: b\n", true, u"ann@example.org", {}},
        {u"A: 1\r\nFrom: undisclosed\r\nB: 2\r\nFrom: <bob@x.org>\r\n", true, u"bob@x.org", {}},
        {u"From: ann@example.org\r\nTo: b\r\n", false, u"", {noFrom}},  // the first line is never looked at
        {u"A: 1\r\nfrom: ann@example.org\r\n", false, u"", {noFrom}},
        {u"A: 1\r\nFrom: nobody\r\n", false, u" nobody", {noFrom}},
        {u"A: 1\r\nFrom: ann@example.org", false, u"", {noFrom}},  // no line end: no candidate
        {u"A: 1\r\nFrom: Ann <ann@example.org\r\n", false, u"ann@example.org", {noClose}},
        {u"A: 1\r\nFrom: ann@home <>\r\n", false, u"", {}},
        {u"A: 1\nFrom: ann@x.org\nTo: b\r\n", true, u"ann@x.org\nTo: b", {}},  // the line ends at the first CR LF
    };
    for (const Case& c : cases) {
        std::u16string from;
        EXPECT_EQ(qev::GetFrom_(c.headers, from), c.found) << Narrow(c.headers);
        EXPECT_EQ(Narrow(from), Narrow(c.from)) << Narrow(c.headers);
        EXPECT_EQ(Take(), c.lines) << Narrow(c.headers);
    }
}

// Many From lines without an address: each line is looked at once, not the
// rest of the text searched again for a line end or an "@" in every round.
TEST_F(MessageTextTest, SenderAddressSearchStaysLinear)
{
    std::u16string lines;
    for (int i = 0; i < 200000; ++i) lines += u"\nFrom: x";
    std::u16string from;
    EXPECT_TRUE(qev::GetFrom_(lines + u"\nFrom: <last@example.org>\n", from));
    EXPECT_EQ(Narrow(from), "last@example.org");
    EXPECT_FALSE(qev::GetFrom_(lines + u"\r\n", from));  // every candidate runs to the end
}

TEST_F(MessageTextTest, SpamMark)
{
    const std::u16string yes = u"[as][qev]     SpamTag : yes...\n";
    struct Case {
        std::u16string headers;
        bool spam;
        Lines lines;
    } const cases[] = {
        {u"A: 1\r\nX-MarlowcrestWKS-Spam: Yes, score 9\r\n", true, {yes}},
        {u"X-MarlowcrestWKS-Spam: No\r\nX-MarlowcrestWKS-Spam: Yes\r\n", true, {yes}},
        {u"A: 1\r\nX-MarlowcrestWKS-Spam: No\r\n", false, {u"[as][qev]     SpamTag : no...\n"}},
        {u"A: 1\r\nFrom: <ann@example.org>\r\nx-marlowcrestwks-spam: yes\r\n",
         false,
         {u"[as][qev] error : SpamTag : Mail from <ann@example.org>...not scanned\n"}},
        {u"A: 1\r\n",
         false,
         {u"[as][qev] error : GetFrom_ : From<$null>\n", u"[as][qev] error : SpamTag : Mail from <>...not scanned\n"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qev::SpamFiling::SearchHeaderForSpamTag_(c.headers), c.spam) << Narrow(c.headers);
        EXPECT_EQ(Take(), c.lines) << Narrow(c.headers);
    }
}

TEST_F(MessageTextTest, CrLfBecomesLf)
{
    std::u16string longIn, longOut;
    for (int i = 0; i < 30000; ++i) {
        const std::u16string line(78, static_cast<char16_t>(u'a' + i % 26));
        longIn.append(line).append(u"\r\n");
        longOut.append(line).append(u"\n");
    }
    struct Case {
        std::u16string in, out;
    } const cases[] = {
        {u"", u""},         {u"\r\n", u"\n"},     {u"a\r\nb\r\n", u"a\nb\n"}, {u"a\r", u"a\r"},
        {u"\n\r", u"\n\r"}, {u"\r\r\n", u"\r\n"}, {u"\r\n\r\nb", u"\n\nb"},   {longIn, longOut},
    };
    for (const Case& c : cases) {
        std::u16string text = c.in;
        qev::CrLfToLf(text);
        EXPECT_TRUE(text == c.out) << Narrow(c.in.substr(0, 20));
    }
}

TEST_F(MessageTextTest, WideningByCodePage)
{
    std::u16string out = u"before";
    EXPECT_TRUE(qev::zkA2W_(out, std::string("caf\xE9\0tail", 9), 0));
    EXPECT_EQ(out, u"caf\u00E9");  // up to the first NUL; Windows-1252 in this build
    out = u"before";
    EXPECT_FALSE(qev::zkA2W_(out, "text", 12345));  // a code page the system does not know
    EXPECT_EQ(out, u"before");
    EXPECT_EQ(Take(), Lines{u"[as][qev] error : 87 : zkA2W_ failed\n"});
}

}  // namespace
