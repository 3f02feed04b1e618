// One subscription of the add-in to a host object's events.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>

#include "host/hresult.h"
#include "host/outlook.h"

namespace qev {

// The cookie of a sink that is not subscribed.
inline constexpr std::uint32_t kNoCookie = 0xFEFEFEFE;

// Raised when a subscribed sink is subscribed again. It is not a ComError,
// so the handler around the subscription reports an unknown exception.
class SinkError : public std::runtime_error {
public:
    explicit SinkError(HRESULT hr) : std::runtime_error("event sink already subscribed"), m_hr(hr) {}
    HRESULT Error() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

class DispEventSink final : public host::EventSink {
public:
    using Handler = std::function<void(std::int32_t dispId, std::span<const host::Variant> args)>;

    DispEventSink(host::EventInterface iface, Handler handler);

    // Subscribes to source's connection point for this sink's interface.
    // A null source gives E_POINTER and raises nothing; a sink that is already
    // subscribed raises SinkError(E_FAIL); the source's refusal raises ComError.
    HRESULT Advise(host::EventSource* source);
    // Ends the subscription through the source it was made with (which the
    // sink keeps while subscribed, so that it can be ended even after the
    // add-in let go of that object) and resets the cookie. A sink that is not
    // subscribed gives S_FALSE and calls nothing. The source's refusal raises
    // ComError (the cookie is reset all the same).
    HRESULT Unadvise();

    // Unadvise, quietly: for an add-in object that goes away while Outlook
    // still holds its sink (unloaded without a Quit).
    void Detach() noexcept;

    bool Subscribed() const noexcept { return m_cookie != kNoCookie; }
    std::uint32_t Cookie() const noexcept { return m_cookie; }

    void OnEvent(std::int32_t dispId, std::span<const host::Variant> args) override;

private:
    host::EventInterface m_iface;
    Handler m_handler;
    std::uint32_t m_cookie = kNoCookie;
    // The source of the subscription, kept so that it can always be ended.
    host::Ref<host::EventSource> m_source;
};

}  // namespace qev
