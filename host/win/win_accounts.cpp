#include "host/win/win_accounts.h"

#include <atomic>
#include <vector>

#include "host/win/com_object.h"
#include "host/win/win_wrapper.h"

namespace host::win {
namespace {

HRESULT Unexpected() noexcept
{
    return E_UNEXPECTED;
}

// The add-in's IOlkAccountHelper as the account manager sees it.
class HelperObject final : public ComObject<AtomicCount, Row<IOlkAccountHelper, kIidOlkAccountHelper>> {
public:
    explicit HelperObject(AccountHelper* helper) noexcept : m_helper(helper) {}

    void Drop() noexcept { m_helper.store(nullptr); }

    HRESULT STDMETHODCALLTYPE PlaceHolder1(LPVOID) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIdentity(LPWSTR identity, DWORD* count) override
    {
        AccountHelper* helper = m_helper.load();
        if (!helper) return E_UNEXPECTED;
        return CallGuarded(
            [&] {
                // DWORD and std::uint32_t are distinct types of one width.
                std::uint32_t size = count ? static_cast<std::uint32_t>(*count) : 0;
                const HRESULT hr = helper->GetIdentity(reinterpret_cast<char16_t*>(identity), count ? &size : nullptr);
                if (count) *count = size;
                return hr;
            },
            Unexpected);
    }

    HRESULT STDMETHODCALLTYPE GetMapiSession(LPUNKNOWN* session) override
    {
        // The seam has no null output to pass on; the add-in's answer to one
        // is E_INVALIDARG.
        if (!session) return E_INVALIDARG;
        *session = nullptr;
        AccountHelper* helper = m_helper.load();
        if (!helper) return E_NOTIMPL;
        return CallGuarded(
            [&] {
                Ref<Object> object;
                const HRESULT hr = helper->GetMapiSession(object);
                if (IUnknown* unknown = ComUnknownOf(object.Get())) {
                    unknown->AddRef();
                    *session = unknown;
                }
                return hr;
            },
            Unexpected);
    }

    HRESULT STDMETHODCALLTYPE HandsOffSession() override { return E_NOTIMPL; }

private:
    std::atomic<AccountHelper*> m_helper;
};

// The add-in's IOlkAccountNotify as the account manager sees it.
class NotifyObject final
    : public ComObject<AtomicCount, Row<IOlkAccountNotify, kIidOlkErrorUnknown, kIidOlkAccountNotify>> {
public:
    explicit NotifyObject(AccountNotify* notify) noexcept : m_notify(notify) {}

    void Drop() noexcept { m_notify.store(nullptr); }

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, LPWSTR* error) override
    {
        if (error) *error = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE Notify(DWORD notify, DWORD accountId, DWORD flags) override
    {
        AccountNotify* target = m_notify.load();
        if (!target) return S_OK;
        return CallGuarded([&] { return target->Notify(notify, accountId, flags); }, Unexpected);
    }

private:
    std::atomic<AccountNotify*> m_notify;
};

class WinAccountManager final : public Wrapper<AccountManager> {
public:
    explicit WinAccountManager(IOlkAccountManager* manager) noexcept : Wrapper(manager), m_manager(manager) {}

    HRESULT Init(AccountHelper* helper, std::uint32_t flags) override
    {
        try {
            m_helpers.reserve(m_helpers.size() + 1);
            auto object = ComPtr<HelperObject>::Adopt(helper ? new HelperObject(helper) : nullptr);
            const HRESULT hr = m_manager->Init(object.Get(), flags);
            if (object) {
                if (SUCCEEDED(hr))
                    m_helpers.push_back(std::move(object));
                else
                    object->Drop();
            }
            return hr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT Advise(AccountNotify* notify, std::uint32_t* cookie) override
    {
        try {
            m_notifies.reserve(m_notifies.size() + 1);
            auto object = ComPtr<NotifyObject>::Adopt(notify ? new NotifyObject(notify) : nullptr);
            // The manager sees the caller's preset value and writes its own.
            DWORD value = cookie ? *cookie : 0;
            const HRESULT hr = m_manager->Advise(object.Get(), cookie ? &value : nullptr);
            if (cookie) *cookie = value;
            if (object) {
                if (SUCCEEDED(hr))
                    m_notifies.push_back({value, std::move(object)});
                else
                    object->Drop();
            }
            return hr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }

    HRESULT Unadvise(std::uint32_t cookie) override
    {
        // Cut off first: whatever the manager answers, the add-in may go away.
        for (auto it = m_notifies.begin(); it != m_notifies.end();) {
            if (it->cookie == cookie) {
                it->object->Drop();
                it = m_notifies.erase(it);
            } else {
                ++it;
            }
        }
        return m_manager->Unadvise(cookie);
    }

private:
    ~WinAccountManager() override
    {
        for (const ComPtr<HelperObject>& helper : m_helpers) helper->Drop();
        for (const Advised& advised : m_notifies) advised.object->Drop();
    }

    bool Answers(Iface iface) const noexcept override { return iface == Iface::AccountManager; }

    struct Advised {
        DWORD cookie;
        ComPtr<NotifyObject> object;
    };

    IOlkAccountManager* m_manager;  // the wrapper's own reference
    std::vector<ComPtr<HelperObject>> m_helpers;
    std::vector<Advised> m_notifies;
};

}  // namespace

Ref<AccountManager> WrapAccountManager(IOlkAccountManager* manager)
{
    if (!manager) return nullptr;
    return Ref<AccountManager>::Adopt(new WinAccountManager(manager));
}

HRESULT WinComClasses::CreateAccountManager(Ref<AccountManager>& out)
{
    out = nullptr;
    IOlkAccountManager* created = nullptr;
    const HRESULT hr = CoCreateInstance(kClsidOlkAccountManager, nullptr, CLSCTX_INPROC_SERVER, kIidOlkAccountManager,
                                        reinterpret_cast<void**>(&created));
    const auto manager = ComPtr<IOlkAccountManager>::Adopt(created);
    if (FAILED(hr)) return hr;
    if (!manager) return E_POINTER;
    try {
        out = WrapAccountManager(manager.Get());
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return hr;
}

}  // namespace host::win
