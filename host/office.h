// Office's objects the add-in's user interface uses.
#pragma once

#include "host/object.h"

namespace host {

// The ribbon as Outlook hands it to the add-in when the add-in's tab loads
// (IRibbonUI).
class RibbonUI : public Object {
public:
    static constexpr Iface kIface = Iface::RibbonUI;

    // Has Outlook ask every callback of the add-in's tab again; throws ComError.
    virtual void Invalidate() = 0;

protected:
    ~RibbonUI() = default;
};

}  // namespace host
