// Outlook's account manager in the in-memory world: the COM class the add-in
// creates (CreateAccountManager), each instance a counted object that keeps
// the helper it was initialized with and the notify sinks advised on it. The
// world's account statements change the profile and then notify every sink
// of every live manager.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/accounts.h"
#include "host/fake/fake_ledger.h"

namespace host::fake {

class FakeMail;

// Account notification codes.
inline constexpr std::uint32_t kAccountChanged = 1;
inline constexpr std::uint32_t kAccountCreated = 2;
inline constexpr std::uint32_t kAccountDeleted = 3;

class FakeAccountManager;

// The registered COM classes of the world: the account manager.
class FakeAccounts final {
public:
    FakeAccounts(Ledger& ledger, HostCalls& calls, FakeMail& mail);
    ~FakeAccounts();
    FakeAccounts(const FakeAccounts&) = delete;
    FakeAccounts& operator=(const FakeAccounts&) = delete;

    // A new manager (not initialized) with one reference for the caller;
    // REGDB_E_CLASSNOTREG after SetRegistered(false).
    HRESULT CreateAccountManager(Ref<host::AccountManager>& out);
    void SetRegistered(bool registered) noexcept { m_registered = registered; }

    // ---- the world's account statements ----

    // `account add S "NAME"`: the store joins the profile (made when the world
    // does not have it yet) and every sink hears kAccountCreated.
    void Add(std::u16string store, std::u16string displayName);
    // `account remove S`: the store leaves the profile; kAccountDeleted.
    void Remove(std::u16string_view store);
    // `account notify CODE`: a notification without a change. Every sink of
    // every manager, in the order of creation and then of cookies; returns how
    // many were called. Sinks that leave meanwhile are not called.
    std::size_t Notify(std::uint32_t code, std::uint32_t accountId = 0);

    // ---- reports ----

    std::size_t Managers() const noexcept { return m_managers.size(); }
    // Live sinks over all managers.
    std::size_t Subscriptions() const;
    // What the last Init learned through the helper: the identity GetIdentity
    // gave (empty when it failed) and whether GetMapiSession gave the
    // profile's session.
    const std::u16string& LastIdentity() const noexcept { return m_lastIdentity; }
    bool LastSessionMatched() const noexcept { return m_lastSessionMatched; }
    // "AccountManager \"1\" cookie 1", one line per live subscription.
    std::vector<std::string> LiveSubscriptions() const;
    std::vector<std::string> Faults() const { return m_faults; }

private:
    friend class FakeAccountManager;

    // The account of a store: numbered from 1 as stores are first named.
    std::uint32_t AccountId(std::u16string_view store);

    Ledger& m_ledger;
    HostCalls& m_calls;
    FakeMail& m_mail;
    bool m_registered = true;
    std::vector<std::unique_ptr<FakeAccountManager>> m_managers;
    std::uint32_t m_nextAccountId = 1;
    std::map<std::u16string, std::uint32_t, std::less<>> m_accountIds;
    std::u16string m_lastIdentity;
    bool m_lastSessionMatched = false;
    std::vector<std::string> m_faults;
};

}  // namespace host::fake
