// qev.dll's entry points: the four exports of an in-process COM server and
// DllInstall for the per-user registration.
#include <windows.h>

#include <objbase.h>

#include <string_view>

#include "addin/com/module.h"
#include "addin/com/registration.h"
#include "addin/trace.h"
#include "host/win/win_graphics.h"
#include "host/win/win_libraries.h"
#include "host/win/win_system.h"
#include "text/ui_strings.h"

namespace {

// DllInstall's command line: "user" (any case, blanks around it ignored) asks
// for the current user only; nothing at all for the machine.
bool ParseScope(const wchar_t* commandLine, qev::com::Scope& scope) noexcept
{
    std::wstring_view text = commandLine ? std::wstring_view(commandLine) : std::wstring_view();
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
    if (text.empty()) {
        scope = qev::com::Scope::Machine;
        return true;
    }
    if (CompareStringOrdinal(text.data(), static_cast<int>(text.size()), L"user", 4, TRUE) == CSTR_EQUAL) {
        scope = qev::com::Scope::User;
        return true;
    }
    return false;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            host::win::InstallWinSystem();
            qev::com::Module().Attach(instance);
            break;
        case DLL_PROCESS_DETACH:
            // A non-null reserved means the process is ending.
            qev::com::Module().Detach(reserved != nullptr);
            if (!reserved) {
                // Resource-only modules: freeing them under the loader lock runs no code of theirs.
                host::win::WinLibraries libraries;
                qev::UnloadUiStringModules(libraries);
            }
            break;
        default:
            break;
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    if (qev::com::Module().LockCount() != 0) return S_FALSE;
    // GDI+ (started by the first picture decode) ends here and not in
    // DllMain: nothing of the module is alive any more, so no decoded image
    // is, and COM asks outside the loader lock, where GDI+ may wait for its
    // thread.
    host::win::ShutdownGdiplus();
    return S_OK;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out)
{
    return qev::com::Module().GetClassObject(clsid, iid, out);
}

STDAPI DllRegisterServer()
{
    return qev::com::RegisterServer(qev::com::Scope::Machine);
}

STDAPI DllUnregisterServer()
{
    return qev::com::UnregisterServer(qev::com::Scope::Machine);
}

extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine)
{
    try {
        qev::com::Scope scope = qev::com::Scope::Machine;
        if (!ParseScope(commandLine, scope)) return E_INVALIDARG;
        return install ? qev::com::RegisterServer(scope) : qev::com::UnregisterServer(scope);
    } catch (...) {
        qev::TraceCaughtException(u"DllInstall");
        return E_UNEXPECTED;
    }
}
