#include "addin/connect_object.h"

#include <array>

namespace qev {
namespace {

constexpr HRESULT kDispBadParamCount = static_cast<HRESULT>(0x8002000Eu);

bool EqualNoCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

}  // namespace

bool ConnectIdOfName(std::u16string_view name, std::int32_t& dispId)
{
    static constexpr std::array<std::pair<std::u16string_view, std::int32_t>, 2> kNames{{
        {u"SetServerStatus", kDispIdSetServerStatus},
        {u"ImportSettings", kDispIdImportSettings},
    }};
    for (const auto& [known, id] : kNames) {
        if (EqualNoCase(name, known)) {
            dispId = id;
            return true;
        }
    }
    return false;
}

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
    return ConnectIdOfName(name, dispId);
}

HRESULT ConnectObject::Invoke(std::int32_t dispId, std::span<const host::Variant> args)
{
    if (dispId != kDispIdSetServerStatus && dispId != kDispIdImportSettings) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 1) return kDispBadParamCount;
    return dispId == kDispIdSetServerStatus ? m_connect.SetServerStatus(args[0]) : m_connect.ImportSettings(args[0]);
}

}  // namespace qev
