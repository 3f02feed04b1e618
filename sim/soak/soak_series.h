// The figures of a soak (a long run of one kind of work), sampled at regular
// points, and whether they stayed flat once the run had warmed up.
//
// Shared by the native soak and the one under Wine; standard C++ only.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace qev::sim {

// A figure sampled through the run, and how far it may grow from the
// warm-up sample to the last: slack units, or fraction of the warm-up value
// if that is more. A figure with negative slack is shown, never checked.
struct SoakFigure {
    std::string name;
    std::string unit;
    std::int64_t slack = 0;
    double fraction = 0;
};

class SoakSeries {
public:
    // Writes the table's head.
    SoakSeries(std::ostream& out, std::string rounds, std::vector<SoakFigure> figures);

    // One sample after `round` rounds, a value per figure; written as it comes.
    // The first sample taken with warm set is the one growth is measured from.
    void Sample(std::uint64_t round, const std::vector<std::int64_t>& values, bool warm);

    // A line per checked figure that grew beyond its bound from the warm-up
    // sample to the last, and one when there is no such pair of samples.
    std::vector<std::string> Problems() const;
    // "NAME: A -> B UNIT (+D, allowed +L)" per figure.
    void WriteGrowth(std::ostream& out) const;

private:
    struct Row {
        std::uint64_t round;
        std::vector<std::int64_t> values;
    };
    std::int64_t Allowed(std::size_t figure, std::int64_t base) const;

    std::ostream& m_out;
    std::string m_rounds;
    std::vector<SoakFigure> m_figures;
    std::vector<int> m_widths;  // of the table's columns
    std::vector<Row> m_rows;
    std::size_t m_warm = 0;  // index of the warm-up row in m_rows, when m_warmed
    bool m_warmed = false;
};

}  // namespace qev::sim
