#pragma once
// The Series table: the ring-width series of a run. Column i of the data matrix holds series i,
// position k (zero-based here) the value of year first + k; positions past a series' end hold −999.0.
#include <algorithm>
#include <string>
#include <vector>

#include "io/year_matrix.hpp"

namespace kestrovan {

struct YearSpan {
    int first = 0;   // first year
    int last = 0;    // last year (third column of the year table may be changed by the run loop)
    int length = 0;  // number of values (last − first + 1 when read)
};

struct SeriesTable {
    YearMatrix data;                 // positions × series
    std::vector<YearSpan> years;     // one row per series
    YearSpan summary;                // earliest first year, latest last year, span of all series
    std::vector<std::string> ids;    // 8-character identifiers (blank padded)

    int count() const { return static_cast<int>(ids.size()); }

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
