// Reading a mail item's transport headers and body through its MAPI object,
// and joining them into the one text the engine reads.
#include "mail/message_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <cwctype>
#include <new>
#include <optional>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "addin/trace.h"
#include "host/com_error.h"
#include "host/mapi.h"
#include "host/system.h"
#include "mail/mapi_defs.h"
#include "mail/simd.h"
#include "mail/text_search.h"

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

// One part of a message (its headers or its body) as it was read, before it
// goes anywhere: UTF-16 text, 8-bit text still to be widened with code page
// 0, or nothing to put (the output stays as it was). The views point into the
// property value the host handed over or into owned (text read from a stream
// or through the object model), so a Part is filled where it lives.
struct Part {
    enum class Form { Nothing, Wide, Narrow } form = Form::Nothing;
    std::u16string_view wide;
    std::string_view narrow;
    host::PropValue value;
    std::u16string owned;

    void TakeValue(host::PropValue&& v, Form f) noexcept
    {
        value = std::move(v);
        form = f;
        wide = value.unicode;
        narrow = value.string8;
    }
    void TakeOwned(std::u16string&& text) noexcept
    {
        owned = std::move(text);
        form = Form::Wide;
        wide = owned;
    }
    // Room the part needs in the mail text: a byte never widens to more than one unit.
    std::size_t MaxUnits() const noexcept { return form == Form::Narrow ? narrow.size() : wide.size(); }
};

// What a value read for its text turned out to hold.
enum class ValueText { Taken, EmptyUnicode, EmptyString8, NotText };

// Takes a UTF-16 or 8-bit string value into part, writing okW or okA with
// index first. A value whose first character is NUL holds no text.
ValueText TakeValueText(host::PropValue& value, std::size_t index, std::u16string_view okW, std::u16string_view okA,
                        Part& part)
{
    switch (host::PropType(value.tag)) {
        case host::kPtUnicode:
            if (value.unicode.empty()) return ValueText::EmptyUnicode;
            QEV_TRACE(kTraceProgress, okW, index);
            part.TakeValue(std::move(value), Part::Form::Wide);
            return ValueText::Taken;
        case host::kPtString8:
            if (value.string8.empty()) return ValueText::EmptyString8;
            QEV_TRACE(kTraceProgress, okA, index);
            part.TakeValue(std::move(value), Part::Form::Narrow);
            return ValueText::Taken;
        default:
            return ValueText::NotText;
    }
}

// 8-bit text as far as its first NUL: C string properties end there.
std::string_view UpToNul(std::string_view text) noexcept
{
    return text.substr(0, text.find('\0'));
}

void TraceWidenFailed(std::uint32_t lastError)
{
    QEV_TRACE(kTraceError, u"[as][qev] error : %d : zkA2W_ failed\n", lastError);
}

// Widens 8-bit text, up to its first NUL, onto the end of out. On failure
// writes the line and leaves out as it was. Text cut at its first NUL widens
// to text without one in every code page, so the result needs no cut.
bool WidenOnto(std::u16string& out, std::string_view text, unsigned codePage)
{
    std::uint32_t lastError = 0;
    if (!host::Sys().WidenText(UpToNul(text), codePage, out, lastError)) {
        TraceWidenFailed(lastError);
        return false;
    }
    return true;
}

// Reads a header property as a stream into part. status is the result of the
// last call made (the error line names it when every stream read failed).
bool ReadHeaderStream(host::MapiProp* prop, std::uint32_t tag, Part& part, HRESULT& status)
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

    std::u16string text;
    if (host::PropType(tag) == host::kPtUnicode) {
        text.resize(read / 2);  // an odd last byte is dropped
        std::memcpy(text.data(), buffer.data(), text.size() * sizeof(char16_t));
    } else if (!WidenOnto(text, std::string_view(reinterpret_cast<const char*>(buffer.data()), read), 0)) {
        return true;  // read, but nothing to put: the output stays as it was
    }
    part.TakeOwned(std::move(text));
    return true;
}

// The transport headers into part; true when they were found. Throws for an
// empty item reference.
bool ReadHeaders(host::MailItem* a_pItem, Part& part)
{
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
                                      u"[as][qev]     MailHeaders2Str_A<%d>...ok\n", part)) {
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

    QEV_TRACE(kTraceError, u"[as][qev] error : MailHeaders2Str_ : internet headers failed, error 0x%8.8x\n", hrKept);

    HRESULT hrStream = S_OK;
    for (const HeaderTag& header : kHeaderTags) {
        if (ReadHeaderStream(spItemMapiProp.Get(), header.tag, part, hrStream)) {
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
}

// The body into part; true when a non-empty one was found. An empty HTMLBody
// is still put (the output becomes empty). Throws for an empty item reference
// and for a failed object-model call.
bool ReadBody(host::MailItem* a_pItem, Part& part)
{
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
                          u"[as][qev]     MailBody2Str_A<%d>...ok\n", part) == ValueText::Taken) {
            return true;
        }
    }

    part.TakeOwned(a_pItem->HtmlBody());
    if (part.wide.empty()) {
        QEV_TRACE_ERROR(u"MailBody2Str_ : no body????");
        return false;
    }
    QEV_TRACE_STEP(u"    MailBody2Str_B...ok");
    return true;
}

