#include "addin/native/connect_object.h"

#include "addin/dispatch_names.h"

namespace qev {
namespace {

constexpr HRESULT kDispBadParamCount = static_cast<HRESULT>(0x8002000Eu);

}  // namespace

ConnectObject::ConnectObject(host::Services& services) : m_connect(services, this) {}

std::uint32_t ConnectObject::AddRef() noexcept
{
    return ++m_refs;
}

std::uint32_t ConnectObject::Release() noexcept
{
    const std::uint32_t left = --m_refs;
    if (left == 0) delete this;
    return left;
}

host::Object* ConnectObject::Query(host::Iface iface) noexcept
{
    if (iface != host::Iface::Unknown && iface != host::Iface::Dispatch) return nullptr;
    AddRef();
    return this;
}

bool ConnectObject::IdOfName(std::u16string_view name, std::int32_t& dispId)
{
    const DispatchName* entry = FindDispatchName(name);
    if (!entry) return false;
    dispId = entry->objectId;
    return true;
}

HRESULT ConnectObject::Invoke(std::int32_t dispId, std::span<const host::Variant> args)
{
    const DispatchName* entry = FindDispatchId(dispId);
    if (!entry || entry->target != DispatchTarget::Connect) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 1) return kDispBadParamCount;
    return entry->interfaceId == 1 ? m_connect.SetServerStatus(args[0]) : m_connect.ImportSettings(args[0]);
}

}  // namespace qev
