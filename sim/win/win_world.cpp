#include "sim/win/win_world.h"

#include <objbase.h>

#include <stdexcept>
#include <utility>

#include "engine/settings_stream.h"
#include "host/utf.h"
#include "sim/idle_stats.h"
#include "sim/mail_model.h"
#include "sim/transcript.h"
#include "sim/win/import_patch.h"
#include "sim/win/scenario_timers.h"

namespace qev::sim::win {
namespace {

using host::win::ComPtr;

// How long a notification from another thread may take to reach the add-in.
constexpr DWORD kNotifyLimitMs = 10000;

std::string HexOf(HRESULT hr)
{
    return HexResult(static_cast<std::uint32_t>(hr));
}

std::wstring WideOfUtf8(const std::string& text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), needed);
    return wide;
}

std::u16string U16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

// The add-in's ImportSettings, called by name from a thread of its own.
struct ImportCall {
    DWORD cookie = 0;
    std::string bytes;
    HRESULT result = E_UNEXPECTED;
    std::string step;  // where it failed
};

DWORD WINAPI ImportThread(void* parameter)
{
    auto& call = *static_cast<ImportCall*>(parameter);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        call.step = "CoInitializeEx";
        return 0;
    }
    {
        ComPtr<IGlobalInterfaceTable> table;
        ComPtr<IDispatch> addin;
        ComPtr<IStream> stream;
        DISPID id = DISPID_UNKNOWN;
        wchar_t name[] = L"ImportSettings";
        LPOLESTR names[] = {name};
        ULARGE_INTEGER size = {};
        size.QuadPart = call.bytes.size();
        const LARGE_INTEGER start = {};
        ULONG written = 0;
        if (FAILED(call.result = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IGlobalInterfaceTable, table.OutVoid()))) {
            call.step = "the global interface table";
        } else if (FAILED(call.result = table->GetInterfaceFromGlobal(call.cookie, IID_IDispatch, addin.OutVoid()))) {
            call.step = "GetInterfaceFromGlobal";
        } else if (FAILED(call.result = addin->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
            call.step = "GetIDsOfNames(ImportSettings)";
        } else if (FAILED(call.result = CreateStreamOnHGlobal(nullptr, TRUE, stream.Out())) ||
                   FAILED(call.result = stream->SetSize(size)) ||
                   (!call.bytes.empty() &&
                    FAILED(call.result =
                               stream->Write(call.bytes.data(), static_cast<ULONG>(call.bytes.size()), &written))) ||
                   FAILED(call.result = stream->Seek(start, STREAM_SEEK_SET, nullptr))) {
            call.step = "the memory stream";
        } else {
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_UNKNOWN;
            arg.punkVal = stream.Get();  // borrowed: the call holds it for its duration
            DISPPARAMS params = {&arg, nullptr, 1, 0};
            VARIANT result;
            VariantInit(&result);
            call.result =
                addin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
            VariantClear(&result);
            if (FAILED(call.result)) call.step = "Invoke(ImportSettings)";
        }
    }
    CoUninitialize();
    return 0;
}

}  // namespace

// ---- helpers ----

ComApartment::ComApartment()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) throw std::runtime_error("cannot enter COM: " + HexOf(hr));
}

ComApartment::~ComApartment()
{
    CoUninitialize();
}

ComPtr<_IDTExtensibility2> CreateAddin()
{
    CLSID clsid = {};
    HRESULT hr = CLSIDFromProgID(L"qev.Connect", &clsid);
    if (FAILED(hr)) throw std::runtime_error("qev.Connect is not registered: " + HexOf(hr));
    ComPtr<IUnknown> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.OutVoid());
    if (FAILED(hr)) throw std::runtime_error("CoCreateInstance(qev.Connect) failed: " + HexOf(hr));
    ComPtr<_IDTExtensibility2> designer;
    hr = object->QueryInterface(IID__IDTExtensibility2, designer.OutVoid());
    if (FAILED(hr)) throw std::runtime_error("qev.Connect has no _IDTExtensibility2: " + HexOf(hr));
    return designer;
}

ComPtr<_IDTExtensibility2> StartAddin(SimApplication& application, SimAddInInstance& instance)
{
    return StartAddin(CreateAddin(), application, instance);
}

