// The ribbon tab of Outlook 2010 and later: its element table, callbacks,
// markup and pictures. Outlook hands over its ribbon object when the tab
// loads; the add-in keeps it to have the tab asked again when its state
// changes.
#pragma once

#include "host/object.h"

namespace qev {

// Not built yet: nothing hands the ribbon object over so far.
class Ribbon {
public:
    bool Held() const noexcept { return static_cast<bool>(m_pRibbonUI); }
    void Release() noexcept { m_pRibbonUI.Reset(); }

private:
    host::Ref<host::Object> m_pRibbonUI;
};

}  // namespace qev
