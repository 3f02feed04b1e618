// The whole in-memory world the native add-in runs in: Outlook, the
// platform, the registry, the process's libraries, the apartment, the engine
// client and the product's other components, with one ledger of references
// and one counter of host calls.
//
// Usage (the native scenario runner, a test):
//
//   host::fake::FakeWorld world;                  // its FakeSystem is host::Sys() while it lives
//   world.SetOutlookVersion(u"12.0.4518");        // `outlook 12.0.4518`; std::nullopt: `outlook none`
//   world.SetExplorers(0);                        // `explorers 0`
//   world.SetMarker(Marker::Trace, true);         // `marker trace` (false: `unmarker trace`)
//   world.SetEngineLibrary(EngineLibrary::NoFactory);   // `engine nofactory`
//   world.SetEngineStatus(false);                 // `engine status down`
//   world.SetEngineSetting(1, 0);                 // `engine settings f1=0`
//   world.SetEngineOption(qev::kOptionMoveToSpamFolder, 1);   // `engine options move=1`
//   world.SetEngineValue(u"BarPos", 6);           // `engine value BarPos 6`
//   world.SetLanguage(u"de-de");                  // `lang de-de`
//   world.SetRightToLeft(1);                      // `rtl 1`
//   world.SetUiModules(UiModules::Product);       // `uimodules product`
//
//   // Mail (fake_mail.h, fake_message.h, fake_accounts.h). Store names are the
//   // scenario's short names; paths are from the store's root, '/' between names.
//   world.AddStore(u"a", u"Mailbox - Ann");       // `store a "Mailbox - Ann"`: root, Inbox, Deleted Items
//   world.AddStore(u"b", u"Archive", {.unicodeRejected = true});   // `store b "Archive" unicode-rejected`
//   world.Mail().SetListed(u"b", false);          //   (a store absent from the table of stores)
//   world.AddFolder(u"a", u"Calendar", 2, 1);     // `folder a "Calendar" class=2 itemtype=1`
//   world.Deliver(u"a", u"Inbox", text, {.read = false, .kind = ItemKind::Mail,
//                 .headers = HeaderForm::Ansi, .body = BodyForm::HtmlAnsi});
//                                                 // `deliver a "Inbox" headers=ansi body=html-ansi <<EOF`
//                                                 //   (text: the block, CR LF line ends; the forms by
//                                                 //   name: HeaderFormNamed, BodyFormNamed)
//   world.Select(u"a", u"Inbox", {1, 2});         // `select a "Inbox" 1 2` (false: no active explorer)
//   world.AccountAdd(u"c", u"New Mailbox");       // `account add c "New Mailbox"`
//   world.AccountRemove(u"c");                    // `account remove c`
//   world.AccountNotify(1);                       // `account notify 1`
//   world.OnMailEvent([&](const MailEvent& e) {   // "* MOVE ...", "* READ ...", "* CREATE ..." lines
//       transcript.Line("* " + e.Render(qev::sim::EscapeText));
//   });
//   world.FolderCounts(u"a", u"Inbox");           // `expect folder a "Inbox" items=N unread=N`: {items, unread}
//   world.Pump();                                 // also raises the item-add events of items the add-in moved
//   world.Idle(n);                                // `idle N`: the add-in's timers run as they fall due
//   // The mail statements throw MailWorldError (a std::invalid_argument) for a
//   // store, folder or item index the world does not have.
//
//   world.System().OnDebugWrite(...);             // "> TEXT" lines
//   world.Engine().OnCall([&](const EngineCall& call) {      // "< engine OP ARGS" lines
//       transcript.Line("< engine " + call.Render(qev::sim::EscapeText));
//   });
//
//   auto* addin = new qev::ConnectObject(world.Services());
//   addin->Connect().OnConnection(&world.Application(), 1, &world.AddInInstance());
//   world.Quit();                                 // `quit`: the application's Quit event
//   world.NotifyStatus(true);                     // `notify status up`: returns once the add-in has it
//   world.NotifySettings({{1, 0}, {3, 1}}, 48);   // `notify settings f1=0 f3=1 bytes=48`
//   world.Engine().CallCount("Init");             // `expect engine Init N`
//   world.ReleaseProblems();                      // `expect released`: empty when everything came back
//
//   world.Calls().FailAt(n, E_FAIL);              // the reliability sweep: fail the nth host call
//   world.Calls().ThrowAt(n);                     //   or throw from it
//
// The thread that constructs the world is the add-in's thread. One world
// lives at a time (the exports of its libraries reach it through a
// process-wide pointer).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/as_client.h"
#include "host/fake/fake_accounts.h"
#include "host/fake/fake_apartment.h"
#include "host/fake/fake_desktop.h"
#include "host/fake/fake_graphics.h"
#include "host/fake/fake_engine.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_pool.h"
#include "host/fake/fake_libraries.h"
#include "host/fake/fake_mail.h"
#include "host/fake/fake_message.h"
#include "host/fake/fake_office.h"
#include "host/fake/fake_outlook.h"
#include "host/fake/fake_product.h"
#include "host/fake/fake_registry.h"
#include "host/fake/fake_ribbon.h"
#include "host/fake/fake_system.h"
#include "host/services.h"

