#include "sim/win/product_folder.h"

#include <shlobj.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace qev::sim::win {
namespace {

constexpr wchar_t kRunsFolder[] = L"\\qev-sim";
constexpr wchar_t kVendorKey[] = L"SOFTWARE\\Marlowcrest";
constexpr wchar_t kRunsKey[] = L"SOFTWARE\\Marlowcrest\\qev-sim";
constexpr wchar_t kMarkerFolder[] = L"\\Marlowcrest\\Desktop\\Profiles";
// The product's data folder of the in-memory world, which the trace shows
// when the add-in finds its modules there.
constexpr wchar_t kDataFolder[] = L"C:\\ProgramData\\Marlowcrest\\Desktop";
// What the product has beside the add-in: its components, and the file in
// which the engine client keeps its lists and values.
constexpr const wchar_t* kComponents[] = {L"zkascl.dll", L"zkascl.dat", L"IPrefVault.dll", L"IPrefVault.ini",
                                          L"zkch.dll"};
constexpr const wchar_t* kUiModules[] = {L"lang\\en-us\\qev.txtui", L"lang\\de-de\\qev.txtui",
                                         L"lang\\he-il\\qev.txtui", L"ui\\ltr\\qev.ui", L"ui\\rtl\\qev.ui"};

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

[[noreturn]] void Fail(const std::string& what, DWORD error = GetLastError())
{
    throw std::runtime_error(what + " (error " + std::to_string(error) + ")");
}

std::wstring FolderOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Creates folder and the folders on its way.
void MakeFolders(const std::wstring& folder)
{
    if (folder.size() <= 3 || GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    MakeFolders(FolderOf(folder));
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        Fail("cannot create " + Narrow(folder));
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot write " + Narrow(path));
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) Fail("cannot write " + Narrow(path), error);
}

void Copy(const std::wstring& from, const std::wstring& to)
{
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) Fail("cannot copy " + Narrow(from) + " to " + Narrow(to));
}

std::wstring SystemDrive()
{
    wchar_t drive[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"SystemDrive", drive, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(drive, length) : std::wstring(L"C:");
}

bool ProcessAlive(DWORD pid)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
}

// The key of a run's product under HKLM.
std::wstring RunKey(const std::wstring& run)
{
    return std::wstring(kRunsKey) + L"\\" + run;
}

// Takes away what runs whose process is gone left behind.
void RemoveLeftovers(const std::wstring& runs)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((runs + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> gone;
    do {
        // A run is named "PID-N": the Nth session of that process.
        const std::wstring name = found.cFileName;
        const std::wstring pid = name.substr(0, name.find(L'-'));
        if (pid.empty() || pid.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        if (!ProcessAlive(static_cast<DWORD>(std::stoul(pid)))) gone.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& name : gone) {
        RemoveTree(runs + L"\\" + name);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, RunKey(name).c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, RunKey(name).c_str());
    }
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

std::wstring Regsvr32()
{
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) Fail("no system folder");
    return std::wstring(system, length) + L"\\regsvr32.exe";
}

}  // namespace

BuiltFiles FindBuiltFiles()
{
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length == 0) Fail("cannot find the program's own path");
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);
    }
    const std::wstring folder = FolderOf(self);
    return {folder + L"\\" QEV_SIM_ADDIN_RELATIVE, folder + L"\\" QEV_SIM_STANDIN_RELATIVE};
}

bool StartProgram(const std::wstring& commandLine, DWORD flags, PROCESS_INFORMATION& started)
{
    constexpr int kTries = 3;
    for (int attempt = 1;; ++attempt) {
        std::wstring line = commandLine;  // CreateProcessW may write to it
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        started = {};
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                           &started))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == kTries) {
            SetLastError(error);
            return false;
        }
        std::fprintf(stderr, "the new process was lost before it started (error %lu), starting it again: %s\n", error,
                     Narrow(commandLine).c_str());
        Sleep(200 * attempt);
    }
}

