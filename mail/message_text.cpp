// Reading a mail item's transport headers and body through its MAPI object,
// and joining them into the one text the engine reads.
#include "mail/message_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cwctype>
#include <new>
#include <optional>
#include <vector>

#include "addin/trace.h"
#include "host/com_error.h"
#include "host/mapi.h"
#include "host/system.h"
#include "mail/mapi_defs.h"

namespace qev {

namespace {

struct HeaderTag {
    std::uint32_t tag;
    const char16_t* name;
};
constexpr std::array<HeaderTag, 2> kHeaderTags{{
    {kPrTransportMessageHeadersW, u"PR_TRANSPORT_MESSAGE_HEADERS_W"},
    {kPrTransportMessageHeadersA, u"PR_TRANSPORT_MESSAGE_HEADERS_A"},
}};

constexpr std::array<std::uint32_t, 4> kBodyTags{kPrHtmlA, kPrBodyW, kPrBodyA, kPrHtmlW};

// The string a property value holds, up to its first NUL (as MAPI hands it out).
std::u16string_view UnicodeText(const host::PropValue& value) noexcept
{
    return std::u16string_view(value.unicode.c_str());
}
// The same, taken over from the value.
std::u16string TakeUnicodeText(host::PropValue& value) noexcept
{
    std::u16string text = std::move(value.unicode);
    text.erase(std::find(text.begin(), text.end(), u'\0'), text.end());
    return text;
}
std::string_view String8Text(const host::PropValue& value) noexcept
{
    return std::string_view(value.string8.c_str());
}

// What a value read for its text turned out to hold.
enum class ValueText { Taken, EmptyUnicode, EmptyString8, NotText };

// Takes the text of a UTF-16 or 8-bit string value into out (8-bit text widened
// with code page 0; a failed widening still counts), writing okW or okA with
// index first. A value whose first character is NUL holds no text.
ValueText TakeValueText(host::PropValue& value, std::size_t index, std::u16string_view okW, std::u16string_view okA,
                        std::u16string& out)
{
    switch (host::PropType(value.tag)) {
        case host::kPtUnicode:
            if (UnicodeText(value).empty()) return ValueText::EmptyUnicode;
            QEV_TRACE(kTraceProgress, okW, index);
            out = TakeUnicodeText(value);
            return ValueText::Taken;
        case host::kPtString8:
            if (String8Text(value).empty()) return ValueText::EmptyString8;
            QEV_TRACE(kTraceProgress, okA, index);
            zkA2W_(out, String8Text(value), 0);
            return ValueText::Taken;
        default:
            return ValueText::NotText;
    }
}

// Reads a header property as a stream into out. status is the result of the
// last call made (the error line names it when every stream read failed).
bool ReadHeaderStream(host::MapiProp* prop, std::uint32_t tag, std::u16string& out, HRESULT& status)
{
    if (!prop) {
        status = E_POINTER;
        return false;
    }
    host::Ref<host::Object> opened;
    status = prop->OpenProperty(tag, opened);
    if (!opened) return false;
    host::Ref<host::Stream> stream;
    status = host::QueryAs(opened.Get(), stream);
    if (FAILED(status)) return false;

    std::uint64_t size = 0;
    status = HrOf([&] { size = stream->Size(); });
    if (FAILED(status)) return false;

    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(static_cast<std::uint32_t>(size), 0);
    } catch (const std::bad_alloc&) {
        status = E_OUTOFMEMORY;
        return false;
    }
    std::uint32_t read = 0;
    status = HrOf([&] { read = stream->Read(buffer.data(), static_cast<std::uint32_t>(buffer.size())); });
    if (FAILED(status) || read == 0) return false;
    read = std::min<std::uint32_t>(read, static_cast<std::uint32_t>(buffer.size()));  // never past the buffer

    if (host::PropType(tag) == host::kPtUnicode) {
        std::u16string text(read / 2, u'\0');  // an odd last byte is dropped
        std::memcpy(text.data(), buffer.data(), text.size() * sizeof(char16_t));
        out = std::move(text);
    } else {
        zkA2W_(out, std::string_view(reinterpret_cast<const char*>(buffer.data()), read), 0);
    }
    return true;
}

}  // namespace

bool zkA2W_(std::u16string& out, std::string_view text, unsigned codePage)
{
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::u16string wide;
    std::uint32_t lastError = 0;
    if (!host::Sys().WidenText(text, codePage, wide, lastError)) {
        QEV_TRACE(kTraceError, u"[as][qev] error : %d : zkA2W_ failed\n", lastError);
        return false;
    }
    const std::size_t end = wide.find(u'\0');
    if (end != std::u16string::npos) wide.resize(end);
    out = std::move(wide);
    return true;
}

