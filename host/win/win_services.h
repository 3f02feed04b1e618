// The add-in's platform on Windows, in one piece.
#pragma once

#include "host/services.h"

namespace host::win {

// The process-wide services: WinSystem (installed as host::Sys()),
// WinRegistry, WinLibraries, WinApartment, WinComClasses, WinDesktop and WinGraphics. Made on first use.
Services& WinServices();

}  // namespace host::win