DWORD RunProgram(const std::wstring& commandLine)
{
    PROCESS_INFORMATION process = {};
    if (!StartProgram(commandLine, CREATE_NO_WINDOW, process)) Fail("cannot start " + Narrow(commandLine));
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return code;
}

bool RemoveTree(const std::wstring& folder) noexcept
{
    bool all = true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                all = RemoveTree(path) && all;
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                all = DeleteFileW(path.c_str()) && all;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryW(folder.c_str()) && all;
}

// ---- ProductFolder ----

ProductFolder::ProductFolder(const BuiltFiles& from) : m_from(from)
{
    Name();
    m_program = m_root + L"\\Program Files\\Marlowcrest\\Desktop";
    m_addin = m_program + L"\\qev.dll";
    try {
        Lay();
        Register();
    } catch (...) {
        TakeAway();
        throw;
    }
}

ProductFolder::ProductFolder(const BuiltFiles& from, const std::wstring& installedAddin)
    : m_from(from), m_program(FolderOf(installedAddin)), m_addin(installedAddin), m_installed(true)
{
    Name();
    for (const wchar_t* component : kComponents)
        if (GetFileAttributesW((m_program + L"\\" + component).c_str()) != INVALID_FILE_ATTRIBUTES)
            throw std::runtime_error("the product's " + Narrow(component) + " lies beside the installed add-in already");
    // Its modules lie beside it, where the package put them.
    m_uiModules = UiModules::Beside;
    try {
        MakeFolders(m_root);
        LayComponents();
    } catch (...) {
        TakeAway();
        throw;
    }
}

void ProductFolder::Name()
{
    const std::wstring runs = SystemDrive() + kRunsFolder;
    // Each session lays its own folder: a library the add-in keeps loaded for
    // the life of the process (the product configuration) holds its file
    // open after the session that loaded it.
    static int sessions = 0;
    m_run = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++sessions);
    RemoveLeftovers(runs);
    m_root = runs + L"\\" + m_run;
    m_data = kDataFolder;
    m_key = RunKey(m_run) + L"\\Desktop";
}

ProductFolder::~ProductFolder()
{
    TakeAway();
}

void ProductFolder::Lay()
{
    RemoveTree(m_root);
    MakeFolders(m_program);
    Copy(m_from.addinFolder + L"\\qev.dll", AddinPath());
    // The language and layout modules lie beside the add-in, as installed.
    PlaceUiModules(UiModules::Beside);
    LayComponents();
}

void ProductFolder::LayComponents()
{
    MakeFolders(m_data);
    RemoveTree(m_data);
    MakeFolders(m_data);
    Copy(m_from.standinFolder + L"\\IPrefVault.dll", m_program + L"\\IPrefVault.dll");
    Copy(m_from.standinFolder + L"\\zkch.dll", m_program + L"\\zkch.dll");
    PlaceEngine(EngineFile::Regular);
    WriteFileBytes(m_data + L"\\zkch.xml", "<?xml version=\"1.0\"?>\r\n<zkch/>\r\n");
    WriteFileBytes(m_program + L"\\IPrefVault.ini",
                   "[Desktop]\r\n400=" + Narrow(m_data) + "\\\r\n202=" + Narrow(m_key) + "\r\n");

    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) Fail("cannot create HKLM\\" + Narrow(m_key), static_cast<DWORD>(status));
    const std::wstring program = m_program + L"\\zkdesk.exe";
    status = RegSetValueExW(key, L"AppPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(program.c_str()),
                            static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) Fail("cannot write AppPath", static_cast<DWORD>(status));
}

void ProductFolder::Register()
{
    const DWORD code = RunProgram(Quoted(Regsvr32()) + L" /s " + Quoted(AddinPath()));
    if (code != 0) Fail("regsvr32 " + Narrow(AddinPath()) + " failed", code);
    m_registered = true;
}

void ProductFolder::PlaceEngine(EngineFile file)
{
    if (file == m_engine) return;
    const std::wstring target = EnginePath();
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES && !DeleteFileW(target.c_str()))
        Fail("cannot take the engine library away");
    m_engine = EngineFile::None;
    if (file == EngineFile::None) return;
    Copy(m_from.standinFolder + (file == EngineFile::Regular ? L"\\zkascl.dll" : L"\\zkascl_nofactory.dll"), target);
    m_engine = file;
}

