// Reference-counted host objects, as COM hands them out: every object the
// add-in is given or fetches is held through Ref<T> and released once.
#pragma once

#include <cstdint>
#include <utility>

#include "host/hresult.h"

namespace host {

// The host interfaces an object may answer for (the QueryInterface of this seam).
enum class Iface {
    Unknown,
    Dispatch,
    Stream,
    Application,
    Explorer,
    EventSource,
    Namespace,
    Folder,
    Items,
    MailItem,
    Selection,
    MapiProp,
    MsgStore,
    MapiFolder,
    MapiSession,
    AccountManager,
    RibbonUI,
    CommandBars,
    CommandBar,
    CommandBarControls,
    CommandBarButton,
    RibbonControl,
    Inspector,
    XmlDocument,
    XmlElement,
    Picture,
};

class Object {
public:
    virtual std::uint32_t AddRef() noexcept = 0;
    virtual std::uint32_t Release() noexcept = 0;
    // The object as interface iface with one more reference, or null.
    virtual Object* Query(Iface iface) noexcept = 0;
    // The same with the query's own result: S_OK, E_NOINTERFACE when the
    // object has no such interface, or the failure of a host whose query can
    // fail for other reasons (a COM proxy whose server is gone). out is null
    // unless S_OK.
    virtual HRESULT QueryResult(Iface iface, Object*& out) noexcept
    {
        out = Query(iface);
        return out ? S_OK : E_NOINTERFACE;
    }

protected:
    ~Object() = default;
};

// Owns one reference. Null is a valid value.
template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor)
    // Takes over a reference the caller already owns.
    static Ref Adopt(T* p) noexcept
    {
        Ref r;
        r.m_p = p;
        return r;
    }
    // Adds a reference of its own.
    static Ref Share(T* p) noexcept
    {
        if (p) p->AddRef();
        return Adopt(p);
    }
    Ref(const Ref& other) noexcept : m_p(other.m_p)
    {
        if (m_p) m_p->AddRef();
    }
    Ref(Ref&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    template <class U>
    Ref(Ref<U>&& other) noexcept : m_p(other.Detach())  // NOLINT(google-explicit-constructor)
    {
    }
    Ref& operator=(Ref other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~Ref() { Reset(); }

    void Reset() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }
    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// Asks an object for another of its interfaces; null when it has none.
template <class T>
Ref<T> QueryAs(Object* object) noexcept
{
    if (!object) return nullptr;
    return Ref<T>::Adopt(static_cast<T*>(object->Query(T::kIface)));
}

// The same with the query's result (see Object::QueryResult); a null object
// gives E_POINTER.
template <class T>
HRESULT QueryAs(Object* object, Ref<T>& out) noexcept
{
    out.Reset();
    if (!object) return E_POINTER;
    Object* found = nullptr;
    const HRESULT hr = object->QueryResult(T::kIface, found);
    if (FAILED(hr)) {
        if (found) found->Release();
        return hr;
    }
    out = Ref<T>::Adopt(static_cast<T*>(found));
    return out ? S_OK : E_NOINTERFACE;
}

}  // namespace host
