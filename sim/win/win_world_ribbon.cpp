// The Windows runner's world, its ribbon: the statements carried to the
// simulated Outlook's ribbon (sim_ribbon.h) with the add-in object Outlook
// holds.
#include <iostream>

#include "sim/win/win_world.h"

namespace qev::sim::win {

World::MarkupAnswer WinWorld::RibbonMarkup(const std::string& ribbonId)
{
    return m_ribbon->Markup(m_addin.Get(), ribbonId);
}

std::uint32_t WinWorld::RibbonLoad(bool null)
{
    return m_ribbon->Load(m_addin.Get(), null);
}

World::CallbackAnswer WinWorld::RibbonCall(const std::string& callback, const std::string& controlId,
                                           RibbonContext context)
{
    return m_ribbon->Call(m_addin.Get(), callback, controlId, context);
}

void WinWorld::DrawRibbon(const std::wstring& file)
{
    const std::string failed = m_ribbon->Draw(m_addin.Get(), m_rightToLeft, file);
    if (!failed.empty()) std::cerr << "qev-sim.exe: picture: " << failed << "\n";
}

}  // namespace qev::sim::win
