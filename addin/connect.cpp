#include "addin/connect.h"

#include "addin/trace.h"
#include "addin/version.h"
#include "text/ui_strings.h"

namespace qev {

std::int32_t g_outlookVersion = -1;

namespace {

const char16_t* ConnectModeText(std::int32_t mode)
{
    switch (mode) {
    case 0:
        return u"  Addin loading after Outlook started (most likely enabled by user from COM Addins). "
               u"[ext_cm_AfterStartup]";
    case 1:
        return u"  Addin loading when Outlook is started. [ext_cm_Startup]";
    case 2:
        return u"  Addin loading by an external client. [ext_cm_External]";
    case 3:
        return u"  Addin loading from the command line. [ext_cm_CommandLine]";
    default:
        return u"  Addin loading because of an unknown reason (out of ext_ConnectMode enumeration, not in "
               u"ext_cm_AfterStartup, ext_cm_CommandLine, ext_cm_External, ext_cm_Startup).";
    }
}

}  // namespace

CConnect::CConnect(host::Services& services, host::Object* identity)
    : m_services(services),
      m_identity(identity),
      m_quitSink(host::EventInterface::ApplicationEvents,
                 [this](std::int32_t dispId, std::span<const host::Variant>) {
                     const auto self = KeepAlive_();
                     if (dispId == host::kDispIdQuit) OnQuit_();
                 }),
      m_newMailSink(host::EventInterface::ApplicationEvents, [](std::int32_t, std::span<const host::Variant>) {}),
      m_folderSwitchSink(host::EventInterface::ExplorerEvents,
                         [this](std::int32_t dispId, std::span<const host::Variant>) {
                             const auto self = KeepAlive_();
                             if (dispId == host::kDispIdFolderSwitch) m_toolbar.OnFolderSwitch_();
                         }),
      m_selectionChangeSink(host::EventInterface::ExplorerEvents,
                            [this](std::int32_t dispId, std::span<const host::Variant>) {
                                const auto self = KeepAlive_();
                                if (dispId == host::kDispIdSelectionChange) m_toolbar.OnSelectionChange();
                            }),
      m_engine(services),
      m_inboxes(
          m_stores, services.classes,
          [this](const EntryId& storeId, host::Object* item) {
              m_catchUp.OnItemAdd_(storeId, item);
              m_filing.OnItemAdd_(item);
          },
          [this] { return KeepAlive_(); }),
      m_catchUp(services, m_inboxes, m_filing, [this] { return KeepAlive_(); })
{
    m_inboxes.OnInboxChanged([this](const EntryId& storeId, bool watched) {
        if (watched) {
            m_catchUp.OnInboxWatched_(storeId);
        } else {
            m_catchUp.OnInboxDropped_(storeId);
        }
    });
}

// An event reaches the add-in through a sink that holds no reference to it;
// the object's last reference may go while the event runs (the shutdown it
// starts revokes the engine's), so the handler holds one of its own.
host::Ref<host::Object> CConnect::KeepAlive_() const
{
    return host::Ref<host::Object>::Share(m_identity);
}

CConnect::~CConnect()
{
    // Outlook normally shuts the add-in down before it lets it go. When it did
    // not (an unload without Quit), end what is still running so that no event
    // or engine notification reaches a dead object; the parts end their own
    // subscriptions as they go.
    m_quitSink.Detach();
    m_newMailSink.Detach();
    m_folderSwitchSink.Detach();
    m_selectionChangeSink.Detach();
    m_catchUp.Stop_();
    m_engine.EndObserver();
    m_engine.ReleaseClient();
}

HRESULT CConnect::OnConnection(host::Object* application, std::int32_t connectMode, host::Object* addInInst)
{
    try {
        QEV_TRACE_STEP(ConnectModeText(connectMode));

        m_engine.EndObserver();
        m_engine.ReleaseClient();
        m_csButtons.Init();

        ReadTraceMarker();
        m_fConnected = false;

        QEV_TRACE_STEP(u"OnConnection...");

        m_pApplication.Reset();
        m_pApplication = host::QueryAs<host::Application>(application);
        m_pAddInInstance =
            host::Ref<host::Object>::Adopt(addInInst ? addInInst->Query(host::Iface::Dispatch) : nullptr);
        if (!m_pApplication || !m_pAddInInstance) {
            QEV_TRACE(kTraceError, u"[as][qev] error : OnConnection...app<$%p> addin<$%p>...failed\n",
                      static_cast<const void*>(m_pApplication.Get()), static_cast<const void*>(addInInst));
            return S_FALSE;
        }

        std::u16string version;
        try {
            version = m_pApplication->Version();
            g_outlookVersion = MajorVersion(version, g_outlookVersion);
        } catch (...) {
            version.clear();  // the version stays as an earlier connection read it
        }
        QEV_TRACE(kTraceProgress, u"[as][qev]   outlook version<%d><%s>  outlook2k<%d>\n", g_outlookVersion, version,
                  g_outlookVersion == 9 ? 1 : 0);

        if (g_outlookVersion <= 10) {
            QEV_TRACE_STEP(u"OnConnection : outlook not supported...");
            return S_FALSE;
        }
        if (ProfileMarkerExists(kDisableMarker)) {
            QEV_TRACE_STEP(u"OnConnection : as disabled...");
            return S_FALSE;
        }
        if (!Init_()) {
            QEV_TRACE(kTraceError, u"[as][qev] error : OnConnection...Init_...failed\n");
            return S_FALSE;
        }

        if (UseRibbon()) {
            QEV_TRACE(kTraceUiChoice, u"[as][qev] %s\n", u"AddCmdBar_: Outlook will use Ribbon UI.");
        } else {
            QEV_TRACE(kTraceUiChoice, u"[as][qev] %s\n", u"AddCmdBar_: Outlook will use legacy toolbar UI.");
            if (!m_commandBar.AddCmdBar_()) {
                QEV_TRACE_ERROR(u"OnConnection...failed");
                return S_FALSE;
            }
        }

        try {
            if (m_pApplication->ExplorerCount() != 0) m_pMainExplorer = m_pApplication->ExplorerItem(1);
        } catch (...) {
            QEV_TRACE_STEP(u"OnConnection... unknown exception !!!");
        }

        m_fConnected = true;
        QEV_TRACE_STEP(u"OnConnection...ok");

        if (connectMode != kConnectStartup) OnStartupComplete();
        return S_OK;
    } catch (...) {
        TraceCaughtException(u"OnConnection");
        return S_FALSE;
    }
}

// The engine's defaults, the language and layout modules, then the engine
// client and what the engine says.
bool CConnect::Init_()
{
    m_engine.ResetState();
    m_commands.Reset();
    LoadUiStringModules(m_services);
    return m_engine.Load();
}

bool CConnect::UseRibbon()
{
    return qev::UseRibbon(m_pApplication.Get());
}

HRESULT CConnect::OnAddInsUpdate()
{
    QEV_TRACE_STEP(u"OnAddInsUpdate...");
    return S_OK;
}

HRESULT CConnect::OnStartupComplete()
{
    try {
        if (m_fStartupDone) return S_OK;
        m_fStartupDone = true;

        QEV_TRACE(kTraceProgress, u"[as][qev] OnStartupComplete...%s\n", m_fConnected ? u"" : u"exit");
        if (!m_fConnected) return S_FALSE;

        bool started = true;
        try {
            m_commandBar.ButtonsAdvise_();
            m_quitSink.Advise(m_pApplication.Get());
            m_newMailSink.Advise(m_pApplication.Get());
            if (m_pMainExplorer) {
                m_folderSwitchSink.Advise(m_pMainExplorer.Get());
                m_selectionChangeSink.Advise(m_pMainExplorer.Get());
            }
            m_inboxes.WatchInboxes_();
            m_inboxes.AdviseAccountManager_();
            m_engine.StartObserver(m_identity);
            m_catchUp.Start_();
        } catch (...) {
            TraceCaughtException(u"OnStartupComplete");
            started = false;
        }

        m_toolbar.SetToolbarStatus_();
        QEV_TRACE(kTraceProgress, u"[as][qev] OnStartupComplete...%s\n", started ? u"ok" : u"failed");
        return S_OK;
    } catch (...) {
        TraceCaughtException(u"OnStartupComplete");
        return S_OK;
    }
}

}  // namespace qev
