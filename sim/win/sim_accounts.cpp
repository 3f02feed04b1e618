#include "sim/win/sim_accounts.h"

#include <map>
#include <stdexcept>

#include "host/utf.h"
#include "host/win/win_accounts.h"
#include "sim/win/account_manager_face.h"

namespace qev::sim::win {

namespace {

using host::win::IOlkAccountHelper;
using host::win::IOlkAccountManager;
using host::win::IOlkAccountNotify;

// The add-in's helper as the model asks it.
class HelperBridge final : public host::AccountHelper {
public:
    HelperBridge(SimMail& mail, IOlkAccountHelper* helper) : m_mail(mail), m_helper(helper) {}
    HRESULT GetIdentity(char16_t* buffer, std::uint32_t* count) override
    {
        DWORD n = count ? *count : 0;
        const HRESULT hr = m_helper->GetIdentity(reinterpret_cast<LPWSTR>(buffer), count ? &n : nullptr);
        if (count) *count = n;
        return hr;
    }
    HRESULT GetMapiSession(host::Ref<host::Object>& session) override
    {
        session = nullptr;
        IUnknown* unknown = nullptr;
        const HRESULT hr = m_helper->GetMapiSession(&unknown);
        if (FAILED(hr) || !unknown) return hr;
        // The session the add-in got from the namespace: its model object.
        IUnknown* canonical = nullptr;
        if (SUCCEEDED(unknown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&canonical)))) {
            session = m_mail.ModelBehind(canonical);
            canonical->Release();
        }
        unknown->Release();
        return hr;
    }

private:
    SimMail& m_mail;
    IOlkAccountHelper* m_helper;
};

class NotifyBridge final : public host::AccountNotify {
public:
    explicit NotifyBridge(IOlkAccountNotify* notify) : m_notify(notify) {}
    HRESULT Notify(std::uint32_t code, std::uint32_t accountId, std::uint32_t flags) override
    {
        return m_notify->Notify(code, accountId, flags);
    }
    IOlkAccountNotify* Sink() const noexcept { return m_notify; }

private:
    IOlkAccountNotify* m_notify;  // the reference Advise took
};

class ManagerFace final : public AccountManagerFace<HostObjectCount> {
public:
    ManagerFace(SimMail& mail, host::AccountManager* model) : AccountManagerFace(model), m_mail(mail), m_model(model) {}

    HRESULT STDMETHODCALLTYPE Init(IOlkAccountHelper* helper, DWORD flags) override
    {
        if (!helper) return m_model->Init(nullptr, flags);
        m_helper = std::make_unique<HelperBridge>(m_mail, helper);
        return m_model->Init(m_helper.get(), flags);
    }
    HRESULT STDMETHODCALLTYPE Advise(IOlkAccountNotify* notify, DWORD* cookie) override
    {
        if (!notify || !cookie) return m_model->Advise(nullptr, nullptr);
        auto bridge = std::make_unique<NotifyBridge>(notify);
        std::uint32_t got = 0;
        const HRESULT hr = m_model->Advise(bridge.get(), &got);
        if (FAILED(hr)) return hr;
        notify->AddRef();
        *cookie = got;
        m_sinks[got] = std::move(bridge);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        const HRESULT hr = m_model->Unadvise(cookie);
        const auto found = m_sinks.find(cookie);
        if (SUCCEEDED(hr) && found != m_sinks.end()) {
            found->second->Sink()->Release();
            m_retired.push_back(std::move(found->second));
            m_sinks.erase(found);
        }
        return hr;
    }

private:
    SimMail& m_mail;
    host::AccountManager* m_model;
    std::unique_ptr<HelperBridge> m_helper;
    std::map<DWORD, std::unique_ptr<NotifyBridge>> m_sinks;
    std::vector<std::unique_ptr<NotifyBridge>> m_retired;
};

}  // namespace

struct SimAccounts::Parts {
    explicit Parts(SimMail& mail)
        : model(mail.ModelLedger(), mail.ModelCalls(), mail.Model()),
          factory([this, &mail](REFIID iid, void** out) { return Create(mail, iid, out); })
    {
    }
    // A new face over a new manager of the model; the model's reference is
    // the face's first, QueryInterface takes the caller's.
    HRESULT Create(SimMail& mail, REFIID iid, void** out)
    {
        host::Ref<host::AccountManager> manager;
        const HRESULT hr = model.CreateAccountManager(manager);
        if (FAILED(hr)) return hr;
        faces.push_back(std::make_unique<ManagerFace>(mail, manager.Get()));
        return faces.back()->QueryInterface(iid, out);
    }

    host::fake::FakeAccounts model;
    std::vector<std::unique_ptr<ManagerFace>> faces;
    AccountManagerClass factory;
};

SimAccounts::SimAccounts(SimMail& mail) : m_parts(std::make_unique<Parts>(mail))
{
    const HRESULT hr = m_parts->factory.Register();
    if (FAILED(hr)) throw std::runtime_error("cannot register the account manager");
}

SimAccounts::~SimAccounts() = default;  // the class object revokes itself

void SimAccounts::Change(const Account& change)
{
    switch (change.change) {
        case AccountChange::Add:
            m_parts->model.Add(host::Utf16(change.store), host::Utf16(change.displayName));
            break;
        case AccountChange::Remove:
            m_parts->model.Remove(host::Utf16(change.store));
            break;
        case AccountChange::Notify:
            m_parts->model.Notify(static_cast<std::uint32_t>(change.code));
            break;
    }
}

std::vector<std::string> SimAccounts::Problems() const
{
    std::vector<std::string> problems;
    for (const std::string& line : m_parts->model.LiveSubscriptions()) problems.push_back("subscription left: " + line);
    for (const std::string& line : m_parts->model.Faults()) problems.push_back(line);
    return problems;
}

}  // namespace qev::sim::win