// A part read with its own catch-all: no exception leaves the reading of
// one part. failLine is the line an exception writes.
bool ReadPart(bool (*read)(host::MailItem*, Part&), host::MailItem* a_pItem, Part& part, const char16_t* failLine)
{
    try {
        return read(a_pItem, part);
    } catch (...) {
        part.form = Part::Form::Nothing;
        QEV_TRACE_ERROR(failLine);
        return false;
    }
}

constexpr const char16_t* kHeadersFailed = u"unknown exception! : MailHeaders2Str_ : no internet headers????";
constexpr const char16_t* kBodyFailed = u"unknown exception! : MailBody2Str_ : no body????";

// A part as MailHeaders2Str_ and MailBody2Str_ give it: unchanged.
bool PutPart(Part& part, std::u16string& out, const char16_t* failLine)
{
    try {
        switch (part.form) {
            case Part::Form::Wide:
                if (part.wide.data() == part.owned.data()) {
                    out = std::move(part.owned);
                } else {
                    out.assign(part.wide);
                }
                break;
            case Part::Form::Narrow:
                zkA2W_(out, part.narrow, 0);
                break;
            case Part::Form::Nothing:
                break;
        }
        return true;
    } catch (...) {
        QEV_TRACE_ERROR(failLine);
        return false;
    }
}

// Units in pieces of the mail text: small enough to stay in the first-level
// cache between being made and being put.
constexpr std::size_t kPieceUnits = 2048;

#if defined(__x86_64__)
// Where a block copied whole from in to out held a CR (crs: two mask bits a
// unit), moves out on only up to it and in just past it; a CR that an LF
// follows is then written over by that LF, a lone one is kept.
inline void SkipToCr(const char16_t*& in, char16_t*& out, const char16_t* end, std::uint32_t crs) noexcept
{
    const auto before = static_cast<std::size_t>(std::countr_zero(crs)) / 2;
    in += before + 1;
    out += before;
    if (in == end || *in != u'\n') ++out;
}

// Joins units from in into out eight at a time while eight are left before
// stop; returns where out ends. Stores never pass the piece's end: out is
// never further into the piece than in is into the text.
char16_t* JoinBlocksSse2(const char16_t*& inOut, const char16_t* stop, const char16_t* end, char16_t* out) noexcept
{
    const char16_t* in = inOut;  // a local: stores to out cannot be taken for changes to it
    const __m128i cr = _mm_set1_epi16(static_cast<short>(u'\r'));
    while (stop - in >= 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
        const auto crs = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi16(block, cr)));
        if (crs == 0) {
            in += 8;
            out += 8;
        } else {
            SkipToCr(in, out, end, crs);
        }
    }
    inOut = in;
    return out;
}

// The same, sixteen units at a time: a megabyte that stays in the cache is
// then joined at half the speed of its copy instead of a third.
__attribute__((target("avx2"))) char16_t* JoinBlocksAvx2(const char16_t*& inOut, const char16_t* stop,
                                                         const char16_t* end, char16_t* out) noexcept
{
    const char16_t* in = inOut;
    const __m256i cr = _mm256_set1_epi16(static_cast<short>(u'\r'));
    while (stop - in >= 16) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), block);
        const auto crs = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(block, cr)));
        if (crs == 0) {
            in += 16;
            out += 16;
        } else {
            SkipToCr(in, out, end, crs);
        }
    }
    inOut = in;
    return JoinBlocksSse2(inOut, stop, end, out);
}
#endif

// Hands text to put in pieces of at most kPieceUnits units, every CR LF pair
// of it as a lone LF. A piece is made in a buffer of its own, from source
// units that have all been read by the time put sees it, so put may write it
// over the text itself, behind the point read. put(units, count).
template <class Put>
void CrLfToLfPieces(std::u16string_view text, Put&& put)
{
    const char16_t* in = text.data();
    const char16_t* const end = in + text.size();
    char16_t piece[kPieceUnits];
#if defined(__x86_64__)
    const auto joinBlocks = HasAvx2() ? JoinBlocksAvx2 : JoinBlocksSse2;
#endif
    while (in != end) {
        const char16_t* const stop = in + std::min<std::size_t>(kPieceUnits, static_cast<std::size_t>(end - in));
        char16_t* out = piece;
#if defined(__x86_64__)
        out = joinBlocks(in, stop, end, out);
#endif
        for (; in != stop; ++in) {
            if (*in == u'\r' && in + 1 != end && in[1] == u'\n') continue;
            *out++ = *in;
        }
        put(piece, static_cast<std::size_t>(out - piece));
    }
}

