// A message as the in-memory profile stores it: its typed MAPI properties
// (some readable only as streams), its Outlook-side state (kind, UnRead, an
// HTML body known only to the object model), and the builder that makes one
// from a message text the way a scenario's `deliver` describes it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/hresult.h"
#include "host/mapi.h"
#include "host/variant.h"

namespace host::fake {

// ---- MAPI property tags and flags the world knows ----

inline constexpr std::uint32_t kPrMessageClassW = 0x001A001F;
inline constexpr std::uint32_t kPrSubjectW = 0x0037001F;
inline constexpr std::uint32_t kPrTransportHeadersW = 0x007D001F;
inline constexpr std::uint32_t kPrTransportHeadersA = 0x007D001E;
inline constexpr std::uint32_t kPrParentEntryId = 0x0E090102;
inline constexpr std::uint32_t kPrStoreEntryId = 0x0FFB0102;
inline constexpr std::uint32_t kPrEntryId = 0x0FFF0102;
inline constexpr std::uint32_t kPrBodyW = 0x1000001F;
inline constexpr std::uint32_t kPrBodyA = 0x1000001E;
inline constexpr std::uint32_t kPrHtmlA = 0x1013001E;
inline constexpr std::uint32_t kPrHtmlW = 0x1013001F;
inline constexpr std::uint32_t kPrDisplayNameW = 0x3001001F;
inline constexpr std::uint32_t kPrIpmWastebasketEntryId = 0x35E30102;
inline constexpr std::uint32_t kPrProfileNameW = 0x3D12001F;
inline constexpr std::uint32_t kPrProfileNameA = 0x3D12001E;

inline constexpr std::uint32_t kMapiUnicode = 0x80000000;                           // MAPI_UNICODE
inline constexpr std::uint32_t kOpenIfExists = 0x00000001;                          // CreateFolder's OPEN_IF_EXISTS
inline constexpr std::uint32_t kFolderGeneric = 1;                                  // FOLDER_GENERIC
inline constexpr HRESULT kMapiObjectDeleted = static_cast<HRESULT>(0x8004010AL);    // MAPI_E_OBJECT_DELETED
inline constexpr HRESULT kMapiCollision = static_cast<HRESULT>(0x80040604L);        // MAPI_E_COLLISION
inline constexpr HRESULT kMapiNotEnoughMemory = static_cast<HRESULT>(0x8007000EL);  // MAPI_E_NOT_ENOUGH_MEMORY

// ---- one message ----

enum class ItemKind { Mail, Meeting };  // a meeting request is no _MailItem

// One property of a message. With a value, HrGetOneProp answers S_OK with it;
// without, it fails with readFailure (a property too large for GetProps
// answers MAPI_E_NOT_ENOUGH_MEMORY and is readable only as a stream).
// OpenProperty gives the stream bytes when set, otherwise the value's bytes
// (UTF-16LE, 8-bit or binary, no terminator); neither: MAPI_E_NOT_FOUND.
struct MessageProperty {
    std::optional<PropValue> value;
    HRESULT readFailure = MAPI_E_NOT_FOUND;
    std::optional<std::vector<std::uint8_t>> stream;
};

struct Message {
    ItemKind kind = ItemKind::Mail;
    std::u16string subject;
    std::int16_t unRead = kVariantTrue;  // UnRead as Outlook answers it (raw VARIANT_BOOL)
    // ReceivedTime (an OLE date, local time); nothing: the item has none.
    std::optional<double> receivedTime = std::nullopt;
    // HTMLBody when the message has no HTML property (only the object model
    // can render it); nothing: HTMLBody is derived from the properties.
    std::optional<std::u16string> objectModelHtml;
    std::map<std::uint32_t, MessageProperty> properties;  // by the tag it is asked for

    // Typed values under tag (the value's own tag is tag).
    Message& SetUnicode(std::uint32_t tag, std::u16string text);
    Message& SetString8(std::uint32_t tag, std::string bytes);
    Message& SetBinary(std::uint32_t tag, std::vector<std::uint8_t> bytes);
    // A value that came back with its string or byte pointer not set.
    Message& SetNullPointer(std::uint32_t tag);
    // Readable only through OpenProperty: HrGetOneProp answers readFailure.
    Message& SetStreamOnly(std::uint32_t tag, std::vector<std::uint8_t> bytes,
                           HRESULT readFailure = kMapiNotEnoughMemory);
    // HrGetOneProp and OpenProperty both fail with hr.
    Message& SetFailing(std::uint32_t tag, HRESULT hr);
};

// ---- building a message from a message text ----

// Where the transport headers are kept (`deliver ... headers=FORM`):
//   Unicode        PR_TRANSPORT_MESSAGE_HEADERS_W
//   Ansi           PR_TRANSPORT_MESSAGE_HEADERS_A (Windows-1252)
//   UnicodeEmpty   _W present but empty, _A holds the text
//   StreamUnicode  _W readable only as a stream (UTF-16LE)
//   StreamAnsi     _A readable only as a stream (8-bit)
//   None           no headers
enum class HeaderForm { Unicode, Ansi, UnicodeEmpty, StreamUnicode, StreamAnsi, None };
// Where the body is kept (`body=FORM`): PR_BODY_W / PR_BODY_A, the HTML body
// tags 0x1013001E / 0x1013001F, only Outlook's HTMLBody, or nowhere.
enum class BodyForm { PlainUnicode, PlainAnsi, HtmlAnsi, HtmlUnicode, ObjectModelHtml, None };

// The scenario's names: "unicode", "ansi", "unicode-empty", "stream-unicode",
// "stream-ansi", "none"; "plain-unicode", "plain-ansi", "html-ansi",
// "html-unicode", "object-model-html", "none". Nothing for another name.
std::optional<HeaderForm> HeaderFormNamed(std::string_view name);
std::optional<BodyForm> BodyFormNamed(std::string_view name);

struct DeliverOptions {
    bool read = false;
    ItemKind kind = ItemKind::Mail;
    HeaderForm headers = HeaderForm::Unicode;
    BodyForm body = BodyForm::PlainUnicode;
    std::optional<double> received = std::nullopt;  // the message's ReceivedTime
};

// A message made from text: header lines, an empty line, the body (lines end
// in CR LF, as a scenario's <<EOF block joins them; a lone LF is taken as a
// line end too). The header text keeps its line ends and the empty line
// that closes it; the body is the rest. The subject is the value of the
// first "Subject:" line (name in any case, blanks trimmed). Without an empty
// line the whole text is headers and the body is empty; an empty body is
// stored as an empty value in its form. PR_MESSAGE_CLASS_W is "IPM.Note" for
// mail and "IPM.Schedule.Meeting.Request" for a meeting request.
Message MessageFromText(std::u16string_view text, const DeliverOptions& options = {});

// UTF-16 to Windows-1252 as WideCharToMultiByte does it with the default
// character '?' (the native build's code page 0).
std::string NarrowWindows1252(std::u16string_view text);

}  // namespace host::fake
