#include "host/fake/fake_message.h"

#include <array>
#include <utility>

#include "host/fake/fake_system.h"
#include "host/fake/fake_text.h"

namespace host::fake {
namespace {

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::vector<std::uint8_t> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

std::u16string Trim(std::u16string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return std::u16string(text);
}

// The value of the first "Subject:" header line.
std::u16string SubjectOf(std::u16string_view headers)
{
    constexpr std::u16string_view kName = u"subject:";
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find(u'\n', start);
        if (end == std::u16string_view::npos) end = headers.size();
        std::u16string_view line = headers.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        if (line.size() >= kName.size() && EqualNoCase(line.substr(0, kName.size()), kName))
            return Trim(line.substr(kName.size()));
        start = end + 1;
    }
    return {};
}

}  // namespace

// ---- one message ----

Message& Message::SetUnicode(std::uint32_t tag, std::u16string text)
{
    properties[tag] = MessageProperty{PropValue::Unicode(tag, std::move(text)), MAPI_E_NOT_FOUND, std::nullopt};
    return *this;
}

Message& Message::SetString8(std::uint32_t tag, std::string bytes)
{
    properties[tag] = MessageProperty{PropValue::String8(tag, std::move(bytes)), MAPI_E_NOT_FOUND, std::nullopt};
    return *this;
}

Message& Message::SetBinary(std::uint32_t tag, std::vector<std::uint8_t> bytes)
{
    properties[tag] = MessageProperty{PropValue::Binary(tag, std::move(bytes)), MAPI_E_NOT_FOUND, std::nullopt};
    return *this;
}

Message& Message::SetNullPointer(std::uint32_t tag)
{
    PropValue v;
    v.tag = tag;
    v.pointerSet = false;
    properties[tag] = MessageProperty{std::move(v), MAPI_E_NOT_FOUND, std::nullopt};
    return *this;
}

Message& Message::SetStreamOnly(std::uint32_t tag, std::vector<std::uint8_t> bytes, HRESULT readFailure)
{
    properties[tag] = MessageProperty{std::nullopt, readFailure, std::move(bytes)};
    return *this;
}

Message& Message::SetFailing(std::uint32_t tag, HRESULT hr)
{
    properties[tag] = MessageProperty{std::nullopt, hr, std::nullopt};
    return *this;
}

// ---- building a message from a message text ----

std::optional<HeaderForm> HeaderFormNamed(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, HeaderForm>, 6> kNames{{
        {"unicode", HeaderForm::Unicode},
        {"ansi", HeaderForm::Ansi},
        {"unicode-empty", HeaderForm::UnicodeEmpty},
        {"stream-unicode", HeaderForm::StreamUnicode},
        {"stream-ansi", HeaderForm::StreamAnsi},
        {"none", HeaderForm::None},
    }};
    for (const auto& [text, form] : kNames)
        if (text == name) return form;
    return std::nullopt;
}

std::optional<BodyForm> BodyFormNamed(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, BodyForm>, 6> kNames{{
        {"plain-unicode", BodyForm::PlainUnicode},
        {"plain-ansi", BodyForm::PlainAnsi},
        {"html-ansi", BodyForm::HtmlAnsi},
        {"html-unicode", BodyForm::HtmlUnicode},
        {"object-model-html", BodyForm::ObjectModelHtml},
        {"none", BodyForm::None},
    }};
    for (const auto& [text, form] : kNames)
        if (text == name) return form;
    return std::nullopt;
}

Message MessageFromText(std::u16string_view text, const DeliverOptions& options)
{
    // The header text runs up to and including the empty line that ends it.
    std::u16string_view headers = text;
    std::u16string_view body;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t end = text.find(u'\n', lineStart);
        const std::size_t next = end == std::u16string_view::npos ? text.size() : end + 1;
        std::u16string_view line = text.substr(lineStart, next - lineStart);
        if (line == u"\r\n" || line == u"\n") {
            headers = text.substr(0, next);
            body = text.substr(next);
            break;
        }
        lineStart = next;
    }

    Message m;
    m.kind = options.kind;
    m.unRead = options.read ? kVariantFalse : kVariantTrue;
    m.receivedTime = options.received;
    m.subject = SubjectOf(headers);
    m.SetUnicode(kPrSubjectW, m.subject);
    m.SetUnicode(kPrMessageClassW, options.kind == ItemKind::Mail ? u"IPM.Note" : u"IPM.Schedule.Meeting.Request");

    switch (options.headers) {
        case HeaderForm::Unicode:
            m.SetUnicode(kPrTransportHeadersW, std::u16string(headers));
            break;
        case HeaderForm::Ansi:
            m.SetString8(kPrTransportHeadersA, NarrowWindows1252(headers));
            break;
        case HeaderForm::UnicodeEmpty:
            m.SetUnicode(kPrTransportHeadersW, u"");
            m.SetString8(kPrTransportHeadersA, NarrowWindows1252(headers));
            break;
        case HeaderForm::StreamUnicode:
            m.SetStreamOnly(kPrTransportHeadersW, Utf16Bytes(headers));
            break;
        case HeaderForm::StreamAnsi:
            m.SetStreamOnly(kPrTransportHeadersA, Bytes(NarrowWindows1252(headers)));
            break;
        case HeaderForm::None:
            break;
    }
    switch (options.body) {
        case BodyForm::PlainUnicode:
            m.SetUnicode(kPrBodyW, std::u16string(body));
            break;
        case BodyForm::PlainAnsi:
            m.SetString8(kPrBodyA, NarrowWindows1252(body));
            break;
        case BodyForm::HtmlAnsi:
            m.SetString8(kPrHtmlA, NarrowWindows1252(body));
            break;
        case BodyForm::HtmlUnicode:
            m.SetUnicode(kPrHtmlW, std::u16string(body));
            break;
        case BodyForm::ObjectModelHtml:
            m.objectModelHtml = std::u16string(body);
            break;
        case BodyForm::None:
            break;
    }
    return m;
}

std::string NarrowWindows1252(std::u16string_view text)
{
    // What the bytes 0x80..0x9F stand for (the five that 1252 leaves
    // undefined stand for the C1 control of the same value).
    static const std::u16string kHigh = [] {
        std::string bytes;
        for (int b = 0x80; b <= 0x9F; ++b) bytes.push_back(static_cast<char>(b));
        return WidenWindows1252(bytes);
    }();
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (const std::size_t at = kHigh.find(c); at != std::u16string::npos) {
            out.push_back(static_cast<char>(0x80 + at));
            continue;
        }
        // A surrogate pair is one character: one default character for both.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
        out.push_back('?');
    }
    return out;
}

}  // namespace host::fake
