#pragma once
// The signal-strength statistics of a set of index series, over whole overlaps: the mean
// correlation of all pairs of series (RBAR), within trees and between trees, the effective RBAR
// and the expressed population signal (EPS) and signal-to-noise ratio (SNR) it gives for the
// number of trees.
//
//   rbar_tot   mean Pearson r of every pair of series with at least min_overlap years in common,
//              each over its own overlap
//   rbar_wt    the same over the pairs of cores of one tree
//   rbar_bt    the same over the pairs of cores of different trees
//   c_eff      effective number of cores per tree: the harmonic mean of the cores per tree,
//              1 / ((1/t) Σ 1/c_i)
//   rbar_eff   rbar_bt / (rbar_wt + (1 − rbar_wt) / c_eff); rbar_bt when every tree has one core
//   eps        t·rbar_eff / (t·rbar_eff + 1 − rbar_eff), t the number of trees
//   snr        t·rbar_eff / (1 − rbar_eff)
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

inline constexpr int kDefaultMinOverlap = 30;

struct ChronologyStatistics {
    int n_trees = 0;
    int n_cores = 0;
    int n_pairs = 0;      // pairs with enough overlap
    int n_pairs_wt = 0;   // of which within a tree
    double mean_overlap = 0.0;
    std::optional<double> rbar_tot, rbar_wt, rbar_bt, c_eff, rbar_eff, eps, snr;
};

// The statistics of the index matrix (calendar rows × series, kMissing where a series has no
// value; year 0 of the matrix is first_year) over the years first..last (the whole matrix when
// the period is empty). `tree` gives each series' tree (any numbering; equal numbers are one
// tree). Each series' values must be contiguous within its span (indices are). Pairs are summed
// on `threads` threads; the numbers do not depend on the thread count.
struct StatisticsPeriod {
    int first = 0, last = -1;  // empty: all years
    bool all() const { return last < first; }
};
ChronologyStatistics chronology_statistics(const YearMatrix& indices, int first_year, std::span<const int> tree,
                                           int min_overlap, StatisticsPeriod period, int threads);

// The year from which the running EPS stays at or above 0.85: the first year inside a window
// with a valid RBAR after the last such year whose EPS is below 0.85 (none when the last year
// inside a valid window is below 0.85). `inside` holds, per year, the running RBAR where the
// year lies inside a valid window and kMissing elsewhere; `sample_size` the series per year.
std::optional<int> eps_085_from(std::span<const float> inside, std::span<const int> sample_size, int first_year);

}  // namespace kestrovan
