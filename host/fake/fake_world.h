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
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/as_client.h"
#include "host/fake/fake_apartment.h"
#include "host/fake/fake_engine.h"
#include "host/fake/fake_ledger.h"
#include "host/fake/fake_libraries.h"
#include "host/fake/fake_outlook.h"
#include "host/fake/fake_product.h"
#include "host/fake/fake_registry.h"
#include "host/fake/fake_system.h"
#include "host/services.h"

namespace host::fake {

enum class Marker { Trace, Disabled };

// No COM class is registered in the world yet.
class NoComClasses final : public host::ComClasses {
public:
    HRESULT CreateAccountManager(Ref<host::AccountManager>& out) override
    {
        out = nullptr;
        return REGDB_E_CLASSNOTREG;
    }
};

// Where things lie in a new world.
inline constexpr char16_t kMarkerFolder[] = u"Marlowcrest\\Desktop\\Profiles";
inline constexpr char16_t kDefaultProductProgram[] = u"C:\\Program Files\\Marlowcrest\\Desktop\\zkdesk.exe";

class FakeWorld {
public:
    // A new world: Outlook 16.0.0.1234 with one explorer; qev.dll loaded from
    // kDefaultAddinPath with zkascl.dll (server up, no values) and
    // IPrefVault.dll beside it; the product's registry key under HKLM naming
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
    host::fake::Ledger& ObjectLedger() noexcept { return m_ledger; }
    HostCalls& Calls() noexcept { return m_calls; }
    FakeRegistry& Registry() noexcept { return m_registry; }
    FakeLibraries& Libraries() noexcept { return m_libraries; }
    FakeApartment& Apartment() noexcept { return m_apartment; }
    FakeEngine& Engine() noexcept { return m_engine; }
    FakeProduct& Product() noexcept { return m_product; }
    FakeCrashHandler& CrashHandler() noexcept { return m_crashHandler; }

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
    // Runs the calls other threads are waiting to make on the add-in's thread.
    std::size_t Pump();

    // ---- checks ----

    // Everything the add-in was handed and has not given back, or gave back
    // too often, one readable line each: host objects with references still
    // out or released too often, live event subscriptions, objects left in
    // the interface table, engine clients not released and the engine
    // library still loaded, registry keys left open, and every misuse the
    // components recorded. Empty when all was released exactly once.
    std::vector<std::string> ReleaseProblems() const;

private:
    void PlaceProductKey();

    host::System* m_previousSystem;
    FakeSystem m_system;
    host::fake::Ledger m_ledger;
    HostCalls m_calls;
    FakeRegistry m_registry;
    FakeLibraries m_libraries;
    FakeApartment m_apartment;
    FakeEngine m_engine;
    FakeProduct m_product;
    FakeCrashHandler m_crashHandler;
    std::unique_ptr<FakeApplication> m_application;
    std::unique_ptr<FakeAddInInstance> m_addInInstance;
    NoComClasses m_classes;
    host::Services m_services;
};

}  // namespace host::fake
