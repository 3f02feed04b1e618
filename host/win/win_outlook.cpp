#include "host/win/win_outlook.h"

#include <atomic>
#include <vector>

#include "host/win/win_variant.h"

namespace host::win {
namespace {

// {0006304E-0000-0000-C000-000000000046} and its neighbours.
constexpr IID kApplicationEvents = {0x0006304E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kExplorerEvents = {0x0006304F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kItemsEvents = {0x00063077, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kCommandBarButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

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

Object* QueryCom(IUnknown* object, Iface iface) noexcept;

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

class WinUnknown final : public Wrapper<Object> {
public:
    using Wrapper::Wrapper;

private:
    bool Answers(Iface) const noexcept override { return false; }
};

class WinDispatch final : public Wrapper<Dispatch> {
public:
    explicit WinDispatch(IDispatch* object) noexcept : Wrapper(object), m_dispatch(object) {}

    bool IdOfName(std::u16string_view name, std::int32_t& dispId) override
    {
        try {
            dispId = DispIdOf(m_dispatch, name);
            return true;
        } catch (const ComError&) {
            return false;
        }
    }

    HRESULT Invoke(std::int32_t dispId, std::span<const Variant> args) override
    {
        try {
            std::vector<ComVariant> converted;
            converted.reserve(args.size());
            for (const Variant& arg : args) converted.emplace_back(ToVariant(arg));
            std::vector<VARIANT> plain;
            plain.reserve(converted.size());
            for (const ComVariant& arg : converted) plain.push_back(arg.Get());
            InvokeById(m_dispatch, dispId, DISPATCH_METHOD, plain);
            return S_OK;
        } catch (const ComError& error) {
            return error.Error();
        }
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::Dispatch; }

    IDispatch* m_dispatch;  // the wrapper's own reference
};

class WinStream final : public Wrapper<Stream> {
public:
    explicit WinStream(IStream* stream) noexcept : Wrapper(stream), m_stream(stream) {}

    std::uint64_t Size() override
    {
        STATSTG stat = {};
        const HRESULT hr = m_stream->Stat(&stat, STATFLAG_NONAME);
        if (FAILED(hr)) throw ComError(hr);
        return stat.cbSize.QuadPart;
    }

    std::uint32_t Read(void* buffer, std::uint32_t size) override
    {
        ULONG read = 0;
        const HRESULT hr = m_stream->Read(buffer, size, &read);
        if (FAILED(hr)) throw ComError(hr);
        return read;
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::Stream; }

    IStream* m_stream;  // the wrapper's own reference
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

class WinEventSource final : public SourceWrapper<EventSource> {
public:
    using SourceWrapper::SourceWrapper;

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::EventSource; }
};

class WinExplorer final : public SourceWrapper<Explorer> {
public:
    using SourceWrapper::SourceWrapper;

    Ref<Folder> CurrentFolder() override { throw ComError(E_NOTIMPL); }  // mail adapters not written yet
    Ref<Selection> GetSelection() override { throw ComError(E_NOTIMPL); }

private:
    bool Answers(Iface iface) const noexcept override
    {
        return iface == Iface::EventSource || iface == Iface::Explorer;
    }
};

class WinApplication final : public SourceWrapper<Application> {
public:
    explicit WinApplication(IDispatch* application) noexcept : SourceWrapper(application), m_application(application) {}

    std::u16string Version() override { return TextOf(GetProperty(m_application, u"Version")); }

    std::int32_t ExplorerCount() override { return Int32Of(GetProperty(Explorers().Get(), u"Count")); }

    Ref<Explorer> ExplorerItem(std::int32_t index) override
    {
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_I4;
        arg.lVal = index;
        const ComVariant item = InvokeByName(Explorers().Get(), u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                             std::span<const VARIANT>(&arg, 1));
        return WrapExplorer(DispatchOf(item).Get());
    }

    Ref<Namespace> GetNamespace(std::u16string_view) override { throw ComError(E_NOTIMPL); }  // not written yet

    Ref<Explorer> ActiveExplorer() override
    {
        return WrapExplorer(DispatchOf(GetProperty(m_application, u"ActiveExplorer")).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override
    {
        return iface == Iface::EventSource || iface == Iface::Application;
    }

    ComPtr<IDispatch> Explorers()
    {
        ComPtr<IDispatch> explorers = DispatchOf(GetProperty(m_application, u"Explorers"));
        if (!explorers) throw ComError(E_POINTER);
        return explorers;
    }

    IDispatch* m_application;  // the wrapper's own reference
};

Object* QueryCom(IUnknown* object, Iface iface) noexcept
{
    if (!object) return nullptr;
    try {
        switch (iface) {
            case Iface::Unknown:
                return new WinUnknown(object);
            case Iface::Dispatch: {
                ComPtr<IDispatch> dispatch;
                if (FAILED(object->QueryInterface(IID_IDispatch, dispatch.OutVoid()))) return nullptr;
                return new WinDispatch(dispatch.Get());
            }
            case Iface::Stream: {
                ComPtr<IStream> stream;
                if (FAILED(object->QueryInterface(IID_IStream, stream.OutVoid()))) return nullptr;
                return new WinStream(stream.Get());
            }
            case Iface::EventSource: {
                ComPtr<IConnectionPointContainer> container;
                if (FAILED(object->QueryInterface(IID_IConnectionPointContainer, container.OutVoid()))) return nullptr;
                return new WinEventSource(object);
            }
            case Iface::Application:
            case Iface::Explorer:
                return nullptr;
            default:
                // Outlook's mail objects and MAPI's: not wrapped yet.
                return nullptr;
        }
    } catch (...) {
        // Out of memory: no such interface, as far as the caller can tell.
    }
    return nullptr;
}

}  // namespace

const IID& EventInterfaceId(EventInterface iface) noexcept
{
    switch (iface) {
        case EventInterface::ApplicationEvents:
            return kApplicationEvents;
        case EventInterface::ExplorerEvents:
            return kExplorerEvents;
        case EventInterface::ItemsEvents:
            return kItemsEvents;
        case EventInterface::CommandBarButtonEvents:
            return kCommandBarButtonEvents;
    }
    return IID_NULL;
}

Ref<Application> WrapApplication(IDispatch* application)
{
    if (!application) return nullptr;
    return Ref<Application>::Adopt(new WinApplication(application));
}

Ref<Explorer> WrapExplorer(IDispatch* explorer)
{
    if (!explorer) return nullptr;
    return Ref<Explorer>::Adopt(new WinExplorer(explorer));
}

Ref<Object> WrapDispatch(IDispatch* object)
{
    if (!object) return nullptr;
    return Ref<Object>::Adopt(new WinDispatch(object));
}

Ref<Object> WrapUnknown(IUnknown* object)
{
    if (!object) return nullptr;
    return Ref<Object>::Adopt(new WinUnknown(object));
}

Ref<Stream> WrapStream(IStream* stream)
{
    if (!stream) return nullptr;
    return Ref<Stream>::Adopt(new WinStream(stream));
}

}  // namespace host::win
