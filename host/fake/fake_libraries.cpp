#include "host/fake/fake_libraries.h"

#include <atomic>
#include <cstring>

#include "host/fake/fake_modules.h"
#include "host/fake/fake_text.h"

namespace host::fake {
namespace {

std::atomic<FakeLibraries*> g_current{nullptr};

bool HasFolder(std::u16string_view path)
{
    return path.find(u'\\') != std::u16string_view::npos;
}

const char* TypeName(ResourceType type)
{
    switch (type) {
        case ResourceType::Bitmap:
            return "bitmap";
        case ResourceType::StringTable:
            return "string";
        case ResourceType::Png:
            return "PNG";
    }
    return "?";
}

std::u16string Join(std::u16string_view folder, std::u16string_view file)
{
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'\\') path.push_back(u'\\');
    path += file;
    return path;
}

}  // namespace

std::u16string NormalizePath(std::u16string_view path)
{
    std::u16string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char16_t c = path[i] == u'/' ? u'\\' : path[i];
        // A UNC prefix keeps its two backslashes; elsewhere a run reads as one.
        if (c == u'\\' && !out.empty() && out.back() == u'\\' && i > 1) continue;
        out.push_back(c);
    }
    return out;
}

std::u16string FolderOf(std::u16string_view path)
{
    const std::size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash));
}

