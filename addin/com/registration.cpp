#include "addin/com/registration.h"

#include <oleauto.h>

#include <span>
#include <string>

#include "addin/com/module.h"
#include "addin/registrar.h"
#include "addin/trace.h"
#include "host/win/win_registry.h"

// The per-user forms are exported by oleaut32 but not declared by every SDK.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDir);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libraryId, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace qev::com {
namespace {

constexpr WORD kRegistryScriptId = 101;

// The script as text, from the library's REGISTRY resource.
HRESULT LoadScript(std::u16string& script)
{
    const HINSTANCE instance = Module().Instance();
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(kRegistryScriptId), L"REGISTRY");
    if (!found) return HRESULT_FROM_WIN32(GetLastError());
    HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(instance, found);
    if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
    const std::span<const std::uint8_t> data(static_cast<const std::uint8_t*>(bytes), size);
    return DecodeScript(data, script) ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
}

HRESULT RunScript(bool registering, Scope scope, const std::wstring& modulePath)
{
    std::u16string script;
    const HRESULT loaded = LoadScript(script);
    if (FAILED(loaded)) {
        QEV_TRACE(kTraceError, u"[as][qev] error : registry script not loaded : 0x%08X\n", loaded);
        return loaded;
    }
    host::win::WinRegistry registry;
    Registrar registrar(registry);
    registrar.AddReplacement(u"MODULE", std::u16string(reinterpret_cast<const char16_t*>(modulePath.c_str())));
    registrar.AddReplacement(u"APPID", u"");
    if (scope == Scope::User) registrar.SetMappings(PerUserMappings());
    const HRESULT hr = registering ? registrar.Register(script) : registrar.Unregister(script);
    if (FAILED(hr))
        QEV_TRACE(kTraceError, u"[as][qev] error : registry script : 0x%08X : %s\n", hr, registrar.LastError());
    return hr;
}

HRESULT RegisterTypeLibrary(Scope scope, std::wstring modulePath)
{
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = scope == Scope::User ? RegisterTypeLibForUser(library, modulePath.data(), nullptr)
                              : RegisterTypeLib(library, modulePath.data(), nullptr);
    library->Release();
    return hr;
}

// The library's version key, as the classes root shows it (for the machine
// and the current user alike): TypeLib\{LIBID}\MAJOR.MINOR, in hex.
bool Registered(const TLIBATTR& attr)
{
    wchar_t libraryId[64] = {};
    if (!StringFromGUID2(attr.guid, libraryId, 64)) return false;
    const auto hex = [](unsigned value) {
        std::wstring digits;
        do {
            digits.insert(digits.begin(), L"0123456789abcdef"[value % 16]);
            value /= 16;
        } while (value);
        return digits;
    };
    const std::wstring path =
        std::wstring(L"TypeLib\\") + libraryId + L"\\" + hex(attr.wMajorVerNum) + L"." + hex(attr.wMinorVerNum);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

HRESULT UnregisterTypeLibrary(Scope scope, const std::wstring& modulePath)
{
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = library->GetLibAttr(&attr);
    if (SUCCEEDED(hr) && !Registered(*attr)) {
        // Nothing to do: some systems answer an error for a library that is
        // not registered.
        library->ReleaseTLibAttr(attr);
        library->Release();
        return S_OK;
    }
    if (SUCCEEDED(hr)) {
        hr = scope == Scope::User
                 ? UnRegisterTypeLibForUser(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                            attr->syskind)
                 : UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        library->ReleaseTLibAttr(attr);
    }
    library->Release();
    // A library that is not registered is already where unregistration leads.
    if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_INVALIDSTATE) hr = S_OK;
    return hr;
}

}  // namespace

HRESULT RegisterServer(Scope scope) noexcept
{
    try {
        const std::wstring path = Module().ModulePath();
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        HRESULT hr = RunScript(true, scope, path);
        if (FAILED(hr)) return hr;
        hr = RegisterTypeLibrary(scope, path);
        if (FAILED(hr)) QEV_TRACE(kTraceError, u"[as][qev] error : type library not registered : 0x%08X\n", hr);
        return hr;
    } catch (...) {
        TraceCaughtException(u"RegisterServer");
        return E_UNEXPECTED;
    }
}

HRESULT UnregisterServer(Scope scope) noexcept
{
    try {
        const std::wstring path = Module().ModulePath();
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
        const HRESULT script = RunScript(false, scope, path);
        const HRESULT library = UnregisterTypeLibrary(scope, path);
        if (FAILED(library))
            QEV_TRACE(kTraceError, u"[as][qev] error : type library not unregistered : 0x%08X\n", library);
        return FAILED(script) ? script : library;
    } catch (...) {
        TraceCaughtException(u"UnregisterServer");
        return E_UNEXPECTED;
    }
}

}  // namespace qev::com
