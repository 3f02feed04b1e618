#include "host/fake/fake_world.h"

#include "host/fake/fake_modules.h"
#include "host/fake/fake_text.h"
#include "text/ui_strings.h"

namespace host::fake {
namespace {

std::u16string AddinFolder(const FakeLibraries& libraries)
{
    return FolderOf(libraries.AddinPath().value_or(kDefaultAddinPath));
}

}  // namespace

FakeWorld::FakeWorld()
    : m_previousSystem(&host::Sys()),
      m_registry(m_calls),
      m_libraries(m_calls),
      m_apartment(m_ledger, m_calls),
      m_engine(m_calls, m_libraries, AddinFolder(m_libraries)),
      m_product(m_calls, m_libraries, AddinFolder(m_libraries)),
      m_crashHandler(m_calls, m_libraries, FolderOf(kDefaultProductProgram)),
      m_application(std::make_unique<FakeApplication>(m_ledger, m_calls, m_desktop)),
      m_addInInstance(std::make_unique<FakeAddInInstance>(m_ledger, m_calls)),
      m_mail(std::make_unique<FakeMail>(m_ledger, m_calls)),
      m_accounts(std::make_unique<FakeAccounts>(m_ledger, m_calls, *m_mail)),
      m_classes(std::make_unique<FakeClasses>(m_ledger, m_calls, *m_accounts)),
      m_ribbonUI(std::make_unique<FakeRibbonUI>(m_ledger, m_calls)),
      m_inspector(std::make_unique<FakeInspector>(m_ledger, m_calls)),
      m_services{m_system, m_registry, m_libraries, m_apartment, *m_classes, m_desktop, m_graphics}
{
    m_application->SetNamespace(&m_mail->NamespaceObject());
    m_application->SetExplorerView(m_mail.get());
    host::InstallSystem(&m_system);
    m_system.CountCalls(&m_calls);
    m_engine.SetBlockingWait([this] { m_apartment.RunPending(); });
    m_registry.Put(RegRoot::LocalMachine, kDefaultProductKey, u"AppPath", RegValue::Text(kDefaultProductProgram));
    std::u16string folder = kDefaultProductFolder;
    if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
    m_system.CreatePath(folder, FakeSystem::PathKind::Directory);
    m_system.CreatePath(folder + u"\\" + qev::kCrashHandlerSettingsFile, FakeSystem::PathKind::File);
    m_system.CreatePath(AddinFolder(m_libraries), FakeSystem::PathKind::Directory);
    PlaceUiModules();
}

FakeWorld::~FakeWorld()
{
    // The add-in's thread leaves COM before the world's parts go.
    m_apartment.Uninitialize();
    m_system.CountCalls(nullptr);
    host::InstallSystem(m_previousSystem);
}

// ---- the world's statements ----

void FakeWorld::SetOutlookVersion(std::optional<std::u16string> version)
{
    m_application->SetVersion(std::move(version));
}

void FakeWorld::SetExplorers(int count)
{
    m_application->SetExplorerCount(count);
}

std::u16string FakeWorld::MarkerPath(Marker marker)
{
    const auto roaming = m_system.RoamingFolder();
    if (!roaming) return {};
    return *roaming + u"\\" + kMarkerFolder + (marker == Marker::Trace ? u"\\as.trace" : u"\\as.disabled");
}

void FakeWorld::SetMarker(Marker marker, bool present)
{
    const std::u16string path = MarkerPath(marker);
    if (path.empty()) return;
    if (!present) {
        m_system.RemovePath(path);
        return;
    }
    // The folders on the way exist as well.
    for (std::u16string folder = FolderOf(path); folder.size() > 2; folder = FolderOf(folder))
        m_system.CreatePath(folder, FakeSystem::PathKind::Directory);
    m_system.CreatePath(path, FakeSystem::PathKind::File);
}

void FakeWorld::SetEngineLibrary(EngineLibrary library)
{
    m_engine.SetLibrary(library);
}

void FakeWorld::SetEngineStatus(bool up)
{
    m_engine.SetServerStatus(up);
}

void FakeWorld::SetEngineSetting(int field, std::uint32_t value)
{
    m_engine.SetSetting(field, value);
}

void FakeWorld::SetEngineOption(int field, std::uint32_t value)
{
    m_engine.SetOption(field, value);
}

void FakeWorld::SetEngineValue(std::u16string name, std::uint32_t value)
{
    m_engine.SetValue(std::move(name), value);
}

void FakeWorld::SetAddinPath(std::optional<std::u16string> path)
{
    m_libraries.SetAddinPath(path);
    PlaceUiModules();
    if (!path) return;
    const std::u16string folder = FolderOf(NormalizePath(*path));
    m_system.CreatePath(folder, FakeSystem::PathKind::Directory);
    m_engine.SetFolder(folder);
    m_product.SetFolder(folder);
}

void FakeWorld::SetUiModules(UiModules where)
{
    m_uiModules = where;
    PlaceUiModules();
}

void FakeWorld::PlaceUiModules()
{
    for (const std::u16string& path : m_uiModulePaths) m_libraries.Uninstall(path);
    m_uiModulePaths.clear();
    std::u16string folder;
    if (m_uiModules == UiModules::Beside) {
        const auto addin = m_libraries.AddinPath();
        if (!addin) return;
        folder = FolderOf(NormalizePath(*addin)) + u"\\";
    } else if (m_uiModules == UiModules::Product) {
        folder = m_product.String(qev::kStringProductFolder);
    } else {
        return;
    }
    for (const BuiltModule& module : BuiltUiModules()) {
        m_uiModulePaths.push_back(folder + module.path);
        m_libraries.Install(m_uiModulePaths.back(), {}, ResourcesOf(module));
    }
}

void FakeWorld::SetLanguage(std::optional<std::u16string> code)
{
    if (code)
        m_registry.Put(RegRoot::Users, qev::kLanguageKey, qev::kLanguageValue, RegValue::Text(*code));
    else
        m_registry.Remove(RegRoot::Users, qev::kLanguageKey, qev::kLanguageValue);
}

void FakeWorld::SetRightToLeft(std::optional<std::uint32_t> value)
{
    if (value)
        m_registry.Put(RegRoot::Users, qev::kLanguageKey, qev::kLayoutValue, RegValue::Dword(*value));
    else
        m_registry.Remove(RegRoot::Users, qev::kLanguageKey, qev::kLayoutValue);
}

// ---- mail ----

void FakeWorld::AddStore(std::u16string name, std::u16string displayName, StoreOptions options)
{
    m_mail->AddStore(std::move(name), std::move(displayName), options);
}

void FakeWorld::AddFolder(std::u16string_view store, std::u16string_view path, std::optional<std::int32_t> folderClass,
                          std::optional<std::int32_t> defaultItemType)
{
    m_mail->AddFolder(store, path, folderClass, defaultItemType);
}

void FakeWorld::Deliver(std::u16string_view store, std::u16string_view path, std::u16string_view text,
                        const DeliverOptions& options)
{
    m_mail->Deliver(store, path, MessageFromText(text, options));
}

bool FakeWorld::Select(std::u16string_view store, std::u16string_view path, const std::vector<std::size_t>& items)
{
    m_mail->FlushEvents();
    FakeExplorer* explorer = m_application->ExplorerAt(1);
    if (!explorer) return false;
    m_mail->Select(*explorer, store, path, items);
    return true;
}

void FakeWorld::AccountAdd(std::u16string store, std::u16string displayName)
{
    m_mail->FlushEvents();
    m_accounts->Add(std::move(store), std::move(displayName));
}

void FakeWorld::AccountRemove(std::u16string_view store)
{
    m_mail->FlushEvents();
    m_accounts->Remove(store);
}

void FakeWorld::AccountNotify(std::uint32_t code)
{
    m_mail->FlushEvents();
    m_accounts->Notify(code);
}

FolderCount FakeWorld::FolderCounts(std::u16string_view store, std::u16string_view path) const
{
    return m_mail->Count(store, path);
}

void FakeWorld::OnMailEvent(std::function<void(const MailEvent&)> listener)
{
    m_mail->OnEvent(std::move(listener));
}

// ---- the session's events ----

void FakeWorld::Quit()
{
    m_application->Quit();
}

bool FakeWorld::NotifyStatus(bool up)
{
    const auto notification = m_engine.NotifyStatus(up);
    return m_apartment.PumpUntil([&] { return notification->Done(); });
}

bool FakeWorld::NotifySettings(const std::vector<std::pair<int, std::uint32_t>>& fields, std::size_t streamBytes)
{
    qev::AsSettings settings{};
    settings.f[0] = sizeof(qev::AsSettings);
    for (const auto& [field, value] : fields)
        if (field >= 0 && field < 19) settings.f[field] = value;
    if (streamBytes != 48) m_apartment.ResizeNextStream(streamBytes);
    const auto notification = m_engine.NotifySettings(settings);
    const bool done = m_apartment.PumpUntil([&] { return notification->Done(); });
    m_apartment.ResizeNextStream(std::nullopt);
    return done;
}

std::size_t FakeWorld::Pump()
{
    const std::size_t ran = m_apartment.RunPending();
    return ran + m_mail->FlushEvents();
}

std::size_t FakeWorld::Idle(std::size_t limit, const std::function<void(const std::function<void()>&)>& around)
{
    Pump();
    std::size_t ran = 0;
    while (ran < limit) {
        const std::optional<std::uint32_t> due = m_apartment.NextTimerDue(m_system.TickCount());
        if (!due) break;
        if (m_timerTurn) m_timerTurn();
        m_system.SetTickCount(*due);
        const std::function<void()> run = [&] { m_apartment.RunNextTimer(*due); };
        if (around) {
            around(run);
        } else {
            run();
        }
        ++ran;
        Pump();
    }
    return ran;
}

void FakeWorld::ForgetHistory()
{
    m_system.ClearDebugWrites();
    m_libraries.ClearEvents();
    m_engine.ForgetCalls();
    m_apartment.ForgetCalls();
    m_mail->DropGoneItems();
}

Ref<Object> FakeWorld::RibbonControl(std::u16string id, ControlContext context)
{
    Object* window = nullptr;
    if (context == ControlContext::Explorer) window = m_application->ExplorerAt(1);
    if (context == ControlContext::Inspector) window = m_inspector.get();
    const auto number = static_cast<int>(m_controls.Number());
    FakeRibbonControl& control = m_controls.Make(m_ledger, m_calls, std::move(id), window, number);
    return Ref<Object>::Share(static_cast<host::RibbonControl*>(&control));
}

// ---- checks ----

namespace {
const std::string kTableEntryLeft = "interface table entry left: ";
}  // namespace

std::vector<std::string> FakeWorld::ReleaseProblems() const
{
    std::vector<std::string> problems = m_ledger.Problems();
    auto add = [&problems](const std::string& prefix, const std::vector<std::string>& lines) {
        for (const std::string& line : lines) problems.push_back(prefix + line);
    };
    add("subscription left: ", m_application->LiveSubscriptions());
    add("subscription left: ", m_mail->LiveSubscriptions());
    add("subscription left: ", m_accounts->LiveSubscriptions());
    add(kTableEntryLeft, m_apartment.LiveRegistrations());
    add("timer left: ", m_apartment.LiveTimers());
    if (const std::size_t live = m_engine.LiveClients())
        problems.push_back("engine client not released: " + std::to_string(live) + " live");
    if (const std::size_t observers = m_engine.Observers())
        problems.push_back("engine observer not unadvised: " + std::to_string(observers) + " advised");
    if (const std::uint32_t loads = m_libraries.LoadCount(m_engine.LibraryPath()))
        problems.push_back("engine library still loaded: " + std::to_string(loads) + (loads == 1 ? " load" : " loads") +
                           " not freed");
    if (const std::size_t keys = m_registry.OpenKeys())
        problems.push_back("registry keys left open: " + std::to_string(keys));
    add("engine: ", m_engine.Faults());
    add("libraries: ", m_libraries.Faults());
    add("apartment: ", m_apartment.Faults());
    add("product: ", m_product.Faults());
    add("mail: ", m_mail->Faults());
    add("accounts: ", m_accounts->Faults());
    add("desktop: ", m_desktop.Faults());
    return problems;
}

std::vector<std::string> FakeWorld::ExitProblems()
{
    const std::vector<std::string> left = m_apartment.LiveRegistrations();
    m_apartment.Uninitialize();
    std::vector<std::string> problems = ReleaseProblems();
    for (const std::string& entry : left) problems.push_back(kTableEntryLeft + entry);
    return problems;
}

}  // namespace host::fake
