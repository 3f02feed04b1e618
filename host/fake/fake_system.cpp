#include "host/fake/fake_system.h"

#include "host/utf.h"

#include <algorithm>
#include <cstdint>

#include "host/fake/fake_ledger.h"

namespace host::fake {
namespace {

char16_t FoldCase(char16_t c) noexcept
{
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// A folder as Windows keeps the current directory: slashes as backslashes,
// runs of backslashes as one, no trailing backslash but a drive root's.
std::u16string CanonicalFolder(std::u16string_view folder)
{
    std::u16string out;
    for (char16_t c : folder) {
        if (c == u'/') c = u'\\';
        if (c == u'\\' && !out.empty() && out.back() == u'\\') continue;
        out.push_back(c);
    }
    if (out.size() > 3 && out.back() == u'\\') out.pop_back();
    return out;
}

bool IsDriveRoot(std::u16string_view folder)
{
    return folder.size() == 3 && folder[1] == u':' && folder[2] == u'\\';
}

}  // namespace

bool PathLess::operator()(const std::u16string& a, const std::u16string& b) const noexcept
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return FoldCase(x) < FoldCase(y); });
}

FakeSystem::FakeSystem() : m_roaming(u"C:\\Users\\qev\\AppData\\Roaming"), m_currentDir(u"C:\\Users\\qev\\Documents")
{
    m_paths[m_currentDir] = PathKind::Directory;
    // As the system's table holds them under Wine, the platform the Windows
    // build's scenarios run on (real Windows words some differently, and has
    // texts for codes Wine leaves without one): each text ends in CR LF.
    m_messages = {
        {static_cast<HRESULT>(0x80004001u), u"Not implemented.\r\n"},
        {static_cast<HRESULT>(0x80004005u), u"Call failed.\r\n"},
        {static_cast<HRESULT>(0x80070002u), u"File not found.\r\n"},
        {static_cast<HRESULT>(0x80070005u), u"Access denied.\r\n"},
        {static_cast<HRESULT>(0x8007000Eu), u"Out of memory.\r\n"},
        {static_cast<HRESULT>(0x80070057u), u"Invalid parameter.\r\n"},
        {static_cast<HRESULT>(0x8007007Eu), u"Module not found.\r\n"},
        {static_cast<HRESULT>(0x8007007Fu), u"Procedure not found.\r\n"},
        {static_cast<HRESULT>(0x800706F4u), u"Null reference pointer.\r\n"},
    };
}

void FakeSystem::DebugOutput(const char16_t* text) noexcept
{
    try {
        std::u16string line(text ? text : u"");
        std::function<void(const std::u16string&)> listener;
        {
            std::lock_guard lock(m_mutex);
            m_writes.push_back(line);
            listener = m_listener;
        }
        if (listener) listener(line);
    } catch (...) {
        // A debug write never fails outward.
    }
}

std::optional<std::u16string> FakeSystem::RoamingAppDataFolder()
{
    if (HostCalls* calls = Counting(); calls && FAILED(calls->Check("SHGetFolderPath"))) return std::nullopt;
    return RoamingFolder();
}

std::optional<std::u16string> FakeSystem::RoamingFolder() const
{
    std::lock_guard lock(m_mutex);
    return m_roaming;
}

bool FakeSystem::PathExists(std::u16string_view path)
{
    if (HostCalls* calls = Counting(); calls && FAILED(calls->Check("GetFileAttributes"))) return false;
    std::lock_guard lock(m_mutex);
    return m_paths.count(std::u16string(path)) != 0;
}

HostCalls* FakeSystem::Counting() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FakeSystem::CountCalls(HostCalls* calls)
{
    std::lock_guard lock(m_mutex);
    m_calls = calls;
}

std::optional<std::u16string> FakeSystem::SystemMessage(HRESULT hr)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_messages.find(hr);
    if (it == m_messages.end()) return std::nullopt;
    return it->second;
}