void ProductFolder::PlaceUiModules(UiModules where)
{
    if (m_installed && where != m_uiModules)
        throw std::runtime_error("the installed add-in's modules stay where its package put them");
    const auto folderOf = [this](UiModules place) {
        return place == UiModules::Beside ? m_program : place == UiModules::Product ? m_data : std::wstring();
    };
    if (where == m_uiModules) return;
    if (const std::wstring from = folderOf(m_uiModules); !from.empty()) {
        for (const wchar_t* module : kUiModules) {
            const std::wstring path = from + L"\\" + module;
            if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
                Fail("cannot take " + Narrow(path) + " away");
        }
        RemoveTree(from + L"\\lang");
        RemoveTree(from + L"\\ui");
    }
    m_uiModules = UiModules::None;
    if (const std::wstring to = folderOf(where); !to.empty()) {
        for (const wchar_t* module : kUiModules) {
            const std::wstring target = to + L"\\" + module;
            MakeFolders(FolderOf(target));
            Copy(m_from.addinFolder + L"\\" + module, target);
        }
    }
    m_uiModules = where;
}

void ProductFolder::TakeAway() noexcept
{
    if (m_registered) {
        try {
            RunProgram(Quoted(Regsvr32()) + L" /s /u " + Quoted(AddinPath()));
        } catch (...) {
            // The next run registers its own copy over it.
        }
        m_registered = false;
    }
    if (m_installed) TakeComponentsAway();
    RemoveTree(m_root);
    RemoveTree(m_data);
    RemoveDirectoryW(FolderOf(m_data).c_str());  // Marlowcrest, when nothing else is in it
    const std::wstring run = RunKey(m_run);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, run.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, run.c_str());
    // The runs' folder and key go with the last run, and the vendor's key
    // when nothing else is in it.
    RemoveDirectoryW(FolderOf(m_root).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRunsKey);
    HKEY vendor = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_READ, &vendor) == ERROR_SUCCESS) {
        DWORD subkeys = 0;
        DWORD values = 0;
        const bool empty = RegQueryInfoKeyW(vendor, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                           subkeys == 0 && values == 0;
        RegCloseKey(vendor);
        if (empty) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kVendorKey);
    }
}

void ProductFolder::TakeComponentsAway() noexcept
{
    for (const wchar_t* component : kComponents) {
        const std::wstring path = m_program + L"\\" + component;
        if (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) continue;
        CreateDirectoryW(m_root.c_str(), nullptr);
        MoveFileExW(path.c_str(), (m_root + L"\\" + component).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

// ---- Markers ----

Markers::Markers()
{
    wchar_t roaming[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming)))
        throw std::runtime_error("no roaming application-data folder");
    m_roaming = roaming;
    m_folder = m_roaming + kMarkerFolder;
    Clear();
}

Markers::~Markers()
{
    Clear();
    // The folders on the way go too when nothing else is in them.
    for (std::wstring folder = m_folder; folder.size() > m_roaming.size(); folder = FolderOf(folder))
        if (!RemoveDirectoryW(folder.c_str())) break;
}

std::wstring Markers::Path(Kind kind) const
{
    return m_folder + (kind == Kind::Trace ? L"\\as.trace" : L"\\as.disabled");
}

void Markers::Set(Kind kind, bool present)
{
    const std::wstring path = Path(kind);
    if (!present) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return;
        const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveTree(path) : DeleteFileW(path.c_str());
        if (!removed) Fail("cannot delete " + Narrow(path));
        return;
    }
    MakeFolders(m_folder);
    WriteFileBytes(path, "");
}

void Markers::Clear() noexcept
{
    for (Kind kind : {Kind::Trace, Kind::Disabled}) {
        try {
            Set(kind, false);
        } catch (...) {
            // Left for the next run to try again.
        }
    }
}

}  // namespace qev::sim::win
