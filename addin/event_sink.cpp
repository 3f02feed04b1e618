#include "addin/event_sink.h"

#include <utility>

namespace qev {

DispEventSink::DispEventSink(host::EventInterface iface, Handler handler)
    : m_iface(iface), m_handler(std::move(handler))
{
}

HRESULT DispEventSink::Advise(host::EventSource* source)
{
    if (!source) return E_POINTER;
    if (m_cookie != kNoCookie) throw SinkError(E_FAIL);
    m_cookie = source->Advise(m_iface, this);
    m_source = host::Ref<host::EventSource>::Share(source);
    return S_OK;
}

HRESULT DispEventSink::Unadvise()
{
    if (m_cookie == kNoCookie) return S_FALSE;
    const std::uint32_t cookie = std::exchange(m_cookie, kNoCookie);
    const host::Ref<host::EventSource> source = std::move(m_source);
    source->Unadvise(m_iface, cookie);
    return S_OK;
}

void DispEventSink::Detach() noexcept
{
    try {
        Unadvise();
    } catch (...) {
        // The source refused; the subscription is forgotten all the same.
    }
}

void DispEventSink::OnEvent(std::int32_t dispId, std::span<const host::Variant> args)
{
    if (m_handler) m_handler(dispId, args);
}

}  // namespace qev
