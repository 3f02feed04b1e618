// The building blocks of every host object over a COM object: the reference
// owner with its Query, the connection points of an event source and the COM
// sink object they call. Shared by the Outlook, mail, MAPI and account
// adapters.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <atomic>
#include <utility>
#include <vector>

#include "host/outlook.h"
#include "host/win/win_outlook.h"
#include "host/win/win_variant.h"

namespace host::win {

// A host object for iface over the COM object, when the object has the
// matching COM interface (QueryInterface); null otherwise. Never throws.
Object* QueryCom(IUnknown* object, Iface iface) noexcept;

// COM interfaces are released through their own Release, never deleted
// through a base pointer: their bases have no virtual destructor by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The COM object that a connection point calls: it answers IUnknown,
// IDispatch and its event interface, and hands each event's id and arguments
// to the add-in's sink. Drop() cuts it off from the sink, so that a source
// that still holds it after the subscription ended reaches nothing.
class SinkObject final : public IDispatch {
public:
    SinkObject(const IID& iid, EventSink* sink) noexcept : m_iid(iid), m_sink(sink) {}
    SinkObject(const SinkObject&) = delete;
    SinkObject& operator=(const SinkObject&) = delete;

    void Drop() noexcept { m_sink.store(nullptr); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_iid)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (result) VariantInit(result);
        EventSink* sink = m_sink.load();
        if (!sink) return S_OK;
        try {
            std::vector<Variant> args;
            if (params && params->rgvarg) {
                args.reserve(params->cArgs);
                // DISPPARAMS holds the arguments last to first.
                for (UINT i = params->cArgs; i > 0; --i) args.push_back(FromVariant(params->rgvarg[i - 1]));
            }
            sink->OnEvent(id, args);
        } catch (...) {
            // Nothing may escape into the source that fired the event.
        }
        return S_OK;
    }

private:
    ~SinkObject() = default;

    std::atomic<ULONG> m_refs{1};
    const IID m_iid;
    std::atomic<EventSink*> m_sink;
};

#pragma GCC diagnostic pop

// A host object over one COM object: one reference held, released at death.
// Query answers the interfaces the class names in Answers() with itself, and
// the others with a new wrapper when the COM object has the interface.
template <class Base>
class Wrapper : public Base, public ComIdentity {
public:
    explicit Wrapper(IUnknown* object) noexcept : m_object(ComPtr<IUnknown>::Share(object)) {}
    Wrapper(const Wrapper&) = delete;
    Wrapper& operator=(const Wrapper&) = delete;

    std::uint32_t AddRef() noexcept override { return ++m_refs; }
    std::uint32_t Release() noexcept override
    {
        const std::uint32_t refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }
    Object* Query(Iface iface) noexcept override
    {
        if (iface == Iface::Unknown || Answers(iface)) {
            AddRef();
            return static_cast<Base*>(this);
        }
        return QueryCom(m_object.Get(), iface);
    }
    IUnknown* ComUnknown() noexcept override { return m_object.Get(); }

protected:
    virtual ~Wrapper() = default;
    virtual bool Answers(Iface iface) const noexcept = 0;

private:
    std::atomic<std::uint32_t> m_refs{1};
    ComPtr<IUnknown> m_object;
};

// One subscription that a source wrapper made.
struct Subscription {
    EventInterface iface;
    DWORD cookie;
    ComPtr<SinkObject> sink;
};

// Connection points of the wrapped object. Subscriptions still open when the
// wrapper dies are ended then, so that the source never calls a sink whose
// subscriber is gone.
template <class Base>
class SourceWrapper : public Wrapper<Base> {
public:
    using Wrapper<Base>::Wrapper;

    std::uint32_t Advise(EventInterface iface, EventSink* sink) override
    {
        const ComPtr<IConnectionPoint> point = FindPoint(iface);
        auto sinkObject = ComPtr<SinkObject>::Adopt(new SinkObject(EventInterfaceId(iface), sink));
        DWORD cookie = 0;
        const HRESULT hr = point->Advise(static_cast<IDispatch*>(sinkObject.Get()), &cookie);
        if (FAILED(hr)) {
            sinkObject->Drop();
            throw ComError(hr);
        }
        m_subscriptions.push_back({iface, cookie, std::move(sinkObject)});
        return cookie;
    }

    void Unadvise(EventInterface iface, std::uint32_t cookie) override
    {
        // The sink is cut off first: whatever the source answers, the
        // subscriber may go away after this call.
        for (auto it = m_subscriptions.begin(); it != m_subscriptions.end(); ++it) {
            if (it->iface == iface && it->cookie == cookie) {
                it->sink->Drop();
                m_subscriptions.erase(it);
                break;
            }
        }
        const ComPtr<IConnectionPoint> point = FindPoint(iface);
        const HRESULT hr = point->Unadvise(cookie);
        if (FAILED(hr)) throw ComError(hr);
    }

protected:
    ~SourceWrapper() override
    {
        for (Subscription& subscription : m_subscriptions) {
            subscription.sink->Drop();
            try {
                FindPoint(subscription.iface)->Unadvise(subscription.cookie);
            } catch (...) {
                // The source is past answering; the sink is cut off all the same.
            }
        }
    }

private:
    ComPtr<IConnectionPoint> FindPoint(EventInterface iface)
    {
        ComPtr<IConnectionPointContainer> container;
        HRESULT hr = this->ComUnknown()->QueryInterface(IID_IConnectionPointContainer, container.OutVoid());
        if (FAILED(hr)) throw ComError(hr);
        ComPtr<IConnectionPoint> point;
        hr = container->FindConnectionPoint(EventInterfaceId(iface), point.Out());
        if (FAILED(hr)) throw ComError(hr);
        if (!point) throw ComError(E_POINTER);
        return point;
    }

    std::vector<Subscription> m_subscriptions;
};

// An automation value that should hold an object: its IUnknown with a
// reference for the caller. VT_UNKNOWN and VT_DISPATCH give their object (null
// stays null), VT_EMPTY and VT_NULL give null; any other type raises
// ComError(DISP_E_TYPEMISMATCH).
ComPtr<IUnknown> UnknownOf(const ComVariant& value);

}  // namespace host::win
