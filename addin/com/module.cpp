#include "addin/com/module.h"

#include <new>

#include "addin/com/class_factory.h"
#include "addin/com/office_ribbon.h"
#include "addin/com/qev_idl.h"

namespace qev::com {
namespace {

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK& m_lock;
};

template <class T>
void ReleaseAndClear(T*& p) noexcept
{
    if (p) {
        T* held = p;
        p = nullptr;
        held->Release();
    }
}

}  // namespace

CAddInModule& Module() noexcept
{
    static CAddInModule module;
    return module;
}

void CAddInModule::Attach(HINSTANCE instance) noexcept
{
    m_instance = instance;
}

void CAddInModule::Detach(bool processEnding) noexcept
{
    if (processEnding) return;
    ExclusiveLock lock(m_lock);
    for (auto& sides : m_infos)
        for (ITypeInfo*& info : sides) ReleaseAndClear(info);
    ReleaseAndClear(m_typeLib);
    ReleaseAndClear(m_classObject);
}

std::wstring CAddInModule::ModulePath() const
{
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(m_instance, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

LONG CAddInModule::Lock() noexcept
{
    return ++m_locks;
}

LONG CAddInModule::Unlock() noexcept
{
    return --m_locks;
}

HRESULT CAddInModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_Connect)) return CLASS_E_CLASSNOTAVAILABLE;
    IClassFactory* factory = nullptr;
    {
        ExclusiveLock lock(m_lock);
        if (!m_classObject) m_classObject = CreateConnectClassFactory();
        factory = m_classObject;
        if (factory) factory->AddRef();
    }
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

HRESULT CAddInModule::LoadTypeLibraryLocked() noexcept
{
    if (m_typeLib) return S_OK;
    try {
        const std::wstring path = ModulePath();
        if (path.empty()) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_MOD_NOT_FOUND);
        return LoadTypeLibEx(path.c_str(), REGKIND_NONE, &m_typeLib);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CAddInModule::TypeLibrary(ITypeLib** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    ExclusiveLock lock(m_lock);
    const HRESULT hr = LoadTypeLibraryLocked();
    if (FAILED(hr)) return hr;
    m_typeLib->AddRef();
    *out = m_typeLib;
    return S_OK;
}

HRESULT CAddInModule::InterfaceInfo(REFIID iid, bool vtableSide, ITypeInfo** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    int index = -1;
    if (IsEqualIID(iid, IID_IConnect))
        index = 0;
    else if (IsEqualIID(iid, IID_IRibbonCallback))
        index = 1;
    else if (IsEqualIID(iid, IID_IRibbonExtensibility))
        index = 2;
    if (index < 0) return TYPE_E_ELEMENTNOTFOUND;

    ExclusiveLock lock(m_lock);
    ITypeInfo*(&sides)[2] = m_infos[index];
    if (!sides[0]) {
        ITypeInfo* described = nullptr;
        HRESULT hr = S_OK;
        if (index == 2) {
            // Office's own library, as Office registered it (any 2.x from
            // 2.4 on); not cached while it is missing, so that it is found
            // once it is there.
            ITypeLib* office = nullptr;
            hr = LoadRegTypeLib(LIBID_Office, 2, 4, LOCALE_NEUTRAL, &office);
            if (FAILED(hr)) return hr;
            hr = office->GetTypeInfoOfGuid(iid, &described);
            office->Release();
        } else {
            hr = LoadTypeLibraryLocked();
            if (FAILED(hr)) return hr;
            hr = m_typeLib->GetTypeInfoOfGuid(iid, &described);
        }
        if (FAILED(hr)) return hr;
        // A dual interface is described by its dispatch side; the vtable side
        // is the interface it refers to as implemented type -1.
        ITypeInfo* vtable = nullptr;
        HREFTYPE ref = 0;
        if (SUCCEEDED(described->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref))) {
            hr = described->GetRefTypeInfo(ref, &vtable);
        } else {
            described->AddRef();
            vtable = described;
            hr = S_OK;
        }
        if (FAILED(hr)) {
            described->Release();
            return hr;
        }
        sides[0] = described;
        sides[1] = vtable;
    }
    *out = sides[vtableSide ? 1 : 0];
    return S_OK;
}

}  // namespace qev::com
