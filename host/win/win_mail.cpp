#include "host/win/win_mail.h"

#include "host/ole_date.h"
#include "host/win/win_wrapper.h"

namespace host::win {
namespace {

// An object result as the host object for any COM object (Query answers the
// rest); null stays null.
Ref<Object> ObjectOf(const ComVariant& value)
{
    const ComPtr<IUnknown> unknown = UnknownOf(value);
    return WrapUnknown(unknown.Get());
}

class WinNamespace final : public Wrapper<Namespace> {
public:
    explicit WinNamespace(IDispatch* nameSpace) noexcept : Wrapper(nameSpace), m_namespace(nameSpace) {}

    // Outlook gives the profile's IMAPISession as a VT_UNKNOWN.
    Ref<Object> MapiObject() override { return ObjectOf(GetProperty(m_namespace, u"MAPIOBJECT")); }

    Ref<Folder> GetFolderFromID(std::u16string_view entryIdHex, std::u16string_view storeIdHex) override
    {
        const Bstr entryId(entryIdHex);
        const Bstr storeId(storeIdHex);
        // EntryIDFolder as a string, EntryIDStore as a VARIANT holding one.
        const VARIANT args[] = {TextArgument(entryId), TextArgument(storeId)};
        return WrapFolder(DispatchOf(CallMethod(m_namespace, u"GetFolderFromID", args)).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::Namespace; }

    IDispatch* m_namespace;  // the wrapper's own reference
};

class WinFolder final : public Wrapper<Folder> {
public:
    explicit WinFolder(IDispatch* folder) noexcept : Wrapper(folder), m_folder(folder) {}

    std::int32_t Class() override { return Int32Of(GetProperty(m_folder, u"Class")); }
    std::int32_t DefaultItemType() override { return Int32Of(GetProperty(m_folder, u"DefaultItemType")); }
    Ref<Items> GetItems() override { return WrapItems(DispatchOf(GetProperty(m_folder, u"Items")).Get()); }
    std::u16string Name() override { return TextOf(GetProperty(m_folder, u"Name")); }
    std::u16string EntryID() override { return TextOf(GetProperty(m_folder, u"EntryID")); }
    Ref<Object> MapiObject() override { return ObjectOf(GetProperty(m_folder, u"MAPIOBJECT")); }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::Folder; }

    IDispatch* m_folder;  // the wrapper's own reference
};

class WinItems final : public SourceWrapper<Items> {
public:
    explicit WinItems(IDispatch* items) noexcept : SourceWrapper(items), m_items(items) {}

    std::int32_t Count() override { return Int32Of(GetProperty(m_items, u"Count")); }

    Ref<Object> Item(std::int32_t index) override
    {
        const VARIANT arg = Int32Argument(index);
        const ComVariant item = InvokeByName(m_items, u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                             std::span<const VARIANT>(&arg, 1));
        return WrapDispatch(DispatchOf(item).Get());
    }

    Ref<Items> Restrict(std::u16string_view filter) override
    {
        const Bstr text(filter);
        const VARIANT arg = TextArgument(text);
        return WrapItems(DispatchOf(CallMethod(m_items, u"Restrict", std::span<const VARIANT>(&arg, 1))).Get());
    }

    void Sort(std::u16string_view property, bool descending) override
    {
        const Bstr text(property);
        const VARIANT args[] = {TextArgument(text), BoolArgument(descending)};
        CallMethod(m_items, u"Sort", args);
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::Items || iface == Iface::EventSource; }

    IDispatch* m_items;  // the wrapper's own reference
};

class WinMailItem final : public Wrapper<MailItem> {
public:
    explicit WinMailItem(IDispatch* item) noexcept : Wrapper(item), m_item(item) {}

    // Outlook gives the message's IMessage as a VT_UNKNOWN.
    Ref<Object> MapiObject() override { return ObjectOf(GetProperty(m_item, u"MAPIOBJECT")); }

