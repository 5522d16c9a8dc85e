#pragma once
// Robust statistics shared by the whole program: ascending sort, median, median absolute
// deviation, five-number summary (Tukey's hinges), mean and standard deviation, the iterated
// Tukey biweight of one vector, the per-year mean (arithmetic or biweight) and the year-by-year
// chronology summary over a year-by-series matrix.
//
// Several routines SORT THE CALLER'S VALUES IN PLACE (said per routine below); callers that still
// need the original order pass a copy. None keeps state between calls: the same input always
// gives the same result.
//
// Calling any routine that needs values with none (n = 0) is a caller fault; it stops the program
// with a clear message (NumericFailure, see model/numeric_failure.hpp) instead of reading outside
// the array.
#include <cstdint>
#include <span>
#include <vector>

#include "model/methods.hpp"
#include "model/workers.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

// Sorts `values` ascending IN PLACE: quicksort with a deterministic pseudo-random pivot
// (the generator restarts on every call) and straight insertion for short ranges.
void qcksrt(std::span<float> values);

// Median. SORTS `values` IN PLACE. Even counts average the two middle values.
float mdian1(std::span<float> values);

// Median of |x - centre| over `values` (raw, no consistency factor). Does not touch `values`.
// The first form allocates its own scratch; the second uses `scratch` (at least values.size()
// long), for callers in loops.
float xmad(std::span<const float> values, float centre);
float xmad(std::span<const float> values, float centre, std::span<float> scratch);

// Five-number summary with Tukey's hinges (medians of the lower and upper halves, each half
// including the middle value when the count is odd).
struct FiveNumberSummary {
    float median = 0.0f;
    float upper_quartile = 0.0f;
    float lower_quartile = 0.0f;
    float interquartile_range = 0.0f;  // upper_quartile - lower_quartile
    float minimum = 0.0f;
    float maximum = 0.0f;
};
// SORTS `values` IN PLACE.
FiveNumberSummary mfs(std::span<float> values);

// Mean and sample standard deviation (divisor n - 1), single-precision sums. Does not touch
// `values`. With one value the standard deviation is 0.
struct MeanSd {
    float mean = 0.0f;
    float sd = 0.0f;
};
MeanSd mnsd(std::span<const float> values);

// Iterated Tukey biweight of one vector (location constant 6, scale constant 9, eleven passes
// about a fixed MAD). With 5 values or fewer, or MAD <= 0.0001, location = median and
// scale = 1.5 * MAD. SORTS `values` IN PLACE.
struct BiweightEstimate {
    float location = 0.0f;
    float scale = 0.0f;
    float one_step_location = 0.0f;  // after the first pass
    float one_step_scale = 0.0f;
};
BiweightEstimate xbiwt(std::span<float> values);
// Same, with caller-owned scratch for the absolute deviations (at least values.size() long).
BiweightEstimate xbiwt(std::span<float> values, std::span<float> scratch);

// Result of one year's mean.
struct YearMean {
    float location = 0.0f;
    float scale = 0.0f;
    float variance_ratio = 0.0f;  // sample variance / scale^2 (biweight); 1.0 on degenerate paths
};

// Caller-owned scratch for `biwgt` and `robsum`: grows to the largest count seen, then a loop
// of calls allocates nothing.
struct RobustWorkspace {
    std::vector<float> values;               // one year's values (robsum)
    std::vector<double> work;                // absolute deviations from the median (biwgt)
    std::vector<double> merged;              // the same in ascending order, up to the median (biwgt)
    std::vector<float> weights;              // biweight weights of the last pass (robsum)
    std::vector<float> sorted_weights;       // the same in ascending order (robsum)
    std::vector<std::uint32_t> keys, spare;  // sort keys of the year's values (biwgt)
    // robsum: the order in which each year of few values sorted last time, where the next
    // summary of the same matrix starts its sort (any order gives the same result).
    std::vector<std::uint16_t> orders;
    // robsum over several threads: the workspaces of the threads after the first (the first uses
    // this one), the number of cells per year and the year blocks of the threads.
    std::vector<RobustWorkspace> helpers;
    std::vector<long long> row_cells;
    std::vector<int> bounds;
    void reserve(int n);
};

// Mean of one year's values by `method` (kMeanArithmetic or kMeanBiweight), double-precision
// sums.
// - One value: location = the value, scale = 0, variance ratio = 0.
// - Arithmetic: mean, standard deviation (divisor n - 1), variance ratio 1.0; values untouched,
//   weights untouched.
// - Biweight: SORTS `values` IN PLACE; four passes with constant 7.5 about the median and the
//   MAD. `weights` (at least values.size() long) receives each value's weight of the last pass,
//   in SORTED order. Degenerate cases set weights 1.0 and variance ratio 1.0: with 5 values or
//   fewer (location = median, scale = 1.5 * MAD) and with MAD < 0.0001 (location = median,
//   scale = MAD).
// - No value: NumericFailure (the fatal message, then a wait for RETURN).
YearMean biwgt(std::span<float> values, int method, std::span<float> weights, RobustWorkspace& ws);

// Per-year results of `robsum`, one entry per year (row).
struct ChronologySummary {
    std::vector<int> count;             // number of series with a value that year
    std::vector<float> location;        // the year's mean
    std::vector<float> scale;           // the year's scale
    std::vector<float> variance_ratio;  // the year's variance ratio
    // Biweight weight summary per year: smallest weight, lower quartile, median, upper quartile
    // (Tukey's hinges). All four are 1.0 for years with fewer than 6 values, with the
    // arithmetic mean and on degenerate biweight years.
    std::vector<float> weight_min;
    std::vector<float> weight_lower_quartile;
    std::vector<float> weight_median;
    std::vector<float> weight_upper_quartile;
    void resize(int years);
    int years() const { return static_cast<int>(count.size()); }
};

// The part of a matrix robsum summarises: its first `years` rows over its first `series` columns.
struct SummaryExtent {
    int years = 0;
    int series = 0;
};

// Averages each of the first `years` rows of `matrix` over its first `series` columns (`extent`),
// skipping cells equal to -999.0, with `method`. A year with no value gets count 0, location 0, scale 0,
// variance ratio 1.0 and a weight summary of 1.0. More than 4500 series throws NumericFailure
// with the error's lines. `out` is resized to `years`; with a reused `out` and `ws`
// the years themselves allocate nothing.
// Years are independent: on a large matrix they are shared out over `threads` threads
// (kThreadsFromEnvironment: KESTROVAN_THREADS or the hardware's count, see model/workers.hpp).
// The results, and the failure met (that of the earliest year), are the same for every thread
// count.
void robsum(const YearMatrix& matrix, SummaryExtent extent, int method, ChronologySummary& out,
            RobustWorkspace& ws, int threads = kThreadsFromEnvironment);
// Convenience form over the whole matrix.
ChronologySummary robsum(const YearMatrix& matrix, int method);

}  // namespace kestrovan
