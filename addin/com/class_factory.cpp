#include "addin/com/class_factory.h"

#include <atomic>
#include <new>

#include "addin/com/boundary.h"
#include "addin/com/connect_com.h"
#include "addin/com/module.h"

namespace qev::com {
namespace {

// The module's reference is the first; every one beyond it keeps the server
// loaded, as a server lock would.
class FactoryCount : public host::win::AtomicCount {
public:
    ULONG Up() noexcept
    {
        const ULONG count = AtomicCount::Up();
        if (count == 2) Module().Lock();
        return count;
    }
    ULONG Down() noexcept
    {
        const ULONG count = AtomicCount::Down();
        if (count == 1) Module().Unlock();
        return count;
    }
};

class CConnectClassFactory final
    : public host::win::ComObject<FactoryCount, host::win::Row<IClassFactory, IID_IClassFactory>> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        return Boundary(u"CreateInstance", E_UNEXPECTED, [&] {
            if (!out) return E_POINTER;
            *out = nullptr;
            if (outer) return CLASS_E_NOAGGREGATION;
            return CConnectCom::Create(iid, out);
        });
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
    std::atomic<LONG> m_serverLocks{0};
};

}  // namespace

IClassFactory* CreateConnectClassFactory() noexcept
{
    return new (std::nothrow) CConnectClassFactory();
}

}  // namespace qev::com
