#pragma once
// Segment-length statistics: the distribution of series lengths (MIN, Tukey hinges, median, MAX)
// and how many series reach each of them, printed before and after the series are censored.
#include <array>
#include <string_view>

#include "console/console.hpp"
#include "console/report.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

struct SegmentStats {
    // MIN, 25%, MED, 75%, MAX of the segment lengths, each truncated toward zero.
    std::array<int, 5> value{};
    // Series whose length equals MIN; is at least 25%, MED, 75%; equals MAX.
    std::array<int, 5> count{};
    int median() const { return value[2]; }
};

// Statistics of the segment lengths of every series of the table (at least one series).
SegmentStats segment_length_stats(const SeriesTable& table);

// Prints the three-line table on the console (after an empty line) and writes the same three
// lines to the report. `censored` picks the title: "ORIGINAL DATA SET" or "CENSORED DATA SET".
void print_segment_stats(const SegmentStats& stats, bool censored, Console& console, Report& report);

}  // namespace kestrovan