    Variant UnRead() override { return FromVariant(GetProperty(m_item, u"UnRead").Get()); }

    void SetUnRead(bool unread) override
    {
        const VARIANT arg = BoolArgument(unread);
        InvokeByName(m_item, u"UnRead", DISPATCH_PROPERTYPUT, std::span<const VARIANT>(&arg, 1));
    }

    Ref<Object> Move(Folder* destination) override
    {
        IUnknown* folder = destination ? ComUnknownOf(destination) : nullptr;
        if (!folder) throw ComError(destination ? DISP_E_TYPEMISMATCH : E_POINTER);
        ComPtr<IDispatch> dispatch;
        const HRESULT hr = folder->QueryInterface(IID_IDispatch, dispatch.OutVoid());
        if (FAILED(hr)) throw ComError(hr);
        const VARIANT arg = DispatchArgument(dispatch.Get());
        // The moved item (Outlook's own object for it in the destination).
        return ObjectOf(CallMethod(m_item, u"Move", std::span<const VARIANT>(&arg, 1)));
    }

    std::u16string HtmlBody() override { return TextOf(GetProperty(m_item, u"HTMLBody")); }
    std::u16string EntryID() override { return TextOf(GetProperty(m_item, u"EntryID")); }

    std::optional<double> ReceivedTime() override
    {
        const ComVariant value = GetProperty(m_item, u"ReceivedTime");
        if (value.Get().vt != VT_DATE) throw ComError(DISP_E_TYPEMISMATCH);
        // Outlook answers 1/1/4501 for an item that has none.
        if (value.Get().date >= kOleDateNone) return std::nullopt;
        return value.Get().date;
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::MailItem; }

    IDispatch* m_item;  // the wrapper's own reference
};

class WinSelection final : public Wrapper<Selection> {
public:
    explicit WinSelection(IDispatch* selection) noexcept : Wrapper(selection), m_selection(selection) {}

    std::int32_t Count() override { return Int32Of(GetProperty(m_selection, u"Count")); }

    Ref<Object> Item(std::int32_t index) override
    {
        // Outlook takes the index of Selection.Item as a VT_INT.
        const VARIANT arg = IntArgument(index);
        const ComVariant item = InvokeByName(m_selection, u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                             std::span<const VARIANT>(&arg, 1));
        return WrapDispatch(DispatchOf(item).Get());
    }

private:
    bool Answers(Iface iface) const noexcept override { return iface == Iface::Selection; }

    IDispatch* m_selection;  // the wrapper's own reference
};

}  // namespace

ComPtr<IUnknown> UnknownOf(const ComVariant& value)
{
    const VARIANT& v = value.Get();
    switch (v.vt) {
        case VT_UNKNOWN:
            return ComPtr<IUnknown>::Share(v.punkVal);
        case VT_DISPATCH:
            return ComPtr<IUnknown>::Share(v.pdispVal);
        case VT_EMPTY:
        case VT_NULL:
            return nullptr;
        default:
            throw ComError(DISP_E_TYPEMISMATCH);
    }
}

Ref<Namespace> WrapNamespace(IDispatch* nameSpace)
{
    if (!nameSpace) return nullptr;
    return Ref<Namespace>::Adopt(new WinNamespace(nameSpace));
}

Ref<Folder> WrapFolder(IDispatch* folder)
{
    if (!folder) return nullptr;
    return Ref<Folder>::Adopt(new WinFolder(folder));
}

Ref<Items> WrapItems(IDispatch* items)
{
    if (!items) return nullptr;
    return Ref<Items>::Adopt(new WinItems(items));
}

Ref<MailItem> WrapMailItem(IDispatch* mailItem)
{
    if (!mailItem) return nullptr;
    return Ref<MailItem>::Adopt(new WinMailItem(mailItem));
}

Ref<Selection> WrapSelection(IDispatch* selection)
{
    if (!selection) return nullptr;
    return Ref<Selection>::Adopt(new WinSelection(selection));
}

}  // namespace host::win
