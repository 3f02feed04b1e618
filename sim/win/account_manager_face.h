// Outlook's account manager as the simulated Outlook and the Windows suites
// hand it to the add-in: the COM face, whose slots the add-in never calls
// answer E_NOTIMPL (Init, Advise and Unadvise are the subclass's), and the
// class object that makes CoCreateInstance of the manager's class id find it.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <functional>
#include <utility>

#include "host/win/com_object.h"
#include "host/win/win_accounts.h"

namespace qev::sim::win {

template <class Count>
class AccountManagerFace
    : public host::win::ComObject<Count, host::win::Row<host::win::IOlkAccountManager, host::win::kIidOlkErrorUnknown,
                                                        host::win::kIidOlkAccountManager>> {
    using Base =
        host::win::ComObject<Count, host::win::Row<host::win::IOlkAccountManager, host::win::kIidOlkErrorUnknown,
                                                   host::win::kIidOlkAccountManager>>;

public:
    using Base::Base;

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, LPWSTR* error) override
    {
        if (error) *error = nullptr;
        return E_NOTIMPL;
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
};

// The class object, registered in this process (CoRegisterClassObject) from
// Register() until Revoke() or its end; its owner keeps it alive. Each
// CreateInstance goes to create (the aggregation and output checks done).
class AccountManagerClass final
    : public host::win::ComObject<host::win::OwnerLifetime, host::win::Row<IClassFactory, IID_IClassFactory>> {
public:
    using Create = std::function<HRESULT(REFIID iid, void** out)>;

    explicit AccountManagerClass(Create create) : m_create(std::move(create)) {}
    ~AccountManagerClass() override { Revoke(); }

    HRESULT Register() noexcept
    {
        return CoRegisterClassObject(host::win::kClsidOlkAccountManager, this->AsUnknown(), CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &m_registration);
    }
    HRESULT Revoke() noexcept
    {
        if (!m_registration) return S_FALSE;
        return CoRevokeClassObject(std::exchange(m_registration, 0));
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return m_create(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    Create m_create;
    DWORD m_registration = 0;
};

}  // namespace qev::sim::win
