// Reference-counted host objects, as COM hands them out: every object the
// add-in is given or fetches is held through Ref<T> and released once.
#pragma once

#include <cstdint>
#include <utility>

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
};

class Object {
public:
    virtual std::uint32_t AddRef() noexcept = 0;
    virtual std::uint32_t Release() noexcept = 0;
    // The object as interface iface with one more reference, or null.
    virtual Object* Query(Iface iface) noexcept = 0;

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

}  // namespace host
