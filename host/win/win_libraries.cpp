#include "host/win/win_libraries.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace host::win {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text crosses the API boundary as it is");

// The thread's last error as an HRESULT; E_FAIL when the system gave none.
HRESULT LastError() noexcept
{
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

void Report(HRESULT* error, HRESULT hr) noexcept
{
    if (error) *error = hr;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept
{
    HMODULE module = LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    try {
        std::wstring path(folder, length);
        path += L'\\';
        path += fileName;
        return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

LibraryHandle WinLibraries::Load(std::u16string_view path, bool alteredSearchPath, HRESULT* error)
{
    const std::wstring terminated(path.begin(), path.end());
    HMODULE module = LoadLibraryExW(terminated.c_str(), nullptr, alteredSearchPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    if (!module) Report(error, LastError());
    return module;
}

void* WinLibraries::Symbol(LibraryHandle library, const char* name, HRESULT* error)
{
    const FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), name);
    if (!proc) {
        Report(error, LastError());
        return nullptr;
    }
    void* address = nullptr;
    static_assert(sizeof(address) == sizeof(proc));
    std::memcpy(&address, &proc, sizeof(address));
    return address;
}

void WinLibraries::Free(LibraryHandle library)
{
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}

LibraryHandle WinLibraries::Loaded(std::u16string_view moduleName)
{
    const std::wstring terminated(moduleName.begin(), moduleName.end());
    return GetModuleHandleW(terminated.c_str());
}

LibraryHandle WinLibraries::Self()
{
    // Any address of this file lies in the module it is linked into.
    HMODULE module = nullptr;
    const auto* address = reinterpret_cast<LPCWSTR>(&LastError);
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            address, &module))
        return nullptr;
    return module;
}

std::u16string WinLibraries::FileName(LibraryHandle module)
{
    // The path may be longer than MAX_PATH: grow until it fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(static_cast<HMODULE>(module), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::u16string(buffer.begin(), buffer.end());
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

HRESULT WinLibraries::Resource(LibraryHandle module, ResourceType type, std::uint32_t id,
                               std::vector<std::uint8_t>& out)
{
    out.clear();
    if (id > 0xFFFF) return kHrResourceNameNotFound;  // not an integer resource name
    const wchar_t* typeName = type == ResourceType::Bitmap        ? MAKEINTRESOURCEW(2)   // RT_BITMAP
                              : type == ResourceType::StringTable ? MAKEINTRESOURCEW(6)   // RT_STRING
                                                                  : L"PNG";
    const auto hModule = static_cast<HMODULE>(module);
    HRSRC found = FindResourceW(hModule, MAKEINTRESOURCEW(id), typeName);
    if (!found) return LastError();
    HGLOBAL loaded = LoadResource(hModule, found);
    if (!loaded) return LastError();
    const DWORD size = SizeofResource(hModule, found);
    const void* bytes = LockResource(loaded);
    if (!bytes && size != 0) return LastError();
    // The bytes belong to the module; the caller keeps a copy that outlives it.
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    out.assign(first, first + size);
    return S_OK;
}

}  // namespace host::win