bool FakeSystem::WidenText(std::string_view bytes, unsigned codePage, std::u16string& out, std::uint32_t& lastError)
{
    switch (codePage) {
    case 0:  // CP_ACP: this build's ANSI code page
    case 3:  // CP_THREAD_ACP: a thread of this world keeps the system's
    case 1252:
        AppendWindows1252(out, bytes);
        return true;
    case 65001:
        out += host::Utf16(bytes);
        return true;
    case 28591:
        for (const char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        return true;
    default:
        // A code page this world does not know: the conversion fails, as
        // MultiByteToWideChar does for an invalid code page.
        lastError = kErrorInvalidParameter;
        return false;
    }
}

std::uint32_t FakeSystem::TickCount() noexcept
{
    std::lock_guard lock(m_mutex);
    return m_tick;
}

std::optional<double> FakeSystem::LocalNow() noexcept
{
    return ScenarioNow(TickCount());
}

void FakeSystem::SetTickCount(std::uint32_t tick)
{
    std::lock_guard lock(m_mutex);
    m_tick = tick;
}

void FakeSystem::AdvanceTickCount(std::uint32_t milliseconds)
{
    std::lock_guard lock(m_mutex);
    m_tick += milliseconds;  // wraps as the system's does
}

bool FakeSystem::CurrentDir(std::size_t maxUnits, std::u16string& out) noexcept
{
    try {
        if (HostCalls* calls = Counting(); calls && FAILED(calls->CheckNoThrow("GetCurrentDirectory"))) return false;
        std::lock_guard lock(m_mutex);
        if (m_currentDir.size() + 1 > maxUnits) return false;
        out = m_currentDir;
        return true;
    } catch (...) {
        return false;
    }
}

bool FakeSystem::SetCurrentDir(std::u16string_view folder) noexcept
{
    try {
        if (HostCalls* calls = Counting(); calls && FAILED(calls->CheckNoThrow("SetCurrentDirectory"))) return false;
        const std::u16string canonical = CanonicalFolder(folder);
        std::lock_guard lock(m_mutex);
        const auto it = m_paths.find(canonical);
        const bool directory = it != m_paths.end() && it->second == PathKind::Directory;
        if (!directory && !IsDriveRoot(canonical)) return false;
        m_currentDir = canonical;
        m_currentDirChanges.push_back(canonical);
        return true;
    } catch (...) {
        return false;
    }
}

std::u16string FakeSystem::CurrentFolder() const
{
    std::lock_guard lock(m_mutex);
    return m_currentDir;
}

void FakeSystem::SetCurrentFolder(std::u16string folder)
{
    std::lock_guard lock(m_mutex);
    m_currentDir = CanonicalFolder(folder);
    m_paths[m_currentDir] = PathKind::Directory;
}

std::vector<std::u16string> FakeSystem::CurrentDirChanges() const
{
    std::lock_guard lock(m_mutex);
    return m_currentDirChanges;
}

std::vector<std::u16string> FakeSystem::DebugWrites() const
{
    std::lock_guard lock(m_mutex);
    return m_writes;
}

void FakeSystem::ClearDebugWrites()
{
    std::lock_guard lock(m_mutex);
    m_writes.clear();
}

void FakeSystem::OnDebugWrite(std::function<void(const std::u16string&)> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

void FakeSystem::SetRoamingAppDataFolder(std::optional<std::u16string> folder)
{
    std::lock_guard lock(m_mutex);
    m_roaming = std::move(folder);
}

void FakeSystem::CreatePath(const std::u16string& path, PathKind kind)
{
    std::lock_guard lock(m_mutex);
    m_paths[path] = kind;
}

std::optional<FakeSystem::PathKind> FakeSystem::KindOf(const std::u16string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_paths.find(path);
    if (it == m_paths.end()) return std::nullopt;
    return it->second;
}

void FakeSystem::RemovePath(const std::u16string& path)
{
    std::lock_guard lock(m_mutex);
    m_paths.erase(path);
}

void FakeSystem::SetSystemMessage(HRESULT hr, std::optional<std::u16string> text)
{
    std::lock_guard lock(m_mutex);
    if (text) m_messages[hr] = std::move(*text);
    else m_messages.erase(hr);
}

}  // namespace host::fake
