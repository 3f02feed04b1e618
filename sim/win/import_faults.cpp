#include "sim/win/import_faults.h"

#include <objidl.h>  // before gdiplus.h, which needs it
#include <olectl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <type_traits>

#include "host/win/win_xml.h"
#include "sim/win/import_patch.h"

namespace qev::sim::win {
namespace {

std::mutex g_mutex;
std::uint64_t g_count = 0;
std::uint64_t g_at = 0;
std::string g_fired;

// Counts a call; true when it is the one to fail.
bool Picked(const char* name)
{
    const std::lock_guard lock(g_mutex);
    if (++g_count != g_at) return false;
    g_fired = std::string(name) + " #" + std::to_string(g_count);
    return true;
}

// What a failing call answers, by its type.
template <class R>
R Failed() noexcept
{
    if constexpr (std::is_pointer_v<R>)
        return nullptr;
    else if constexpr (std::is_same_v<R, HRESULT>)
        return E_OUTOFMEMORY;
    else if constexpr (std::is_same_v<R, Gdiplus::Status>)
        return Gdiplus::GenericError;
    else
        return R{};  // FALSE, 0
}

// An import's name as a template argument.
template <std::size_t N>
struct Name {
    char text[N];
    constexpr Name(const char (&name)[N]) { std::copy_n(name, N, text); }
};

struct Import {
    const char* dll;
    const char* name;
    void* replacement;
    void** real;
};

// x64 has one calling convention, so WINAPI functions are plain ones here.
template <Name N, class F, DWORD Error = ERROR_NOT_ENOUGH_MEMORY>
struct Hook;
template <Name N, class R, class... A, DWORD Error>
struct Hook<N, R (*)(A...), Error> {
    static inline R (*real)(A...) = nullptr;
    static R Call(A... args)
    {
        if (!Picked(N.text)) return real(args...);
        SetLastError(Error);
        return Failed<R>();
    }
    static Import In(const char* dll)
    {
        return {dll, N.text, reinterpret_cast<void*>(&Call), reinterpret_cast<void**>(&real)};
    }
};

// MSXML's document only: the add-in's other classes are Outlook's or COM's own.
decltype(&CoCreateInstance) g_realCoCreateInstance = nullptr;
HRESULT WINAPI DocumentCreation(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out)
{
    if (IsEqualIID(iid, host::win::kIidXmlDocument) && Picked("CoCreateInstance(DOMDocument)")) {
        if (out) *out = nullptr;
        return REGDB_E_CLASSNOTREG;
    }
    return g_realCoCreateInstance(clsid, outer, context, iid, out);
}

decltype(&CLSIDFromProgID) g_realClsidFromProgId = nullptr;
HRESULT WINAPI DocumentClass(LPCOLESTR progId, LPCLSID clsid)
{
    const bool msxml = progId && std::towlower(progId[0]) == L'm' && std::towlower(progId[1]) == L's' &&
                       std::towlower(progId[2]) == L'x' && std::towlower(progId[3]) == L'm' &&
                       std::towlower(progId[4]) == L'l';
    if (msxml && Picked("CLSIDFromProgID(MSXML)")) return CO_E_CLASSSTRING;
    return g_realClsidFromProgId(progId, clsid);
}

const Import kImports[] = {
    Hook<"OpenClipboard", decltype(&OpenClipboard), ERROR_ACCESS_DENIED>::In("user32.dll"),
    Hook<"GetClipboardData", decltype(&GetClipboardData)>::In("user32.dll"),
    Hook<"SetClipboardData", decltype(&SetClipboardData)>::In("user32.dll"),
    Hook<"GetDC", decltype(&GetDC)>::In("user32.dll"),
    Hook<"LoadBitmapW", decltype(&LoadBitmapW)>::In("user32.dll"),
    Hook<"LoadImageW", decltype(&LoadImageW)>::In("user32.dll"),
    Hook<"CopyImage", decltype(&CopyImage)>::In("user32.dll"),
    Hook<"GetIconInfo", decltype(&GetIconInfo)>::In("user32.dll"),
    Hook<"CreateCompatibleDC", decltype(&CreateCompatibleDC)>::In("gdi32.dll"),
    Hook<"CreateCompatibleBitmap", decltype(&CreateCompatibleBitmap)>::In("gdi32.dll"),
    Hook<"SelectObject", decltype(&SelectObject)>::In("gdi32.dll"),
    Hook<"BitBlt", decltype(&BitBlt)>::In("gdi32.dll"),
    Hook<"GetObjectW", decltype(&GetObjectW)>::In("gdi32.dll"),
    Hook<"GdiplusStartup", decltype(&Gdiplus::GdiplusStartup)>::In("gdiplus.dll"),
    Hook<"GdipCreateBitmapFromStream", decltype(&Gdiplus::DllExports::GdipCreateBitmapFromStream)>::In("gdiplus.dll"),
    Hook<"GdipCreateHBITMAPFromBitmap", decltype(&Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap)>::In("gdiplus.dll"),
    Hook<"OleCreatePictureIndirect", decltype(&OleCreatePictureIndirect)>::In("oleaut32.dll"),
    Hook<"CreateStreamOnHGlobal", decltype(&CreateStreamOnHGlobal)>::In("ole32.dll"),
    Hook<"GlobalAlloc", decltype(&GlobalAlloc)>::In("kernel32.dll"),
    Hook<"GlobalLock", decltype(&GlobalLock)>::In("kernel32.dll"),
    {"ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&DocumentCreation),
     reinterpret_cast<void**>(&g_realCoCreateInstance)},
    {"ole32.dll", "CLSIDFromProgID", reinterpret_cast<void*>(&DocumentClass),
     reinterpret_cast<void**>(&g_realClsidFromProgId)},
};

// What qev.dll looks up by name rather than imports (GDI+, which it loads
// from the system folder) is counted all the same: its GetProcAddress
// answers a name of the table, asked of that library, with the counting
// function, and keeps the real one for it.
decltype(&GetProcAddress) g_realGetProcAddress = nullptr;
FARPROC WINAPI LookUp(HMODULE module, LPCSTR name)
{
    const FARPROC real = g_realGetProcAddress(module, name);
    if (!real || IS_INTRESOURCE(name)) return real;
    for (const Import& import : kImports) {
        if (std::strcmp(import.name, name) != 0 || module != GetModuleHandleA(import.dll)) continue;
        *import.real = reinterpret_cast<void*>(real);
        return reinterpret_cast<FARPROC>(import.replacement);
    }
    return real;
}

}  // namespace

void ImportFaults::Install(HMODULE module, std::string& missing) noexcept
{
    void* lookUp = PatchImport(module, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&LookUp));
    if (lookUp && lookUp != reinterpret_cast<void*>(&LookUp))
        g_realGetProcAddress = reinterpret_cast<decltype(&GetProcAddress)>(lookUp);
    for (const Import& import : kImports) {
        // An entry patched before (the clipboard holder's) is called through.
        void* real = PatchImport(module, import.dll, import.name, import.replacement);
        if (real) {
            if (real != import.replacement) *import.real = real;  // patched already: the real one stays
        } else if (!lookUp) {
            missing += (missing.empty() ? "" : ", ") + std::string(import.name);
        }
    }
}

void ImportFaults::FailAt(std::uint64_t n) noexcept
{
    const std::lock_guard lock(g_mutex);
    g_at = n == 0 ? 0 : g_count + n;
    g_fired.clear();
}

std::uint64_t ImportFaults::Count() noexcept
{
    const std::lock_guard lock(g_mutex);
    return g_count;
}

std::string ImportFaults::Fired()
{
    const std::lock_guard lock(g_mutex);
    return g_fired;
}

}  // namespace qev::sim::win
