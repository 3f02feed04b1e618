#include "sim/soak/soak_series.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <utility>

namespace qev::sim {

SoakSeries::SoakSeries(std::ostream& out, std::string rounds, std::vector<SoakFigure> figures)
    : m_out(out), m_rounds(std::move(rounds)), m_figures(std::move(figures))
{
    m_out << std::setw(10) << m_rounds;
    for (const SoakFigure& figure : m_figures) {
        const std::string head = figure.name + " (" + figure.unit + ")";
        m_widths.push_back(static_cast<int>(std::max<std::size_t>(12, head.size() + 2)));
        m_out << std::setw(m_widths.back()) << head;
    }
    m_out << std::endl;
}

void SoakSeries::Sample(std::uint64_t round, const std::vector<std::int64_t>& values, bool warm)
{
    m_rows.push_back({round, values});
    if (warm && !m_warmed) {
        m_warm = m_rows.size() - 1;
        m_warmed = true;
    }
    m_out << std::setw(10) << round;
    for (std::size_t i = 0; i < values.size(); ++i) m_out << std::setw(i < m_widths.size() ? m_widths[i] : 12) << values[i];
    m_out << (warm && m_warm == m_rows.size() - 1 ? "   <- warmed up" : "") << std::endl;
}

std::int64_t SoakSeries::Allowed(std::size_t figure, std::int64_t base) const
{
    const SoakFigure& f = m_figures[figure];
    const auto share = static_cast<std::int64_t>(std::llround(f.fraction * static_cast<double>(std::max<std::int64_t>(base, 0))));
    return std::max(f.slack, share);
}

std::vector<std::string> SoakSeries::Problems() const
{
    if (!m_warmed || m_warm + 1 >= m_rows.size()) return {"no sample after the warm-up one: nothing to compare"};
    std::vector<std::string> problems;
    const Row& first = m_rows[m_warm];
    const Row& last = m_rows.back();
    for (std::size_t i = 0; i < m_figures.size(); ++i) {
        if (m_figures[i].slack < 0) continue;
        const std::int64_t grown = last.values[i] - first.values[i];
        const std::int64_t allowed = Allowed(i, first.values[i]);
        if (grown > allowed)
            problems.push_back(m_figures[i].name + " grew by " + std::to_string(grown) + " " + m_figures[i].unit +
                               " from " + m_rounds + " " + std::to_string(first.round) + " to " +
                               std::to_string(last.round) + " (allowed: " + std::to_string(allowed) + ")");
    }
    return problems;
}

void SoakSeries::WriteGrowth(std::ostream& out) const
{
    if (!m_warmed || m_rows.empty()) return;
    const Row& first = m_rows[m_warm];
    const Row& last = m_rows.back();
    for (std::size_t i = 0; i < m_figures.size(); ++i) {
        const std::int64_t grown = last.values[i] - first.values[i];
        out << "  " << m_figures[i].name << ": " << first.values[i] << " -> " << last.values[i] << " "
            << m_figures[i].unit << " (" << (grown >= 0 ? "+" : "") << grown;
        if (m_figures[i].slack >= 0) out << ", allowed +" << Allowed(i, first.values[i]);
        out << ")\n";
    }
}

}  // namespace qev::sim
