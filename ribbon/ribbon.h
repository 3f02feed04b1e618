// The ribbon tab of Outlook 2010 and later: its element table, callbacks,
// markup and pictures. Outlook hands over its ribbon object when the tab
// loads; the add-in keeps it to have the tab asked again when its state
// changes.
#pragma once

#include "host/office.h"

namespace qev {

// Not built yet: nothing hands the ribbon object over so far.
class Ribbon {
public:
    // The ribbon object, or null while Outlook has handed none over.
    host::RibbonUI* RibbonUI() const noexcept { return m_pRibbonUI.Get(); }
    void Release() noexcept { m_pRibbonUI.Reset(); }

private:
    host::Ref<host::RibbonUI> m_pRibbonUI;
};

}  // namespace qev
