// The mail text as it is built now (each part copied once, line ends joined
// on the way, in blocks and pieces) against the way it was first built (each
// part read whole, then joined by moving the runs between CR LF pairs down),
// on messages made to hit the edges of the blocks, the pieces and the parts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host/fake/fake_message.h"
#include "host/fake/fake_system.h"
#include "mail/message_text.h"
#include "tests/mail/mail_world.h"
#include "tests/unit/test_text.h"

namespace qev::testing {
namespace {

using host::fake::Message;

// The first way: every CR LF of the part found and the run before it moved.
std::u16string ReferenceJoin(std::u16string text)
{
    std::size_t out = 0;
    for (std::size_t in = 0; in < text.size(); ++in) {
        if (text[in] == u'\r' && in + 1 < text.size() && text[in + 1] == u'\n') continue;
        text[out++] = text[in];
    }
    text.resize(out);
    return text;
}

// Where a part is kept, and so how it is read and turned into UTF-16.
enum class Kept { Unicode, String8, UnicodeStream, None };

struct PartInput {
    Kept kept;
    std::string bytes;  // UTF-16LE for the Unicode forms, 8-bit otherwise

    // The whole UTF-16 units of the bytes.
    std::u16string Units() const
    {
        std::u16string text(bytes.size() / 2, u'\0');
        std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
        return text;
    }
    // The part as the first way read it: a value up to its first NUL, a
    // stream's whole units, 8-bit text widened as code page 1252.
    std::u16string Text() const
    {
        switch (kept) {
            case Kept::Unicode:
                return std::u16string(Units().c_str());
            case Kept::UnicodeStream:
                return Units();
            case Kept::String8:
                return host::fake::WidenWindows1252(std::string_view(bytes.c_str()));
            case Kept::None:
                break;
        }
        return {};
    }
};

std::string Utf16Bytes(std::u16string_view text)
{
    std::string bytes(text.size() * 2, '\0');
    std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}
PartInput Wide(std::u16string_view text)
{
    return {Kept::Unicode, Utf16Bytes(text)};
}
// Text as code page 1252 stores it, CR and LF as the bytes they are.
std::string Bytes8(std::u16string_view text)
{
    return host::fake::NarrowWindows1252(text);
}
PartInput Eight(std::string text)
{
    return {Kept::String8, std::move(text)};
}
PartInput Stream(std::string bytes)
{
    return {Kept::UnicodeStream, std::move(bytes)};
}
PartInput Absent()
{
    return {Kept::None, std::string()};
}

// Lines of letters with a line end at each of the given positions: long
// enough to cross blocks of eight units and pieces of 2048.
std::u16string EndsAt(std::size_t size, std::initializer_list<std::size_t> crLfs, std::u16string_view end = u"\r\n")
{
    std::u16string text(size, u'x');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char16_t>(u'a' + i % 26);
    for (const std::size_t at : crLfs) text.replace(at, end.size(), end);
    return text;
}

class MailTextReferenceTest : public MailWorldTest {
protected:
    void SetUp() override
    {
        MailWorldTest::SetUp();
        m_world.AddStore(u"a", u"Mailbox - Ann");
        TraceLevel = 0;
    }
    host::Ref<host::MailItem> Put(const PartInput& headers, const PartInput& body)
    {
        Message message;
        constexpr std::uint32_t kHeadersW = host::fake::kPrTransportHeadersW;
        switch (headers.kept) {
            case Kept::Unicode:
                message.SetUnicode(kHeadersW, headers.Units());
                break;
            case Kept::String8:
                message.SetString8(host::fake::kPrTransportHeadersA, headers.bytes);
                break;
            case Kept::UnicodeStream:
                message.SetStreamOnly(kHeadersW, {headers.bytes.begin(), headers.bytes.end()});
                break;
            case Kept::None:
                break;
        }
        if (body.kept == Kept::Unicode) message.SetUnicode(host::fake::kPrBodyW, body.Units());
        if (body.kept == Kept::String8) message.SetString8(host::fake::kPrHtmlA, body.bytes);
        m_world.Mail().Deliver(u"a", u"Inbox", std::move(message));
        return MailItemAt(u"a", u"Inbox", m_world.FolderCounts(u"a", u"Inbox").items);
    }
};

TEST_F(MailTextReferenceTest, SameTextAsTheFirstWay)
{
    std::u16string pairs;
    for (int i = 0; i < 3000; ++i) pairs += u"\r\n";
    std::string everyHighByte;
    for (int b = 0x80; b <= 0xFF; ++b) everyHighByte.push_back(static_cast<char>(b));
    const std::string oddStream = Utf16Bytes(u"A: 1\r\nB: 2\r") + "\x41";
    struct Case {
        const char* what;
        PartInput headers, body;
    } const cases[] = {
        {"CR alone stays", Wide(u"A: 1\rB\r"), Wide(u"x\ry\r")},
        {"LF alone stays", Wide(u"\nA: 1\n\n"), Wide(u"\nx\n")},
        {"CR CR LF keeps the first", Wide(u"A\r\r\n\r\r\n"), Wide(u"\r\r\r\n")},
        {"a pair split across the end of the parts", Wide(u"A: 1\r\n\r"), Wide(u"\nbody\r\n")},
        {"a pair split, 8-bit parts", Eight("A: 1\r"), Eight("\nb\r\n\r")},
        {"an odd-length UTF-16 stream", Stream(oddStream), Wide(u"b\r\n")},
        {"every byte from 0x80 to 0xFF", Eight("A: " + everyHighByte + "\r\n\r\n"), Eight(everyHighByte + "\r\n")},
        {"8-bit with a NUL", Eight(std::string("A: 1\r\n\0B\r\n", 10)), Eight(std::string("x\0\r\n", 4))},
        {"UTF-16 with a NUL", Wide(std::u16string(u"A\r\n\0B\r\n", 7)), Wide(u"b")},
        {"empty headers", Wide(u""), Wide(u"b\r\n")},
        {"no headers, no body", Absent(), Absent()},
        {"headers only", Wide(u"A: 1\r\n\r\n"), Absent()},
        {"pairs at the blocks' edges", Wide(EndsAt(40, {0, 6, 7, 8, 15, 16, 23, 31, 38})), Wide(EndsAt(17, {7, 15}))},
        {"lone CRs at the blocks' edges", Wide(EndsAt(40, {0, 7, 8, 15, 16, 39}, u"\r")), Wide(EndsAt(9, {8}, u"\r"))},
        {"pairs at the pieces' edges", Wide(EndsAt(6200, {2046, 2047, 4095, 6143, 6198})),
         Eight(Bytes8(EndsAt(4200, {2047, 4094, 4198})))},
        {"a pair split across pieces, 8-bit", Eight(Bytes8(EndsAt(2049, {2047}))), Wide(EndsAt(4097, {2047, 4095}))},
        {"8-bit widened in pieces of 8192 bytes and more, cut after an LF",
         Eight(Bytes8(EndsAt(20000, {8190, 8192, 16383, 16385}))), Eight(Bytes8(EndsAt(30000, {8191, 29000})))},
        {"nothing but pairs, nothing but CRs", Wide(pairs), Wide(std::u16string(5000, u'\r'))},
    };
    for (const Case& c : cases) {
        std::u16string expected = ReferenceJoin(c.headers.Text()) + ReferenceJoin(c.body.Text());
        std::u16string text = u"before";
        const bool read = Mail2Str_(Put(c.headers, c.body).Get(), text);
        EXPECT_EQ(read, c.headers.kept != Kept::None || c.body.kept != Kept::None) << c.what;
        EXPECT_TRUE(text == expected) << c.what << ": " << Narrow(text.substr(0, 60)) << " | "
                                      << Narrow(expected.substr(0, 60));
    }
}

}  // namespace
}  // namespace qev::testing
