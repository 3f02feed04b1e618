// The process's libraries in the in-memory world: libraries that lie at full
// paths, each with its exported functions (real functions of this process),
// loaded and freed with LoadLibrary's counting.
//
// The world starts with the host program (OUTLOOK.EXE), the add-in's own
// module qev.dll and Kernel32.dll loaded, as in Outlook's process. Kernel32
// exports GetDllDirectoryW and SetDllDirectoryW over this world's DLL
// directory. Those exports are plain functions: they reach the world through
// FakeLibraries::Current(), the most recently constructed FakeLibraries that
// still lives. One world is current at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/fake/fake_ledger.h"
#include "host/fake/fake_system.h"
#include "host/libraries.h"

namespace host::fake {

// HRESULT_FROM_WIN32 of ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND, ERROR_INVALID_HANDLE.
inline constexpr HRESULT kHrModNotFound = static_cast<HRESULT>(0x8007007Eu);
inline constexpr HRESULT kHrProcNotFound = static_cast<HRESULT>(0x8007007Fu);
inline constexpr HRESULT kHrInvalidHandle = static_cast<HRESULT>(0x80070006u);

inline constexpr char16_t kDefaultAddinPath[] = u"C:\\Program Files\\Marlowcrest\\Desktop\\qev.dll";
inline constexpr char16_t kDefaultHostProgram[] = u"C:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE";
inline constexpr char16_t kKernel32Path[] = u"C:\\windows\\system32\\kernel32.dll";

// The folder of a full path, without its trailing backslash ("C:\a\b.dll" -> "C:\a").
std::u16string FolderOf(std::u16string_view path);
// The file name of a path ("C:\a\b.dll" -> "b.dll").
std::u16string FileNameOf(std::u16string_view path);
// A path as the loader reads it: '/' as '\', runs of '\' after the drive as one.
std::u16string NormalizePath(std::u16string_view path);

class FakeLibraries final : public Libraries {
public:
    using Exports = std::map<std::string, void*>;
    // A module's resources by type and integer id.
    using Resources = std::map<std::pair<ResourceType, std::uint32_t>, std::vector<std::uint8_t>>;

    explicit FakeLibraries(HostCalls& calls);
    ~FakeLibraries();
    FakeLibraries(const FakeLibraries&) = delete;
    FakeLibraries& operator=(const FakeLibraries&) = delete;

    static FakeLibraries* Current() noexcept;

    // Libraries. Load takes a full path (compared without case, doubled
    // backslashes read as one); a bare file name finds an already loaded
    // module of that name, then looks in the DLL directory and the host
    // program's folder. A second load gives the same handle and counts; Free
    // of a library no longer loaded is recorded as a fault.
    LibraryHandle Load(std::u16string_view path, bool alteredSearchPath, HRESULT* error) override;
    void* Symbol(LibraryHandle library, const char* name, HRESULT* error) override;
    void Free(LibraryHandle library) override;
    LibraryHandle Loaded(std::u16string_view moduleName) override;
    // The module at the add-in's path; null when there is none.
    LibraryHandle Self() override;
    // Empty for a handle that names no loaded module.
    std::u16string FileName(LibraryHandle module) override;
    // From the resources the library was placed with; a library that has no
    // resource of the type answers kHrResourceTypeNotFound, one that lacks
    // the id kHrResourceNameNotFound.
    HRESULT Resource(LibraryHandle module, ResourceType type, std::uint32_t id,
                     std::vector<std::uint8_t>& out) override;

    // ---- the world's side (not host calls) ----

    // Places a library at path, replacing what lay there. A library that is
    // loaded stays loaded with its old exports and resources until it is freed.
    void Install(std::u16string_view path, Exports exports, Resources resources = {});
    // Takes the library away from path (later loads fail).
    void Uninstall(std::u16string_view path);
    bool Installed(std::u16string_view path) const;
    // Loaded now, and how often (the process's own loads included).
    std::uint32_t LoadCount(std::u16string_view path) const;

    // The add-in's module: where it lies (normally a "qev.dll"), or nothing
    // when it is not loaded as a module of its own.
    void SetAddinPath(std::optional<std::u16string> path);
    std::optional<std::u16string> AddinPath() const;
    // The host program FileName(null) names.
    void SetHostProgram(std::u16string path);
    // Whether Kernel32 exports the two DLL-directory functions.
    void SetDllDirectoryExports(bool present);

    // The DLL directory: nothing while the default search order is in force.
    std::optional<std::u16string> DllDirectory() const;
    void SetDllDirectory(std::optional<std::u16string> directory);

    // What happened, in order: "load C:\a\b.dll" (+ " altered"), "load-failed ...",
    // "symbol b.dll asCreateInstance" (+ " missing"), "free b.dll" (+ " unloaded"),
    // "GetDllDirectoryW 260", "SetDllDirectoryW \"C:\a\"" / "SetDllDirectoryW null",
    // "resource qev.txtui string 20" (+ " missing"; types "bitmap", "string", "PNG").
    std::vector<std::string> Events() const;
    void ClearEvents();
    // Called with every event as it is recorded.
    void OnEvent(std::function<void(const std::string&)> listener);
    // Misuse by the add-in: frees and lookups through handles no longer loaded.
    std::vector<std::string> Faults() const;

    // The Kernel32 exports, over Current()'s DLL directory.
    static std::uint32_t QEV_WINAPI GetDllDirectoryW(std::uint32_t bufferLength, char16_t* buffer);
    static int QEV_WINAPI SetDllDirectoryW(const char16_t* path);

private:
    struct Library {
        std::u16string path;
        Exports exports;
        Resources resources;
        std::uint32_t loads = 0;
    };
    Library* Find(std::u16string_view path) const;  // installed or loaded
    Library* FindLoadedByName(std::u16string_view fileName) const;
    Library* Resolve(std::u16string_view path) const;
    Library* Valid(LibraryHandle handle) const;  // a loaded library, or null
    Library& Place(std::u16string_view path, Exports exports, Resources resources = {});
    void Record(std::string event);
    void Fault(std::string fault);
    Exports Kernel32Exports() const;

    HostCalls& m_calls;
    mutable std::recursive_mutex m_mutex;
    // Every library ever placed, kept for the world's life so that stale
    // handles stay recognisable; path -> the library lying there now.
    std::vector<std::unique_ptr<Library>> m_all;
    std::map<std::u16string, Library*, PathLess> m_installed;
    std::optional<std::u16string> m_addinPath;
    std::u16string m_hostProgram;
    bool m_dllDirectoryExports = true;
    std::optional<std::u16string> m_dllDirectory;
    std::vector<std::string> m_events;
    std::vector<std::string> m_faults;
    std::function<void(const std::string&)> m_listener;
    FakeLibraries* m_previous = nullptr;
};

}  // namespace host::fake
