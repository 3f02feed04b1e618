// The element table's rows and the callbacks Outlook makes about them.
//
// Outlook swallows whatever a callback answers that is not S_OK, so every
// failure is a result code and nothing is written to the diagnostic trace.
// (The callbacks have no development trace of their own either: the warnings
// about rows without a handler would be for the add-in's developer, and the
// rows of this add-in all have theirs.)
#include "ribbon/ribbon.h"

#include <optional>

#include "host/com_error.h"
#include "text/ui_strings.h"

namespace qev {
namespace {

struct Row {
    ElementKind kind;
    const char16_t* id;
    const char16_t* parent;
    std::uint32_t firstText;  // label; screentip and supertip follow
    std::uint32_t png;        // 0: no picture
    std::optional<CommandKey> command;
};

constexpr Row kRows[] = {
    {ElementKind::Tab, u"Antispam", u"", 400, 0, std::nullopt},
    {ElementKind::Group, u"Settings", u"Antispam", 403, 0, std::nullopt},
    {ElementKind::Group, u"Spam", u"Antispam", 406, 0, std::nullopt},
    {ElementKind::Group, u"Friends", u"Antispam", 409, 0, std::nullopt},
    {ElementKind::Button, u"Settings", u"Settings", 412, 214, CommandKey::Settings},
    {ElementKind::Button, u"IsSpam", u"Spam", 415, 208, CommandKey::IsSpam},
    {ElementKind::Button, u"NotSpam", u"Spam", 418, 209, CommandKey::NotSpam},
    {ElementKind::Button, u"AddSpammer", u"Friends", 421, 210, CommandKey::AddSpammer},
    {ElementKind::Button, u"AddFriend", u"Friends", 424, 211, CommandKey::AddFriend},
    {ElementKind::Button, u"Spammers", u"Friends", 427, 212, CommandKey::Spammers},
    {ElementKind::Button, u"Friends", u"Friends", 430, 213, CommandKey::Friends},
};

// {00063005-0000-0000-C000-000000000046}: an inspector window shows the same
// markup as the explorer; the add-in's controls are for the explorer only.
bool IsInspector(host::Object* context)
{
    return static_cast<bool>(host::QueryAs<host::Inspector>(context));
}

// The message class of the item an inspector shows, read by name; empty when
// any step fails.
std::u16string InspectorMessageClass(host::Object* context)
{
    try {
        const host::Ref<host::Inspector> inspector = host::QueryAs<host::Inspector>(context);
        if (!inspector) return {};
        const host::Ref<host::Object> item = inspector->CurrentItem();
        const host::Ref<host::Dispatch> named = host::QueryAs<host::Dispatch>(item.Get());
        host::Variant value;
        if (!named || FAILED(named->GetProperty(u"MessageClass", value)) || value.type != host::Variant::Type::Text)
            return {};
        return value.text;
    } catch (...) {
        return {};
    }
}

// Outlook is never handed an exception: a COM error answers with its code,
// anything else as unexpected.
template <class Body>
HRESULT Guarded(Body&& body) noexcept
{
    try {
        return body();
    } catch (const host::ComError& e) {
        return e.Error();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace

Ribbon::Ribbon(host::Services& services, Commands& commands)
    : m_services(services), m_commands(commands), m_images(services)
{
}

void Ribbon::FillElements_()
{
    // One change of directory for all 33 texts: each lookup's own guard
    // finds the add-in's folder current already.
    const CCurrentDirGuard guard(m_services);
    m_elements.Clear();
    for (const Row& r : kRows) {
        RibbonElement row;
        row.kind = r.kind;
        row.id = r.id;
        row.parentId = r.parent;
        row.label = LoadUiString_(m_services, r.firstText);
        row.screentip = LoadUiString_(m_services, r.firstText + 1);
        row.supertip = LoadUiString_(m_services, r.firstText + 2);
        if (r.png) {
            row.imageKind = ImageKind::Png;
            row.imageId = r.png;
        }
        if (const std::optional<CommandKey> command = r.command) {
            row.actionHandler = [this, key = *command](host::RibbonControl* control, bool explorer) {
                ClickSource source;
                source.kind = ClickSource::Kind::Ribbon;
                source.control = control;
                source.fromExplorer = explorer;
                m_commands.Run(key, source);
                return 0;
            };
            row.updateHandler = [this, key = *command](host::RibbonControl*, bool) -> std::int32_t {
                if (!m_fAntispamReady) return 0;
                switch (key) {
                    case CommandKey::IsSpam: return m_fMailSelected && !m_fSpamFolder;
                    case CommandKey::NotSpam:
                    case CommandKey::AddSpammer:
                    case CommandKey::AddFriend: return m_fMailSelected;
                    default: return 1;
                }
            };
        }
        m_elements.Add(std::move(row));
    }
}

// ---- resolving a control ----

HRESULT Ribbon::ResolveControl_(host::Object* control, host::Ref<host::RibbonControl>& resolved, std::u16string& id)
{
    if (!control) return E_INVALIDARG;
    const HRESULT hr = host::QueryAs(control, resolved);
    if (FAILED(hr)) return hr;
    return Guarded([&] {
        id = resolved->Id();
        return S_OK;
    });
}

HRESULT Ribbon::FindRow_(host::Object* control, host::Ref<host::RibbonControl>& resolved, RibbonElement*& row)
{
    std::u16string id;
    const HRESULT hr = ResolveControl_(control, resolved, id);
    if (FAILED(hr)) return hr;
    row = m_elements.Find(id);
    return row ? S_OK : E_FAIL;
}

// ---- the callbacks ----

HRESULT Ribbon::Ribbon_OnLoad(host::Object* ribbonUI)
{
    return Guarded([&]() -> HRESULT {
        if (!ribbonUI) return S_OK;
        return host::QueryAs(ribbonUI, m_pRibbonUI);
    });
}

HRESULT Ribbon::Ribbon_OnAction(host::Object* control)
{
    return Guarded([&]() -> HRESULT {
        host::Ref<host::RibbonControl> resolved;
        RibbonElement* row = nullptr;
        if (const HRESULT hr = FindRow_(control, resolved, row); FAILED(hr)) return hr;
        if (row->actionHandler) row->actionHandler(resolved.Get(), row->Explorer());
        return S_OK;
    });
}

HRESULT Ribbon::Ribbon_OnGetEnabled(host::Object* control, std::int16_t* enabled)
{
    return Guarded([&]() -> HRESULT {
        if (!enabled) return E_POINTER;
        host::Ref<host::RibbonControl> resolved;
        RibbonElement* row = nullptr;
        if (const HRESULT hr = FindRow_(control, resolved, row); FAILED(hr)) return hr;
        const std::int32_t answer = row->updateHandler ? row->updateHandler(resolved.Get(), row->Explorer()) : 1;
        *enabled = answer ? host::kVariantTrue : host::kVariantFalse;
        return S_OK;
    });
}

HRESULT Ribbon::Ribbon_OnGetVisible(host::Object* control, std::int16_t* visible)
{
    return Guarded([&]() -> HRESULT {
        if (!visible) return E_POINTER;
        host::Ref<host::RibbonControl> resolved;
        RibbonElement* row = nullptr;
        if (const HRESULT hr = FindRow_(control, resolved, row); FAILED(hr)) return hr;

        bool shown = true;
        if (row->ribbonId != u"*") {
            host::Ref<host::Object> context;
            const HRESULT read = Guarded([&] {
                context = resolved->Context();
                return S_OK;
            });
            if (row->Explorer()) {
                shown = FAILED(read) || !IsInspector(context.Get());
            } else {
                shown = row->messageClass == (SUCCEEDED(read) ? InspectorMessageClass(context.Get()) : std::u16string());
            }
        }
        if (shown && row->visibleHandler) shown = row->visibleHandler(resolved.Get()) != 0;
        *visible = shown ? host::kVariantTrue : host::kVariantFalse;
        return S_OK;
    });
}

HRESULT Ribbon::Ribbon_OnGetLabel(host::Object* control, std::u16string* label)
{
    return Guarded([&]() -> HRESULT {
        if (!label) return E_POINTER;
        host::Ref<host::RibbonControl> resolved;
        RibbonElement* row = nullptr;
        if (const HRESULT hr = FindRow_(control, resolved, row); FAILED(hr)) return hr;
        std::u16string text = row->label;
        std::u16string more;
        if (row->labelHandler && row->labelHandler(resolved.Get(), more)) text.append(u": ").append(more);
        *label = std::move(text);
        return S_OK;
    });
}

HRESULT Ribbon::Ribbon_OnGetSize(host::Object* control, std::int32_t* size)
{
    return Guarded([&]() -> HRESULT {
        if (!size) return E_INVALIDARG;
        host::Ref<host::RibbonControl> resolved;
        RibbonElement* row = nullptr;
        if (const HRESULT hr = FindRow_(control, resolved, row); FAILED(hr)) return hr;
        *size = row->size;
        return S_OK;
    });
}

HRESULT Ribbon::GetText_(host::Object* control, std::u16string* out, std::u16string RibbonElement::*field)
{
    return Guarded([&]() -> HRESULT {
        if (!out) return E_POINTER;
        host::Ref<host::RibbonControl> resolved;
        RibbonElement* row = nullptr;
        if (const HRESULT hr = FindRow_(control, resolved, row); FAILED(hr)) return hr;
        *out = row->*field;
        return S_OK;
    });
}

HRESULT Ribbon::Ribbon_OnGetScreentip(host::Object* control, std::u16string* screentip)
{
    return GetText_(control, screentip, &RibbonElement::screentip);
}

HRESULT Ribbon::Ribbon_OnGetSupertip(host::Object* control, std::u16string* supertip)
{
    return GetText_(control, supertip, &RibbonElement::supertip);
}

HRESULT Ribbon::Ribbon_OnGetImageMso(host::Object* control, std::u16string* imageMso)
{
    return GetText_(control, imageMso, &RibbonElement::imageMso);
}

HRESULT Ribbon::Ribbon_OnGetImage(host::Object* control, host::Ref<host::Object>* picture)
{
    return Guarded([&]() -> HRESULT {
        if (!control) return E_INVALIDARG;
        if (!picture) return E_POINTER;
        picture->Reset();
        host::Ref<host::RibbonControl> resolved;
        std::u16string id;
        if (FAILED(ResolveControl_(control, resolved, id))) return E_NOTIMPL;
        const RibbonElement* row = m_elements.Find(id);
        if (!row) return E_NOTIMPL;
        return m_images.Picture(id, row->imageKind, row->imageId, *picture);
    });
}

}  // namespace qev
