#include "host/fake/fake_message.h"

#include <gtest/gtest.h>

#include "host/com_error.h"
#include "host/fake/fake_text.h"
#include "host/fake/fake_world.h"

namespace host::fake {
namespace {

constexpr char16_t kText[] =
    u"Received: from mx\r\nSubject:   Caf\u00e9 \u20ac deal \r\nFrom: a@b.c\r\n\r\n<p>Hi</p>\r\n";
constexpr char16_t kHeaders[] = u"Received: from mx\r\nSubject:   Caf\u00e9 \u20ac deal \r\nFrom: a@b.c\r\n\r\n";
constexpr char16_t kBody[] = u"<p>Hi</p>\r\n";

std::u16string FromUtf16Bytes(const std::vector<std::uint8_t>& bytes)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

// What a property reads as, through the item's MAPI object as the add-in
// reaches it: "W:text", "A:text" (widened), "W:" for an empty value,
// "null" for a value without its pointer, "hr:0x..." for a failed read.
std::string Read(MapiProp& prop, std::uint32_t tag)
{
    std::optional<PropValue> value;
    const HRESULT hr = prop.GetOneProp(tag, value);
    char hex[32];
    std::snprintf(hex, sizeof hex, "hr:0x%08X", static_cast<unsigned>(hr));
    if (hr != S_OK) return hex;
    if (!value->pointerSet) return "null";
    if (PropType(value->tag) == kPtUnicode) return "W:" + Utf8(value->unicode);
    if (PropType(value->tag) == kPtString8) return "A:" + Utf8(WidenWindows1252(value->string8));
    return "?";
}

std::string ReadStream(MapiProp& prop, std::uint32_t tag)
{
    Ref<Object> object;
    const HRESULT hr = prop.OpenProperty(tag, object);
    char hex[32];
    std::snprintf(hex, sizeof hex, "hr:0x%08X", static_cast<unsigned>(hr));
    if (hr != S_OK) return hex;
    Ref<Stream> stream = QueryAs<Stream>(object.Get());
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stream->Size()));
    bytes.resize(stream->Read(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    if (PropType(tag) == kPtUnicode) return "W:" + Utf8(FromUtf16Bytes(bytes));
    return "A:" + Utf8(WidenWindows1252(std::string(bytes.begin(), bytes.end())));
}

// What a message store answers for each form a message's headers and body
// can take: a property kept only as a stream is too big for GetProps
// (MAPI_E_NOT_ENOUGH_MEMORY) and opens with OpenProperty; a missing one is
// MAPI_E_NOT_FOUND; HTMLBody renders plain text as Outlook does.
TEST(MessageFromText, EachFormReadsAsTheMessageStoresIt)
{
    const std::string headersW = "W:" + Utf8(kHeaders);
    const std::string headersA = "A:" + Utf8(kHeaders);  // the text fits Windows-1252
    const std::string bodyW = "W:" + Utf8(kBody);
    const std::string bodyA = "A:" + Utf8(kBody);
    const std::string notFound = "hr:0x8004010F";
    const std::string tooBig = "hr:0x8007000E";

    struct HeaderCase {
        const char* form;
        std::string w, a, streamW, streamA;
    };
    const HeaderCase headerCases[] = {
        {"unicode", headersW, notFound, headersW, notFound},   {"ansi", notFound, headersA, notFound, headersA},
        {"unicode-empty", "W:", headersA, "W:", headersA},     {"stream-unicode", tooBig, notFound, headersW, notFound},
        {"stream-ansi", notFound, tooBig, notFound, headersA}, {"none", notFound, notFound, notFound, notFound},
    };
    struct BodyCase {
        const char* form;
        std::string htmlA, plainW, plainA, htmlW, htmlBody;
    };
    const std::string rendered = "<html><body><pre>&lt;p&gt;Hi&lt;/p&gt;\r\n</pre></body></html>";
    const BodyCase bodyCases[] = {
        {"plain-unicode", notFound, bodyW, notFound, notFound, rendered},
        {"plain-ansi", notFound, notFound, bodyA, notFound, rendered},
        {"html-ansi", bodyA, notFound, notFound, notFound, Utf8(kBody)},
        {"html-unicode", notFound, notFound, notFound, bodyW, Utf8(kBody)},
        {"object-model-html", notFound, notFound, notFound, notFound, Utf8(kBody)},
        {"none", notFound, notFound, notFound, notFound, ""},
    };

    FakeWorld world;
    world.AddStore(u"a", u"A");
    std::size_t index = 0;
    for (std::size_t i = 0; i < std::size(headerCases); ++i) {
        const HeaderCase& h = headerCases[i];
        const BodyCase& b = bodyCases[i];
        const auto headerForm = HeaderFormNamed(h.form);
        const auto bodyForm = BodyFormNamed(b.form);
        ASSERT_TRUE(headerForm && bodyForm) << h.form << " " << b.form;
        world.Deliver(u"a", u"Inbox", kText, {.read = i % 2 == 1, .headers = *headerForm, .body = *bodyForm});
        ++index;

        Ref<MailItem> item = QueryAs<MailItem>(world.Mail().Item(u"a", u"Inbox", index).Get());
        ASSERT_TRUE(item);
        EXPECT_EQ(item->UnRead().boolValue, i % 2 == 1 ? kVariantFalse : kVariantTrue);
        Ref<Object> object = item->MapiObject();
        Ref<MapiProp> prop = QueryAs<MapiProp>(object.Get());
        ASSERT_TRUE(prop);
        EXPECT_EQ(Read(*prop, kPrTransportHeadersW), h.w) << h.form;
        EXPECT_EQ(Read(*prop, kPrTransportHeadersA), h.a) << h.form;
        EXPECT_EQ(ReadStream(*prop, kPrTransportHeadersW), h.streamW) << h.form;
        EXPECT_EQ(ReadStream(*prop, kPrTransportHeadersA), h.streamA) << h.form;
        EXPECT_EQ(Read(*prop, kPrHtmlA), b.htmlA) << b.form;
        EXPECT_EQ(Read(*prop, kPrBodyW), b.plainW) << b.form;
        EXPECT_EQ(Read(*prop, kPrBodyA), b.plainA) << b.form;
        EXPECT_EQ(Read(*prop, kPrHtmlW), b.htmlW) << b.form;
        EXPECT_EQ(Utf8(item->HtmlBody()), b.htmlBody) << b.form;
        EXPECT_EQ(Read(*prop, kPrSubjectW), "W:" + Utf8(u"Caf\u00e9 \u20ac deal"));
        EXPECT_EQ(Read(*prop, kPrMessageClassW), "W:IPM.Note");
    }
    EXPECT_FALSE(HeaderFormNamed("Unicode"));
    EXPECT_FALSE(BodyFormNamed("html"));
    EXPECT_EQ(world.ReleaseProblems(), std::vector<std::string>{});
}

// Windows-1252 as Windows converts it: the five undefined bytes stand for
// themselves, a character it lacks becomes '?', and every byte round-trips.
TEST(NarrowWindows1252, MapsWhatTheCodePageHasAndDefaultsTheRest)
{
    EXPECT_EQ(NarrowWindows1252(u"abc \u00e9\u00ff"), "abc \xE9\xFF");
    EXPECT_EQ(NarrowWindows1252(u"\u20ac\u2122\u0178"), "\x80\x99\x9F");
    EXPECT_EQ(NarrowWindows1252(u"\u0081\u008D"), "\x81\x8D");         // undefined bytes stand for themselves
    EXPECT_EQ(NarrowWindows1252(u"\u0080\u0109\U0001F600x"), "???x");  // a surrogate pair is one character
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(NarrowWindows1252(WidenWindows1252(byte)), byte) << b;
    }
}

}  // namespace
}  // namespace host::fake
