// The engine link's life after loading: the observer, the engine's
// notifications, and letting the engine go at shutdown.
#include "engine/engine_link.h"

#include <span>
#include <vector>

#include "engine/as_obs.h"
#include "engine/settings_stream.h"
#include "host/com_error.h"

namespace qev {
namespace {

// A settings stream is 48 bytes; a stream that claims more than this is not even read.
constexpr std::uint64_t kMaxSettingsStreamBytes = 16u << 20;

}  // namespace

void EngineLink::LibraryOwner::Reset(host::LibraryHandle handle) noexcept
{
    if (m_handle) m_libraries.Free(m_handle);
    m_handle = handle;
}

void EngineLink::DestroyObserver_::operator()(AsObs* observer) const noexcept
{
    observer->Destroy();
}

EngineLink::EngineLink(host::Services& services) : m_services(services), m_hAsClientDll(services.libraries)
{
    m_asOptions.f[0] = sizeof(AsOptions);
}

EngineLink::~EngineLink()
{
    try {
        EndObserver();
        ReleaseClient();
    } catch (...) {
        // The engine is past answering; what is held is let go all the same.
    }
}

void EngineLink::StartObserver(host::Object* identity)
{
    if (m_asClient) m_asObs.reset(CreateObserver(m_asClient.get(), m_services.apartment, identity));
}

void EngineLink::EndObserver()
{
    m_asObs.reset();
}

void EngineLink::StoreBarValuesAndShutdown()
{
    if (!m_asClient) return;
    m_asClient->SetValue(u"BarPos", m_bar.m_barPos, true);
    m_asClient->SetValue(u"BarTop", m_bar.m_barTop, true);
    m_asClient->SetValue(u"BarLeft", m_bar.m_barLeft, true);
    m_asClient->SetValue(u"BarVisible", m_bar.m_barVisible, true);
    m_asClient->Shutdown();
}

void EngineLink::ReleaseClient()
{
    m_asClient.reset();
    m_hAsClientDll.Reset();
    m_pfnAsCreateInstance = nullptr;
}

void EngineLink::RereadOptions()
{
    if (m_asClient) m_asClient->GetOptions(&m_asOptions);
}

bool EngineLink::ImportSettings(const host::Variant& settings)
{
    if (settings.type != host::Variant::Type::Unknown || !settings.object) return false;
    host::Ref<host::Stream> stream;
    if (FAILED(host::QueryAs(settings.object.Get(), stream))) return false;
    std::uint64_t size = 0;
    if (FAILED(host::HrOf([&] { size = stream->Size(); }))) return false;
    // An empty stream has nothing to read (and a marshalled Read refuses the
    // null buffer an empty allocation gives).
    if (size == 0 || size > kMaxSettingsStreamBytes) return false;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size), 0);
    std::uint32_t read = 0;
    if (FAILED(host::HrOf([&] { read = stream->Read(bytes.data(), static_cast<std::uint32_t>(size)); }))) return false;
    if (read != kSettingsStreamBytes || bytes.size() < kSettingsStreamBytes) return false;
    const AsSettings imported =
        UnpackSettings(std::span<const std::uint8_t, kSettingsStreamBytes>(bytes.data(), kSettingsStreamBytes));
    m_fAntispamOn = AntispamOnFrom(imported);
    return true;
}

}  // namespace qev
