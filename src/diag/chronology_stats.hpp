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

#include "diag/rbar.hpp"
#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

inline constexpr int kDefaultMinOverlap = 30;

// The same figures in one window of the running RBAR (pairs and cores that cover the whole
// window; positive correlations only, as the running RBAR takes them).
struct TreeWindow {
    int middle_year = 0, first_year = 0, last_year = 0;
    int n_trees = 0, n_cores = 0, n_pairs_wt = 0, n_pairs_bt = 0;
    std::optional<double> rbar_wt, rbar_bt, c_eff, rbar_eff, eps, snr;
};

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

// The running EPS with trees, in every window of the running RBAR `rbar` of the same indices
// that has a valid RBAR: the positive correlations of the pairs of cores of one tree covering
// the window (computed here, over the window) give the within-tree RBAR; the window's other
// positive correlations (its count and mean less those) the between-tree RBAR; the cores and
// trees are those covering the whole window. The pairs of one tree are few, so this costs
// little beside the running RBAR itself.
std::vector<TreeWindow> tree_running_eps(const YearMatrix& indices, int first_year, std::span<const int> tree,
                                         const RbarTables& rbar);
// The middle year of the first window after which the tree-aware EPS stays at or above 0.85
// (windows without an EPS passed over; none when the last such window is below).
std::optional<int> tree_eps_085_from(const std::vector<TreeWindow>& windows);

// The year from which the running EPS stays at or above 0.85: the first year inside a window
// with a valid RBAR after the last such year whose EPS is below 0.85 (none when the last year
// inside a valid window is below 0.85). `inside` holds, per year, the running RBAR where the
// year lies inside a valid window and kMissing elsewhere; `sample_size` the series per year.
std::optional<int> eps_085_from(std::span<const float> inside, std::span<const int> sample_size, int first_year);

}  // namespace kestrovan
