#include "host/win/win_outlook.h"

#include <vector>

#include "host/win/win_accounts.h"
#include "host/win/win_mail.h"
#include "host/win/win_mapi.h"
#include "host/win/win_office.h"
#include "host/win/win_ribbon.h"
#include "host/win/win_xml.h"
#include "host/win/win_variant.h"
#include "host/win/win_wrapper.h"

namespace host::win {
namespace {

// {0006304E-0000-0000-C000-000000000046} and its neighbours.
constexpr IID kApplicationEvents = {0x0006304E, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kExplorerEvents = {0x0006304F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kItemsEvents = {0x00063077, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kCommandBarButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

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

    HRESULT GetProperty(std::u16string_view name, Variant& value) override
    {
        value = Variant{};
        try {
            value = FromVariant(win::GetProperty(m_dispatch, name).Get());
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

class WinEventSource final : public SourceWrapper<EventSource> {
public:
    using SourceWrapper::SourceWrapper;

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::EventSource; }
};

class WinExplorer final : public SourceWrapper<Explorer> {
public:
    explicit WinExplorer(IDispatch* explorer) noexcept : SourceWrapper(explorer), m_explorer(explorer) {}

    Ref<CommandBars> GetCommandBars() override
    {
        return WrapCommandBars(DispatchOf(GetProperty(m_explorer, u"CommandBars")).Get());
    }

    Ref<Folder> CurrentFolder() override
    {
        return WrapFolder(DispatchOf(GetProperty(m_explorer, u"CurrentFolder")).Get());
    }

    Ref<Selection> GetSelection() override
    {
        return WrapSelection(DispatchOf(GetProperty(m_explorer, u"Selection")).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override
    {
        return iface == Iface::EventSource || iface == Iface::Explorer;
    }

    IDispatch* m_explorer;  // the wrapper's own reference
};

class WinApplication final : public SourceWrapper<Application> {
public:
    explicit WinApplication(IDispatch* application) noexcept : SourceWrapper(application), m_application(application) {}

    std::u16string Version() override { return TextOf(GetProperty(m_application, u"Version")); }

    std::int32_t ExplorerCount() override { return Int32Of(GetProperty(Explorers().Get(), u"Count")); }

    Ref<Explorer> ExplorerItem(std::int32_t index) override
    {
        const VARIANT arg = Int32Argument(index);
        const ComVariant item = InvokeByName(Explorers().Get(), u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                             std::span<const VARIANT>(&arg, 1));
        return WrapExplorer(DispatchOf(item).Get());
    }

    Ref<Namespace> GetNamespace(std::u16string_view type) override
    {
        const Bstr text(type);
        const VARIANT arg = TextArgument(text);
        return WrapNamespace(
            DispatchOf(CallMethod(m_application, u"GetNamespace", std::span<const VARIANT>(&arg, 1))).Get());
    }

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

// The object's interface iid wrapped by wrap, with the QueryInterface's result.
template <class Interface, class Wrap>
HRESULT AnswerWith(IUnknown* object, const IID& iid, Object*& out, Wrap wrap)
{
    ComPtr<Interface> found;
    const HRESULT hr = object->QueryInterface(iid, found.OutVoid());
    if (FAILED(hr)) return hr;
    if (!found) return E_NOINTERFACE;
    out = wrap(found.Get());
    return S_OK;
}

// The same for a Wrap... function of win_mail.h / win_mapi.h / win_accounts.h.
template <class Interface, class Made>
HRESULT Answer(IUnknown* object, const IID& iid, Object*& out, Ref<Made> (*wrap)(Interface*))
{
    return AnswerWith<Interface>(object, iid, out,
                                 [wrap](Interface* found) -> Object* { return wrap(found).Detach(); });
}

}  // namespace

HRESULT QueryComResult(IUnknown* object, Iface iface, Object*& out) noexcept
{
    out = nullptr;
    if (!object) return E_POINTER;
    try {
        switch (iface) {
            case Iface::Unknown:
                out = new WinUnknown(object);
                return S_OK;
            case Iface::Dispatch:
                return AnswerWith<IDispatch>(object, IID_IDispatch, out,
                                             [](IDispatch* found) -> Object* { return new WinDispatch(found); });
            case Iface::Stream:
                return AnswerWith<IStream>(object, IID_IStream, out,
                                           [](IStream* found) -> Object* { return new WinStream(found); });
            case Iface::EventSource:
                return AnswerWith<IConnectionPointContainer>(
                    object, IID_IConnectionPointContainer, out,
                    [object](IConnectionPointContainer*) -> Object* { return new WinEventSource(object); });
            case Iface::Application:
            case Iface::Explorer:
                // Only the wrappers made for them answer these.
                return E_NOINTERFACE;
            // Office's ribbon objects and Outlook's inspector are dual
            // interfaces: the interface they give serves as their IDispatch.
            case Iface::RibbonUI:
                return Answer<IDispatch>(object, kIidRibbonUI, out, WrapRibbonUI);
            case Iface::RibbonControl:
                return Answer<IDispatch>(object, kIidRibbonControl, out, WrapRibbonControl);
            case Iface::Inspector:
                return Answer<IDispatch>(object, kIidInspector, out, WrapInspector);
            case Iface::XmlElement:
                return AnswerWith<IUnknown>(object, kIidXmlElement, out,
                                            [](IUnknown* found) -> Object* { return WrapXmlElement(found).Detach(); });
            // A document comes only from its class (WinComClasses); a picture
            // is handed back to COM as it is, never asked for.
            case Iface::XmlDocument:
            case Iface::Picture:
                return E_NOINTERFACE;
            // Outlook's mail objects are automation objects; a mail item is one
            // that gives _MailItem (a meeting request, say, does not).
            case Iface::Namespace:
                return Answer<IDispatch>(object, IID_IDispatch, out, WrapNamespace);
            case Iface::Folder:
                return Answer<IDispatch>(object, IID_IDispatch, out, WrapFolder);
            case Iface::Items:
                return Answer<IDispatch>(object, IID_IDispatch, out, WrapItems);
            case Iface::Selection:
                return Answer<IDispatch>(object, IID_IDispatch, out, WrapSelection);
            case Iface::MailItem:
                return Answer<IDispatch>(object, kIidMailItem, out, WrapMailItem);
            case Iface::MapiProp:
                return Answer<IMAPIProp>(object, kIidMapiProp, out, WrapMapiProp);
            case Iface::MsgStore:
                return Answer<IMsgStore>(object, kIidMsgStore, out, WrapMsgStore);
            case Iface::MapiFolder:
                return Answer<IMAPIFolder>(object, kIidMapiFolder, out, WrapMapiFolder);
            case Iface::MapiSession:
                return Answer<IMAPISession>(object, kIidMapiSession, out, WrapMapiSession);
            case Iface::AccountManager:
                return Answer<IOlkAccountManager>(object, kIidOlkAccountManager, out, WrapAccountManager);
            // A control is a button when it gives Office's _CommandBarButton
            // (a popup or a combo box does not). The bars and the controls
            // collection come only from properties that name their type, so,
            // like the mail objects, any automation object serves.
            case Iface::CommandBarButton:
                return Answer<IDispatch>(object, kIidCommandBarButton, out, WrapCommandBarButton);
            case Iface::CommandBars:
                return Answer<IDispatch>(object, IID_IDispatch, out, WrapCommandBars);
            case Iface::CommandBar:
                return Answer<IDispatch>(object, IID_IDispatch, out, WrapCommandBar);
            case Iface::CommandBarControls:
                return Answer<IDispatch>(object, IID_IDispatch, out, WrapCommandBarControls);
        }
    } catch (...) {
        out = nullptr;
        return E_OUTOFMEMORY;
    }
    return E_NOINTERFACE;
}

Object* QueryCom(IUnknown* object, Iface iface) noexcept
{
    Object* out = nullptr;
    QueryComResult(object, iface, out);
    return out;
}

void SinkLink::Deliver(DISPID id, const DISPPARAMS* params) noexcept
{
    EventSink* sink = m_sink.load();
    if (!sink) return;
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
}

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
