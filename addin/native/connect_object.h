// The add-in object as the native world knows it: a reference-counted
// dispatch object that owns CConnect and answers the late-bound names the
// engine's notifications use. (The Windows build's COM object plays this part
// in qev.dll.)
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "addin/connect.h"
#include "host/outlook.h"

namespace qev {

class ConnectObject final : public host::Dispatch {
public:
    // Created with one reference, owned by the caller.
    explicit ConnectObject(host::Services& services);

    CConnect& Connect() noexcept { return m_connect; }

    std::uint32_t AddRef() noexcept override;
    std::uint32_t Release() noexcept override;
    host::Object* Query(host::Iface iface) noexcept override;
    bool IdOfName(std::u16string_view name, std::int32_t& dispId) override;
    // The ids of addin/dispatch_names.h. DISP_E_MEMBERNOTFOUND for an unknown
    // id (and, so far, the ribbon's), DISP_E_BADPARAMCOUNT without exactly one argument.
    HRESULT Invoke(std::int32_t dispId, std::span<const host::Variant> args) override;

private:
    ~ConnectObject() = default;

    std::atomic<std::uint32_t> m_refs{1};
    CConnect m_connect;
};

}  // namespace qev
