// The names the add-in object answers on its one IDispatch, and their ids.
//
// Two dual interfaces meet on that IDispatch: IConnect (the engine's
// notifications, called by name from the engine's thread) and IRibbonCallback
// (Outlook's ribbon callbacks, called by the names in the ribbon markup). Each
// numbers its methods from 1 in its own type library entry, so the object-wide
// IDispatch gives every name an id of its own: the ribbon callbacks keep their
// ids 1 to 10, IConnect's methods answer as 0x101 and 0x102. A call through an
// interface's own vtable (IConnect::Invoke) still uses that interface's ids.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qev {

enum class DispatchTarget { Connect, Ribbon };

struct DispatchName {
    std::u16string_view name;
    std::int32_t objectId;     // on the object's IDispatch
    DispatchTarget target;
    std::int32_t interfaceId;  // in its own interface
};

inline constexpr DispatchName kDispatchNames[] = {
    {u"Ribbon_OnLoad", 1, DispatchTarget::Ribbon, 1},
    {u"Ribbon_OnAction", 2, DispatchTarget::Ribbon, 2},
    {u"Ribbon_OnGetVisible", 3, DispatchTarget::Ribbon, 3},
    {u"Ribbon_OnGetLabel", 4, DispatchTarget::Ribbon, 4},
    {u"Ribbon_OnGetSize", 5, DispatchTarget::Ribbon, 5},
    {u"Ribbon_OnGetScreentip", 6, DispatchTarget::Ribbon, 6},
    {u"Ribbon_OnGetSupertip", 7, DispatchTarget::Ribbon, 7},
    {u"Ribbon_OnGetImageMso", 8, DispatchTarget::Ribbon, 8},
    {u"Ribbon_OnGetImage", 9, DispatchTarget::Ribbon, 9},
    {u"Ribbon_OnGetEnabled", 10, DispatchTarget::Ribbon, 10},
    {u"SetServerStatus", 0x101, DispatchTarget::Connect, 1},
    {u"ImportSettings", 0x102, DispatchTarget::Connect, 2},
};

// The entry for a name, compared without case as GetIDsOfNames compares.
const DispatchName* FindDispatchName(std::u16string_view name) noexcept;

// The entry for an id of the object's IDispatch.
const DispatchName* FindDispatchId(std::int32_t objectId) noexcept;

}  // namespace qev