namespace host::fake {

enum class Marker { Trace, Disabled };

// Where the add-in's language and layout modules lie (`uimodules`): in the
// folders lang and ui beside the add-in, only below the product's folder, or
// nowhere.
enum class UiModules { Beside, Product, None };

// Where things lie in a new world.
inline constexpr char16_t kMarkerFolder[] = u"Marlowcrest\\Desktop\\Profiles";
inline constexpr char16_t kDefaultProductProgram[] = u"C:\\Program Files\\Marlowcrest\\Desktop\\zkdesk.exe";

class FakeWorld {
public:
    // A new world: Outlook 16.0.0.1234 with one explorer; qev.dll loaded from
    // kDefaultAddinPath with zkascl.dll (server up, no values) and
    // IPrefVault.dll beside it, and its language and layout modules (all of
    // lang\<code>\qev.txtui and ui\<ltr|rtl>\qev.ui the Windows build makes)
    // in folders beside it; the product's registry key under HKLM naming
    // kDefaultProductProgram as "AppPath", zkch.dll in that program's folder,
    // and zkch.xml in the product's data folder; no marker files.
    FakeWorld();
    ~FakeWorld();
    FakeWorld(const FakeWorld&) = delete;
    FakeWorld& operator=(const FakeWorld&) = delete;

    // What the add-in is given.
    host::Services& Services() noexcept { return m_services; }
    FakeApplication& Application() noexcept { return *m_application; }
    FakeAddInInstance& AddInInstance() noexcept { return *m_addInInstance; }

    // The parts.
    FakeSystem& System() noexcept { return m_system; }
    const FakeSystem& System() const noexcept { return m_system; }
    host::fake::Ledger& ObjectLedger() noexcept { return m_ledger; }
    HostCalls& Calls() noexcept { return m_calls; }
    FakeRegistry& Registry() noexcept { return m_registry; }
    FakeLibraries& Libraries() noexcept { return m_libraries; }
    FakeApartment& Apartment() noexcept { return m_apartment; }
    FakeDesktop& Desktop() noexcept { return m_desktop; }
    FakeGraphics& Graphics() noexcept { return m_graphics; }
    // Outlook's ribbon object, an inspector window, and a control for a
    // callback (its context the active explorer, the inspector or nothing).
    FakeRibbonUI& RibbonUI() noexcept { return *m_ribbonUI; }
    FakeInspector& Inspector() noexcept { return *m_inspector; }
    enum class ControlContext { Explorer, Inspector, None };
    Ref<Object> RibbonControl(std::u16string id, ControlContext context);
    FakeEngine& Engine() noexcept { return m_engine; }
    FakeProduct& Product() noexcept { return m_product; }
    FakeCrashHandler& CrashHandler() noexcept { return m_crashHandler; }
    FakeMail& Mail() noexcept { return *m_mail; }
    const FakeMail& Mail() const noexcept { return *m_mail; }
    FakeAccounts& Accounts() noexcept { return *m_accounts; }

    // ---- the world's statements ----

    void SetOutlookVersion(std::optional<std::u16string> version);
    void SetExplorers(int count);
    void SetMarker(Marker marker, bool present);
    std::u16string MarkerPath(Marker marker);  // empty without a roaming folder
    void SetEngineLibrary(EngineLibrary library);
    void SetEngineStatus(bool up);
    void SetEngineSetting(int field, std::uint32_t value);
    void SetEngineOption(int field, std::uint32_t value);
    void SetEngineValue(std::u16string name, std::uint32_t value);
    // Where qev.dll lies (the engine client and the configuration library
    // move with it), or nothing: no module named qev.dll is loaded.
    void SetAddinPath(std::optional<std::u16string> path);
    // Where the language and layout modules lie (they follow the add-in when beside it).
    void SetUiModules(UiModules where);
    // The language and layout values under HKEY_USERS\.DEFAULT\Software\ZarUD
    // (`lang CODE`, `rtl N`); nothing: the value is removed.
    void SetLanguage(std::optional<std::u16string> code);
    void SetRightToLeft(std::optional<std::uint32_t> value);

