#include "cmdbar/toolbar_state.h"

#include <mutex>

#include "addin/trace.h"
#include "addin/version.h"
#include "host/com_error.h"
#include "mail/selection.h"

namespace qev {
void ToolbarState::SetToolbarStatus_()
{
    const bool ready = m_engine.ServerStatus() && m_engine.AntispamOn();
    const CriticalSectionScope lock(m_csButtons);
    try {
        bool mailSelected = false;
        bool spamFolder = false;
        GetSelectionItems_(m_pApplication.Get(), mailSelected, spamFolder);
        QEV_TRACE(kTraceProgress, u"[as][qev]   SetToolbarStatus_<%d:%d:%d>...\n", mailSelected ? 1 : 0,
                  spamFolder ? 1 : 0, ready ? 1 : 0);

        if (UseRibbon(m_pApplication.Get())) {
            m_ribbon.SetState(mailSelected, spamFolder, ready);
            if (host::RibbonUI* ribbon = m_ribbon.RibbonUI()) ribbon->Invalidate();
            return;
        }

        const bool withMail = ready && mailSelected;
        m_commandBar.EnableButton(CommandKey::IsSpam, withMail && !spamFolder);
        m_commandBar.EnableButton(CommandKey::NotSpam, withMail);
        m_commandBar.EnableButton(CommandKey::AddSpammer, withMail);
        m_commandBar.EnableButton(CommandKey::AddFriend, withMail);
        m_commandBar.EnableButton(CommandKey::Spammers, ready);
        m_commandBar.EnableButton(CommandKey::Friends, ready);
        m_commandBar.EnableButton(CommandKey::Settings, ready);
    } catch (...) {
        TraceCaughtException(u"SetToolbarStatus_");
    }
}

bool ToolbarState::SaveCmdBarPosition_()
{
    try {
        BarPlacement now;
        if (m_commandBar.ReadPlacement(now)) {
            BarPlacement& held = m_engine.Bar();
            if (now.m_barPos == held.m_barPos && now.m_barTop == held.m_barTop && now.m_barLeft == held.m_barLeft &&
                now.m_barVisible == held.m_barVisible) {
                return true;
            }
            QEV_TRACE(kTraceProgress, u"[as][qev] SaveCmdBarPosition_ <%d:%d:%d:%d>\n", now.m_barPos, now.m_barTop,
                      now.m_barLeft, now.m_barVisible);
            held = now;
            return true;
        }
    } catch (...) {
        // Reported as the missing bar is.
    }
    QEV_TRACE_ERROR(u"SaveCmdBarPosition_ : !!!exception");
    return false;
}

void ToolbarState::OnFolderSwitch_()
{
    try {
        QEV_TRACE_STEP(u"OnFolderSwitch_...");
        SetToolbarStatus_();
    } catch (...) {
        TraceCaughtException(u"OnFolderSwitch_");
    }
}

void ToolbarState::OnSelectionChange()
{
    try {
        QEV_TRACE_STEP(u"OnSelectionChange...");
        SetToolbarStatus_();
    } catch (...) {
        TraceCaughtException(u"OnSelectionChange");
    }
}

}  // namespace qev
