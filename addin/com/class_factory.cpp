#include "addin/com/class_factory.h"

#include <atomic>
#include <new>

#include "addin/com/connect_com.h"
#include "addin/com/module.h"
#include "addin/trace.h"

namespace qev::com {
namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM objects die through Release

class CConnectClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            AddRef();
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override
    {
        const LONG refs = ++m_refs;
        if (refs == 2) Module().Lock();
        return static_cast<ULONG>(refs);
    }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = --m_refs;
        if (refs == 1) Module().Unlock();
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        try {
            if (!out) return E_POINTER;
            *out = nullptr;
            if (outer) return CLASS_E_NOAGGREGATION;
            return CConnectCom::Create(iid, out);
        } catch (...) {
            TraceCaughtException(u"CreateInstance");
            return E_UNEXPECTED;
        }
    }

    // Server locks are counted apart as well, so that an unlock without its
    // lock cannot take away the count of a live object.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) {
            ++m_serverLocks;
            Module().Lock();
            return S_OK;
        }
        LONG held = m_serverLocks.load();
        do {
            if (held <= 0) return E_UNEXPECTED;
        } while (!m_serverLocks.compare_exchange_weak(held, held - 1));
        Module().Unlock();
        return S_OK;
    }

private:
    std::atomic<LONG> m_refs{1};
    std::atomic<LONG> m_serverLocks{0};
};

#pragma GCC diagnostic pop

}  // namespace

IClassFactory* CreateConnectClassFactory() noexcept
{
    return new (std::nothrow) CConnectClassFactory();
}

}  // namespace qev::com