// The first size units at text with every CR LF turned into LF, in place;
// returns how many units that leaves.
std::size_t CrLfToLfInPlace(char16_t* text, std::size_t size) noexcept
{
    char16_t* to = text;
    CrLfToLfPieces(std::u16string_view(text, size), [&to](const char16_t* piece, std::size_t count) {
        std::memcpy(to, piece, count * sizeof(char16_t));
        to += count;
    });
    return static_cast<std::size_t>(to - text);
}

// Bytes of 8-bit text widened at a time, at the least: the widened piece
// (twice as many bytes) stays in the first-level cache until it is joined.
constexpr std::size_t kNarrowPieceBytes = 8192;

// 8-bit text, up to its first NUL, widened with code page 0 and joined onto
// the end of out, CR LF turned into LF. Widening the whole text first and
// joining it in place after reads and writes it twice more in memory; here
// it is widened a piece at a time into a buffer that stays in the cache and
// copied into out once. A piece ends just after an LF byte: in every ANSI
// code page (single-byte, double-byte, UTF-8) 0x0A is a character of its
// own, never part of another, so each piece widens as it would within the
// whole, and no CR LF pair is cut in two. On failure writes the line and
// leaves out as it was.
bool AppendNarrow(std::u16string& out, std::string_view text)
{
    text = UpToNul(text);
    const std::size_t start = out.size();
    std::u16string wide;
    while (!text.empty()) {
        std::size_t cut = text.size();
        if (cut > kNarrowPieceBytes) {
            const void* lf = std::memchr(text.data() + kNarrowPieceBytes - 1, '\n', cut - (kNarrowPieceBytes - 1));
            if (lf) cut = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data()) + 1;
        }
        wide.clear();
        std::uint32_t lastError = 0;
        if (!host::Sys().WidenText(text.substr(0, cut), 0, wide, lastError)) {
            out.resize(start);
            TraceWidenFailed(lastError);
            return false;
        }
        CrLfToLfPieces(wide, [&out](const char16_t* piece, std::size_t count) { out.append(piece, count); });
        text.remove_prefix(cut);
    }
    return true;
}

// A part onto the end of the mail text, CR LF turned into LF on the way: UTF-16
// text is joined as it is copied; 8-bit text is widened a piece at a time and
// joined as each piece is copied. On an exception the text is left as it was.
bool AppendPart(const Part& part, std::u16string& text, const char16_t* failLine)
{
    const std::size_t start = text.size();
    try {
        switch (part.form) {
            case Part::Form::Wide:
                CrLfToLfPieces(part.wide,
                               [&text](const char16_t* piece, std::size_t count) { text.append(piece, count); });
                break;
            case Part::Form::Narrow:
                AppendNarrow(text, part.narrow);
                break;
            case Part::Form::Nothing:
                break;
        }
        return true;
    } catch (...) {
        text.resize(start);
        QEV_TRACE_ERROR(failLine);
        return false;
    }
}

}  // namespace

bool zkA2W_(std::u16string& out, std::string_view text, unsigned codePage)
{
    const std::size_t before = out.size();
    if (!WidenOnto(out, text, codePage)) return false;
    out.erase(0, before);  // the old text goes only once the widening has worked
    return true;
}

void CrLfToLf(std::u16string& text) noexcept
{
    text.resize(CrLfToLfInPlace(text.data(), text.size()));
}

bool MailHeaders2Str_(host::MailItem* a_pItem, std::u16string& a_headers)
{
    Part part;
    const bool read = ReadPart(ReadHeaders, a_pItem, part, kHeadersFailed);
    return PutPart(part, a_headers, kHeadersFailed) && read;
}

bool MailBody2Str_(host::MailItem* a_pItem, std::u16string& a_body)
{
    Part part;
    const bool read = ReadPart(ReadBody, a_pItem, part, kBodyFailed);
    return PutPart(part, a_body, kBodyFailed) && read;
}

bool Mail2Str_(host::MailItem* a_pItem, std::u16string& a_text)
{
    // Both parts are read before anything is written, so that the text is
    // sized once; each is then copied once, its line ends joined on the way.
    Part headers;
    Part body;
    const bool headersRead = ReadPart(ReadHeaders, a_pItem, headers, kHeadersFailed);
    const bool bodyRead = ReadPart(ReadBody, a_pItem, body, kBodyFailed);
    a_text.clear();
    a_text.reserve(headers.MaxUnits() + body.MaxUnits());
    const bool headersPut = headersRead && AppendPart(headers, a_text, kHeadersFailed);
    const bool bodyPut = bodyRead && AppendPart(body, a_text, kBodyFailed);
    return headersPut || bodyPut;
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
        const std::size_t match = FindText(a_headers, kFrom, rest);
        if (match == npos) {
            a_from.assign(candidate);
            QEV_TRACE_ERROR(u"GetFrom_ : From<$null>");
            return false;
        }
        rest = match + kFrom.size();

        if (!known || (crLf != npos && crLf < rest)) crLf = FindText(a_headers, u"\r\n", rest);
        if (!known || (at != npos && at < rest)) at = FindText(a_headers, u"@", rest);
        known = true;
        const std::size_t lineEnd = crLf != npos ? crLf : FindText(a_headers, u"\n", rest);
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
