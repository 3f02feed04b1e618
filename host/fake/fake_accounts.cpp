#include "host/fake/fake_accounts.h"

#include <array>

#include "host/fake/fake_mail.h"
#include "host/fake/fake_text.h"

namespace host::fake {

class FakeAccountManager final : public Counted<host::AccountManager> {
public:
    FakeAccountManager(FakeAccounts& accounts, std::size_t number)
        : Counted(accounts.m_ledger, "AccountManager", std::to_string(number)), m_accounts(accounts)
    {
    }

    Object* Query(Iface iface) noexcept override
    {
        if (FAILED(m_accounts.m_calls.CheckNoThrow("AccountManager.QueryInterface"))) return nullptr;
        if (iface != Iface::Unknown && iface != Iface::AccountManager) return nullptr;
        return Hand(static_cast<host::AccountManager*>(this));
    }

    HRESULT Init(AccountHelper* helper, std::uint32_t) override
    {
        if (const HRESULT hr = m_accounts.m_calls.Check("AccountManager.Init"); FAILED(hr)) return hr;
        if (!helper) return E_INVALIDARG;
        m_helper = helper;
        // The manager learns the profile it serves from the helper at once.
        try {
            AskIdentity();
            AskSession();
        } catch (...) {
            Fault("an exception left the account helper");
        }
        return S_OK;
    }

    HRESULT Advise(AccountNotify* notify, std::uint32_t* cookie) override
    {
        if (const HRESULT hr = m_accounts.m_calls.Check("AccountManager.Advise"); FAILED(hr)) return hr;
        if (!notify || !cookie) return E_INVALIDARG;
        if (!m_helper) return E_UNEXPECTED;  // not initialized
        *cookie = m_nextCookie++;
        m_sinks.emplace(*cookie, notify);
        return S_OK;
    }

    HRESULT Unadvise(std::uint32_t cookie) override
    {
        // The sink is cut off first, as the Windows side does: a subscription
        // the manager refuses to end stays, but calls nobody.
        if (const auto it = m_sinks.find(cookie); it != m_sinks.end()) it->second = nullptr;
        if (const HRESULT hr = m_accounts.m_calls.Check("AccountManager.Unadvise"); FAILED(hr)) return hr;
        return m_sinks.erase(cookie) == 0 ? E_INVALIDARG : S_OK;
    }

    // Every sink advised now that is still advised when its turn comes.
    std::size_t Notify(std::uint32_t code, std::uint32_t accountId)
    {
        std::vector<std::uint32_t> cookies;
        for (const auto& [cookie, sink] : m_sinks) cookies.push_back(cookie);
        std::size_t called = 0;
        for (const std::uint32_t cookie : cookies) {
            const auto it = m_sinks.find(cookie);
            if (it == m_sinks.end() || !it->second) continue;
            try {
                it->second->Notify(code, accountId, 0);
            } catch (...) {
                Fault("an exception left Notify");
            }
            ++called;
        }
        return called;
    }

    std::size_t Sinks() const noexcept { return m_sinks.size(); }
    std::vector<std::string> Live() const
    {
        std::vector<std::string> live;
        for (const auto& [cookie, sink] : m_sinks)
            live.push_back("AccountManager \"" + LedgerName() + "\" cookie " + std::to_string(cookie));
        return live;
    }

private:
    void Fault(const std::string& what)
    {
        m_accounts.m_faults.push_back("AccountManager \"" + LedgerName() + "\": " + what);
    }

    void AskIdentity()
    {
        m_accounts.m_lastIdentity.clear();
        std::vector<char16_t> buffer(64, u'\xFFFF');
        auto count = static_cast<std::uint32_t>(buffer.size());
        HRESULT hr = m_helper->GetIdentity(buffer.data(), &count);
        if (hr == E_OUTOFMEMORY && count >= buffer.size()) {
            buffer.assign(count + 1, u'\xFFFF');
            count = static_cast<std::uint32_t>(buffer.size());
            hr = m_helper->GetIdentity(buffer.data(), &count);
        }
        if (FAILED(hr)) return;
        if (count >= buffer.size() || buffer[count] != u'\0') {
            Fault("GetIdentity succeeded without a terminated name of the length it gave");
            return;
        }
        m_accounts.m_lastIdentity.assign(buffer.data(), count);
    }

    void AskSession()
    {
        Ref<Object> session;
        const HRESULT hr = m_helper->GetMapiSession(session);
        m_accounts.m_lastSessionMatched =
            SUCCEEDED(hr) && session.Get() == static_cast<Object*>(&m_accounts.m_mail.Session());
    }

    FakeAccounts& m_accounts;
    AccountHelper* m_helper = nullptr;
    std::uint32_t m_nextCookie = 1;
    std::map<std::uint32_t, AccountNotify*> m_sinks;
};

FakeAccounts::FakeAccounts(Ledger& ledger, HostCalls& calls, FakeMail& mail)
    : m_ledger(ledger), m_calls(calls), m_mail(mail)
{
}

FakeAccounts::~FakeAccounts() = default;

HRESULT FakeAccounts::CreateAccountManager(Ref<host::AccountManager>& out)
{
    out = nullptr;
    if (const HRESULT hr = m_calls.Check("CoCreateInstance(AccountManager)"); FAILED(hr)) return hr;
    if (!m_registered) return REGDB_E_CLASSNOTREG;
    m_managers.push_back(std::make_unique<FakeAccountManager>(*this, m_managers.size() + 1));
    out = Ref<host::AccountManager>::Share(m_managers.back().get());
    return S_OK;
}

void FakeAccounts::Add(std::u16string store, std::u16string displayName)
{
    if (!m_mail.HasStore(store)) {
        m_mail.AddStore(store, std::move(displayName));
    } else {
        m_mail.SetInProfile(store, true);
        m_mail.SetListed(store, true);
    }
    Notify(kAccountCreated, AccountId(store));
}

void FakeAccounts::Remove(std::u16string_view store)
{
    m_mail.SetInProfile(store, false);
    Notify(kAccountDeleted, AccountId(store));
}

std::uint32_t FakeAccounts::AccountId(std::u16string_view store)
{
    const auto [it, added] = m_accountIds.try_emplace(std::u16string(store), m_nextAccountId);
    if (added) ++m_nextAccountId;
    return it->second;
}

std::size_t FakeAccounts::Notify(std::uint32_t code, std::uint32_t accountId)
{
    std::size_t called = 0;
    // Managers made by a notification's handler wait for the next one.
    const std::size_t managers = m_managers.size();
    for (std::size_t i = 0; i < managers; ++i) called += m_managers[i]->Notify(code, accountId);
    return called;
}

std::size_t FakeAccounts::Subscriptions() const
{
    std::size_t live = 0;
    for (const auto& manager : m_managers) live += manager->Sinks();
    return live;
}

std::vector<std::string> FakeAccounts::LiveSubscriptions() const
{
    std::vector<std::string> live;
    for (const auto& manager : m_managers)
        for (std::string& line : manager->Live()) live.push_back(std::move(line));
    return live;
}

}  // namespace host::fake
