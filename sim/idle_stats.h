// What one `idle` cost, for the catch-up benchmark: each timer the add-in
// ran is the user-interface thread held for that long. When the environment
// sets QEV_SIM_TIMER_STATS, both runners write one line per `idle` to
// standard error: "idle: timers=N total_ms=X longest_ms=Y longest_at=K" (K counts the
// timers of that idle from 1). Standard C++ only.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace qev::sim {

class IdleStats {
public:
    // Runs one timer and counts its time.
    template <class Run>
    void Time(Run&& run)
    {
        const auto start = std::chrono::steady_clock::now();
        run();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        ++m_timers;
        m_total += ms;
        if (ms > m_longest) {
            m_longest = ms;
            m_longestAt = m_timers;
        }
    }
    ~IdleStats()
    {
        if (std::getenv("QEV_SIM_TIMER_STATS"))
            std::fprintf(stderr, "idle: timers=%u total_ms=%.3f longest_ms=%.3f longest_at=%u\n", m_timers, m_total,
                         m_longest, m_longestAt);
    }

private:
    unsigned m_timers = 0;
    double m_total = 0;
    double m_longest = 0;
    unsigned m_longestAt = 0;
};

}  // namespace qev::sim