void CrLfToLf(std::u16string& text) noexcept
{
    // Runs of text between pairs move down in one piece each.
    char16_t* const begin = text.data();
    char16_t* const end = begin + text.size();
    char16_t* out = begin;
    const char16_t* run = begin;  // where the run not yet moved starts
    for (char16_t* cr = std::find(begin, end, u'\r'); cr != end; cr = std::find(cr + 1, end, u'\r')) {
        if (cr + 1 == end) break;
        if (cr[1] != u'\n') continue;
        std::memmove(out, run, static_cast<std::size_t>(cr - run) * sizeof(char16_t));
        out += cr - run;
        run = cr + 1;  // the LF starts the next run
    }
    std::memmove(out, run, static_cast<std::size_t>(end - run) * sizeof(char16_t));
    text.resize(static_cast<std::size_t>(out - begin) + static_cast<std::size_t>(end - run));
}

bool MailHeaders2Str_(host::MailItem* a_pItem, std::u16string& a_headers)
{
    try {
        QEV_TRACE_STEP(u"    MailHeaders2Str_...");
        if (!a_pItem) {
            QEV_TRACE_STEP(u"    MailHeaders2Str_...a_pItem == NULL !!!");
            throw host::ComError(E_POINTER);
        }

        host::Ref<host::MapiProp> spItemMapiProp;
        host::Ref<host::Object> spMapiObjItem;
        HRESULT hr = HrOf([&] { spMapiObjItem = a_pItem->MapiObject(); });
        if (FAILED(hr)) {
            QEV_TRACE(kTraceProgress, u"[as][qev]  a_pItem->get_MAPIOBJECT failed 0x%8.8x\n", hr);
        } else {
            hr = host::QueryAs(spMapiObjItem.Get(), spItemMapiProp);
            if (FAILED(hr)) {
                QEV_TRACE(kTraceProgress,
                          u"[as][qev]  spMapiObjItem->QueryInterface(IID_IMAPIProp, (void **)&spItemMapiProp) failed "
                          u"0x%8.8x\n",
                          hr);
            }
        }
        spMapiObjItem.Reset();
        // What the error lines report: the status of getting the property
        // interface, not of the reads that follow.
        const HRESULT hrKept = hr;

        if (!spItemMapiProp) {
            QEV_TRACE_STEP(u" spItemMapiProp == NULL !!");
        } else {
            for (std::size_t i = 0; i < kHeaderTags.size(); ++i) {
                std::optional<host::PropValue> lpProps;
                const HRESULT hrRead = spItemMapiProp->GetOneProp(kHeaderTags[i].tag, lpProps);
                if (hrRead == S_OK && lpProps && lpProps->pointerSet) {
                    switch (TakeValueText(*lpProps, i, u"[as][qev]     MailHeaders2Str_W<%d>...ok\n",
                                          u"[as][qev]     MailHeaders2Str_A<%d>...ok\n", a_headers)) {
                        case ValueText::Taken:
                            return true;
                        case ValueText::EmptyUnicode:
                            QEV_TRACE_STEP(u" PT_UNICODE but lpProps->Value.lpszW[0] is NULL ");
                            break;
                        case ValueText::EmptyString8:
                            QEV_TRACE_STEP(u" PT_STRING8 but lpProps->Value.lpszA[0] is NULL ");
                            break;
                        case ValueText::NotText:
                            QEV_TRACE(kTraceProgress, u"[as][qev]  PROP_TYPE(lpProps->ulPropTag) == %ld \n",
                                      host::PropType(lpProps->tag));
                            break;
                    }
                } else {
                    QEV_TRACE(kTraceProgress,
                              u"[as][qev]     MailHeaders2Str_...HrGetOneProp returned 0x%8.8x getting %s\n", hrRead,
                              kHeaderTags[i].name);
                    QEV_TRACE_STEP(u" hr == S_OK && lpProps != NULL && lpProps->Value.LPSZ is false !!FAIL");
                    if (hrRead != S_OK) QEV_TRACE_STEP(u" *** hr != S_OK !!");
                    if (!lpProps) {
                        QEV_TRACE_STEP(u" *** lpProps == NULL !!");
                    } else if (!lpProps->pointerSet) {
                        QEV_TRACE_STEP(u" *** !lpProps->Value.LPSZ !!");
                    }
                }
            }
        }

        QEV_TRACE(kTraceError, u"[as][qev] error : MailHeaders2Str_ : internet headers failed, error 0x%8.8x\n",
                  hrKept);

        HRESULT hrStream = S_OK;
        for (const HeaderTag& header : kHeaderTags) {
            if (ReadHeaderStream(spItemMapiProp.Get(), header.tag, a_headers, hrStream)) {
                QEV_TRACE(kTraceError,
                          u"[as][qev] error : MailHeaders2Str_ : internet headers failed initially with error 0x%8.8x "
                          u"but succeeded read using IStream\n",
                          hrKept);
                return true;
            }
        }
        QEV_TRACE(kTraceError,
                  u"[as][qev] error : MailHeaders2Str_ : internet headers failed initially with error 0x%8.8x and also "
                  u"failed read using IStream with error 0x%8.8x\n",
                  hrKept, hrStream);
        QEV_TRACE_ERROR(u"MailHeaders2Str_ : no internet headers????");
        return false;
    } catch (...) {
        QEV_TRACE_ERROR(u"unknown exception! : MailHeaders2Str_ : no internet headers????");
        return false;
    }
}

