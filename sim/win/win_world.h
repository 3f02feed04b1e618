// The Windows runner's world: a simulated Outlook on this thread that loads
// the real qev.dll through COM and drives it as Outlook does.
//
// For a run it lays the product out in the Wine prefix and registers qev.dll
// with regsvr32 (ProductFolder), creates "qev.Connect" by its ProgID (or, for
// an installed add-in, through the server the registry names, see
// registered_addin.h) and
// hands OnConnection, through the _IDTExtensibility2 vtable, an application
// and an add-in instance of its own (sim_outlook.h). The engine client is the
// stand-in zkascl.dll, set up through its control surface (EngineControl).
// The transcript comes from the debug channel (ChannelFeed); the engine calls
// the stand-in reports on this thread are put in their place with Sync().
//
// The thread that makes the world must not have entered COM: the world makes
// it a single-threaded apartment and leaves COM again at its end, so that
// qev.dll is unloaded before its folder is taken away.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "addin/com/qev_idl.h"
#include "host/win/win_variant.h"
#include "sim/win/channel_feed.h"
#include "sim/win/clipboard_holder.h"
#include "sim/win/engine_control.h"
#include "sim/win/product_folder.h"
#include "sim/win/registered_addin.h"
#include "sim/win/sim_accounts.h"
#include "sim/win/sim_cmdbars.h"
#include "sim/win/sim_mail.h"
#include "sim/win/sim_outlook.h"
#include "sim/win/sim_ribbon.h"
#include "sim/world.h"

namespace qev::sim::win {

// COM on the calling thread, as a single-threaded apartment, for the life of
// the object.
class ComApartment {
public:
    ComApartment();  // std::runtime_error when COM cannot be entered
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

// The add-in object, created by its ProgID: the reference Outlook holds.
host::win::ComPtr<_IDTExtensibility2> CreateAddin();

// The custom argument of _IDTExtensibility2's methods: an empty array of
// variants, as Outlook passes it.
class CustomArray {
public:
    CustomArray();
    ~CustomArray();
    CustomArray(const CustomArray&) = delete;
    CustomArray& operator=(const CustomArray&) = delete;
    SAFEARRAY** Get() noexcept { return &m_array; }

private:
    SAFEARRAY* m_array = nullptr;
};

// The add-in as Outlook starts it: created, connected at start-up and told
// that start-up is complete; std::runtime_error when either call fails.
host::win::ComPtr<_IDTExtensibility2> StartAddin(SimApplication& application, SimAddInInstance& instance);
// The same for an object already created (from a server loaded by hand).
host::win::ComPtr<_IDTExtensibility2> StartAddin(host::win::ComPtr<_IDTExtensibility2> addin,
                                                 SimApplication& application, SimAddInInstance& instance);
// Outlook's shutdown of it: OnBeginShutdown, the Quit event,
// OnDisconnection(ext_dm_HostShutdown) and the last reference let go.
void ShutDownAddin(host::win::ComPtr<_IDTExtensibility2>& addin, SimApplication& application);

// Runs every window message of this thread until handle is signalled or
// limitMs has passed; false on the time limit.
bool PumpUntil(HANDLE handle, DWORD limitMs);

class WinWorld final : public World, private CommandBarEvents {
public:
    // Takes the debug channel, lays out the product, registers and creates
    // the add-in. With installed, the add-in is that installation's (its
    // server loaded as COM loads it, the product laid out around it) and
    // nothing is registered. std::runtime_error when any of it fails.
    explicit WinWorld(const BuiltFiles& files, const RegisteredAddin* installed = nullptr);
    ~WinWorld() override;
    WinWorld(const WinWorld&) = delete;
    WinWorld& operator=(const WinWorld&) = delete;

    void Attach(Transcript* transcript) override;
    void Settle() override;

    // The loaded qev.dll, for a harness that patches more of its imports.
    HMODULE AddinModule() const noexcept;
    // The engine stand-in's control surface, for a harness that drives the
    // engine from threads of its own; only while the library is loaded.
    const EngineControl& Engine() const noexcept { return m_engine; }

    void SetOutlookVersion(const std::optional<std::string>& version) override;
    void SetExplorers(std::int32_t count) override;
    void SetMarker(MarkerKind kind, bool present) override;
    void SetEngineLibrary(EngineLibrary library) override;
    void SetEngineStatus(bool up) override;
    void SetEngineSetting(int field, std::uint32_t value) override;
    void SetEngineOption(int field, std::uint32_t value) override;
    void SetEngineValue(const std::string& name, std::uint32_t value) override;

    std::uint32_t Call(SessionCall call, std::int32_t mode) override;
    void Quit() override;
    bool NotifyStatus(bool up) override;
    bool NotifySettings(const std::vector<SettingsField>& fields, std::uint32_t bytes) override;

