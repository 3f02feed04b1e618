// Outlook's account manager (IOlkAccountManager) and the two interfaces the
// add-in gives it (IOlkAccountHelper, IOlkAccountNotify).
#pragma once

#include <cstdint>

#include "host/hresult.h"
#include "host/object.h"
#include "host/xml.h"

namespace host {

// What the account manager calls back on; implemented by the add-in.
class AccountNotify {
public:
    virtual HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags) = 0;

protected:
    ~AccountNotify() = default;
};

class AccountHelper {
public:
    // The profile name into buffer (count in: its size in characters; out: the name's length).
    virtual HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count) = 0;
    // The profile's MAPI session (an object to ask for MapiSession).
    virtual HRESULT GetMapiSession(Ref<Object>& session) = 0;

protected:
    ~AccountHelper() = default;
};

class AccountManager : public Object {
public:
    static constexpr Iface kIface = Iface::AccountManager;

    virtual HRESULT Init(AccountHelper* helper, std::uint32_t flags) = 0;
    virtual HRESULT Advise(AccountNotify* notify, std::uint32_t* cookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;

protected:
    ~AccountManager() = default;
};

// Creates COM classes the add-in makes itself.
class ComClasses {
public:
    // CoCreateInstance of the account manager ({ED475410-B0D6-11D2-8C3B-00104B2A6676},
    // in-process, IOlkAccountManager).
    virtual HRESULT CreateAccountManager(Ref<AccountManager>& out) = 0;
    // CLSIDFromProgID of progId, then CoCreateInstance of that class,
    // in-process, as IXMLDOMDocument; the first failure is returned.
    virtual HRESULT CreateXmlDocument(std::u16string_view progId, Ref<XmlDocument>& out) = 0;

protected:
    ~ComClasses() = default;
};

}  // namespace host
