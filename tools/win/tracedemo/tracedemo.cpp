// tracedemo: shows the add-in's trace working over the real debug channel.
//
//   tracedemo [--trace]
//
// Looks for the trace marker as a connection does, reports on stdout where it
// looked and the level it left, then writes a few trace lines of each kind.
// Without the marker and without --trace the level stays 0 and only the
// unconditional line is written. Run it under qevtrace to see the lines.

#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "addin/trace.h"
#include "host/com_error.h"
#include "host/system.h"
#include "host/win/win_system.h"

namespace {

void Print(std::u16string_view text)
{
    const std::wstring_view wide(reinterpret_cast<const wchar_t*>(text.data()), text.size());
    std::string bytes;
    if (!wide.empty()) {
        const int size = static_cast<int>(wide.size());
        const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
        bytes.resize(needed > 0 ? static_cast<std::size_t>(needed) : 0);
        if (needed > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, bytes.data(), needed, nullptr, nullptr);
    }
    bytes.push_back('\n');
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Print(std::u16string_view format, const qev::FormatArg& arg)
{
    Print(qev::FormatString(format, std::span<const qev::FormatArg>(&arg, 1)));
}

// Where the trace marker is looked for: the roaming application-data folder
// and the product's profile folder under it.
std::u16string MarkerPath()
{
    std::optional<std::u16string> folder = host::Sys().RoamingAppDataFolder();
    if (!folder) return {};
    return *folder + u"\\Marlowcrest\\Desktop\\Profiles\\" + std::u16string(qev::kTraceMarker);
}

void ThrowAndTrace(HRESULT hr)
{
    try {
        throw host::ComError(hr);
    } catch (...) {
        qev::TraceCaughtException(u"Demo_");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring_view(argv[i]) == L"--trace") {
            force = true;
        } else {
            Print(u"usage: tracedemo [--trace]");
            return 2;
        }
    }

    host::win::InstallWinSystem();

    const std::u16string marker = MarkerPath();
    if (marker.empty()) {
        Print(u"marker: no roaming application-data folder, so no marker");
    } else {
        Print(u"marker: %s", marker);
        Print(u"marker present: %s", host::Sys().PathExists(marker) ? u"yes" : u"no");
    }
    qev::ReadTraceMarker();
    Print(u"TraceLevel after the marker check: %d", qev::TraceLevel);
    if (force) {
        qev::TraceLevel = qev::kTraceProgress;
        Print(u"TraceLevel forced to %d", qev::TraceLevel);
    }

    QEV_TRACE_STEP(u"Demo_...");
    QEV_TRACE(qev::kTraceProgress, u"[as][qev]   outlook version<%d><%s>  outlook2k<%d>\n", 16, u"16.0.0.1234", 0);
    QEV_TRACE(qev::kTraceProgress, u"[as][qev]     item<%d>...\n", 1);
    QEV_TRACE(qev::kTraceProgress, u"[as][qev] Demo_ : result<0x%8.8x>\n", static_cast<std::uint32_t>(S_FALSE));
    QEV_TRACE(qev::kTraceWarning, u"[as][qev] warning : %d : CloseClipboard failed\n", 5);
    QEV_TRACE(qev::kTraceProgress, u"[as][qev] %s\n", std::u16string(3000, u'x'));  // too long for one line
    ThrowAndTrace(E_ACCESSDENIED);                  // the system has text for it
    ThrowAndTrace(static_cast<HRESULT>(0x80040205));  // it has none: "IDispatch error #5"
    try {
        throw std::runtime_error("demo");
    } catch (...) {
        qev::TraceCaughtException(u"Demo_");
    }
    QEV_TRACE_STEP(u"Demo_...ok");
    qev::TraceBare(u"tracedemo: a bare line, written at every level");

    Print(u"done");
    return 0;
}
