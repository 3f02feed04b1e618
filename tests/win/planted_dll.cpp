// The library the planting test (dll_planting.cmake) plants under the names
// of everything the add-in loads or imports. Loaded, it appends one line to
// the file that QEV_PLANTED_LOG names: its own full path, a tab, and the
// program of the process that loaded it; then it refuses to load (DllMain
// answers FALSE), so that nothing runs on with it. It imports Kernel32 alone
// (no C runtime: linked without the standard libraries, DllMain its entry
// point), so that it loads whatever other names lie planted beside it.
#include <windows.h>

namespace {

constexpr DWORD kPathChars = 300;  // small: the frame stays below a page, without a stack probe

// path as UTF-8 at out, at most room bytes; the bytes written.
DWORD Utf8(const wchar_t* path, DWORD length, char* out, DWORD room)
{
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), out, static_cast<int>(room), nullptr, nullptr);
    return written > 0 ? static_cast<DWORD>(written) : 0;
}

void Record(HINSTANCE self)
{
    wchar_t log[kPathChars];
    const DWORD logLength = GetEnvironmentVariableW(L"QEV_PLANTED_LOG", log, kPathChars);
    if (logLength == 0 || logLength >= kPathChars) return;
    wchar_t path[kPathChars];
    const DWORD pathLength = GetModuleFileNameW(self, path, kPathChars);
    wchar_t program[kPathChars];
    const DWORD programLength = GetModuleFileNameW(nullptr, program, kPathChars);

    char line[3 * kPathChars + 2];
    DWORD size = Utf8(path, pathLength, line, 3 * kPathChars / 2);
    line[size++] = '\t';
    size += Utf8(program, programLength, line + size, 3 * kPathChars / 2);
    line[size++] = '\n';

    // Appended whole in one write: processes of the run may load copies at once.
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, size, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    Record(instance);
    return FALSE;
}
