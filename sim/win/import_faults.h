// The Windows-only calls of qev.dll made to fail, one at a time: its imports
// of the clipboard, GDI, GDI+, the OLE picture, the HGLOBAL stream and the
// MSXML document's creation are pointed (import_patch.h) at functions that
// count each call and, for the one call picked, answer as the system does
// when it fails, without calling it: FALSE, null or 0 with the last error
// set, a GDI+ GenericError, an HRESULT (REGDB_E_CLASSNOTREG for the DOM
// document, CO_E_CLASSSTRING for its ProgID, E_OUTOFMEMORY otherwise).
//
// Only the calls that acquire or produce something are counted; the ones
// that give back (CloseClipboard, DeleteObject, ReleaseDC, GlobalFree,
// GdiplusShutdown) are not: their failing would leave the harness's state,
// not the add-in's, behind. CoCreateInstance and CLSIDFromProgID count only
// the calls for MSXML's document. GDI+, which qev.dll looks up by name, is
// reached through its GetProcAddress; the document's own methods (COM
// vtables) and the other libraries it looks up (MAPI, the engine client) are
// not reached here.
//
// The count runs over the life of the process, across worlds: Install is
// called for each load of qev.dll.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qev::sim::win {

class ImportFaults {
public:
    // Points module's imports, and what it looks up by name, at the counting
    // functions; the names of those it neither imports nor could look up
    // through a GetProcAddress of its own go to missing (comma separated).
    static void Install(HMODULE module, std::string& missing) noexcept;

    // The nth counted call from now (1-based) fails; 0 fails none.
    static void FailAt(std::uint64_t n) noexcept;
    static std::uint64_t Count() noexcept;
    // The call that failed, "GdipCreateBitmapFromStream #12"; empty when none did.
    static std::string Fired();
};

}  // namespace qev::sim::win