std::u16string FileNameOf(std::u16string_view path)
{
    const std::size_t slash = path.rfind(u'\\');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

FakeLibraries::FakeLibraries(HostCalls& calls)
    : m_calls(calls), m_addinPath(kDefaultAddinPath), m_hostProgram(kDefaultHostProgram)
{
    m_previous = g_current.exchange(this);
    // Outlook's process as the add-in finds it.
    ++Place(m_hostProgram, {}).loads;
    ++Place(kKernel32Path, Kernel32Exports()).loads;
    // The add-in's module carries its own pictures, as qev.dll does.
    ++Place(*m_addinPath, {}, AddinModuleResources()).loads;
}

FakeLibraries::~FakeLibraries()
{
    FakeLibraries* self = this;
    g_current.compare_exchange_strong(self, m_previous);
}

FakeLibraries* FakeLibraries::Current() noexcept
{
    return g_current.load();
}

FakeLibraries::Exports FakeLibraries::Kernel32Exports() const
{
    Exports exports;
    if (m_dllDirectoryExports) {
        exports["GetDllDirectoryW"] = reinterpret_cast<void*>(&FakeLibraries::GetDllDirectoryW);
        exports["SetDllDirectoryW"] = reinterpret_cast<void*>(&FakeLibraries::SetDllDirectoryW);
    }
    return exports;
}

// ---- lookups ----

FakeLibraries::Library* FakeLibraries::Find(std::u16string_view path) const
{
    const std::u16string normal = NormalizePath(path);
    // A module already loaded from that path is the one a load finds.
    for (const auto& library : m_all)
        if (library->loads > 0 && EqualNoCase(library->path, normal)) return library.get();
    const auto it = m_installed.find(normal);
    return it == m_installed.end() ? nullptr : it->second;
}

FakeLibraries::Library* FakeLibraries::FindLoadedByName(std::u16string_view fileName) const
{
    for (const auto& library : m_all)
        if (library->loads > 0 && EqualNoCase(FileNameOf(library->path), fileName)) return library.get();
    return nullptr;
}

FakeLibraries::Library* FakeLibraries::Resolve(std::u16string_view path) const
{
    if (HasFolder(path)) return Find(path);
    // A bare name: a loaded module of that name, then the DLL directory, then
    // the program's folder.
    if (Library* loaded = FindLoadedByName(path)) return loaded;
    if (m_dllDirectory && !m_dllDirectory->empty())
        if (Library* found = Find(Join(*m_dllDirectory, path))) return found;
    return Find(Join(FolderOf(m_hostProgram), path));
}

FakeLibraries::Library* FakeLibraries::Valid(LibraryHandle handle) const
{
    for (const auto& library : m_all)
        if (library.get() == handle) return library->loads > 0 ? library.get() : nullptr;
    return nullptr;
}

FakeLibraries::Library& FakeLibraries::Place(std::u16string_view path, Exports exports, Resources resources)
{
    const std::u16string normal = NormalizePath(path);
    // The library it replaces goes when nothing holds it loaded.
    if (const auto old = m_installed.find(normal); old != m_installed.end() && old->second->loads == 0)
        std::erase_if(m_all, [&](const auto& library) { return library.get() == old->second; });
    auto& library = m_all.emplace_back(std::make_unique<Library>());
    library->path = normal;
    library->exports = std::move(exports);
    library->resources = std::move(resources);
    m_installed[normal] = library.get();
    return *library;
}

void FakeLibraries::Record(std::string event)
{
    m_events.push_back(event);
    if (m_listener) m_listener(event);
}

void FakeLibraries::Fault(std::string fault)
{
    Record("fault: " + fault);
    m_faults.push_back(std::move(fault));
}

// ---- Libraries ----

LibraryHandle FakeLibraries::Load(std::u16string_view path, bool alteredSearchPath, HRESULT* error)
{
    std::lock_guard lock(m_mutex);
    const std::string what = Utf8(path) + (alteredSearchPath ? " altered" : "");
    const HRESULT injected = m_calls.Check("LoadLibrary");
    Library* library = FAILED(injected) ? nullptr : Resolve(path);
    if (!library) {
        Record("load-failed " + what);
        if (error) *error = FAILED(injected) ? injected : kHrModNotFound;
        return nullptr;
    }
    ++library->loads;
    Record("load " + what);
    if (error) *error = S_OK;
    return library;
}

void* FakeLibraries::Symbol(LibraryHandle handle, const char* name, HRESULT* error)
{
    std::lock_guard lock(m_mutex);
    const std::string symbol = name ? name : "(null)";
    const HRESULT injected = m_calls.Check("GetProcAddress");
    Library* library = Valid(handle);
    if (!library) {
        if (SUCCEEDED(injected)) Fault("symbol " + symbol + " looked up through a handle that is not loaded");
        if (error) *error = FAILED(injected) ? injected : kHrInvalidHandle;
        return nullptr;
    }
    const std::string what = "symbol " + Utf8(FileNameOf(library->path)) + " " + symbol;
    const auto it = name ? library->exports.find(name) : library->exports.end();
    if (FAILED(injected) || it == library->exports.end()) {
        Record(what + " missing");
        if (error) *error = FAILED(injected) ? injected : kHrProcNotFound;
        return nullptr;
    }
    Record(what);
    if (error) *error = S_OK;
    return it->second;
}

void FakeLibraries::Free(LibraryHandle handle)
{
    std::lock_guard lock(m_mutex);
    Library* library = Valid(handle);
    if (!library) {
        Fault("free of a library that is not loaded");
        return;
    }
    --library->loads;
    Record("free " + Utf8(FileNameOf(library->path)) + (library->loads == 0 ? " unloaded" : ""));
}

LibraryHandle FakeLibraries::Loaded(std::u16string_view moduleName)
{
    std::lock_guard lock(m_mutex);
    if (FAILED(m_calls.Check("GetModuleHandle"))) return nullptr;
    if (HasFolder(moduleName)) {
        Library* library = Find(moduleName);
        return library && library->loads > 0 ? library : nullptr;
    }
    return FindLoadedByName(moduleName);
}

LibraryHandle FakeLibraries::Self()
{
    std::lock_guard lock(m_mutex);
    if (FAILED(m_calls.Check("GetModuleHandleEx"))) return nullptr;
    if (!m_addinPath) return nullptr;
    Library* library = Find(*m_addinPath);
    return library && library->loads > 0 ? library : nullptr;
}

std::u16string FakeLibraries::FileName(LibraryHandle module)
{
    std::lock_guard lock(m_mutex);
    if (FAILED(m_calls.Check("GetModuleFileName"))) return {};
    if (!module) return m_hostProgram;
    Library* library = Valid(module);
    return library ? library->path : std::u16string();
}

HRESULT FakeLibraries::Resource(LibraryHandle handle, ResourceType type, std::uint32_t id,
                                std::vector<std::uint8_t>& out)
{
    std::lock_guard lock(m_mutex);
    out.clear();
    const HRESULT injected = m_calls.Check("FindResource");
    Library* library = Valid(handle);
    if (!library) {
        if (SUCCEEDED(injected)) Fault("resource looked up through a handle that is not loaded");
        return FAILED(injected) ? injected : kHrInvalidHandle;
    }
    const std::string what =
        "resource " + Utf8(FileNameOf(library->path)) + " " + TypeName(type) + " " + std::to_string(id);
    if (FAILED(injected)) {
        Record(what + " missing");
        return injected;
    }
    const auto it = library->resources.find({type, id});
    if (it == library->resources.end()) {
        Record(what + " missing");
        const auto sameType = library->resources.lower_bound({type, 0});
        const bool typeKnown = sameType != library->resources.end() && sameType->first.first == type;
        return typeKnown ? kHrResourceNameNotFound : kHrResourceTypeNotFound;
    }
    Record(what);
    out = it->second;
    return S_OK;
}

// ---- the world's side ----

void FakeLibraries::Install(std::u16string_view path, Exports exports, Resources resources)
{
    std::lock_guard lock(m_mutex);
    Place(path, std::move(exports), std::move(resources));
}

void FakeLibraries::Uninstall(std::u16string_view path)
{
    std::lock_guard lock(m_mutex);
    m_installed.erase(NormalizePath(path));
}

bool FakeLibraries::Installed(std::u16string_view path) const
{
    std::lock_guard lock(m_mutex);
    return m_installed.count(NormalizePath(path)) != 0;
}

std::uint32_t FakeLibraries::LoadCount(std::u16string_view path) const
{
    std::lock_guard lock(m_mutex);
    const std::u16string normal = NormalizePath(path);
    std::uint32_t loads = 0;
    for (const auto& library : m_all)
        if (EqualNoCase(library->path, normal)) loads += library->loads;
    return loads;
}

void FakeLibraries::SetAddinPath(std::optional<std::u16string> path)
{
    std::lock_guard lock(m_mutex);
    if (m_addinPath) {
        if (Library* old = Find(*m_addinPath)) old->loads = 0;
        m_installed.erase(NormalizePath(*m_addinPath));
    }
    m_addinPath = std::move(path);
    if (m_addinPath) ++Place(*m_addinPath, {}, AddinModuleResources()).loads;
}

std::optional<std::u16string> FakeLibraries::AddinPath() const
{
    std::lock_guard lock(m_mutex);
    return m_addinPath;
}

void FakeLibraries::SetHostProgram(std::u16string path)
{
    std::lock_guard lock(m_mutex);
    if (Library* old = Find(m_hostProgram)) old->loads = 0;
    m_installed.erase(NormalizePath(m_hostProgram));
    m_hostProgram = NormalizePath(path);
    ++Place(m_hostProgram, {}).loads;
}

void FakeLibraries::SetDllDirectoryExports(bool present)
{
    std::lock_guard lock(m_mutex);
    m_dllDirectoryExports = present;
    if (Library* kernel = Find(kKernel32Path)) kernel->exports = Kernel32Exports();
}

std::optional<std::u16string> FakeLibraries::DllDirectory() const
{
    std::lock_guard lock(m_mutex);
    return m_dllDirectory;
}

void FakeLibraries::SetDllDirectory(std::optional<std::u16string> directory)
{
    std::lock_guard lock(m_mutex);
    m_dllDirectory = std::move(directory);
}

std::vector<std::string> FakeLibraries::Events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

void FakeLibraries::ClearEvents()
{
    std::lock_guard lock(m_mutex);
    m_events.clear();
}

void FakeLibraries::OnEvent(std::function<void(const std::string&)> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

std::vector<std::string> FakeLibraries::Faults() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

// ---- Kernel32 ----

std::uint32_t QEV_WINAPI FakeLibraries::GetDllDirectoryW(std::uint32_t bufferLength, char16_t* buffer)
{
    FakeLibraries* world = Current();
    if (!world) return 0;
    std::lock_guard lock(world->m_mutex);
    world->Record("GetDllDirectoryW " + std::to_string(bufferLength));
    if (FAILED(world->m_calls.CheckNoThrow("GetDllDirectoryW"))) return 0;
    const std::u16string directory = world->m_dllDirectory.value_or(u"");
    const auto length = static_cast<std::uint32_t>(directory.size());
    if (bufferLength > length) {
        if (length) std::memcpy(buffer, directory.data(), length * sizeof(char16_t));
        buffer[length] = 0;
        return length;
    }
    // Too small: the size needed, terminator included; the buffer is emptied.
    if (bufferLength && buffer) buffer[0] = 0;
    return length + 1;
}

int QEV_WINAPI FakeLibraries::SetDllDirectoryW(const char16_t* path)
{
    FakeLibraries* world = Current();
    if (!world) return 0;
    std::lock_guard lock(world->m_mutex);
    world->Record(std::string("SetDllDirectoryW ") + (path ? Quoted(path) : std::string("null")));
    if (FAILED(world->m_calls.CheckNoThrow("SetDllDirectoryW"))) return 0;
    // Null or empty: the default search order again.
    if (!path || !*path)
        world->m_dllDirectory.reset();
    else
        world->m_dllDirectory = std::u16string(path);
    return 1;
}

}  // namespace host::fake
