// host::Apartment over the COM global interface table: the add-in registers
// its IUnknown on its own thread; the engine's threads fetch it by cookie and
// call its IDispatch, which COM carries to the add-in's apartment.
#pragma once

#include "host/apartment.h"

namespace host::win {

// The add-in passes its COM identity to Register: a host object that
// implements host::win::ComIdentity (win_variant.h). Any other object is
// refused with E_NOINTERFACE.
class WinApartment final : public Apartment {
public:
    HRESULT Register(Object* addin, std::uint32_t& cookie) override;
    HRESULT Revoke(std::uint32_t cookie) override;
    // Initialises COM on the calling thread as a single-threaded apartment for
    // the life of the call (uninitialised at its end when that succeeded).
    std::unique_ptr<ForeignCall> Enter(std::uint32_t cookie) override;
    // A stream over global memory holding bytes, positioned at its start.
    Ref<Stream> MemoryStream(std::span<const std::uint8_t> bytes) override;
    // SetTimer without a window, with a timer procedure of qev.dll's.
    std::uint32_t StartTimer(std::uint32_t delayMs, std::function<void()> callback) override;
    void StopTimer(std::uint32_t id) noexcept override;
};

}  // namespace host::win
