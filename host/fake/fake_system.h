// The in-memory platform: a debug channel that records every write, a file
// system of paths, a roaming folder, a system message table and code pages.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/ole_date.h"
#include "host/system.h"

namespace host::fake {

class HostCalls;

// Paths compare without regard to ASCII case, as on Windows.
struct PathLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const noexcept;
};

// The local time of a world whose tick count is tick: 2 March 2026, 9:00
// when the tick count starts (10000000), moving with it, so that both
// scenario runners keep the same clock.
inline double ScenarioNow(std::uint32_t tick) noexcept
{
    static const double start = OleDateOf(CivilTime{2026, 3, 2, 9, 0, 0});
    const auto since = static_cast<std::int32_t>(tick - 10000000u);
    return start + since / 86400000.0;
}

class FakeSystem final : public System {
public:
    FakeSystem();

    // System
    void DebugOutput(const char16_t* text) noexcept override;
    std::optional<std::u16string> RoamingAppDataFolder() override;
    bool PathExists(std::u16string_view path) override;
    std::optional<std::u16string> SystemMessage(HRESULT hr) override;
    bool WidenText(std::string_view bytes, unsigned codePage, std::u16string& out, std::uint32_t& lastError) override;
    std::uint32_t TickCount() noexcept override;
    // The clock follows the tick count: ScenarioNow of it.
    std::optional<double> LocalNow() noexcept override;

    // The tick count: 10000000 at the start; time passes only when told.
    void SetTickCount(std::uint32_t tick);
    void AdvanceTickCount(std::uint32_t milliseconds);

    // The current directory: only a folder created as a Directory (or a
    // drive's root) can be made current; it is kept as Windows keeps it, with
    // doubled backslashes read as one and no trailing backslash but a root's.
    bool CurrentDir(std::size_t maxUnits, std::u16string& out) noexcept override;
    bool SetCurrentDir(std::u16string_view folder) noexcept override;

    // The debug channel.
    std::vector<std::u16string> DebugWrites() const;
    void ClearDebugWrites();
    // Called with every write as it happens (on the writer's thread).
    void OnDebugWrite(std::function<void(const std::u16string&)> listener);

    // Counts RoamingAppDataFolder and PathExists as host calls of the world
    // (a failed lookup finds no folder / no path). Null: not counted.
    void CountCalls(HostCalls* calls);

    // The user's folders and files.
    void SetRoamingAppDataFolder(std::optional<std::u16string> folder);
    std::optional<std::u16string> RoamingFolder() const;  // the world's view: not a host call
    enum class PathKind { File, Directory };
    void CreatePath(const std::u16string& path, PathKind kind);
    void RemovePath(const std::u16string& path);
    std::optional<PathKind> KindOf(const std::u16string& path) const;

    // The current directory as the world sees it (not a host call), and every
    // folder made current so far, in order.
    std::u16string CurrentFolder() const;
    void SetCurrentFolder(std::u16string folder);
    std::vector<std::u16string> CurrentDirChanges() const;

    // The message table; starts with the texts of common codes.
    void SetSystemMessage(HRESULT hr, std::optional<std::u16string> text);

private:
    // The world's call counter, when calls are counted.
    HostCalls* Counting() const;

    mutable std::mutex m_mutex;
    HostCalls* m_calls = nullptr;
    std::vector<std::u16string> m_writes;
    std::function<void(const std::u16string&)> m_listener;
    std::optional<std::u16string> m_roaming;
    std::map<std::u16string, PathKind, PathLess> m_paths;
    std::map<HRESULT, std::u16string> m_messages;
    std::uint32_t m_tick = 10000000;
    std::u16string m_currentDir;
    std::vector<std::u16string> m_currentDirChanges;
};

// Widens 8-bit text as Windows-1252 does (the ANSI code page of the native
// build), into a new text or onto the end of out.
std::u16string WidenWindows1252(std::string_view bytes);
void AppendWindows1252(std::u16string& out, std::string_view bytes);


}  // namespace host::fake
