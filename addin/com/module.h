// CAddInModule: qev.dll as a COM server. It counts what keeps the library
// loaded (live objects, server locks, class object references held by
// clients), owns the one class object and the type library, and knows the
// library's own path.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <atomic>
#include <string>

namespace qev::com {

class CAddInModule {
public:
    CAddInModule() noexcept = default;
    CAddInModule(const CAddInModule&) = delete;
    CAddInModule& operator=(const CAddInModule&) = delete;

    // DLL_PROCESS_ATTACH / DLL_PROCESS_DETACH. At process end nothing is
    // released: the libraries the objects belong to may be gone already.
    void Attach(HINSTANCE instance) noexcept;
    void Detach(bool processEnding) noexcept;

    HINSTANCE Instance() const noexcept { return m_instance; }
    // The full path of qev.dll; empty when it cannot be had.
    std::wstring ModulePath() const;

    // The lock count: DllCanUnloadNow answers S_OK only at 0.
    LONG Lock() noexcept;
    LONG Unlock() noexcept;
    LONG LockCount() const noexcept { return m_locks.load(); }

    // DllGetClassObject: the class object of qev.Connect, made on the first
    // request under the module's lock and kept until the module ends.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept;

    // The type library embedded as TYPELIB 1, loaded once without registering it.
    HRESULT TypeLibrary(ITypeLib** out) noexcept;

    // The type information of IConnect or IRibbonCallback (qev's library),
    // or of IRibbonExtensibility (Office's, where it is registered): as the
    // library describes the interface (the dispatch side of the dual), or its vtable
    // side (what ITypeInfo::Invoke needs to call the methods). The reference
    // belongs to the module.
    HRESULT InterfaceInfo(REFIID iid, bool vtableSide, ITypeInfo** out) noexcept;

private:
    HRESULT LoadTypeLibraryLocked() noexcept;

    HINSTANCE m_instance = nullptr;
    std::atomic<LONG> m_locks{0};
    SRWLOCK m_lock = SRWLOCK_INIT;
    IClassFactory* m_classObject = nullptr;
    ITypeLib* m_typeLib = nullptr;
    // [interface][side]: IConnect, IRibbonCallback, IRibbonExtensibility;
    // described, vtable.
    ITypeInfo* m_infos[3][2] = {};
};

CAddInModule& Module() noexcept;

// The module's lock as a COM object's count holds it (host::win::Locked):
// a live object keeps the library loaded.
struct ModuleLock {
    static void Lock() noexcept { Module().Lock(); }
    static void Unlock() noexcept { Module().Unlock(); }
};

}  // namespace qev::com
