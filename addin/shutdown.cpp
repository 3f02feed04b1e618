// The three ways the add-in is taken down (Outlook's Quit event,
// OnBeginShutdown, OnDisconnection), in any order and more than once: every
// step tests and clears what it releases.
#include <utility>

#include "addin/connect.h"
#include "addin/trace.h"

namespace qev {

namespace {

const char16_t* RemoveModeText(std::int32_t mode)
{
    switch (mode) {
    case 0:
        return u"  Addin unloaded because Outlook is shutting down. [ext_dm_HostShutdown]";
    case 1:
        return u"  Addin unloaded by user while Outlook is running. [ext_dm_UserClosed]";
    default:
        return u"  Addin unloaded because of an unknown reason (out of ext_DisconnectMode enumeration; not in "
               u"ext_dm_UserClosed, ext_dm_HostShutdown).";
    }
}

}  // namespace

HRESULT CConnect::OnBeginShutdown()
{
    try {
        QEV_TRACE_STEP(u"OnBeginShutdown...");
        m_catchUp.Stop_();
        m_engine.EndObserver();
        m_engine.StoreBarValuesAndShutdown();
        m_engine.ReleaseClient();
        QEV_TRACE_STEP(u"OnBeginShutdown...ok");
    } catch (...) {
        TraceCaughtException(u"OnBeginShutdown");
    }
    return S_OK;
}

void CConnect::OnQuit_()
{
    try {
        QEV_TRACE_STEP(u"OnQuit_...");
        AddinShutdown_();
        QEV_TRACE_STEP(u"OnQuit_...ok");
    } catch (...) {
        TraceCaughtException(u"OnQuit_");
    }
}

void CConnect::AddinShutdown_()
{
    m_engine.EndObserver();

    QEV_TRACE_STEP(u"AddinShutdown_: saving command bar position (internal)");
    m_toolbar.SaveCmdBarPosition_();

    QEV_TRACE_STEP(u"AddinShutdown_: unadvising OLK");
    m_inboxes.UnadviseAccountManager_();

    QEV_TRACE_STEP(u"AddinShutdown_: unadvising inboxes");
    m_catchUp.Stop_();
    m_inboxes.UnadviseInboxes_();

    QEV_TRACE_STEP(u"AddinShutdown_: unadvising command bar buttons");
    m_commandBar.ButtonsUnadvise_();

    QEV_TRACE_STEP(u"AddinShutdown_: unadvising Outlook objects");
    OOUnadvise_();

    QEV_TRACE_STEP(u"AddinShutdown_: saving command bar position on disk");
    m_engine.StoreBarValuesAndShutdown();

    QEV_TRACE_STEP(u"AddinShutdown_: shutting down as client");
    m_engine.ReleaseClient();

    QEV_TRACE_STEP(u"AddinShutdown_: releasing main explorer");
    m_pMainExplorer.Reset();

    QEV_TRACE_STEP(u"AddinShutdown_: calling Disconnect_");
    Disconnect_();

    QEV_TRACE_STEP(u"CConnect::AddinShutdown_ finished.");
    m_fStartupDone = false;
}

void CConnect::OOUnadvise_()
{
    try {
        try {
            m_quitSink.Unadvise();
        } catch (...) {
            TraceCaughtException(u"OOUnadvise_");
        }
        try {
            m_newMailSink.Unadvise();
        } catch (...) {
            TraceCaughtException(u"OOUnadvise_");
        }
        try {
            m_folderSwitchSink.Unadvise();
        } catch (...) {
            TraceCaughtException(u"[as][qev] error : exception! : OOUnadvise_/IFolderSwitchHandler m_pMainExplorer: %s\n",
                                 u"OOUnadvise_/IFolderSwitchHandler");
        }
        try {
            m_selectionChangeSink.Unadvise();
        } catch (...) {
            TraceCaughtException(
                u"[as][qev] error : exception! : OOUnadvise_/ISelectionChangeHandler m_pMainExplorer: %s\n",
                u"OOUnadvise_/ISelectionChangeHandler m_pMainExplorer");
        }
    } catch (...) {
        TraceCaughtException(u"OOUnadvise_");
    }
}

HRESULT CConnect::OnDisconnection(std::int32_t removeMode)
{
    try {
        QEV_TRACE_STEP(u"OnDisconnection...");
        QEV_TRACE_STEP(RemoveModeText(removeMode));
        Disconnect_();
    } catch (...) {
        TraceCaughtException(u"OnDisconnection");
    }
    return S_OK;
}

void CConnect::Disconnect_()
{
    QEV_TRACE_STEP(u"Disconnect_...");
    m_catchUp.Stop_();
    Uninit_();
    QEV_TRACE_STEP(u"CConnect::Disconnect_ releasing addin instance and application object");
    m_pAddInInstance.Reset();
    m_pApplication.Reset();
    QEV_TRACE_STEP(u"Disconnect_...ok");
    m_csButtons.Delete();
}

void CConnect::Uninit_()
{
    QEV_TRACE_STEP(u"CConnect::Uninit_ releasing command bar button references");
    m_commandBar.ReleaseButtons_();
    QEV_TRACE_STEP(u"CConnect::Uninit_ releasing command bar object");
    m_commandBar.ReleaseCommandBar_();
}

}  // namespace qev
