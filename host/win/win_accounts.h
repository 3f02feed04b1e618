// Outlook's account manager over the real COM: the interfaces of its account
// management (declared here from Microsoft's published vtable orders; no
// MinGW header has them), the wrapper that hands the add-in's helper and
// notification callbacks to it as COM objects, and the ComClasses that create
// it.
#pragma once

#include <windows.h>

#include <objidl.h>

#include "host/accounts.h"

namespace host::win {

// {ED475410-B0D6-11D2-8C3B-00104B2A6676}: the account manager Outlook registers.
inline constexpr CLSID kClsidOlkAccountManager = {
    0xED475410, 0xB0D6, 0x11D2, {0x8C, 0x3B, 0x00, 0x10, 0x4B, 0x2A, 0x66, 0x76}};
inline constexpr IID kIidOlkErrorUnknown = {
    0x9240A6C0, 0xAF41, 0x11D2, {0x8C, 0x3B, 0x00, 0x10, 0x4B, 0x2A, 0x66, 0x76}};
inline constexpr IID kIidOlkAccountNotify = {
    0x9240A6C3, 0xAF41, 0x11D2, {0x8C, 0x3B, 0x00, 0x10, 0x4B, 0x2A, 0x66, 0x76}};
inline constexpr IID kIidOlkAccountHelper = {
    0x9240A6CB, 0xAF41, 0x11D2, {0x8C, 0x3B, 0x00, 0x10, 0x4B, 0x2A, 0x66, 0x76}};
inline constexpr IID kIidOlkAccountManager = {
    0x9240A6CD, 0xAF41, 0x11D2, {0x8C, 0x3B, 0x00, 0x10, 0x4B, 0x2A, 0x66, 0x76}};

// Notification codes of IOlkAccountNotify::Notify.
inline constexpr DWORD kNotifyAccountChanged = 1;
inline constexpr DWORD kNotifyAccountCreated = 2;
inline constexpr DWORD kNotifyAccountDeleted = 3;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM interfaces die through Release

// The base of the account manager's own interfaces.
struct IOlkErrorUnknown : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, LPWSTR* error) = 0;
};

// What the client gives the account manager in Init.
struct IOlkAccountHelper : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder1(LPVOID reserved) = 0;
    // The profile name into identity; count: in the buffer's size in
    // characters, out the name's length.
    virtual HRESULT STDMETHODCALLTYPE GetIdentity(LPWSTR identity, DWORD* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMapiSession(LPUNKNOWN* session) = 0;
    virtual HRESULT STDMETHODCALLTYPE HandsOffSession() = 0;
};

// What the client gives the account manager in Advise.
struct IOlkAccountNotify : public IOlkErrorUnknown {
    virtual HRESULT STDMETHODCALLTYPE Notify(DWORD notify, DWORD accountId, DWORD flags) = 0;
};

// The account manager. The placeholders are slots Microsoft does not
// document; they are never called.
struct IOlkAccountManager : public IOlkErrorUnknown {
    virtual HRESULT STDMETHODCALLTYPE Init(IOlkAccountHelper* helper, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayAccountList(HWND window, DWORD flags, LPCWSTR title, DWORD categories,
                                                         const CLSID* categoryIds, const CLSID* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder1() = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder2() = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder3() = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder4() = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder5() = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAccount(DWORD property, void* value, IUnknown** account) = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder6() = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder7() = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder8() = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAccount(DWORD accountId) = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder9() = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveChanges(DWORD accountId, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOrder(const CLSID* category, DWORD* count, DWORD** accounts) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOrder(const CLSID* category, DWORD* count, DWORD** accounts) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumerateAccounts(const CLSID* category, const CLSID* type, DWORD flags,
                                                        IUnknown** accounts) = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder10() = 0;
    virtual HRESULT STDMETHODCALLTYPE PlaceHolder11() = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeMemory(BYTE* memory) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IOlkAccountNotify* notify, DWORD* cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;
};

#pragma GCC diagnostic pop

// The account manager. Init and Advise hand the manager COM objects of their
// own (IOlkAccountHelper, IOlkAccountNotify) that forward to the add-in's
// helper and notify; they are cut off from them at Unadvise (the notify of
// that cookie) and when the wrapper dies (all), so that a manager that keeps
// them longer reaches nothing: a cut-off helper answers as one without a
// profile (GetIdentity 0x8000FFFF, GetMapiSession E_NOTIMPL), a cut-off
// notify ignores what it is told. Null for a null pointer.
Ref<AccountManager> WrapAccountManager(IOlkAccountManager* manager);

// The COM classes the add-in creates itself: CoCreateInstance of the account
// manager, in-process, for IOlkAccountManager. Where Outlook is not
// installed (Wine) that answers REGDB_E_CLASSNOTREG.
class WinComClasses final : public ComClasses {
public:
    HRESULT CreateAccountManager(Ref<AccountManager>& out) override;
    // MSXML's DOM (win_xml.cpp).
    HRESULT CreateXmlDocument(std::u16string_view progId, Ref<XmlDocument>& out) override;
};

}  // namespace host::win
