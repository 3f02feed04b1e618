// The MAPI property tags and flags the add-in uses to read mail and find
// folders, and the way a failed object-model call becomes a result code where
// an operation answers with HRESULTs instead of raising.
#pragma once

#include <cstdint>
#include <utility>

#include "host/com_error.h"
#include "host/hresult.h"

namespace qev {

// Transport headers (the internet headers as the message arrived).
inline constexpr std::uint32_t kPrTransportMessageHeadersW = 0x007D001F;
inline constexpr std::uint32_t kPrTransportMessageHeadersA = 0x007D001E;
// Bodies, in the order they are tried.
inline constexpr std::uint32_t kPrHtmlA = 0x1013001E;
inline constexpr std::uint32_t kPrBodyW = 0x1000001F;
inline constexpr std::uint32_t kPrBodyA = 0x1000001E;
inline constexpr std::uint32_t kPrHtmlW = 0x1013001F;
// Identifiers.
inline constexpr std::uint32_t kPrStoreEntryId = 0x0FFB0102;
inline constexpr std::uint32_t kPrEntryId = 0x0FFF0102;
inline constexpr std::uint32_t kPrIpmWastebasketEntryId = 0x35E30102;

inline constexpr std::uint32_t kMapiUnicode = 0x80000000;         // MAPI_UNICODE
inline constexpr std::uint32_t kOpenEntryFlags = 0x80000011;      // MAPI_UNICODE | MAPI_BEST_ACCESS | MAPI_MODIFY
inline constexpr std::uint32_t kOpenEntryFlagsAnsi = 0x00000011;  // MAPI_BEST_ACCESS | MAPI_MODIFY
inline constexpr std::uint32_t kFolderGeneric = 1;                // FOLDER_GENERIC
inline constexpr std::uint32_t kCreateFolderFlags = 0x80000001;   // MAPI_UNICODE | OPEN_IF_EXISTS
inline constexpr std::uint32_t kOpenStoreRead = 0x11;             // MDB_NO_DIALOG | MAPI_BEST_ACCESS
inline constexpr std::uint32_t kOpenStoreWrite = 0x15;            // ... | MDB_WRITE

inline constexpr char16_t kInboxMessageClass[] = u"IPM.Note";
inline constexpr char16_t kSpamFolderName[] = u"Spam";
inline constexpr char16_t kMapiNamespace[] = u"MAPI";

using host::HrOf;

}  // namespace qev
