#include "host/win/win_services.h"

#include "host/win/win_accounts.h"
#include "host/win/win_apartment.h"
#include "host/win/win_desktop.h"
#include "host/win/win_graphics.h"
#include "host/win/win_libraries.h"
#include "host/win/win_registry.h"
#include "host/win/win_system.h"

namespace host::win {

Services& WinServices()
{
    static WinRegistry registry;
    static WinLibraries libraries;
    static WinApartment apartment;
    static WinComClasses classes;
    static WinDesktop desktop;
    static WinGraphics graphics;
    static Services services{InstallWinSystem(), registry, libraries, apartment, classes, desktop, graphics};
    return services;
}

}  // namespace host::win
