// The building blocks of every host object over a COM object: the reference
// owner with its Query, the connection points of an event source and the COM
// sink objects they call. Shared by the Outlook, mail, MAPI and account
// adapters.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <atomic>
#include <utility>
#include <vector>

#include "host/outlook.h"
#include "host/win/com_object.h"
#include "host/win/win_outlook.h"
#include "host/win/win_variant.h"

namespace host::win {

// A host object for iface over the COM object, when the object has the
// matching COM interface (QueryInterface); null otherwise. Never throws.
Object* QueryCom(IUnknown* object, Iface iface) noexcept;

// The same with the result of the COM object's QueryInterface: E_NOINTERFACE
// when it has no such interface, its own failure otherwise (a proxy whose
// server is gone, say); E_OUTOFMEMORY when the wrapper cannot be made. out
// is null unless S_OK.
HRESULT QueryComResult(IUnknown* object, Iface iface, Object*& out) noexcept;

// What a connection point calls: the event's id and arguments handed to the
// add-in's sink. Drop() cuts it off from the sink, so that a source that
// still holds the COM object after the subscription ended reaches nothing.
class SinkLink {
public:
    SinkLink(const IID& iid, EventSink* sink) noexcept : m_iid(iid), m_sink(sink) {}
    SinkLink(const SinkLink&) = delete;
    SinkLink& operator=(const SinkLink&) = delete;

    void Drop() noexcept { m_sink.store(nullptr); }
    const IID& Iid() const noexcept { return m_iid; }
    // Hands the event on; nothing may escape into the source that fired it.
    void Deliver(DISPID id, const DISPPARAMS* params) noexcept;

protected:
    ~SinkLink() = default;

private:
    const IID m_iid;
    std::atomic<EventSink*> m_sink;
};

// The COM face of a SinkLink: IUnknown, IDispatch and its event interface,
// with no type information and no names.
template <class Count>
class SinkObjectBase : public ComObject<Count, Row<IDispatch, IID_IDispatch>>, public SinkLink {
public:
    SinkObjectBase(const IID& iid, EventSink* sink) noexcept : SinkLink(iid, sink) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

private:
    void* QueryMore(REFIID iid) noexcept override
    {
        return IsEqualIID(iid, Iid()) ? static_cast<IDispatch*>(this) : nullptr;
    }
};

// The sink of the application's and the explorers' events: every event is
// answered S_OK.
class SinkObject final : public SinkObjectBase<AtomicCount> {
public:
    using SinkObjectBase::SinkObjectBase;

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (result) VariantInit(result);
        Deliver(id, params);
        return S_OK;
    }
};

// The sink of an inbox's item events. Outlook calls it on its user-interface
// thread only, so its count is plain. GetTypeInfo answers E_FAIL for the
// first index (DISP_E_BADINDEX beyond) and every event, handled or not,
// E_NOTIMPL, as Outlook's own item sinks answer.
class ItemsSinkObject final : public SinkObjectBase<PlainCount> {
public:
    using SinkObjectBase::SinkObjectBase;

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return index == 0 ? E_FAIL : DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (result) VariantInit(result);
        Deliver(id, params);
        return E_NOTIMPL;
    }
};

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
        Object* out = nullptr;
        QueryResult(iface, out);
        return out;
    }
    HRESULT QueryResult(Iface iface, Object*& out) noexcept override
    {
        if (iface == Iface::Unknown || Answers(iface)) {
            AddRef();
            out = static_cast<Base*>(this);
            return S_OK;
        }
        return QueryComResult(m_object.Get(), iface, out);
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
    ComPtr<IDispatch> object;
    SinkLink* link;  // the object's, alive while it is held
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
        const bool items = iface == EventInterface::ItemsEvents;
        ComPtr<IDispatch> object;
        SinkLink* link = nullptr;
        if (items) {
            auto made = Make<ItemsSinkObject>(EventInterfaceId(iface), sink);
            link = made.Get();
            object = ComPtr<IDispatch>::Adopt(made.Detach());
        } else {
            auto made = Make<SinkObject>(EventInterfaceId(iface), sink);
            link = made.Get();
            object = ComPtr<IDispatch>::Adopt(made.Detach());
        }
        // An inbox's subscription starts from Outlook's "no cookie" value.
        DWORD cookie = items ? 0xFEFEFEFE : 0;
        const HRESULT hr = point->Advise(object.Get(), &cookie);
        if (FAILED(hr)) {
            link->Drop();
            throw ComError(hr);
        }
        m_subscriptions.push_back({iface, cookie, std::move(object), link});
        return cookie;
    }

    void Unadvise(EventInterface iface, std::uint32_t cookie) override
    {
        // The sink is cut off first: whatever the source answers, the
        // subscriber may go away after this call.
        for (auto it = m_subscriptions.begin(); it != m_subscriptions.end(); ++it) {
            if (it->iface == iface && it->cookie == cookie) {
                it->link->Drop();
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
            subscription.link->Drop();
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

// The wrapper W over a non-null object, as the host interface Made; null
// stays null.
template <class Made, class W, class Interface>
Ref<Made> WrapAs(Interface* object)
{
    if (!object) return nullptr;
    return Ref<Made>::Adopt(new W(object));
}

// An automation value that should hold an object: its IUnknown with a
// reference for the caller. VT_UNKNOWN and VT_DISPATCH give their object (null
// stays null), VT_EMPTY and VT_NULL give null; any other type raises
// ComError(DISP_E_TYPEMISMATCH).
ComPtr<IUnknown> UnknownOf(const ComVariant& value);

}  // namespace host::win
