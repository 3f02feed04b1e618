// The crash handler stand-in: EnableCrashHandler installs an unhandled
// exception filter that notes the crash in the log and passes it on;
// SetSettingsFile takes the path of its settings. Both are logged (zkch_log.h).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "standins/win/common/module_files.h"
#include "host/utf.h"
#include "standins/win/zkch/zkch_log.h"

namespace zkch {
namespace {

std::mutex g_lock;
bool g_enabled = false;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous = nullptr;
std::u16string g_settingsFile;

void Log(const std::string& line)
{
    standins::AppendToFile(standins::OwnFolder() + kLogFileName, line + "\r\n");
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception)
{
    char line[32];
    std::snprintf(line, sizeof line, "crash 0x%08lX",
                  exception && exception->ExceptionRecord
                      ? static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode)
                      : 0ul);
    Log(line);
    return g_previous ? g_previous(exception) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace
}  // namespace zkch

// ---- exports (named in zkch.def) ----

extern "C" {

std::int32_t EnableCrashHandler(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    const std::lock_guard lock(zkch::g_lock);
    zkch::Log("EnableCrashHandler " + std::to_string(a) + ' ' + std::to_string(b) + ' ' + std::to_string(c));
    if (!zkch::g_enabled) {
        // The filter lives in this library: it stays loaded for the life of
        // the process, whoever frees it.
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&zkch::OnUnhandledException), &self);
        zkch::g_previous = SetUnhandledExceptionFilter(zkch::OnUnhandledException);
        zkch::g_enabled = true;
    }
    return 0;
}

std::int32_t SetSettingsFile(const char16_t* path)
{
    const std::lock_guard lock(zkch::g_lock);
    if (!path) return -1;
    zkch::g_settingsFile = path;
    zkch::Log("SetSettingsFile \"" + host::Utf8(zkch::g_settingsFile) + '"');
    return 0;
}

}  // extern "C"