ComPtr<_IDTExtensibility2> StartAddin(ComPtr<_IDTExtensibility2> addin, SimApplication& application,
                                      SimAddInInstance& instance)
{
    CustomArray custom;
    HRESULT hr = addin->OnConnection(&application, ext_cm_Startup, &instance, custom.Get());
    if (hr != S_OK) throw std::runtime_error("OnConnection returned " + HexOf(hr));
    hr = addin->OnStartupComplete(custom.Get());
    if (hr != S_OK) throw std::runtime_error("OnStartupComplete returned " + HexOf(hr));
    return addin;
}

void ShutDownAddin(ComPtr<_IDTExtensibility2>& addin, SimApplication& application)
{
    CustomArray custom;
    addin->OnBeginShutdown(custom.Get());
    application.Quit();
    addin->OnDisconnection(ext_dm_HostShutdown, custom.Get());
    addin.Reset();
}

CustomArray::CustomArray() : m_array(SafeArrayCreateVector(VT_VARIANT, 0, 0)) {}

CustomArray::~CustomArray()
{
    if (m_array) SafeArrayDestroy(m_array);
}

bool PumpUntil(HANDLE handle, DWORD limitMs)
{
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        const DWORD woke =
            MsgWaitForMultipleObjectsEx(1, &handle, static_cast<DWORD>(end - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) return true;
        if (woke == WAIT_FAILED) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// ---- the world ----

WinWorld::WinWorld(const BuiltFiles& files, const RegisteredAddin* installed)
    : m_folder(installed ? ProductFolder(files, installed->server) : ProductFolder(files))
{
    m_application = std::make_unique<SimApplication>(m_ledger);
    m_mail = std::make_unique<SimMail>(m_ledger);
    m_application->SetMail(m_mail.get());
    m_mail->Model().OnEvent([this](const host::fake::MailEvent& event) { MailEvent(event); });
    m_accounts = std::make_unique<SimAccounts>(*m_mail);
    m_addinInstance = std::make_unique<SimAddInInstance>(m_ledger);
    m_ribbon = std::make_unique<SimRibbon>(m_ledger, *m_application, [this] { EventLine("* INVALIDATE"); });
    RegisterOfficeStandIn(files);
    m_application->SetCommandBarEvents(this);
    m_commandBars = &m_application->ExplorerAt(1)->CommandBars();
    ResetDesktop();
    PlaceEngine();
    if (installed) {
        m_server.emplace(*installed);
        m_addin = m_server->Create();
    } else {
        m_addin = CreateAddin();
    }
    // The add-in's clock and clipboard attempts are the scenario's; its debug
    // writes come whole, whatever the code page.
    const HMODULE addin = AddinModule();
    if (!ScenarioClock::Install(addin)) throw std::runtime_error("qev.dll does not import GetTickCount and GetLocalTime");
    if (!ScenarioTimers::Install(addin)) throw std::runtime_error("qev.dll does not import SetTimer and KillTimer");
    if (!m_clipboardHolder.Install(addin)) throw std::runtime_error("qev.dll does not import OpenClipboard");
    if (!ChannelFeed::TakeWhole(addin)) throw std::runtime_error("qev.dll does not import OutputDebugStringW");
    m_feed.OnlyWholeWriters();  // nothing else of this process writes to the channel
}

HMODULE WinWorld::AddinModule() const noexcept
{
    return GetModuleHandleW(m_folder.AddinPath().c_str());
}

WinWorld::~WinWorld()
{
    Attach(nullptr);
    // Outlook lets the add-in go, then its own objects; the engine's state
    // goes last. Leaving COM (ComApartment) unloads qev.dll before its folder
    // is taken away.
    m_addin.Reset();
    m_engine.Unload();
    m_clipboardHolder.Free();
    ResetDesktop();
}

void WinWorld::Attach(Transcript* transcript)
{
    const std::lock_guard lock(m_mutex);
    m_transcript = transcript;
    m_feed.Attach(transcript);
}

void WinWorld::Settle()
{
    // Outlook raises the item-add events of moved items from its message loop.
    m_mail->Model().FlushEvents();
    const bool synced = m_feed.Sync();
    bool late = false;
    {
        const std::lock_guard lock(m_mutex);
        late = std::exchange(m_channelLate, false);
    }
    if (!synced || late) throw Failure("the debug channel did not deliver the add-in's writes in time");
}

void WinWorld::OnEngineCall(void* context, const char* line)
{
    static_cast<WinWorld*>(context)->EngineCall(line);
}

void WinWorld::EngineCall(const char* line)
{
    // Every debug write the add-in made before this call goes first.
    const bool synced = m_feed.Sync();
    const std::lock_guard lock(m_mutex);
    if (!synced) m_channelLate = true;
    if (m_transcript) m_transcript->Line(std::string("< engine ") + (line ? line : ""));
}

// ---- the world's statements ----

void WinWorld::SetOutlookVersion(const std::optional<std::string>& version)
{
    m_application->SetVersion(version ? std::optional<std::wstring>(WideOfUtf8(*version)) : std::nullopt);
    m_version = version;
}

void WinWorld::SetExplorers(std::int32_t count)
{
    m_application->SetExplorerCount(count);
}

void WinWorld::SetMarker(MarkerKind kind, bool present)
{
    try {
        m_markers.Set(kind == MarkerKind::Trace ? Markers::Kind::Trace : Markers::Kind::Disabled, present);
    } catch (const std::runtime_error& e) {
        throw Failure(e.what());
    }
}

void WinWorld::SetEngineLibrary(EngineLibrary library)
{
    switch (library) {
        case EngineLibrary::Absent:
            m_setup.file = EngineFile::None;
            m_setup.factoryNull = false;
            break;
        case EngineLibrary::NoFactory:
            m_setup.file = EngineFile::WithoutFactory;
            m_setup.factoryNull = false;
            break;
        case EngineLibrary::Null:
            m_setup.file = EngineFile::Regular;
            m_setup.factoryNull = true;
            break;
    }
    PlaceEngine();
}

void WinWorld::SetEngineStatus(bool up)
{
    m_setup.serverUp = up;
    if (m_engine.Loaded()) m_engine.SetServerStatus(up);
}

void WinWorld::SetEngineSetting(int field, std::uint32_t value)
{
    m_setup.settings[field] = value;
    if (m_engine.Loaded()) m_engine.SetSetting(field, value);
}

void WinWorld::SetEngineOption(int field, std::uint32_t value)
{
    m_setup.options[field] = value;
    if (m_engine.Loaded()) m_engine.SetOption(field, value);
}

void WinWorld::SetEngineValue(const std::string& name, std::uint32_t value)
{
    const std::u16string key = U16(WideOfUtf8(name));
    m_setup.values.emplace_back(key, value);
    if (m_engine.Loaded()) m_engine.SetValue(key, value);
}

void WinWorld::PlaceEngine()
{
    if (m_folder.Engine() != m_setup.file) {
        if (m_engine.Loaded() && m_engine.LiveClients() > 0)
            throw Failure("the engine library cannot change while the add-in holds an engine client");
        m_engine.Unload();
        try {
            m_folder.PlaceEngine(m_setup.file);
        } catch (const std::runtime_error& e) {
            throw Failure(e.what());
        }
    }
    if (m_setup.file != EngineFile::None && !m_engine.Loaded()) {
        if (!m_engine.Load(m_folder.EnginePath())) throw Failure("the engine library is missing from its folder");
        SetUpEngine();
    }
    if (m_engine.Loaded()) m_engine.SetFactoryNull(m_setup.factoryNull);
}

void WinWorld::SetUpEngine()
{
    m_engine.SetCallListener(&WinWorld::OnEngineCall, this);
    m_engine.SetServerStatus(m_setup.serverUp);
    for (const auto& [field, value] : m_setup.settings) m_engine.SetSetting(field, value);
    for (const auto& [field, value] : m_setup.options) m_engine.SetOption(field, value);
    for (const auto& [name, value] : m_setup.values) m_engine.SetValue(name, value);
    m_engine.SetFactoryNull(m_setup.factoryNull);
}

// ---- the session ----

std::uint32_t WinWorld::Call(SessionCall call, std::int32_t mode)
{
    CustomArray custom;
    HRESULT hr = S_OK;
    switch (call) {
        case SessionCall::Connect:
            hr = m_addin->OnConnection(m_application.get(), static_cast<ext_ConnectMode>(mode), m_addinInstance.get(),
                                       custom.Get());
            break;
        case SessionCall::Startup:
            hr = m_addin->OnStartupComplete(custom.Get());
            break;
        case SessionCall::AddinsUpdate:
            hr = m_addin->OnAddInsUpdate(custom.Get());
            break;
        case SessionCall::BeginShutdown:
            hr = m_addin->OnBeginShutdown(custom.Get());
            break;
        case SessionCall::Disconnect:
            hr = m_addin->OnDisconnection(static_cast<ext_DisconnectMode>(mode), custom.Get());
            break;
        case SessionCall::Quit:
            throw Failure("quit is an event, not a call");
    }
    // Buttons of a build that never showed its bar.
    WritePendingButtons();
    return static_cast<std::uint32_t>(hr);
}

void WinWorld::Quit()
{
    m_application->Quit();
}

bool WinWorld::NotifyStatus(bool up)
{
    m_setup.serverUp = up;
    if (!m_engine.Loaded()) return true;  // no engine, no observer: nothing reaches the add-in
    return m_engine.NotifyStatus(up) >= 0;
}

bool WinWorld::NotifySettings(const std::vector<SettingsField>& fields, std::uint32_t bytes)
{
    qev::AsSettings record{};
    record.f[0] = sizeof(qev::AsSettings);
    for (const auto& [field, value] : fields)
        if (field >= 0 && field < 19) record.f[field] = value;
    // The engine keeps what it sends: a later GetSettings answers it.
    for (int field = 1; field < 19; ++field) SetEngineSetting(field, record.f[field]);
    if (!m_engine.Loaded()) return true;
    if (bytes == kSettingsStreamBytes) return m_engine.NotifySettings(record) >= 0;

    // A stream of another length is no record the engine's observer would
    // pack: the engine's side of the call is played here, while the engine
    // has an observer to make it.
    if (m_engine.Observers() == 0) return true;
    const auto packed = PackSettings(record);
    std::string stream(packed.begin(), packed.end());
    stream.resize(bytes, '\0');
    return ImportSettingsFromThread(stream);
}

bool WinWorld::ImportSettingsFromThread(const std::string& bytes)
{
    ComPtr<IDispatch> addin;
    HRESULT hr = m_addin->QueryInterface(IID_IDispatch, addin.OutVoid());
    if (FAILED(hr)) throw Failure("the add-in object has no IDispatch: " + HexOf(hr));
    ComPtr<IGlobalInterfaceTable> table;
    hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IGlobalInterfaceTable,
                          table.OutVoid());
    if (FAILED(hr)) throw Failure("no global interface table: " + HexOf(hr));
    ImportCall call;
    call.bytes = bytes;
    hr = table->RegisterInterfaceInGlobal(addin.Get(), IID_IDispatch, &call.cookie);
    if (FAILED(hr)) throw Failure("the add-in cannot be registered in the global interface table: " + HexOf(hr));

    bool done = false;
    if (HANDLE thread = CreateThread(nullptr, 0, ImportThread, &call, 0, nullptr)) {
        done = PumpUntil(thread, kNotifyLimitMs);
        if (!done) {
            // The thread still uses call: wait for it, pumping, before it goes.
            while (!PumpUntil(thread, kNotifyLimitMs)) {
            }
        }
        CloseHandle(thread);
    } else {
        table->RevokeInterfaceFromGlobal(call.cookie);
        throw Failure("cannot start a thread");
    }
    table->RevokeInterfaceFromGlobal(call.cookie);
    if (done && FAILED(call.result))
        throw Failure("ImportSettings from another thread failed at " + call.step + ": " + HexOf(call.result));
    return done;
}

// ---- checks ----

// ---- mail and the explorer ----

namespace fake = host::fake;

void WinWorld::EventLine(const std::string& line)
{
    // Every debug write the add-in made before the event goes first.
    const bool synced = m_feed.Sync();
    const std::lock_guard lock(m_mutex);
    if (!synced) m_channelLate = true;
    if (m_transcript) m_transcript->Line(line);
}

void WinWorld::MailEvent(const host::fake::MailEvent& event)
{
    EventLine("* " + event.Render(EscapeText));
}

void WinWorld::AddStore(const Store& store)
{
    PlayOnModel([&] {
        m_mail->Model().AddStore(host::Utf16(store.id), host::Utf16(store.displayName),
                                 {.unicodeRejected = store.unicodeRejected});
    });
}

void WinWorld::AddFolder(const Folder& folder)
{
    PlayOnModel([&] {
        m_mail->Model().AddFolder(host::Utf16(folder.store), host::Utf16(folder.path), folder.folderClass,
                                  folder.itemType);
    });
}

void WinWorld::DeliverItem(const sim::Deliver& delivery)
{
    PlayOnModel([&] {
        m_mail->Model().Deliver(host::Utf16(delivery.store), host::Utf16(delivery.path),
                                MessageOf(delivery, fake::ScenarioNow(ScenarioClock::Now())));
    });
}

void WinWorld::PlaceItem(const Waiting& waiting)
{
    PlayOnModel([&] { PlaceWaiting(m_mail->Model(), waiting, ScenarioClock::Now()); });
}

void WinWorld::DeliverBurst(const Burst& burst)
{
    PlayOnModel([&] { sim::DeliverBurst(m_mail->Model(), burst, ScenarioClock::Now()); });
}

void WinWorld::RefuseRestrict(const std::string& store)
{
    PlayOnModel([&] { m_mail->Model().SetRestrictRefused(host::Utf16(store), true); });
}

void WinWorld::FailCalls(const std::string& name, std::uint32_t count, std::uint32_t hr)
{
    m_ledger.Calls().FailNamed(name, count, static_cast<HRESULT>(hr));
}

void WinWorld::Idle(std::uint32_t limit)
{
    // As Outlook's message loop would: the item-add events of moved items,
    // then each timer as the clock reaches it.
    IdleStats stats;
    m_mail->Model().FlushEvents();
    for (std::uint32_t ran = 0; ran < limit; ++ran) {
        const std::optional<DWORD> due = ScenarioTimers::NextDue(ScenarioClock::Now());
        if (!due) break;
        ScenarioClock::Set(*due);
        stats.Time([&] { ScenarioTimers::RunNext(*due); });
        m_mail->Model().FlushEvents();
    }
}

void WinWorld::SelectItems(const sim::Select& selection)
{
    PlayOnModel([&] {
        std::vector<std::size_t> items;
        for (const std::int32_t n : selection.items) {
            if (n < 1) throw Failure("no item " + std::to_string(n));
            items.push_back(static_cast<std::size_t>(n));
        }
        m_mail->Model().FlushEvents();
        SimExplorer* explorer = m_application->ExplorerAt(1);
        if (!explorer) throw Failure("there is no active explorer to select in");
        m_mail->Select(*explorer, host::Utf16(selection.store), host::Utf16(selection.path), items);
    });
}

void WinWorld::ChangeAccounts(const Account& change)
{
    PlayOnModel([&] {
        m_mail->Model().FlushEvents();
        m_accounts->Change(change);
    });
}

World::FolderCount WinWorld::CountFolder(const std::string& store, const std::string& path)
{
    FolderCount count;
    PlayOnModel([&] {
        const fake::FolderCount held = m_mail->Model().Count(host::Utf16(store), host::Utf16(path));
        count.items = static_cast<std::int32_t>(held.items);
        count.unread = static_cast<std::int32_t>(held.unread);
    });
    return count;
}

std::size_t WinWorld::EngineCallCount(const std::string& op)
{
    return m_engine.Loaded() ? m_engine.CallCount(op) : 0;
}

std::vector<std::string> WinWorld::LetAddinGo()
{
    m_addin.Reset();
    return ReleaseProblems();
}

std::vector<std::string> WinWorld::ReleaseProblems()
{
    std::vector<std::string> problems = m_ledger.Problems();
    for (std::string& line : m_mail->Problems()) problems.push_back(std::move(line));
    for (std::string& line : m_accounts->Problems()) problems.push_back(std::move(line));
    for (const std::string& line : m_application->LiveSubscriptions()) problems.push_back("subscription left: " + line);
    for (const std::string& line : ScenarioTimers::Live()) problems.push_back("timer left: " + line);
    if (!m_clipboardHolder.Held() && !ClipboardHolder::OpenableElsewhere())
        problems.push_back("the clipboard is left open");
    // The add-in object itself: nothing but Outlook's reference may hold it
    // once everything is given back (an interface table entry or a sink
    // left behind would).
    const ULONG refs = m_addin ? m_addin->AddRef() : 0;
    if (m_addin) m_addin->Release();
    if (refs > 2) {
        const ULONG extra = refs - 2;
        problems.push_back("add-in object: " + std::to_string(extra) + (extra == 1 ? " reference" : " references") +
                           " besides Outlook's");
    }
    if (m_engine.Loaded()) {
        if (const int live = m_engine.LiveClients())
            problems.push_back("engine client not released: " + std::to_string(live) + " live");
        if (const int observers = m_engine.Observers())
            problems.push_back("engine observer not unadvised: " + std::to_string(observers) + " advised");
    }
    return problems;
}

}  // namespace qev::sim::win
