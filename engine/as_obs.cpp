#include "engine/as_obs.h"

#include <new>

#include "engine/settings_stream.h"

namespace qev {

AsObs::AsObs(IAsClient* client, host::Apartment& apartment, std::uint32_t cookie)
    : m_client(client), m_apartment(apartment), m_cookie(cookie)
{
}

// Runs from the owner's deleter, which may not throw: the observer goes
// whatever the interface table answers.
void AsObs::Destroy()
{
    if (m_client) m_client->Unadvise(this);
    try {
        if (m_cookie != 0) m_apartment.Revoke(m_cookie);
    } catch (...) {
        // The table keeps the entry; nothing more can be done about it here.
    }
    delete this;
}

// The callbacks read the observer's members once, on entry: the add-in may
// destroy the observer (at shutdown) while a callback waits for the add-in's
// thread.

void AsObs::SetServerStatus(bool up)
{
    try {
        const auto call = m_apartment.Enter(m_cookie);
        if (!call) return;
        std::int32_t dispId = 0;
        if (!call->IdOfName(u"SetServerStatus", dispId)) return;
        call->Invoke(dispId, host::Variant::Boolean(up));
    } catch (...) {
        // A notification that cannot be delivered is dropped.
    }
}

void AsObs::OnImportSettings(const AsSettings* settings)
{
    try {
        host::Apartment& apartment = m_apartment;
        const auto call = apartment.Enter(m_cookie);
        if (!call || !settings) return;
        std::int32_t dispId = 0;
        if (!call->IdOfName(u"ImportSettings", dispId)) return;
        const auto bytes = PackSettings(*settings);
        host::Ref<host::Stream> stream = apartment.MemoryStream(bytes);
        if (!stream) return;
        call->Invoke(dispId, host::Variant::OfUnknown(std::move(stream)));
    } catch (...) {
        // A notification that cannot be delivered is dropped.
    }
}

std::int32_t AsObs::OnNotify(std::uint32_t, void*)
{
    return 0;
}

AsObs* CreateObserver(IAsClient* client, host::Apartment& apartment, host::Object* addin)
{
    if (!client || !addin) return nullptr;
    std::uint32_t cookie = 0;
    if (apartment.Register(addin, cookie) < 0) return nullptr;
    // Made without the client: one the client refuses is not the client's to
    // let go of, and goes with the registration alone.
    auto* observer = new (std::nothrow) AsObs(nullptr, apartment, cookie);
    if (!observer) {
        apartment.Revoke(cookie);
        return nullptr;
    }
    if (client->Advise(observer) != 0) {
        observer->Destroy();
        return nullptr;
    }
    observer->m_client = client;
    return observer;
}

}  // namespace qev
