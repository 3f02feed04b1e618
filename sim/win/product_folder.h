// Where a run of the simulated Outlook finds the product: a new installation
// in the Wine prefix, laid out as the product lays itself out, and taken away
// again when the run ends.
//
//   Program Files\Marlowcrest\Desktop (under C:\qev-sim\<pid>-<session>)
//       qev.dll            registered with regsvr32 for the run
//       lang\*\qev.txtui, ui\*\qev.ui   its language and layout modules
//       zkascl.dll         the engine client (or none, or the one without its factory)
//       IPrefVault.dll     the configuration library, with IPrefVault.ini naming
//                          the two places below
//       zkch.dll           the crash handler, beside the product's program
//   C:\ProgramData\Marlowcrest\Desktop\zkch.xml
//                          the crash handler's settings (configuration string 400);
//                          with `uimodules product`, the modules' lang\ and ui\ too
//                          (the folder's path shows in the add-in's trace, so it
//                          is the in-memory world's own; runs take turns, see
//                          sim/README.md)
//   HKLM\SOFTWARE\Marlowcrest\qev-sim\<pid>-<session>\Desktop, AppPath: zkdesk.exe in the
//                          program folder (the product's key, configuration string 202)
//
// These are the relations the in-memory world of the native runner has; only
// the names of the folders no trace line shows differ.
//
// Around an installed add-in the product's own components (engine client and its data file,
// configuration library with its ini, crash handler) are laid beside it
// instead, as the add-in is installed into the product's folder; nothing of
// the add-in is copied or registered, and only what was laid is taken away.
//
// The markers live in the user's roaming application-data folder, where the
// add-in looks for them; Markers clears both when it starts and when it ends.
#pragma once

#include <windows.h>

#include <string>

#include "sim/script.h"

namespace qev::sim::win {

// Where the built files are: the folder of qev.dll and that of the stand-ins.
struct BuiltFiles {
    std::wstring addinFolder;
    std::wstring standinFolder;
};

// The folders of this build, found from the running program's own place.
BuiltFiles FindBuiltFiles();

// What lies at the engine client's place.
enum class EngineFile { Regular, WithoutFactory, None };

class ProductFolder {
public:
    // Lays the product out and registers qev.dll with regsvr32. Leftovers of
    // runs whose process is gone are taken away first. std::runtime_error
    // when any of it fails (what is laid out by then is taken away).
    explicit ProductFolder(const BuiltFiles& from);
    // The product laid out around the installed add-in at installedAddin;
    // std::runtime_error also when a component of the product lies there
    // already (it is not the runner's to replace).
    ProductFolder(const BuiltFiles& from, const std::wstring& installedAddin);
    // Unregisters qev.dll and takes everything away (what is still in use
    // stays, and goes with the next run).
    ~ProductFolder();
    ProductFolder(const ProductFolder&) = delete;
    ProductFolder& operator=(const ProductFolder&) = delete;

    const std::wstring& ProgramFolder() const noexcept { return m_program; }
    const std::wstring& AddinPath() const noexcept { return m_addin; }
    std::wstring EnginePath() const { return m_program + L"\\zkascl.dll"; }

    // Puts the engine client in place (or takes it away); std::runtime_error
    // when the file cannot be changed (in use, say).
    void PlaceEngine(EngineFile file);
    EngineFile Engine() const noexcept { return m_engine; }

    // Puts the language and layout modules beside qev.dll, under the
    // product's folder, or nowhere; std::runtime_error when a module cannot
    // move (loaded by the add-in, say), and for an installed add-in, whose
    // modules stay where its package put them.
    void PlaceUiModules(UiModules where);

private:
    // The run's name, its folder and key; leftovers of earlier runs gone.
    void Name();
    void Lay();
    void LayComponents();
    void Register();
    void TakeAway() noexcept;
    // The components laid beside an installed add-in: deleted, or when still
    // loaded (the configuration library and the crash handler stay loaded for
    // the life of the process) moved into the run's folder, which a later run
    // takes away.
    void TakeComponentsAway() noexcept;

    BuiltFiles m_from;
    std::wstring m_run;      // <pid>-<session>
    std::wstring m_root;     // C:\qev-sim\<run>
    std::wstring m_program;  // ...\Program Files\Marlowcrest\Desktop, or the installed add-in's folder
    std::wstring m_addin;    // m_program\qev.dll, or the installed add-in
    bool m_installed = false;
    std::wstring m_data;     // C:\ProgramData\Marlowcrest\Desktop
    std::wstring m_key;      // SOFTWARE\Marlowcrest\qev-sim\<pid>-<session>\Desktop
    EngineFile m_engine = EngineFile::None;
    UiModules m_uiModules = UiModules::None;
    bool m_registered = false;
};

// The markers "as.trace" and "as.disabled" in the user's roaming
// application-data folder.
class Markers {
public:
    enum class Kind { Trace, Disabled };

    // Both markers gone; std::runtime_error without a roaming folder.
    Markers();
    ~Markers();
    Markers(const Markers&) = delete;
    Markers& operator=(const Markers&) = delete;

    // Creates the marker file (the folders on the way included) or takes it
    // away; std::runtime_error when that fails.
    void Set(Kind kind, bool present);

private:
    std::wstring Path(Kind kind) const;
    void Clear() noexcept;

    std::wstring m_roaming;
    std::wstring m_folder;  // m_roaming\Marlowcrest\Desktop\Profiles
};

// Starts a program of the prefix: false (GetLastError says why) when it
// cannot be started. Under load Wine now and then loses a new process before
// it has started (its loader gone before the process reported in), which
// CreateProcessW gives as ERROR_INTERNAL_ERROR; that one is tried again, a
// few times, with a line on standard error each time.
bool StartProgram(const std::wstring& commandLine, DWORD flags, PROCESS_INFORMATION& started);

// Runs a program of the prefix and waits for it: its exit code.
// std::runtime_error when it cannot be started.
DWORD RunProgram(const std::wstring& commandLine);

// Takes a folder away with everything in it; false when something stayed.
bool RemoveTree(const std::wstring& folder) noexcept;

}  // namespace qev::sim::win
