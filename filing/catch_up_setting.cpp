#include "filing/catch_up_setting.h"

#include <memory>

namespace qev {

bool CatchUpSettingOn(host::Registry& registry)
{
    struct Place {
        host::RegRoot root;
        const char16_t* path;
    };
    static constexpr Place kPlaces[] = {
        {host::RegRoot::LocalMachine, kCatchUpPolicyKey},
        {host::RegRoot::CurrentUser, kCatchUpKey},
        {host::RegRoot::LocalMachine, kCatchUpKey},
    };
    for (const Place& place : kPlaces) {
        std::unique_ptr<host::RegistryKey> key;
        if (FAILED(registry.OpenKey(place.root, place.path, false, host::RegView::Default, key)) || !key) continue;
        host::RegValue value;
        std::uint32_t on = 0;
        if (SUCCEEDED(key->QueryValue(kCatchUpValue, value)) && value.AsDword(on)) return on != 0;
    }
    return false;
}

}  // namespace qev
