// qevtrace: shows what programs write to the debug channel.
//
//   qevtrace                          every message from every process, each
//                                     as "[pid] text", until Ctrl+C
//   qevtrace [--raw] -- COMMAND ARGS  starts COMMAND and shows only its
//                                     messages; exits with its exit code
//
// With --raw the messages are written exactly as they arrived, with nothing
// added, so that a capture can be compared byte for byte; the command's own
// console output then goes to stderr, leaving stdout to the trace.
//
// Exit codes besides the command's: 2 bad usage, 3 the channel is taken or
// cannot be opened, 4 the command cannot be started.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "host/win/debug_channel.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitChannel = 3;
constexpr int kExitStart = 4;

HANDLE g_interrupted = nullptr;  // set by Ctrl+C / Ctrl+Break / console close
std::atomic<bool> g_childRunning{false};

BOOL WINAPI OnConsoleControl(DWORD kind)
{
    switch (kind) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        // While a command runs it gets the same signal; keep capturing until
        // it has ended so that its last lines are shown.
        if (!g_childRunning.load()) SetEvent(g_interrupted);
        return TRUE;
    default:
        return FALSE;
    }
}

void WriteAll(HANDLE out, std::string_view bytes)
{
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() > 65536 ? 65536 : bytes.size());
        if (!WriteFile(out, bytes.data(), chunk, &written, nullptr) || written == 0) return;
        bytes.remove_prefix(written);
    }
}

void ErrorLine(const std::string& text)
{
    WriteAll(GetStdHandle(STD_ERROR_HANDLE), "qevtrace: " + text + "\n");
}

std::string Utf8(std::wstring_view text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(needed > 0 ? static_cast<std::size_t>(needed) : 0, '\0');
    if (needed > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), needed, nullptr, nullptr);
    return bytes;
}

std::string SystemText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return "error " + std::to_string(error) + (message.empty() ? "" : " (" + Utf8(message) + ")");
}

// "[pid] text", with a line end added when the text has none.
std::string Labelled(std::uint32_t pid, std::string_view text)
{
    std::string line = "[" + std::to_string(pid) + "] ";
    line.append(text);
    if (line.back() != '\n') line.push_back('\n');
    return line;
}

// One argument quoted so that CommandLineToArgvW and the C runtime give it
// back unchanged.
void AppendQuoted(std::wstring& line, std::wstring_view arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        line.append(arg);
        return;
    }
    line.push_back(L'"');
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line.push_back(c);
    }
    line.append(backslashes * 2, L'\\');  // before the closing quote
    line.push_back(L'"');
}

host::win::UniqueHandle Inheritable(HANDLE handle)
{
    HANDLE copy = nullptr;
    if (!handle || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return {};
    return host::win::UniqueHandle(copy);
}

int Usage()
{
    ErrorLine("usage: qevtrace                         show every debug message until Ctrl+C\n"
              "       qevtrace [--raw] -- COMMAND ARGS  run COMMAND and show its debug messages");
    return kExitUsage;
}

bool StartListening(host::win::DebugChannelListener& listener, host::win::DebugChannelListener::Callback callback)
{
    const DWORD result = listener.Start(std::move(callback));
    if (result == ERROR_SUCCESS) return true;
    if (result == ERROR_ALREADY_EXISTS)
        ErrorLine("another debug monitor is running (DebugView or a second qevtrace); close it first");
    else
        ErrorLine("cannot open the debug channel: " + SystemText(result));
    return false;
}

int ListenToAll(bool raw)
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    host::win::DebugChannelListener listener;
    if (!StartListening(listener, [out, raw](std::uint32_t pid, std::string_view text) {
            WriteAll(out, raw ? std::string(text) : Labelled(pid, text));
        }))
        return kExitChannel;
    ErrorLine("listening on the debug channel; Ctrl+C to stop");
    WaitForSingleObject(g_interrupted, INFINITE);
    listener.Stop();
    return 0;
}

int RunAndCapture(bool raw, const std::vector<std::wstring_view>& command)
{
    std::wstring commandLine;
    for (const std::wstring_view arg : command) {
        if (!commandLine.empty()) commandLine.push_back(L' ');
        AppendQuoted(commandLine, arg);
    }

    // The command's console output: stdout stays the trace's alone in raw mode.
    host::win::UniqueHandle childIn = Inheritable(GetStdHandle(STD_INPUT_HANDLE));
    host::win::UniqueHandle childOut = Inheritable(GetStdHandle(raw ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE));
    host::win::UniqueHandle childErr = Inheritable(GetStdHandle(STD_ERROR_HANDLE));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn.Get();
    startup.hStdOutput = childOut.Get();
    startup.hStdError = childErr.Get();

    // The pid is known only once the process exists: it starts suspended so
    // that none of its messages can come before the filter is set.
    std::atomic<std::uint32_t> childPid{0};
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    host::win::DebugChannelListener listener;
    if (!StartListening(listener, [out, raw, &childPid](std::uint32_t pid, std::string_view text) {
            if (pid != childPid.load()) return;
            WriteAll(out, raw ? std::string(text) : Labelled(pid, text));
        }))
        return kExitChannel;

    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &process)) {
        const DWORD error = GetLastError();
        listener.Stop();
        ErrorLine("cannot start " + Utf8(command.front()) + ": " + SystemText(error));
        return kExitStart;
    }
    host::win::UniqueHandle processHandle(process.hProcess);
    host::win::UniqueHandle threadHandle(process.hThread);
    childPid.store(process.dwProcessId);
    g_childRunning.store(true);
    ResumeThread(threadHandle.Get());

    WaitForSingleObject(processHandle.Get(), INFINITE);
    g_childRunning.store(false);
    // Every write of the command has returned by now, so its last message is
    // at most waiting in the section: stopping delivers it.
    listener.Stop();

    DWORD exitCode = 0;
    if (!GetExitCodeProcess(processHandle.Get(), &exitCode)) exitCode = 1;
    return static_cast<int>(exitCode);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    bool raw = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        if (arg == L"--raw") {
            raw = true;
        } else if (arg == L"--") {
            ++i;
            break;
        } else if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            Usage();
            return 0;
        } else {
            ErrorLine("unknown argument " + Utf8(arg));
            return Usage();
        }
    }
    const bool haveSeparator = i > 1 && std::wstring_view(argv[i - 1]) == L"--";
    std::vector<std::wstring_view> command(argv + i, argv + argc);
    if (haveSeparator && command.empty()) return Usage();

    host::win::UniqueHandle interrupted(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!interrupted) {
        ErrorLine("cannot create an event: " + SystemText(GetLastError()));
        return kExitChannel;
    }
    g_interrupted = interrupted.Get();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    const int result = command.empty() ? ListenToAll(raw) : RunAndCapture(raw, command);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_interrupted = nullptr;
    return result;
}
