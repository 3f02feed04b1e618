// Reading a mail item over the in-memory profile: where its headers and body
// are kept decides which read succeeds and what the trace says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/fake/fake_message.h"
#include "mail/message_text.h"
#include "mail/selection.h"
#include "tests/mail/mail_world.h"
#include "tests/unit/test_text.h"

namespace qev::testing {
namespace {

using host::fake::BodyForm;
using host::fake::HeaderForm;
using host::fake::Message;

// The lines of a direct read that failed.
Lines ReadFailed(std::u16string_view hr, std::u16string_view tag)
{
    return {Line(std::u16string(u"    MailHeaders2Str_...HrGetOneProp returned ")
                     .append(hr)
                     .append(u" getting ")
                     .append(tag)),
            Line(u" hr == S_OK && lpProps != NULL && lpProps->Value.LPSZ is false !!FAIL"), Line(u" *** hr != S_OK !!"),
            Line(u" *** lpProps == NULL !!")};
}
Lines Join(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class MailReadingTest : public MailWorldTest {
protected:
    void SetUp() override
    {
        MailWorldTest::SetUp();
        m_world.AddStore(u"a", u"Mailbox - Ann");
        TraceLevel = kTraceProgress;
    }
    // A new item of a folder nobody watches, as a mail item.
    host::Ref<host::MailItem> Put(Message message)
    {
        m_world.Mail().Deliver(u"a", u"Inbox", std::move(message));
        const auto item = MailItemAt(u"a", u"Inbox", m_world.FolderCounts(u"a", u"Inbox").items);
        ClearWrites();
        return item;
    }
    host::Ref<host::MailItem> Put(HeaderForm headers, BodyForm body)
    {
        return Put(host::fake::MessageFromText(m_text, {.headers = headers, .body = body}));
    }

    const std::u16string m_text = MessageText(u"Caf\u00E9", kSpamNo, u"Caf\u00E9\r\nsecond");
    const std::u16string m_headers = m_text.substr(0, m_text.find(u"\r\n\r\n") + 4);
    const std::u16string m_body = u"Caf\u00E9\r\nsecond\r\n";
};

TEST_F(MailReadingTest, HeadersByWhereTheyAreKept)
{
    const std::u16string start = Line(u"    MailHeaders2Str_...");
    const auto wMissing = ReadFailed(u"0x8004010f", u"PR_TRANSPORT_MESSAGE_HEADERS_W");
    const auto aMissing = ReadFailed(u"0x8004010f", u"PR_TRANSPORT_MESSAGE_HEADERS_A");
    const std::u16string viaStream =
        u"MailHeaders2Str_ : internet headers failed initially with error 0x%s but "
        u"succeeded read using IStream";
    auto with = [](std::u16string text, std::u16string_view hr) { return text.replace(text.find(u"%s"), 2, hr); };
    struct Case {
        HeaderForm form;
        bool read;
        Lines lines;
    } const cases[] = {
        {HeaderForm::Unicode, true, {start, Line(u"    MailHeaders2Str_W<0>...ok")}},
        {HeaderForm::Ansi, true, Join({{start}, wMissing, {Line(u"    MailHeaders2Str_A<1>...ok")}})},
        {HeaderForm::UnicodeEmpty,
         true,
         {start, Line(u" PT_UNICODE but lpProps->Value.lpszW[0] is NULL "), Line(u"    MailHeaders2Str_A<1>...ok")}},
        {HeaderForm::StreamUnicode, true,
         Join({{start},
               ReadFailed(u"0x8007000e", u"PR_TRANSPORT_MESSAGE_HEADERS_W"),
               aMissing,
               {Error(u"MailHeaders2Str_ : internet headers failed, error 0x00000000"),
                Error(with(viaStream, u"00000000"))}})},
        {HeaderForm::StreamAnsi, true,
         Join({{start},
               wMissing,
               ReadFailed(u"0x8007000e", u"PR_TRANSPORT_MESSAGE_HEADERS_A"),
               {Error(u"MailHeaders2Str_ : internet headers failed, error 0x00000000"),
                Error(with(viaStream, u"00000000"))}})},
        {HeaderForm::None, false,
         Join({{start},
               wMissing,
               aMissing,
               // The error lines report how the property interface was got, not the reads.
               {Error(u"MailHeaders2Str_ : internet headers failed, error 0x00000000"),
                Error(u"MailHeaders2Str_ : internet headers failed initially with error 0x00000000 and also failed "
                      u"read using IStream with error 0x8004010f"),
                Error(u"MailHeaders2Str_ : no internet headers????")}})},
    };
    for (const Case& c : cases) {
        const auto item = Put(c.form, BodyForm::PlainUnicode);
        std::u16string headers = u"before";
        EXPECT_EQ(MailHeaders2Str_(item.Get(), headers), c.read) << int(c.form);
        EXPECT_EQ(Narrow(headers), Narrow(c.read ? m_headers : u"before")) << int(c.form);  // 8-bit forms widened
        EXPECT_EQ(Writes(), c.lines) << int(c.form);
    }

    Message odd;  // a UTF-16 stream of an odd number of bytes
    odd.SetStreamOnly(host::fake::kPrTransportHeadersW, {'A', 0, 'B', 0, 'C'});
    std::u16string headers;
    EXPECT_TRUE(MailHeaders2Str_(Put(std::move(odd)).Get(), headers));
    EXPECT_EQ(headers, u"AB");
}

TEST_F(MailReadingTest, BodyByWhereItIsKept)
{
    struct Case {
        BodyForm form;
        std::u16string line;
    } const cases[] = {
        {BodyForm::HtmlAnsi, Line(u"    MailBody2Str_A<0>...ok")},
        {BodyForm::PlainUnicode, Line(u"    MailBody2Str_W<1>...ok")},
        {BodyForm::PlainAnsi, Line(u"    MailBody2Str_A<2>...ok")},
        {BodyForm::HtmlUnicode, Line(u"    MailBody2Str_W<3>...ok")},
        {BodyForm::ObjectModelHtml, Line(u"    MailBody2Str_B...ok")},
        {BodyForm::None, Error(u"MailBody2Str_ : no body????")},
    };
    for (const Case& c : cases) {
        const auto item = Put(HeaderForm::Unicode, c.form);
        std::u16string body;
        EXPECT_EQ(MailBody2Str_(item.Get(), body), c.form != BodyForm::None);
        EXPECT_EQ(Narrow(body), Narrow(c.form != BodyForm::None ? m_body : u"")) << int(c.form);
        EXPECT_EQ(Writes(), (Lines{Line(u"    MailBody2Str_..."), c.line})) << int(c.form);
    }

    // All forms at once: the 8-bit HTML is tried first; an empty one does not count.
    Message all;
    all.SetUnicode(host::fake::kPrBodyW, u"plain").SetUnicode(host::fake::kPrHtmlW, u"<p>w</p>");
    all.SetString8(host::fake::kPrHtmlA, "<p>a</p>").SetString8(host::fake::kPrBodyA, "plain a");
    std::u16string body;
    EXPECT_TRUE(MailBody2Str_(Put(all).Get(), body));
    EXPECT_EQ(body, u"<p>a</p>");
    all.SetString8(host::fake::kPrHtmlA, "");
    EXPECT_TRUE(MailBody2Str_(Put(all).Get(), body));
    EXPECT_EQ(body, u"plain");
}

TEST_F(MailReadingTest, MailTextIsHeadersThenBodyWithLfLineEnds)
{
    const std::u16string headersLf =
        u"Received: from mx.example.org\nFrom: Ann Example <ann@example.org>\nSubject: Caf\u00E9\n"
        u"X-MarlowcrestWKS-Spam: No\n\n";
    const std::u16string bodyLf = u"Caf\u00E9\nsecond\n";
    struct Case {
        HeaderForm headers;
        BodyForm body;
        bool read;
        std::u16string text;
    } const cases[] = {
        {HeaderForm::StreamAnsi, BodyForm::HtmlAnsi, true, headersLf + bodyLf},
        {HeaderForm::None, BodyForm::PlainUnicode, true, bodyLf},
        {HeaderForm::Ansi, BodyForm::None, true, headersLf},
        {HeaderForm::None, BodyForm::None, false, u""},
    };
    for (const Case& c : cases) {
        std::u16string text = u"before";
        EXPECT_EQ(Mail2Str_(Put(c.headers, c.body).Get(), text), c.read);
        EXPECT_EQ(Narrow(text), Narrow(c.text));
    }
}

}  // namespace
}  // namespace qev::testing
