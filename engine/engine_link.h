// The add-in's link to the product's antispam engine: the client library
// beside the add-in, the client it makes, the observer that carries the
// engine's notifications, and the engine state the add-in mirrors (server
// status, antispam switch, options, the command bar's stored placement).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/as_client.h"
#include "host/libraries.h"
#include "host/object.h"
#include "host/services.h"
#include "host/variant.h"

namespace qev {

class AsObs;

// The command bar's placement as the engine's value store keeps it.
struct BarPlacement {
    std::uint32_t m_barPos = 1;
    std::uint32_t m_barTop = 50;
    std::uint32_t m_barLeft = 0;
    std::uint32_t m_barVisible = 1;
};

class EngineLink {
public:
    explicit EngineLink(host::Services& services);
    // Ends the observer and lets the client and its library go, silently: for
    // an add-in that Outlook lets go without shutting it down.
    ~EngineLink();
    EngineLink(const EngineLink&) = delete;
    EngineLink& operator=(const EngineLink&) = delete;

    // Puts the engine state back to what it is before the engine answered.
    void ResetState();
    // Loads the client library from the add-in's folder, creates the client
    // and reads the engine's settings, status, options and stored values.
    // False, with nothing held, when there is no client.
    bool Load();

    // Registers the add-in (identity, as COM knows it) for the engine's
    // notifications; without a client, or when a step fails, the add-in runs
    // without them.
    void StartObserver(host::Object* identity);
    // Unregisters the observer; nothing when there is none.
    void EndObserver();
    // Writes the command bar's placement into the engine's value store and
    // shuts the engine down; nothing without a client.
    void StoreBarValuesAndShutdown();
    // Releases the client, then frees its library.
    void ReleaseClient();

    // Reads the engine's options again (after its settings window closed).
    void RereadOptions();

    // The engine's notifications, as IConnect delivers them.
    void SetServerStatus(bool up) noexcept { m_fServerStatus = up; }
    // A settings stream of exactly 48 bytes sets the antispam switch (true);
    // any other value, and a stream that cannot be read, is ignored silently.
    bool ImportSettings(const host::Variant& settings);

    bool ServerStatus() const noexcept { return m_fServerStatus; }
    bool AntispamOn() const noexcept { return m_fAntispamOn; }
    const AsOptions& Options() const noexcept { return m_asOptions; }
    BarPlacement& Bar() noexcept { return m_bar; }
    const BarPlacement& Bar() const noexcept { return m_bar; }
    // The client, for the commands that hand it mail; null without one.
    IAsClient* Client() const noexcept { return m_asClient.get(); }
    bool HasObserver() const noexcept { return m_asObs != nullptr; }
    const std::u16string& AsClientPath() const noexcept { return m_strAsClientPath; }

private:
    // The client library: freed when the owner lets it go.
    class LibraryOwner {
    public:
        explicit LibraryOwner(host::Libraries& libraries) noexcept : m_libraries(libraries) {}
        ~LibraryOwner() { Reset(); }
        LibraryOwner(const LibraryOwner&) = delete;
        LibraryOwner& operator=(const LibraryOwner&) = delete;
        void Reset(host::LibraryHandle handle = nullptr) noexcept;
        host::LibraryHandle Get() const noexcept { return m_handle; }

    private:
        host::Libraries& m_libraries;
        host::LibraryHandle m_handle = nullptr;
    };
    // The client and the observer die through their own slots.
    struct ReleaseClient_ {
        void operator()(IAsClient* client) const noexcept { client->Release(); }
    };
    struct DestroyObserver_ {
        void operator()(AsObs* observer) const noexcept;
    };

    host::Services& m_services;

    // Declared in the order they are made: the observer goes before the
    // client, the client before its library.
    LibraryOwner m_hAsClientDll;
    AsCreateInstanceFn m_pfnAsCreateInstance = nullptr;
    std::unique_ptr<IAsClient, ReleaseClient_> m_asClient;
    std::unique_ptr<AsObs, DestroyObserver_> m_asObs;
    std::u16string m_strAsClientPath;

    bool m_fServerStatus = false;
    bool m_fAntispamOn = true;
    AsOptions m_asOptions{};
    BarPlacement m_bar;
};

}  // namespace qev
