#include "host/fake/fake_ledger.h"

#include "host/com_error.h"

namespace host::fake {

// ---- references ----

LedgerEntry& Ledger::Open(std::string kind, std::string name)
{
    std::lock_guard lock(m_mutex);
    LedgerEntry& entry = m_entries.emplace_back();
    entry.self = std::prev(m_entries.end());
    entry.kind = std::move(kind);
    entry.name = std::move(name);
    return entry;
}

std::uint32_t Ledger::AddRef(LedgerEntry& entry) noexcept
{
    std::lock_guard lock(m_mutex);
    return ++entry.count;
}

std::uint32_t Ledger::Release(LedgerEntry& entry) noexcept
{
    std::function<void()> free;
    std::uint32_t count = 0;
    {
        std::lock_guard lock(m_mutex);
        if (entry.count <= 1) {
            // The world's own reference is not the add-in's to give back.
            ++entry.overReleases;
            return entry.count;
        }
        count = --entry.count;
        if (count == 1 && entry.free && !entry.idle) {
            try {
                m_idleQueue.push_back(&entry);
                entry.idle = true;
            } catch (...) {
                // Not queued: kept until the world ends.
            }
        }
        free = TakeOldestIdle();
    }
    // Outside the lock: the object's own members may give references back.
    if (free) free();
    return count;
}

void Ledger::FreeWhenIdle(LedgerEntry& entry, std::function<void()> free)
{
    std::lock_guard lock(m_mutex);
    entry.free = std::move(free);
}

void Ledger::KeepUntilEnd(LedgerEntry& entry)
{
    std::lock_guard lock(m_mutex);
    entry.free = nullptr;
}

bool Ledger::Settled(const LedgerEntry& entry) const
{
    std::lock_guard lock(m_mutex);
    return entry.count == 1 && entry.overReleases == 0 && !entry.idle;
}

void Ledger::Close(LedgerEntry& entry)
{
    std::lock_guard lock(m_mutex);
    m_entries.erase(entry.self);
}

std::function<void()> Ledger::TakeOldestIdle()
{
    if (m_idleQueue.size() <= kIdleKept) return nullptr;
    LedgerEntry* oldest = m_idleQueue.front();
    m_idleQueue.pop_front();
    oldest->idle = false;
    // Handed out again since, or released too often: it stays on the books.
    if (oldest->count != 1 || oldest->overReleases != 0 || !oldest->free) return nullptr;
    std::function<void()> free = std::move(oldest->free);
    m_entries.erase(oldest->self);
    return free;
}

std::uint32_t Ledger::Count(const LedgerEntry& entry) const
{
    std::lock_guard lock(m_mutex);
    return entry.count;
}

std::vector<std::string> Ledger::Problems() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> problems;
    for (const LedgerEntry& entry : m_entries) {
        const std::string what = entry.kind + " \"" + entry.name + "\": ";
        if (entry.count > 1) {
            const std::uint32_t out = entry.count - 1;
            problems.push_back(what + std::to_string(out) + (out == 1 ? " reference" : " references") +
                               " not released");
        }
        if (entry.overReleases > 0) {
            problems.push_back(what + "released " + std::to_string(entry.overReleases) +
                               (entry.overReleases == 1 ? " time" : " times") + " more than referenced");
        }
    }
    return problems;
}

std::size_t Ledger::Objects() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

// ---- host calls ----

void HostCalls::FailAt(std::uint64_t n, HRESULT hr)
{
    std::lock_guard lock(m_mutex);
    m_at = n;
    m_mode = Mode::Fail;
    m_hr = hr;
    m_fired = false;
    m_firedAt.clear();
}

void HostCalls::ThrowAt(std::uint64_t n)
{
    std::lock_guard lock(m_mutex);
    m_at = n;
    m_mode = Mode::Throw;
    m_hr = E_UNEXPECTED;
    m_fired = false;
    m_firedAt.clear();
}

void HostCalls::FailNamed(std::string what, std::uint32_t count, HRESULT hr)
{
    std::lock_guard lock(m_mutex);
    m_named[std::move(what)] = Named{count, hr};
}

void HostCalls::Disarm()
{
    std::lock_guard lock(m_mutex);
    m_mode = Mode::None;
    m_named.clear();
}

std::uint64_t HostCalls::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

bool HostCalls::Fired() const
{
    std::lock_guard lock(m_mutex);
    return m_fired;
}

std::string HostCalls::FiredAt() const
{
    std::lock_guard lock(m_mutex);
    return m_firedAt;
}

void HostCalls::OnCall(std::function<void(std::uint64_t, std::string_view)> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

HostCalls::Mode HostCalls::Next(std::string_view what, HRESULT& hr)
{
    std::function<void(std::uint64_t, std::string_view)> listener;
    std::uint64_t n = 0;
    Mode mode = Mode::None;
    {
        std::lock_guard lock(m_mutex);
        n = ++m_count;
        if (m_mode != Mode::None && n == m_at) {
            mode = m_mode;
            hr = m_hr;
            m_mode = Mode::None;
            m_fired = true;
            m_firedAt = std::string(what) + " #" + std::to_string(n);
        } else if (const auto named = m_named.find(what); named != m_named.end() && named->second.left > 0) {
            --named->second.left;
            mode = Mode::Fail;
            hr = named->second.hr;
        }
        listener = m_listener;
    }
    if (listener) {
        try {
            listener(n, what);
        } catch (...) {
            // An observer of the count does not change the call's outcome.
        }
    }
    return mode;
}

void HostCalls::Enter(std::string_view what)
{
    HRESULT hr = S_OK;
    switch (Next(what, hr)) {
        case Mode::None:
            return;
        case Mode::Fail:
            throw ComError(hr);
        case Mode::Throw:
            throw InjectedException(std::string(what));
    }
}

HRESULT HostCalls::Check(std::string_view what)
{
    HRESULT hr = S_OK;
    switch (Next(what, hr)) {
        case Mode::None:
            return S_OK;
        case Mode::Fail:
            return hr;
        case Mode::Throw:
            throw InjectedException(std::string(what));
    }
    return S_OK;
}

HRESULT HostCalls::CheckNoThrow(std::string_view what) noexcept
{
    try {
        HRESULT hr = S_OK;
        return Next(what, hr) == Mode::None ? S_OK : hr;
    } catch (...) {
        // Recording where the failure fired could not allocate.
        return E_OUTOFMEMORY;
    }
}

}  // namespace host::fake
