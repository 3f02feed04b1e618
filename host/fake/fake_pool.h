// Objects the world makes for one hand-out (a stream, a selection, a picture,
// a control): each is freed once every reference to it has come back, so
// that a long run keeps only the objects still held.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace host::fake {

template <class T>
class Pool {
public:
    Pool() = default;
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    ~Pool()
    {
        for (auto& [raw, object] : m_objects) object->KeepUntilEnd();
    }

    // Makes one; the ledger frees it when it is idle.
    template <class... Args>
    T& Make(Args&&... args)
    {
        auto object = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = object.get();
        {
            std::lock_guard lock(m_mutex);
            m_objects.emplace(raw, std::move(object));
        }
        raw->FreeWhenIdle([this, raw] { Free(raw); });
        return *raw;
    }

    // The number of the next one's name (1, 2, ...).
    std::uint64_t Number()
    {
        std::lock_guard lock(m_mutex);
        return ++m_made;
    }
    std::size_t Live() const
    {
        std::lock_guard lock(m_mutex);
        return m_objects.size();
    }

    template <class F>
    void ForEach(F&& f) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [raw, object] : m_objects) f(*raw);
    }

private:
    void Free(T* raw)
    {
        std::unique_ptr<T> gone;
        {
            std::lock_guard lock(m_mutex);
            const auto it = m_objects.find(raw);
            if (it == m_objects.end()) return;
            gone = std::move(it->second);
            m_objects.erase(it);
        }
    }

    mutable std::mutex m_mutex;
    std::map<T*, std::unique_ptr<T>> m_objects;
    std::uint64_t m_made = 0;
};

}  // namespace host::fake