    // Mail: the profile of sim_mail.h; the account manager of sim_accounts.h.
    void AddStore(const Store& store) override;
    void AddFolder(const Folder& folder) override;
    void DeliverItem(const sim::Deliver& delivery) override;
    void SelectItems(const sim::Select& selection) override;
    void ChangeAccounts(const Account& change) override;
    void PlaceItem(const Waiting& waiting) override;
    void DeliverBurst(const Burst& burst) override;
    void SetCatchUp(CatchUpPlace place, bool on) override;
    void RefuseRestrict(const std::string& store) override;
    void FailCalls(const std::string& name, std::uint32_t count, std::uint32_t hr) override;
    void Idle(std::uint32_t limit) override;
    FolderCount CountFolder(const std::string& store, const std::string& path) override;

    // The user interface: Office's command bars of sim_cmdbars.h on the
    // active explorer, the prefix's real clipboard, the add-in's tick count
    // and clipboard attempts through its patched imports (import_patch.h).
    void SetTick(std::uint32_t tick) override;
    void AdvanceTick(std::uint32_t ms) override;
    void SetUiModules(UiModules where) override;
    void SetLanguage(const std::string& code) override;
    void SetRtl(std::uint32_t value) override;
    void PutClipboardText(const std::string& text) override;
    void PutClipboardPicture(std::int32_t width, std::int32_t height) override;
    void HoldClipboard(std::uint32_t attempts) override;
    void Click(const std::string& command) override;
    void MoveBar(const BarOptions& bar) override;
    void DrawPicture(const std::string& file) override;
    bool UsesRibbon() override { return OutlookHasRibbon(m_version); }
    // The ribbon of sim_ribbon.h (win_world_ribbon.cpp).
    MarkupAnswer RibbonMarkup(const std::string& ribbonId) override;
    std::uint32_t RibbonLoad(bool null) override;
    CallbackAnswer RibbonCall(const std::string& callback, const std::string& controlId,
                              RibbonContext context) override;
    ButtonState Button(const std::string& command) override;
    std::optional<BarState> Bar() override;
    ClipboardState Clipboard() override;

    std::size_t EngineCallCount(const std::string& op) override;
    // Once the add-in object is let go (LetAddinGo), the same without the
    // check of the object's own references.
    std::vector<std::string> ReleaseProblems() override;
    // Gives back Outlook's reference to the add-in object, as Outlook does at
    // the end, and names what is still not released.
    std::vector<std::string> LetAddinGo();

private:
    // What the scenario has said of the engine. The library forgets its
    // configuration when it is loaded again, so the world keeps it and sets
    // it up anew each time.
    struct EngineSetup {
        EngineFile file = EngineFile::Regular;
        bool factoryNull = false;
        bool serverUp = true;
        std::map<int, std::uint32_t> settings;
        std::map<int, std::uint32_t> options;
        std::vector<std::pair<std::u16string, std::uint32_t>> values;
    };

    static void OnEngineCall(void* context, const char* line);
    // A "* " line, after every debug write before it.
    void EventLine(const std::string& line);
    void MailEvent(const host::fake::MailEvent& event);
    // CommandBarEvents: the "* BUTTON", "* BAR" and "* ENABLED" lines.
    void ButtonMade(SimButton& button) override;
    void VisibleSet(SimCommandBar& bar) override;
    void EnabledSet(SimButton& button, bool enabled) override;
    // The desktop of a new session, and of none: an empty clipboard, no
    // language or layout values.
    static void ResetDesktop();
    // The BUTTON lines of the buttons made since the last were written.
    void WritePendingButtons();
    // The add-in's bar (the one it added last), its button for a command.
    SimCommandBar& AddinBar();
    SimButton* ButtonFor(const std::string& command);
    void EngineCall(const char* line);
    // Puts the library the setup names in place, loaded and set up.
    void PlaceEngine();
    void SetUpEngine();
    // Hands the add-in's ImportSettings a stream of these bytes from a thread
    // of its own, through the global interface table, as an engine observer
    // would. False when it did not finish in time.
    bool ImportSettingsFromThread(const std::string& bytes);
    // `picture` on the ribbon path: the explorer's tab as Outlook shows it.
    void DrawRibbon(const std::wstring& file);

    ChannelFeed m_feed;
    Markers m_markers;
    ProductFolder m_folder;
    ComApartment m_apartment;
    std::optional<InprocServer> m_server;  // the installed add-in's, loaded by the runner
    ClipboardHolder m_clipboardHolder;
    EngineSetup m_setup;
    EngineControl m_engine;
    Ledger m_ledger;
    std::unique_ptr<SimApplication> m_application;
    std::unique_ptr<SimMail> m_mail;
    std::unique_ptr<SimAccounts> m_accounts;
    std::unique_ptr<SimAddInInstance> m_addinInstance;
    std::unique_ptr<SimRibbon> m_ribbon;
    std::optional<std::string> m_version = "16.0.0.1234";
    host::win::ComPtr<_IDTExtensibility2> m_addin;
    SimCommandBars* m_commandBars = nullptr;  // the active explorer's
    std::vector<SimButton*> m_pendingButtons;  // made, their BUTTON lines not written yet
    std::vector<SimCommandBar*> m_shownBars;   // their BAR line written
    bool m_rightToLeft = false;

    std::mutex m_mutex;
    Transcript* m_transcript = nullptr;
    bool m_channelLate = false;  // a Sync on the engine's behalf timed out
};

}  // namespace qev::sim::win