    // ---- mail ----

    void AddStore(std::u16string name, std::u16string displayName, StoreOptions options = {});
    void AddFolder(std::u16string_view store, std::u16string_view path,
                   std::optional<std::int32_t> folderClass = std::nullopt,
                   std::optional<std::int32_t> defaultItemType = std::nullopt);
    // A message made from text (MessageFromText) added to the folder; its
    // item-add event reaches the add-in before this returns.
    void Deliver(std::u16string_view store, std::u16string_view path, std::u16string_view text,
                 const DeliverOptions& options = {});
    // The active explorer shows the folder with those items (1-based)
    // selected; false when there is no active explorer.
    bool Select(std::u16string_view store, std::u16string_view path, const std::vector<std::size_t>& items);
    void AccountAdd(std::u16string store, std::u16string displayName);
    void AccountRemove(std::u16string_view store);
    void AccountNotify(std::uint32_t code);
    FolderCount FolderCounts(std::u16string_view store, std::u16string_view path) const;
    void OnMailEvent(std::function<void(const MailEvent&)> listener);

    // ---- the session's events ----

    // The application's Quit event.
    void Quit();
    // The engine calls its observers from its own thread; returns once every
    // call it carried to the add-in's thread has run here (false if that did
    // not happen within the time limit).
    bool NotifyStatus(bool up);
    // fields: settings fields (index, value) of the record the engine sends;
    // the others are 0 and f0 its size. streamBytes: the length of the stream
    // the add-in is handed (48 is the record's own).
    bool NotifySettings(const std::vector<std::pair<int, std::uint32_t>>& fields, std::size_t streamBytes = 48);
    // Runs the calls other threads are waiting to make on the add-in's thread,
    // and raises the item-add events of items the add-in moved.
    std::size_t Pump();
    // Outlook sits idle: the add-in's timers run as they fall due, the tick
    // count moving to each one's time, until none is set or limit have run
    // (`idle [N]`); pumps before and after each. around, when given, is
    // handed each timer's run to call (a benchmark times them). Returns how
    // many ran.
    std::size_t Idle(std::size_t limit, const std::function<void(const std::function<void()>&)>& around = {});
    // Called as Idle is about to run each timer, on the add-in's thread with
    // nothing of the add-in's on the stack (the fault sweep forks there).
    void OnTimerTurn(std::function<void()> listener) { m_timerTurn = std::move(listener); }

    // ---- checks ----

    // Everything the add-in was handed and has not given back, or gave back
    // too often, one readable line each: host objects with references still
    // out or released too often, live event subscriptions, objects left in
    // the interface table, engine clients not released and the engine
    // library still loaded, registry keys left open, live subscriptions to
    // item collections and account managers, and every misuse the
    // components recorded. Empty when all was released exactly once.
    std::vector<std::string> ReleaseProblems() const;
    // The same check once Outlook's process ends: its thread leaves COM and
    // the interface table gives back what it still holds, as COM does then.
    // An entry whose revocation was refused is still named, but the add-in
    // object it kept alive (and what that object held, such as the ribbon)
    // is let go first, for those references were the table's.
    std::vector<std::string> ExitProblems();

    // Drops the world's records of what happened (debug writes, library
    // events, engine and apartment calls) and of items gone from their
    // folders (FakeMail::DropGoneItems): a long run keeps what is live and
    // what the release check needs.
    void ForgetHistory();

private:
    void PlaceProductKey();
    void PlaceUiModules();

    host::System* m_previousSystem;
    FakeSystem m_system;
    host::fake::Ledger m_ledger;
    HostCalls m_calls;
    FakeRegistry m_registry;
    FakeLibraries m_libraries;
    FakeApartment m_apartment;
    FakeDesktop m_desktop{m_calls, m_libraries};
    FakeGraphics m_graphics{m_ledger, m_calls, m_desktop};
    FakeEngine m_engine;
    FakeProduct m_product;
    FakeCrashHandler m_crashHandler;
    std::unique_ptr<FakeApplication> m_application;
    std::unique_ptr<FakeAddInInstance> m_addInInstance;
    std::unique_ptr<FakeMail> m_mail;
    std::unique_ptr<FakeAccounts> m_accounts;
    std::unique_ptr<FakeClasses> m_classes;
    std::unique_ptr<FakeRibbonUI> m_ribbonUI;
    std::unique_ptr<FakeInspector> m_inspector;
    Pool<FakeRibbonControl> m_controls;
    host::Services m_services;
    UiModules m_uiModules = UiModules::Beside;
    std::vector<std::u16string> m_uiModulePaths;  // where they lie now
    std::function<void()> m_timerTurn;
};

}  // namespace host::fake
