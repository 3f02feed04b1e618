// A critical section with an explicit life, as the add-in's button lock has:
// initialised at connection, deleted once at disconnection.
#pragma once

#include <mutex>
#include <optional>

namespace qev {

class CriticalSection {
public:
    void Init()
    {
        if (!m_lock) m_lock.emplace();
    }
    // Deletes the lock; false when it was not initialised (nothing deleted).
    bool Delete()
    {
        if (!m_lock) return false;
        m_lock.reset();
        return true;
    }
    bool Initialised() const noexcept { return m_lock.has_value(); }
    // Null when the lock is not initialised.
    std::recursive_mutex* Get() noexcept { return m_lock ? &*m_lock : nullptr; }

private:
    std::optional<std::recursive_mutex> m_lock;
};

// Holds a CriticalSection for its scope while it is initialised: after
// disconnection it is gone, and whatever still runs then runs alone on
// Outlook's thread anyway.
class CriticalSectionScope {
public:
    explicit CriticalSectionScope(CriticalSection& lock) : m_lock(lock.Get())
    {
        if (m_lock) m_lock->lock();
    }
    ~CriticalSectionScope()
    {
        if (m_lock) m_lock->unlock();
    }
    CriticalSectionScope(const CriticalSectionScope&) = delete;
    CriticalSectionScope& operator=(const CriticalSectionScope&) = delete;

private:
    std::recursive_mutex* m_lock;
};

}  // namespace qev
