// Whether the catch-up pass is on: a setting of the add-in's own, off unless
// the user or the administrator turns it on.
#pragma once

#include "host/registry.h"

namespace qev {

// The machine's policy key (HKLM) and the add-in's own key (HKCU, and HKLM for
// a per-machine installation), and the value in each.
inline constexpr char16_t kCatchUpPolicyKey[] = u"Software\\Policies\\Marlowcrest\\qev";
inline constexpr char16_t kCatchUpKey[] = u"Software\\Marlowcrest\\qev";
inline constexpr char16_t kCatchUpValue[] = u"CatchUp";

// REG_DWORD "CatchUp", non-zero for on, read in this order, the first one
// found deciding: the machine's policy (HKLM\Software\Policies\Marlowcrest\qev),
// the user's value (HKCU\Software\Marlowcrest\qev), the machine's value that a
// per-machine installation writes (HKLM\Software\Marlowcrest\qev). Off when
// none is set; a value of another type counts as not set.
bool CatchUpSettingOn(host::Registry& registry);

}  // namespace qev
