// The engine's notifications, as they arrive on the add-in's thread through
// IConnect.
#include <cstdint>
#include <span>
#include <vector>

#include "addin/connect.h"
#include "addin/trace.h"
#include "engine/settings_stream.h"

namespace qev {
namespace {

// A settings stream is 48 bytes; a stream that claims more than this is not even read.
constexpr std::uint64_t kMaxSettingsStreamBytes = 16u << 20;

}  // namespace

HRESULT CConnect::SetServerStatus(const host::Variant& up)
{
    try {
        if (up.type == host::Variant::Type::Bool) SetServerStatus_(up.boolValue == host::kVariantTrue);
    } catch (...) {
        TraceCaughtException(u"SetServerStatus");
    }
    return S_OK;
}

HRESULT CConnect::ImportSettings(const host::Variant& settings)
{
    try {
        if (settings.type != host::Variant::Type::Unknown || !settings.object) return S_OK;
        const host::Ref<host::Stream> stream = host::QueryAs<host::Stream>(settings.object.Get());
        if (!stream) return S_OK;
        const std::uint64_t size = stream->Size();
        // An empty stream has nothing to read (and a marshalled Read refuses
        // the null buffer an empty allocation gives).
        if (size == 0 || size > kMaxSettingsStreamBytes) return S_OK;
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size), 0);
        const std::uint32_t read = stream->Read(bytes.data(), static_cast<std::uint32_t>(size));
        if (read == kSettingsStreamBytes && bytes.size() >= kSettingsStreamBytes) {
            const AsSettings imported =
                UnpackSettings(std::span<const std::uint8_t, kSettingsStreamBytes>(bytes.data(), kSettingsStreamBytes));
            m_fAntispamOn = AntispamOnFrom(imported);
            SetToolbarStatus_();
        }
    } catch (...) {
        TraceCaughtException(u"ImportSettings");
    }
    return S_OK;
}

void CConnect::SetServerStatus_(bool up)
{
    QEV_TRACE(kTraceProgress, u"[as][qev] SetServerStatus_<%d>...\n", up ? 1 : 0);
    m_fServerStatus = up;
    SetToolbarStatus_();
}

}  // namespace qev
