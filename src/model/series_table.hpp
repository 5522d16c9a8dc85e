#pragma once
// The Series table: the ring-width series of a run. Column i of the data matrix holds series i,
// position k (zero-based here) the value of year first + k; positions past a series' end hold −999.0.
#include <algorithm>
#include <string>
#include <vector>

#include "model/year_matrix.hpp"

namespace kestrovan {

struct YearSpan {
    int first = 0;   // first year
    int last = 0;    // last year (third column of the year table may be changed by the run loop)
    int length = 0;  // number of values (last − first + 1 when read)
};

// Years the decade-line layouts of the program's files can hold; series outside them are
// refused where data enter, before any question is asked about them.
inline constexpr int kEarliestYear = -99999;
inline constexpr int kLatestYear = 9999;

struct SeriesTable {
    YearMatrix data;               // positions × series
    std::vector<YearSpan> years;   // one row per series
    YearSpan summary;              // earliest first year, latest last year, span of all series
    std::vector<std::string> ids;  // 8-character identifiers (blank padded)
    // Where each series stood in the data file as read (0 = its first series), and how many
    // series that file held: censoring drops series, and values given per series of the file
    // (pith offsets) are matched through these. Empty: the table is the file as read.
    std::vector<int> file_positions;
    int series_in_file = 0;

    int count() const { return static_cast<int>(ids.size()); }

    // The table now holds the file as read: series i is the file's series i.
    void mark_as_read() {
        file_positions.resize(ids.size());
        for (std::size_t i = 0; i < file_positions.size(); ++i) file_positions[i] = static_cast<int>(i);
        series_in_file = count();
    }
    // Place of series i in the file as read, and the file's series count.
    int file_position(int i) const {
        return static_cast<std::size_t>(i) < file_positions.size()
                   ? file_positions[static_cast<std::size_t>(i)]
                   : i;
    }
    int file_series_count() const { return file_positions.empty() ? count() : series_in_file; }

    // Recomputes the summary slot from the year table (earliest first, latest last, span).
    void update_summary() {
        if (years.empty()) {
            summary = {};
            return;
        }
        int f = years[0].first, l = years[0].last;
        for (const auto& y : years) {
            f = std::min(f, y.first);
            l = std::max(l, y.last);
        }
        summary = {f, l, l - f + 1};
    }
};

}  // namespace kestrovan
