// Which commands are enabled, from the engine's state, the selection and the
// current folder: on the command bar its buttons, with the ribbon three flags
// that the ribbon's callbacks read, and the ribbon asked again. And where the
// command bar sits, kept from one run of Outlook to the next.
#pragma once

#include "addin/critical_section.h"
#include "cmdbar/command_bar.h"
#include "engine/engine_link.h"
#include "host/outlook.h"
#include "ribbon/ribbon.h"

namespace qev {

class ToolbarState {
public:
    // application is the add-in's reference to Outlook; buttonLock guards the
    // buttons while they are built or updated.
    ToolbarState(EngineLink& engine, const host::Ref<host::Application>& application, CriticalSection& buttonLock,
                 CommandBar& commandBar, Ribbon& ribbon) noexcept
        : m_engine(engine),
          m_pApplication(application),
          m_csButtons(buttonLock),
          m_commandBar(commandBar),
          m_ribbon(ribbon)
    {
    }

    // Recomputes the enabled state and applies it. Never raises.
    void SetToolbarStatus_();
    // Takes the command bar's placement into the engine link's values; false
    // (after an error line) when there is no bar or a read fails.
    bool SaveCmdBarPosition_();
    // The explorer's events.
    void OnFolderSwitch_();
    void OnSelectionChange();

    // The ribbon's copies of the state, written on the ribbon path only.
    bool MailSelected() const noexcept { return m_ribbon.MailSelected(); }
    bool SpamFolder() const noexcept { return m_ribbon.SpamFolder(); }
    bool AntispamReady() const noexcept { return m_ribbon.AntispamReady(); }

private:
    EngineLink& m_engine;
    const host::Ref<host::Application>& m_pApplication;
    CriticalSection& m_csButtons;
    CommandBar& m_commandBar;
    Ribbon& m_ribbon;
};

}  // namespace qev
