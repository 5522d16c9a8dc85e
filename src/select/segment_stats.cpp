#include "select/segment_stats.hpp"

#include <vector>

#include "model/format.hpp"
#include "stats/robust.hpp"

namespace kestrovan {

SegmentStats segment_length_stats(const SeriesTable& table) {
    std::vector<float> lengths;
    lengths.reserve(table.years.size());
    for (const auto& y : table.years) lengths.push_back(static_cast<float>(y.length));

    // mfs sorts its argument; `lengths` is our own copy.
    const FiveNumberSummary five = mfs(lengths);
    SegmentStats s;
    s.value = {static_cast<int>(five.minimum), static_cast<int>(five.lower_quartile),
               static_cast<int>(five.median), static_cast<int>(five.upper_quartile),
               static_cast<int>(five.maximum)};
    for (const auto& y : table.years) {
        if (y.length == s.value[0]) ++s.count[0];
        if (y.length >= s.value[1]) ++s.count[1];
        if (y.length >= s.value[2]) ++s.count[2];
        if (y.length >= s.value[3]) ++s.count[3];
        if (y.length == s.value[4]) ++s.count[4];
    }
    return s;
}

namespace {

std::string stats_line(std::string_view label, const std::array<int, 5>& v) {
    std::string numbers;
    for (int x : v) numbers += fmt_i(x, 6);
    return Columns().at(2, label).at(30, numbers).str();
}

}  // namespace

void print_segment_stats(const SegmentStats& stats, bool censored, Console& console, Report& report) {
    const char* title = censored ? "CENSORED DATA SET" : "ORIGINAL DATA SET";
    const std::string head = Columns().at(2, title).at(30, "   MIN   25%   MED   75%   MAX").str();

    console.blank_line();
    console.line(head);
    console.line(stats_line("Segment length statistics:", stats.value));
    console.line(stats_line("Series .ge. segment length:", stats.count));

    report.line(head);
    report.line(stats_line("SEGMENT LENGTH STATISTICS:", stats.value));
    report.line(stats_line("SERIES .GE. SEGMENT LENGTH:", stats.count));
}

}  // namespace kestrovan
