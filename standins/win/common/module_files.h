// What every stand-in library needs of the file system: its own folder, and
// whole files read, written and appended to.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace standins {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text crosses the API boundary as it is");

inline const wchar_t* W(const std::u16string& text) noexcept
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The folder of the module this code is linked into, with a final backslash.
inline std::u16string OwnFolder()
{
    HMODULE self = nullptr;
    static const int anchor = 0;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &self))
        return {};
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(self, reinterpret_cast<wchar_t*>(path.data()), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

// The whole file; false when it cannot be read (a missing file included).
inline bool ReadWholeFile(const std::u16string& path, std::string& out)
{
    out.clear();
    HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0) out.append(buffer, read);
    CloseHandle(file);
    return ok;
}

// Replaces the file with bytes: written beside it first, then moved over it.
inline bool WriteWholeFile(const std::u16string& path, std::string_view bytes)
{
    const std::u16string temporary = path + u".new";
    HANDLE file = CreateFileW(W(temporary), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    if (!ok || !MoveFileExW(W(temporary), W(path), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(W(temporary));
        return false;
    }
    return true;
}

// Appends bytes at the file's end, creating it when missing.
inline bool AppendToFile(const std::u16string& path, std::string_view bytes)
{
    HANDLE file = CreateFileW(W(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

}  // namespace standins
