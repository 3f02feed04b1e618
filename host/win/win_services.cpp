#include "host/win/win_services.h"

#include "host/win/win_apartment.h"
#include "host/win/win_libraries.h"
#include "host/win/win_registry.h"
#include "host/win/win_system.h"

namespace host::win {
namespace {

// The account manager's adapter is not written yet.
class PendingComClasses final : public ComClasses {
public:
    HRESULT CreateAccountManager(Ref<AccountManager>& out) override
    {
        out = nullptr;
        return E_NOTIMPL;
    }
};

}  // namespace

Services& WinServices()
{
    static WinRegistry registry;
    static WinLibraries libraries;
    static WinApartment apartment;
    static PendingComClasses classes;
    static Services services{InstallWinSystem(), registry, libraries, apartment, classes};
    return services;
}

}  // namespace host::win
