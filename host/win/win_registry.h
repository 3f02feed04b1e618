// host::Registry over the Windows registry API. Errors are the system's, as
// HRESULTs (HRESULT_FROM_WIN32); RegView::Force64 asks for the 64-bit view
// (KEY_WOW64_64KEY).
#pragma once

#include "host/registry.h"

namespace host::win {

class WinRegistry final : public Registry {
public:
    HRESULT OpenKey(RegRoot root, std::u16string_view path, bool write, RegView view,
                    std::unique_ptr<RegistryKey>& out) override;
    HRESULT CreateKey(RegRoot root, std::u16string_view path, RegView view, std::unique_ptr<RegistryKey>& out) override;
    // A root itself is never deleted: E_INVALIDARG for an empty path.
    HRESULT DeleteTree(RegRoot root, std::u16string_view path, RegView view) override;
};

}  // namespace host::win
