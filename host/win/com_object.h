// How a COM object is written on the Windows side (qev.dll, the simulated
// Outlook, the Windows suites): ComObject gives the interface table, the
// reference count and, through the count, the module lock; ComPtr owns
// interface references; CallGuarded is the boundary that keeps exceptions
// out of COM. Nothing here depends on the add-in or on test code.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <atomic>
#include <cstddef>
#include <tuple>
#include <utility>

namespace host::win {

// Owns one reference to a COM interface.
//
// There are two smart pointers on purpose: host::Ref holds objects of the
// seam (host::Object, portable, no IID, Query by host::Iface) and is all the
// portable logic sees; ComPtr holds COM interfaces (IUnknown-derived, queried
// by IID) and lives only on the Windows side.
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
    // Takes over a reference the caller owns.
    static ComPtr Adopt(T* p) noexcept
    {
        ComPtr c;
        c.m_p = p;
        return c;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p) noexcept
    {
        if (p) p->AddRef();
        return Adopt(p);
    }
    ComPtr(const ComPtr& other) noexcept : m_p(other.m_p)
    {
        if (m_p) m_p->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }
    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    // For an out parameter: releases what it holds first.
    T** Out() noexcept
    {
        Reset();
        return &m_p;
    }
    void** OutVoid() noexcept { return reinterpret_cast<void**>(Out()); }

    // QueryInterface for U; null when the object has no such interface.
    template <class U>
    ComPtr<U> As(REFIID iid) const noexcept
    {
        ComPtr<U> out;
        if (m_p) {
            if (FAILED(m_p->QueryInterface(iid, out.OutVoid()))) out.Reset();
        }
        return out;
    }

private:
    T* m_p = nullptr;
};

// ---- reference counts ----
//
// A count gives Up() and Down() (the new count). When kDeletes is true the
// object is deleted when Down() reaches 0; a count that belongs to somebody
// else (a ledger, a model object) sets it false and the object's owner
// deletes it.

// For objects that any thread may call.
class AtomicCount {
public:
    static constexpr bool kDeletes = true;
    ULONG Up() noexcept { return ++m_count; }
    ULONG Down() noexcept { return --m_count; }
    ULONG Get() const noexcept { return m_count.load(); }

private:
    std::atomic<ULONG> m_count{1};
};

// For objects that live and are called on one thread only.
class PlainCount {
public:
    static constexpr bool kDeletes = true;
    ULONG Up() noexcept { return ++m_count; }
    ULONG Down() noexcept { return --m_count; }
    ULONG Get() const noexcept { return m_count; }

private:
    ULONG m_count = 1;
};

// For objects whose owner keeps them alive (a member, a stack object):
// references are not counted and Release never deletes.
class OwnerLifetime {
public:
    static constexpr bool kDeletes = false;
    ULONG Up() noexcept { return 2; }
    ULONG Down() noexcept { return 1; }
};

// A count that also holds Lock (static Lock() / Unlock(), a server's lock
// count) for as long as the object lives.
template <class Lock, class Count = AtomicCount>
class Locked : public Count {
public:
    Locked() noexcept { Lock::Lock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    ~Locked() { Lock::Unlock(); }
};

// ---- the interface table ----

// One row: the object answers each of Ids with itself as Interface.
// IID_IUnknown is not listed: it is answered by the first row's interface.
template <class Interface, const IID&... Ids>
struct Row {
    using Type = Interface;
    static bool Matches(REFIID iid) noexcept { return (IsEqualIID(iid, Ids) || ...); }
};

// COM interfaces are released through Release, never deleted through a base
// pointer; the object's own destructor is virtual.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// A COM object implementing the interfaces of Rows. Its IUnknown: QueryInterface
// over the table (E_POINTER for a null output, E_NOINTERFACE and a null output
// for an interface it does not answer), AddRef and Release on Count. The count
// starts at 1, the creator's reference (see Make).
template <class Count, class... Rows>
class ComObject : public Rows::Type... {
    using First = typename std::tuple_element<0, std::tuple<typename Rows::Type...>>::type;

public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        void* found = IsEqualIID(iid, IID_IUnknown) ? static_cast<First*>(this) : Find<Rows...>(iid);
        if (!found) found = QueryMore(iid);
        if (!found || !Offers(iid)) return E_NOINTERFACE;
        AddRef();
        *out = found;
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return m_count.Up(); }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG count = m_count.Down();
        if constexpr (Count::kDeletes) {
            if (count == 0) {
                // Whatever the object releases while it is taken down must
                // not bring the count to zero a second time.
                m_count.Up();
                delete this;
            }
        }
        return count;
    }

    // The object as its IUnknown (no reference added).
    IUnknown* AsUnknown() noexcept { return static_cast<First*>(this); }

protected:
    template <class... Args>
    explicit ComObject(Args&&... countArgs) : m_count(std::forward<Args>(countArgs)...)
    {
    }
    virtual ~ComObject() = default;

    // Interfaces whose ids are known only at run time (an event interface
    // given at construction): the interface pointer, or null.
    virtual void* QueryMore(REFIID) noexcept { return nullptr; }
    // For objects whose answers depend on their state: false hides a row.
    virtual bool Offers(REFIID) const noexcept { return true; }

    Count& RefCount() noexcept { return m_count; }
    const Count& RefCount() const noexcept { return m_count; }

private:
    template <class R, class... More>
    void* Find(REFIID iid) noexcept
    {
        if (R::Matches(iid)) return static_cast<typename R::Type*>(this);
        if constexpr (sizeof...(More) > 0)
            return Find<More...>(iid);
        else
            return nullptr;
    }

    Count m_count;
};

#pragma GCC diagnostic pop

// A new object holding its creator's reference.
template <class T, class... Args>
ComPtr<T> Make(Args&&... args)
{
    return ComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

// The boundary of a COM method: runs body (which returns an HRESULT) and
// turns any exception into onException's answer, called inside the catch
// block so that it can look at the exception (trace it, say).
template <class Body, class OnException>
HRESULT CallGuarded(Body&& body, OnException&& onException) noexcept
{
    try {
        return body();
    } catch (...) {
        return onException();
    }
}

}  // namespace host::win