bool MailBody2Str_(host::MailItem* a_pItem, std::u16string& a_body)
{
    try {
        QEV_TRACE_STEP(u"    MailBody2Str_...");
        if (!a_pItem) throw host::ComError(E_POINTER);

        for (std::size_t i = 0; i < kBodyTags.size(); ++i) {
            std::optional<host::PropValue> lpProps;
            HRESULT hr = S_OK;
            {
                const host::Ref<host::Object> spMapiObj = a_pItem->MapiObject();
                host::Ref<host::MapiProp> prop;
                hr = host::QueryAs(spMapiObj.Get(), prop);
                if (SUCCEEDED(hr)) hr = prop->GetOneProp(kBodyTags[i], lpProps);
            }
            if (hr == S_OK && lpProps && lpProps->pointerSet &&
                TakeValueText(*lpProps, i, u"[as][qev]     MailBody2Str_W<%d>...ok\n",
                              u"[as][qev]     MailBody2Str_A<%d>...ok\n", a_body) == ValueText::Taken) {
                return true;
            }
        }

        a_body = a_pItem->HtmlBody();
        if (a_body.empty()) {
            QEV_TRACE_ERROR(u"MailBody2Str_ : no body????");
            return false;
        }
        QEV_TRACE_STEP(u"    MailBody2Str_B...ok");
        return true;
    } catch (...) {
        QEV_TRACE_ERROR(u"unknown exception! : MailBody2Str_ : no body????");
        return false;
    }
}

bool Mail2Str_(host::MailItem* a_pItem, std::u16string& a_text)
{
    std::u16string headers;
    std::u16string body;
    bool read = false;
    if (MailHeaders2Str_(a_pItem, headers)) {
        CrLfToLf(headers);
        read = true;
    }
    if (MailBody2Str_(a_pItem, body)) {
        CrLfToLf(body);
        read = true;
    }
    a_text.clear();
    a_text.reserve(headers.size() + body.size());
    a_text.append(headers).append(body);
    return read;
}

bool GetFrom_(std::u16string_view a_headers, std::u16string& a_from)
{
    static constexpr std::u16string_view kFrom = u"\nFrom:";
    constexpr std::size_t npos = std::u16string_view::npos;
    // The remaining copy is a_headers from rest on. The first CR LF and the
    // first "@" at or after rest are kept between rounds, so that many From
    // lines cost one pass over the text; a_from gets the last line looked at.
    std::size_t rest = 0;
    std::size_t crLf = 0;
    std::size_t at = 0;
    bool known = false;
    std::u16string_view candidate;
    for (;;) {
        const std::size_t match = a_headers.find(kFrom, rest);
        if (match == npos) {
            a_from.assign(candidate);
            QEV_TRACE_ERROR(u"GetFrom_ : From<$null>");
            return false;
        }
        rest = match + kFrom.size();

        if (!known || (crLf != npos && crLf < rest)) crLf = a_headers.find(u"\r\n", rest);
        if (!known || (at != npos && at < rest)) at = a_headers.find(u'@', rest);
        known = true;
        const std::size_t lineEnd = crLf != npos ? crLf : a_headers.find(u'\n', rest);
        candidate = lineEnd == npos ? std::u16string_view() : a_headers.substr(rest, lineEnd - rest);
        if (lineEnd != npos && at < lineEnd) break;  // the line holds an "@"
        if (rest == a_headers.size()) {
            a_from.assign(candidate);
            return false;
        }
    }
    a_from.assign(candidate);

    const auto isSpace = [](char16_t c) { return std::iswspace(static_cast<std::wint_t>(c)) != 0; };
    std::size_t first = 0;
    while (first < a_from.size() && isSpace(a_from[first])) ++first;
    std::size_t last = a_from.size();
    while (last > first && isSpace(a_from[last - 1])) --last;
    a_from = a_from.substr(first, last - first);

    const std::size_t open = a_from.find(u'<');
    if (open == std::u16string::npos) return true;
    a_from.erase(0, open + 1);
    const std::size_t close = a_from.find(u'>');
    if (a_from.empty() || close == std::u16string::npos) {
        QEV_TRACE_ERROR(u"GetFrom_ : '>'<$null>");
        return false;
    }
    a_from.resize(close);
    return !a_from.empty();
}

}  // namespace qev
