#include "sim/win/sim_accounts.h"

#include <map>
#include <stdexcept>

#include "host/utf.h"
#include "host/win/win_accounts.h"

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

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

class ManagerFace final : public IOlkAccountManager {
public:
    ManagerFace(SimMail& mail, host::AccountManager* model) : m_mail(mail), m_model(model) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, host::win::kIidOlkErrorUnknown) ||
            IsEqualIID(iid, host::win::kIidOlkAccountManager)) {
            *out = static_cast<IOlkAccountManager*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_model->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_model->Release(); }
    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Init(IOlkAccountHelper* helper, DWORD flags) override
    {
        if (!helper) return m_model->Init(nullptr, flags);
        m_helper = std::make_unique<HelperBridge>(m_mail, helper);
        return m_model->Init(m_helper.get(), flags);
    }
    HRESULT STDMETHODCALLTYPE DisplayAccountList(HWND, DWORD, LPCWSTR, DWORD, const CLSID*, const CLSID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PlaceHolder1() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder2() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindAccount(DWORD, void*, IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteAccount(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveChanges(DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOrder(const CLSID*, DWORD*, DWORD**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOrder(const CLSID*, DWORD*, DWORD**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumerateAccounts(const CLSID*, const CLSID*, DWORD, IUnknown**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PlaceHolder10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceHolder11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FreeMemory(BYTE*) override { return E_NOTIMPL; }
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

// The class object: one per world, never freed while registered.
class ManagerClass final : public IClassFactory {
public:
    ManagerClass(SimMail& mail, host::fake::FakeAccounts& model) : m_mail(mail), m_model(model) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        host::Ref<host::AccountManager> manager;
        const HRESULT hr = m_model.CreateAccountManager(manager);
        if (FAILED(hr)) return hr;
        m_faces.push_back(std::make_unique<ManagerFace>(m_mail, manager.Get()));
        // The model's reference is the face's first; QueryInterface takes the caller's.
        const HRESULT got = m_faces.back()->QueryInterface(iid, out);
        return got;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    SimMail& m_mail;
    host::fake::FakeAccounts& m_model;
    std::vector<std::unique_ptr<ManagerFace>> m_faces;
};

#pragma GCC diagnostic pop

}  // namespace

struct SimAccounts::Parts {
    explicit Parts(SimMail& mail)
        : model(mail.ModelLedger(), mail.ModelCalls(), mail.Model()), factory(mail, model)
    {
    }
    host::fake::FakeAccounts model;
    ManagerClass factory;
    DWORD cookie = 0;
};

SimAccounts::SimAccounts(SimMail& mail) : m_parts(std::make_unique<Parts>(mail))
{
    const HRESULT hr = CoRegisterClassObject(host::win::kClsidOlkAccountManager, &m_parts->factory,
                                             CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_parts->cookie);
    if (FAILED(hr)) throw std::runtime_error("cannot register the account manager");
}

SimAccounts::~SimAccounts()
{
    if (m_parts->cookie) CoRevokeClassObject(m_parts->cookie);
}

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
