#pragma once
// The masters of crossdating: for each series and year, the Tukey biweight mean (stats/robust,
// `biwgt`) of the OTHER series' filtered values of that year.
//
// Computing a biweight without each series in turn would cost one biweight per series and year
// (O(series² × years) values for a full table). Instead the biweight weights are found once per
// year from all series, and the master without series i is that year's weighted mean with
// series i's own term removed: (Σ w x − w_i x_i) / (Σ w − w_i). Where the biweight falls back to
// the median (five values or fewer, or no spread about the median: every weight is 1), the
// master without series i is the median of the others, as the biweight of those others would
// be.
#include <vector>

#include "model/workers.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

struct MasterTable {
    std::vector<float> location;  // per calendar row: the biweight mean of all series (kMissing: none)
    std::vector<int> count;       // per calendar row: series with a value
    YearMatrix without;           // (row, i): the master without series i, where series i has a value

    // The master series i is compared with in calendar row `row`: kMissing outside the rows or
    // where fewer than `depth` other series have a value.
    float value(const YearMatrix& filtered, int row, int series, int depth) const {
        if (row < 0 || row >= static_cast<int>(count.size())) return kMissing;
        const bool own = filtered(row, series) != kMissing;
        if (count[static_cast<std::size_t>(row)] - (own ? 1 : 0) < depth) return kMissing;
        return own ? without(row, series) : location[static_cast<std::size_t>(row)];
    }
};

// The masters of `filtered` (calendar rows × series, kMissing where empty); years are shared out
// over `threads` threads, with the same results at every count.
MasterTable build_master(const YearMatrix& filtered, int threads);

}  // namespace kestrovan
