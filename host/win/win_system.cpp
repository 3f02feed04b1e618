#include "host/win/win_system.h"

#include <utility>

#include <windows.h>
#include <shlobj.h>

#include <climits>

#include "host/ole_date.h"

namespace host::win {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text crosses the API boundary as it is");

const wchar_t* W(const char16_t* text) noexcept
{
    return reinterpret_cast<const wchar_t*>(text);
}

const char16_t* U(const wchar_t* text) noexcept
{
    return reinterpret_cast<const char16_t*>(text);
}

// Frees a buffer that the system allocated with LocalAlloc.
class LocalBuffer {
public:
    LocalBuffer() = default;
    LocalBuffer(const LocalBuffer&) = delete;
    LocalBuffer& operator=(const LocalBuffer&) = delete;
    ~LocalBuffer()
    {
        if (m_text) LocalFree(m_text);
    }
    wchar_t** Out() noexcept { return &m_text; }
    const wchar_t* Get() const noexcept { return m_text; }

private:
    wchar_t* m_text = nullptr;
};

}  // namespace

void WinSystem::DebugOutput(const char16_t* text) noexcept
{
    OutputDebugStringW(W(text));
}

std::uint32_t WinSystem::TickCount() noexcept
{
    return GetTickCount();
}

std::optional<double> WinSystem::LocalNow() noexcept
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return OleDateOf(CivilTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
}

std::optional<std::u16string> FilterDateIn(const wchar_t* locale, double oleDate)
{
    const CivilTime t = CivilOf(oleDate);
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(t.year);
    time.wMonth = static_cast<WORD>(t.month);
    time.wDay = static_cast<WORD>(t.day);
    time.wHour = static_cast<WORD>(t.hour);
    time.wMinute = static_cast<WORD>(t.minute);
    wchar_t date[96] = {};
    wchar_t clock[96] = {};
    if (!GetDateFormatEx(locale, DATE_SHORTDATE, &time, nullptr, date, 96, nullptr) ||
        !GetTimeFormatEx(locale, TIME_NOSECONDS, &time, nullptr, clock, 96))
        return std::nullopt;
    return std::u16string(U(date)) + u" " + U(clock);
}

std::u16string WinSystem::FilterDate(double oleDate)
{
    // The user's formats, which Outlook reads the filter by; the form of the
    // United States only when the system cannot give them.
    if (auto text = FilterDateIn(LOCALE_NAME_USER_DEFAULT, oleDate)) return *std::move(text);
    return System::FilterDate(oleDate);
}

std::optional<std::u16string> WinSystem::RoamingAppDataFolder()
{
    // No CSIDL_FLAG_CREATE: a missing folder is reported, not made.
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return std::nullopt;
    return std::u16string(U(path));
}

bool WinSystem::PathExists(std::u16string_view path)
{
    const std::u16string terminated(path);
    return GetFileAttributesW(W(terminated.c_str())) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::u16string> WinSystem::SystemMessage(HRESULT hr)
{
    LocalBuffer text;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the
    // address of the allocated text.
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(text.Out()),
        0, nullptr);
    if (length == 0 || !text.Get()) return std::nullopt;
    return std::u16string(U(text.Get()), length);
}

bool WinSystem::WidenText(std::string_view bytes, unsigned codePage, std::u16string& out, std::uint32_t& lastError)
{
    if (bytes.empty()) return true;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const int inLength = static_cast<int>(bytes.size());
    const std::size_t start = out.size();
    // No code page makes more UTF-16 units than it reads bytes, so one call
    // converts into room of the input's length without first asking for the
    // length (a second pass over the text). Should one ever need more, the
    // length is asked for after all.
    const auto convert = [&](int room) {
        out.resize(start + static_cast<std::size_t>(room));
        return MultiByteToWideChar(codePage, 0, bytes.data(), inLength, reinterpret_cast<wchar_t*>(out.data() + start),
                                   room);
    };
    int written = convert(inLength);
    if (written <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), inLength, nullptr, 0);
        if (needed > 0) written = convert(needed);
    }
    if (written <= 0) {
        lastError = GetLastError();
        out.resize(start);
        return false;
    }
    out.resize(start + static_cast<std::size_t>(written));
    return true;
}

bool WinSystem::CurrentDir(std::size_t maxUnits, std::u16string& out) noexcept
{
    try {
        if (maxUnits == 0 || maxUnits > 32768) return false;
        std::wstring buffer(maxUnits, L'\0');
        // Too small a buffer: the size it needs comes back, which is >= maxUnits.
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(maxUnits), buffer.data());
        if (length == 0 || length >= maxUnits) return false;
        out.assign(U(buffer.c_str()), length);
        return true;
    } catch (...) {
        return false;
    }
}

bool WinSystem::SetCurrentDir(std::u16string_view folder) noexcept
{
    try {
        const std::u16string terminated(folder);
        return SetCurrentDirectoryW(W(terminated.c_str())) != FALSE;
    } catch (...) {
        return false;
    }
}

WinSystem& InstallWinSystem() noexcept
{
    static WinSystem system;
    InstallSystem(&system);
    return system;
}

}  // namespace host::win
