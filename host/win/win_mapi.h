// Extended MAPI over the provider's real interfaces (IMAPIProp, IMsgStore,
// IMAPIFolder, IMAPISession) and the MAPI library's helpers.
//
// The helpers (HrGetOneProp, HrQueryAllRows, FreeProws, the MAPI buffer
// functions, HexFromBin) are looked up in the system's mapi32.dll at first use
// rather than imported. On 64-bit Windows mapi32 exports them under their
// plain names; Wine's 64-bit mapi32 (8.0) exports most of them only under
// their 32-bit decorated names ("HrGetOneProp@12", "FreeProws@4",
// "HrQueryAllRows@24", "HexFromBin@12"; the buffer functions have both), so a
// static import of the plain names loads but dies in Wine's "unimplemented
// function" stub at the first call. Each is therefore looked up by its plain
// name first and by its decorated name second.
//
// Wine's mapi32 (8.0), as far as this file relies on it (from Wine's source,
// and what the Windows suite shows of it):
// - MAPIAllocateBuffer / MAPIAllocateMore / MAPIFreeBuffer: real, on the
//   process heap; a buffer and everything allocated "more" on it go with one
//   MAPIFreeBuffer.
// - HrGetOneProp: real: GetProps with one tag; MAPI_W_ERRORS_RETURNED becomes
//   MAPI_E_NOT_FOUND and the value is freed (Windows returns the error code
//   the provider put into the PT_ERROR value instead).
// - FreeProws: real: MAPIFreeBuffer on every row's values, then on the set.
// - HexFromBin: real: two upper-case digits per byte, written as 8-bit text
//   whatever the header's prototype says (mapi32 has the one export only).
// - HrQueryAllRows: a stub that answers MAPI_E_CALL_FAILED (which is E_FAIL)
//   with no rows and never touches the table. So when it answers that without
//   rows, the store table is read here the way HrQueryAllRows reads it:
//   SetColumns, SeekRow to the beginning, QueryRows until no row comes back;
//   if that fails too, mapi32's answer is the one returned.
// - The buffer functions and HrQueryAllRows forward to the extended MAPI
//   provider registered for the default mail client (HKLM\Software\Clients\Mail,
//   its DLLPathEx), when one was registered before mapi32 loaded; nothing
//   registers one in a fresh prefix.
#pragma once

#include <windows.h>

#include <mapidefs.h>
#include <mapix.h>

#include <memory>

#include "host/mapi.h"

namespace host::win {

// The MAPI library's helpers as this process found them.
struct MapiLibrary {
    SCODE(STDAPICALLTYPE* allocateBuffer)(ULONG size, LPVOID* buffer) = nullptr;
    SCODE(STDAPICALLTYPE* allocateMore)(ULONG size, LPVOID original, LPVOID* buffer) = nullptr;
    ULONG(STDAPICALLTYPE* freeBuffer)(LPVOID buffer) = nullptr;
    HRESULT(STDAPICALLTYPE* getOneProp)(LPMAPIPROP prop, ULONG tag, LPSPropValue* value) = nullptr;
    using QueryAllRows = HRESULT(STDAPICALLTYPE*)(LPMAPITABLE table, LPSPropTagArray columns,
                                                  LPSRestriction restriction, LPSSortOrderSet sortOrder, LONG maxRows,
                                                  LPSRowSet* rows);
    QueryAllRows queryAllRows = nullptr;
    void(STDAPICALLTYPE* freeRows)(LPSRowSet rows) = nullptr;
    void(STDAPICALLTYPE* hexFromBin)(LPBYTE bytes, int count, LPSTR text) = nullptr;

    // S_OK when every helper was found; otherwise the loader's error, which
    // every MAPI call of the wrappers then returns.
    HRESULT status = E_UNEXPECTED;

    explicit operator bool() const noexcept { return status == S_OK; }
};

// mapi32 from the system folder (LoadSystemLibrary), loaded once and kept
// for the process.
const MapiLibrary& Mapi() noexcept;

// Interface ids (the MinGW headers declare them but no import library
// defines them).
inline constexpr IID kIidMapiSession = {0x00020300, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID kIidMapiTable = {0x00020301, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID kIidMapiProp = {0x00020303, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID kIidMsgStore = {0x00020306, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID kIidMapiFolder = {0x0002030C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// The profile's global section, {00020385-0000-0000-C000-000000000046}.
inline constexpr GUID kGlobalProfileSection = {0x00020385, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// One property value as the seam carries it: its own tag, and for
// PT_UNICODE / PT_STRING8 / PT_BINARY views of the value where it lies,
// pointerSet false when the provider gave a null pointer. For any other type
// pointerSet tells whether the value's union, read as a pointer, is non-null.
// buffer is what keeps that memory (the MAPI buffer the value came in).
PropValue PropValueIn(const SPropValue& value, std::shared_ptr<const void> buffer);
// The same with a copy of the text or bytes, for a value whose buffer is not
// its own (a row of a row set).
PropValue PropValueOf(const SPropValue& value);

// Each null for a null pointer.
Ref<MapiProp> WrapMapiProp(IMAPIProp* prop);
Ref<MsgStore> WrapMsgStore(IMsgStore* store);
Ref<MapiFolder> WrapMapiFolder(IMAPIFolder* folder);
Ref<MapiSession> WrapMapiSession(IMAPISession* session);

}  // namespace host::win
