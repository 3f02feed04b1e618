// The add-in's own thread as other threads reach it. On Windows: the global
// interface table and late-bound calls that COM carries to the add-in's
// apartment; in the in-memory world: a queue that the add-in's thread runs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "host/hresult.h"
#include "host/object.h"
#include "host/variant.h"

namespace host {

// One call into the add-in from another thread. While it lives, the calling
// thread is set up for COM (initialised as a single-threaded apartment).
class ForeignCall {
public:
    virtual ~ForeignCall() = default;
    // GetIDsOfNames on the add-in's IDispatch.
    virtual bool IdOfName(std::u16string_view name, std::int32_t& dispId) = 0;
    // Invokes the method on the add-in's thread and waits for its result.
    virtual HRESULT Invoke(std::int32_t dispId, const Variant& arg) = 0;
};

class Apartment {
public:
    // On the add-in's thread: registers the add-in's IUnknown; returns a cookie.
    virtual HRESULT Register(Object* addin, std::uint32_t& cookie) = 0;
    virtual HRESULT Revoke(std::uint32_t cookie) = 0;

    // On any thread: prepares a call to the object registered under cookie
    // (COM initialised on this thread, the object fetched from the table and
    // asked for IDispatch). Null when any step fails.
    virtual std::unique_ptr<ForeignCall> Enter(std::uint32_t cookie) = 0;

    // A stream in memory holding bytes (CreateStreamOnHGlobal); null on failure.
    virtual Ref<Stream> MemoryStream(std::span<const std::uint8_t> bytes) = 0;

    // On the add-in's thread: runs callback once, from that thread's message
    // loop, when delayMs have passed (SetTimer with a timer procedure), so
    // that work split into pieces lets Outlook's own messages in between.
    // Returns the timer's id, 0 when none could be set.
    virtual std::uint32_t StartTimer(std::uint32_t delayMs, std::function<void()> callback) = 0;
    // Cancels a timer that has not run yet; an id of 0 or of a timer that ran
    // does nothing.
    virtual void StopTimer(std::uint32_t id) noexcept = 0;

protected:
    ~Apartment() = default;
};

}  // namespace host
