#include "engine/crash_handler.h"

#include <memory>
#include <string>

#include "addin/module_folder.h"
#include "engine/crash_handler_abi.h"
#include "host/format.h"
#include "text/product_info.h"

namespace qev {
namespace {

// The folder of the product's AppPath, from its registry key; S_OK or the failure.
HRESULT CrashHandlerFolder(host::Registry& registry, const std::u16string& productKey, std::u16string& folder)
{
    std::unique_ptr<host::RegistryKey> key;
    const HRESULT opened = registry.OpenKey(host::RegRoot::LocalMachine, productKey, false, host::RegView::Default, key);
    if (opened < 0 || !key) return opened < 0 ? opened : E_FAIL;
    host::RegValue value;
    std::u16string appPath;
    if (key->QueryValue(u"AppPath", value) < 0 || value.type != host::kRegSz || !value.AsText(appPath) ||
        appPath.empty())
        return E_FAIL;
    const std::size_t slash = appPath.rfind(u'\\');
    if (slash == std::u16string::npos) return E_FAIL;
    folder = appPath.substr(0, slash);
    return S_OK;
}

}  // namespace

HRESULT LoadCrashHandler(host::Services& services)
{
    std::u16string settingsPath = JoinPath(ProductString(services.libraries, kStringProductFolder),
                                           kCrashHandlerSettingsFile);
    if (!services.system.PathExists(settingsPath)) settingsPath.clear();
    const std::u16string productKey = ProductString(services.libraries, kStringProductRegistryKey);

    std::u16string folder;
    if (const HRESULT hr = CrashHandlerFolder(services.registry, productKey, folder); hr < 0) return hr;

    const std::u16string libraryPath = Format(u"%s\\zkch.dll", folder);
    HRESULT error = E_FAIL;
    const host::LibraryHandle library = services.libraries.Load(libraryPath, false, &error);
    if (!library) return error;
    const auto enable =
        reinterpret_cast<EnableCrashHandlerFn>(services.libraries.Symbol(library, "EnableCrashHandler", &error));
    if (!enable) {
        services.libraries.Free(library);
        return error;
    }
    if (!settingsPath.empty()) {
        if (const auto setSettings = reinterpret_cast<SetSettingsFileFn>(
                services.libraries.Symbol(library, "SetSettingsFile", nullptr)))
            setSettings(settingsPath.c_str());
    }
    return enable(0, 0, 0);
}

}  // namespace qev
