#include "sim/win/sim_cmdbars.h"

#include "host/utf.h"
#include "host/win/win_office.h"

namespace qev::sim::win {

const IID kCommandBarButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

constexpr LONG kMsoControlButton = 1;
constexpr LONG kMsoBarFloating = 4;
constexpr LONG kMsoBarMenuBar = 6;
constexpr DISPID kClick = 1;

// The answer to a name in use and to values out of range. Which error Office
// raises is not documented (VBA shows "Invalid procedure call or argument",
// 0x800A0005, for a name in use); both worlds answer E_INVALIDARG.
constexpr HRESULT kInvalidCall = E_INVALIDARG;

// Member ids: each object's own table.
enum : DISPID {
    kCount = 1,
    kAdd,
    kName,
    kPosition,
    kTop,
    kLeft,
    kProtection,
    kVisible,
    kEnabled,
    kControls,
    kCaption,
    kTooltipText,
    kTag,
    kStyle,
    kPasteFace,
};

bool IsPut(WORD flags) noexcept
{
    return (flags & DISPATCH_PROPERTYPUT) != 0;
}

// Argument index (in the natural order) of a call, or null when it is left
// off or marked missing (VT_ERROR with DISP_E_PARAMNOTFOUND).
const VARIANT* ArgumentAt(const DISPPARAMS& params, UINT index) noexcept
{
    if (index >= params.cArgs || !params.rgvarg) return nullptr;
    const VARIANT* arg = &params.rgvarg[params.cArgs - 1 - index];
    if (arg->vt == (VT_VARIANT | VT_BYREF) && arg->pvarVal) arg = arg->pvarVal;
    if (arg->vt == VT_ERROR && arg->scode == DISP_E_PARAMNOTFOUND) return nullptr;
    return arg;
}

// An argument as the type Office's type library gives it, converted as
// automation converts; DISP_E_TYPEMISMATCH when it cannot be.
HRESULT Coerced(const VARIANT& arg, VARTYPE type, host::win::ComVariant& out, UINT index, UINT* argError)
{
    const HRESULT hr = VariantChangeType(out.Out(), const_cast<VARIANT*>(&arg), 0, type);
    if (FAILED(hr)) {
        if (argError) *argError = index;
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

// A property put's value: its one argument.
HRESULT PutValue(const DISPPARAMS& params, VARTYPE type, host::win::ComVariant& out, UINT* argError)
{
    if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
    return Coerced(params.rgvarg[0], type, out, 0, argError);
}

HRESULT PutLong(const DISPPARAMS& params, LONG& target, UINT* argError)
{
    host::win::ComVariant value;
    const HRESULT hr = PutValue(params, VT_I4, value, argError);
    if (SUCCEEDED(hr)) target = value.Get().lVal;
    return hr;
}

HRESULT PutBool(const DISPPARAMS& params, bool& target, UINT* argError)
{
    host::win::ComVariant value;
    const HRESULT hr = PutValue(params, VT_BOOL, value, argError);
    if (SUCCEEDED(hr)) target = value.Get().boolVal != VARIANT_FALSE;
    return hr;
}

HRESULT PutText(const DISPPARAMS& params, std::u16string& target, UINT* argError)
{
    host::win::ComVariant value;
    const HRESULT hr = PutValue(params, VT_BSTR, value, argError);
    if (SUCCEEDED(hr)) target = host::win::Bstr::TextOf(value.Get().bstrVal);
    return hr;
}

HRESULT GetLong(VARIANT& result, LONG value) noexcept
{
    result.vt = VT_I4;
    result.lVal = value;
    return S_OK;
}

HRESULT GetBool(VARIANT& result, bool value) noexcept
{
    result.vt = VT_BOOL;
    result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT GetText(VARIANT& result, const std::u16string& text) noexcept
{
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocStringLen(host::win::W(text.c_str()), static_cast<UINT>(text.size()));
    return result.bstrVal ? S_OK : E_OUTOFMEMORY;
}

// A property both read and set by the add-in: get or put by flags.
template <class T, class Put, class Get>
HRESULT Property(WORD flags, const DISPPARAMS& params, VARIANT& result, T& value, UINT* argError, Put put, Get get)
{
    if (IsPut(flags)) return put(params, value, argError);
    if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
    if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
    return get(result, value);
}

HRESULT LongProperty(WORD flags, const DISPPARAMS& params, VARIANT& result, LONG& value, UINT* argError)
{
    return Property(flags, params, result, value, argError, PutLong, GetLong);
}

HRESULT BoolProperty(WORD flags, const DISPPARAMS& params, VARIANT& result, bool& value, UINT* argError)
{
    return Property(flags, params, result, value, argError, PutBool, GetBool);
}

HRESULT TextProperty(WORD flags, const DISPPARAMS& params, VARIANT& result, std::u16string& value, UINT* argError)
{
    return Property(flags, params, result, value, argError, PutText,
                    [](VARIANT& r, const std::u16string& text) { return GetText(r, text); });
}

// The picture on the clipboard, copied into a DIB section of the caller's.
HBITMAP ClipboardPicture()
{
    if (!OpenClipboard(nullptr)) return nullptr;
    HBITMAP copy = nullptr;
    if (HANDLE bitmap = GetClipboardData(CF_BITMAP))
        copy = static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    CloseClipboard();
    return copy;
}

}  // namespace

// ---- SimButton ----

SimButton::SimButton(Ledger& ledger, const std::string& name, CommandBarEvents* const& events)
    : SimSource(ledger, "CommandBarButton", name,
                {{L"Caption", kCaption},
                 {L"TooltipText", kTooltipText},
                 {L"Tag", kTag},
                 {L"Style", kStyle},
                 {L"Enabled", kEnabled},
                 {L"PasteFace", kPasteFace}},
                kCommandBarButtonEvents, "CommandBarButtonEvents"),
      m_events(events)
{
}

SimButton::~SimButton()
{
    if (m_face) DeleteObject(m_face);
}

ULONG SimButton::Release()
{
    const ULONG count = SimSource::Release();
    // The add-in let its button go: Office's events for it end.
    if (count == 1) Point().DropAll();
    return count;
}

std::optional<std::pair<LONG, LONG>> SimButton::FaceSize() const
{
    BITMAP info = {};
    if (!m_face || GetObjectW(m_face, sizeof(info), &info) != sizeof(info)) return std::nullopt;
    return std::pair<LONG, LONG>(info.bmWidth, info.bmHeight);
}

void SimButton::RaiseClick()
{
    VARIANT_BOOL cancelDefault = VARIANT_FALSE;
    VARIANT args[2];
    // Last argument first: CancelDefault, then Ctrl.
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &cancelDefault;
    VariantInit(&args[1]);
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = this;
    DISPPARAMS params = {args, nullptr, 2, 0};
    Point().Fire(kClick, params);
}

void* SimButton::QueryMore(REFIID iid) noexcept
{
    // _CommandBarButton is dual: its IDispatch part is all a late-bound
    // caller uses of it.
    return IsEqualIID(iid, host::win::kIidCommandBarButton) ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT SimButton::PasteFace()
{
    HBITMAP picture = ClipboardPicture();
    if (!picture) {
        SetDescription(u"Method 'PasteFace' of object '_CommandBarButton' failed");
        return E_FAIL;
    }
    if (m_face) DeleteObject(m_face);
    m_face = picture;
    return S_OK;
}

HRESULT SimButton::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError)
{
    switch (id) {
        case kCaption:
            return TextProperty(flags, params, result, m_caption, argError);
        case kTooltipText:
            return TextProperty(flags, params, result, m_tooltip, argError);
        case kTag:
            return TextProperty(flags, params, result, m_tag, argError);
        case kStyle:
            return LongProperty(flags, params, result, m_style, argError);
        case kEnabled: {
            const HRESULT hr = BoolProperty(flags, params, result, m_enabled, argError);
            if (SUCCEEDED(hr) && IsPut(flags) && m_events) m_events->EnabledSet(*this, m_enabled);
            return hr;
        }
        case kPasteFace:
            if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
            if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            return PasteFace();
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- SimControls ----

SimControls::SimControls(Ledger& ledger, SimCommandBar& bar)
    : SimDispatch({{L"Count", kCount}, {L"Add", kAdd}}, ledger, "CommandBarControls",
                  "Controls of " + host::Utf8(bar.Name())),
      m_bar(bar)
{
}

void* SimControls::QueryMore(REFIID iid) noexcept
{
    return IsEqualIID(iid, host::win::kIidCommandBarControls) ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT SimControls::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError)
{
    if (id == kCount) {
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        return GetLong(result, static_cast<LONG>(m_bar.Buttons().size()));
    }
    if (id != kAdd || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    // Add(Type, Id, Parameter, Before, Temporary): only buttons, appended.
    if (params.cArgs > 5) return DISP_E_BADPARAMCOUNT;
    if (const VARIANT* type = ArgumentAt(params, 0)) {
        host::win::ComVariant value;
        if (const HRESULT hr = Coerced(*type, VT_I4, value, params.cArgs - 1, argError); FAILED(hr)) return hr;
        if (value.Get().lVal != kMsoControlButton) return kInvalidCall;
    }
    SetDispatch(result, &m_bar.AddButton());
    return S_OK;
}

// ---- SimCommandBar ----

SimCommandBar::SimCommandBar(Ledger& ledger, std::u16string name, LONG position, CommandBarEvents* const& events)
    : SimDispatch({{L"Name", kName},
                   {L"Position", kPosition},
                   {L"Top", kTop},
                   {L"Left", kLeft},
                   {L"Protection", kProtection},
                   {L"Visible", kVisible},
                   {L"Enabled", kEnabled},
                   {L"Controls", kControls}},
                  ledger, "CommandBar", host::Utf8(name)),
      m_ledger(ledger),
      m_events(events),
      m_name(std::move(name))
{
    m_place.position = position;
    m_controls = std::make_unique<SimControls>(ledger, *this);
}

SimButton& SimCommandBar::AddButton()
{
    const std::string name = host::Utf8(m_name) + " button " + std::to_string(m_buttons.size() + 1);
    m_buttons.push_back(std::make_unique<SimButton>(m_ledger, name, m_events));
    if (m_events) m_events->ButtonMade(*m_buttons.back());
    return *m_buttons.back();
}

void* SimCommandBar::QueryMore(REFIID iid) noexcept
{
    return IsEqualIID(iid, host::win::kIidCommandBar) ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT SimCommandBar::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError)
{
    switch (id) {
        case kName:
            return TextProperty(flags, params, result, m_name, argError);
        case kPosition: {
            LONG position = m_place.position;
            const HRESULT hr = LongProperty(flags, params, result, position, argError);
            if (FAILED(hr) || !IsPut(flags)) return hr;
            if (position < 0 || position > kMsoBarMenuBar) return kInvalidCall;
            m_place.position = position;
            return S_OK;
        }
        case kTop:
            return LongProperty(flags, params, result, m_place.top, argError);
        case kLeft:
            return LongProperty(flags, params, result, m_place.left, argError);
        case kProtection:
            return LongProperty(flags, params, result, m_protection, argError);
        case kEnabled:
            return BoolProperty(flags, params, result, m_enabled, argError);
        case kVisible: {
            bool visible = m_place.visible;
            const HRESULT hr = BoolProperty(flags, params, result, visible, argError);
            if (FAILED(hr) || !IsPut(flags)) return hr;
            // A disabled bar cannot be shown.
            if (visible && !m_enabled) return kInvalidCall;
            m_place.visible = visible;
            if (m_events) m_events->VisibleSet(*this);
            return S_OK;
        }
        case kControls:
            if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
            if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
            SetDispatch(result, m_controls.get());
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- SimCommandBars ----

SimCommandBars::SimCommandBars(Ledger& ledger, const std::string& owner, CommandBarEvents* const& events)
    : SimDispatch({{L"Count", kCount}, {L"Add", kAdd}}, ledger, "CommandBars", "CommandBars of " + owner),
      m_ledger(ledger),
      m_events(events)
{
}

std::vector<SimButton*> SimCommandBars::ButtonsTagged(const std::u16string& tag) const
{
    std::vector<SimButton*> tagged;
    for (const auto& bar : m_bars)
        for (const auto& button : bar->Buttons())
            if (button->Tag() == tag) tagged.push_back(button.get());
    return tagged;
}

std::vector<std::string> SimCommandBars::LiveSubscriptions() const
{
    std::vector<std::string> live;
    for (const auto& bar : m_bars)
        for (const auto& button : bar->Buttons())
            for (const std::string& line : button->Point().Live()) live.push_back(button->Point().Owner() + " " + line);
    return live;
}

void* SimCommandBars::QueryMore(REFIID iid) noexcept
{
    return IsEqualIID(iid, host::win::kIidCommandBars) ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT SimCommandBars::Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT& result, UINT* argError)
{
    if (id == kCount) {
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        return GetLong(result, static_cast<LONG>(m_bars.size()));
    }
    if (id != kAdd || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    // Add(Name, Position, MenuBar, Temporary), every one optional.
    if (params.cArgs > 4) return DISP_E_BADPARAMCOUNT;
    std::u16string name = u"Custom " + host::Utf16(std::to_string(m_bars.size() + 1));
    LONG position = kMsoBarFloating;
    host::win::ComVariant value;
    if (const VARIANT* arg = ArgumentAt(params, 0)) {
        if (const HRESULT hr = Coerced(*arg, VT_BSTR, value, params.cArgs - 1, argError); FAILED(hr)) return hr;
        name = host::win::Bstr::TextOf(value.Get().bstrVal);
    }
    if (const VARIANT* arg = ArgumentAt(params, 1)) {
        if (const HRESULT hr = Coerced(*arg, VT_I4, value, params.cArgs - 2, argError); FAILED(hr)) return hr;
        position = value.Get().lVal;
        if (position < 0 || position > kMsoBarMenuBar) return kInvalidCall;
    }
    for (const auto& bar : m_bars) {
        if (host::EqualNoCase(bar->Name(), name)) {
            return kInvalidCall;
        }
    }
    m_bars.push_back(std::make_unique<SimCommandBar>(m_ledger, std::move(name), position, m_events));
    SetDispatch(result, m_bars.back().get());
    return S_OK;
}

}  // namespace qev::sim::win
