// The add-in's observer of the engine client. The engine calls it on its own
// threads; it touches nothing of the add-in, but carries each notification to
// the add-in's thread as a late-bound call of IConnect, by name.
#pragma once

#include <cstdint>

#include "engine/as_client.h"
#include "host/apartment.h"
#include "host/object.h"

namespace qev {

class AsObs final : public IAsClientObs {
public:
    AsObs(IAsClient* client, host::Apartment& apartment, std::uint32_t cookie);

    // Unregisters from the client, revokes the add-in's registration, frees itself.
    void Destroy() override;
    void SetServerStatus(bool up) override;
    void OnImportSettings(const AsSettings* settings) override;
    std::int32_t OnNotify(std::uint32_t code, void* data) override;

private:
    friend AsObs* CreateObserver(IAsClient* client, host::Apartment& apartment, host::Object* addin);
    ~AsObs() = default;

    IAsClient* m_client;
    host::Apartment& m_apartment;
    std::uint32_t m_cookie;
};

// Registers the add-in in the apartment's table and the observer with the
// client; null when any step fails (the add-in then runs without notifications).
AsObs* CreateObserver(IAsClient* client, host::Apartment& apartment, host::Object* addin);

}  // namespace qev
