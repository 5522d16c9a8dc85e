#pragma once
// Running RBAR (mean inter-series correlation in a sliding window), EPS (expressed population
// signal), effective numbers of series, and the chronology rescaled by them.
#include <span>
#include <string>
#include <vector>

#include "model/series_table.hpp"
#include "model/workers.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

inline constexpr float kRbarUndefined = -99.9f;  // mean/sd/se of a window with too few correlations

// One window: its pairs' positive correlations.
struct RrbarResult {
    int count = 0;                // positive correlations kept
    float mean = kRbarUndefined;  // mean r (kRbarUndefined with 2 or fewer kept)
    float sd = kRbarUndefined;    // their standard deviation
    float se = kRbarUndefined;    // standard error of the mean
};

// One row of the window table (windows with a valid RBAR only).
struct RbarWindowRow {
    int middle_year = 0;
    int count = 0;
    float mean_r = 0.0f;
    float sd = 0.0f;
    float se = 0.0f;
};

// Everything runbar computes. Per-year vectors are indexed by year − first_year (zero-based)
// and have one entry per year of the chronology.
struct RbarTables {
    int window = 0;                          // W actually used (odd)
    int overlap = 0;                         // S actually used
    bool defined = false;                    // false when no window had more than 2 positive correlations
    std::vector<RbarWindowRow> windows;      // the window table
    std::vector<float> running_rbar;         // r1(t)
    std::vector<float> neff1;                // effective number of series with r1
    std::vector<float> constant_rbar;        // r2(t): mean of r1 over each stretch of constant sample size
    std::vector<float> neff2;                // effective number with r2
    std::vector<float> stabilized_running;   // chronology rescaled with r1 (chronology column 2)
    std::vector<float> stabilized_constant;  // chronology rescaled with r2 (chronology column 3)
};

// A set of index series: calendar rows × series (row 0 = first_year), −999.0 where a series has
// no value, and the first and last year of each series (one entry per column).
struct IndexSet {
    const YearMatrix& indices;
    std::span<const YearSpan> years;
    int first_year = 0;
};

// A chronology: one value per year, and the number of series per year (the same length).
struct ChronologyView {
    std::span<const float> values;
    std::span<const int> sample_size;
};

// The build of the pair kernel runbar uses (all give the same bits): the best the processor
// runs, or a lower one (for the tests that compare them). Asking for one the processor does not
// run gives the best it does run below it.
enum class RbarKernel { Best, Portable, Avx2, Avx512 };

// How runbar works.
//   window    W; an even W is raised by one and the overlap then set to the even value
//   overlap   S; the engine passes W − 1 so windows start one year apart
//   threads   the windows are shared out to this many workers (kThreadsFromEnvironment: as
//             KESTROVAN_THREADS or the hardware says); the results are the same, bit for bit
//   kernel    the build of the pair kernel (RbarKernel)
struct RbarSettings {
    int window = 51;
    int overlap = 50;
    int threads = kThreadsFromEnvironment;
    RbarKernel kernel = RbarKernel::Best;
};

// EPS of n series with mean correlation r: r·n / ((1 − r) + r·n); 0 where that is undefined.
float eps_value(float r, float n);

// Mean positive correlation of the series pairs that cover the whole window
// [window_start, window_start + window − 1] (calendar years). A pair counts only when its
// common years start at or before the window start and run to its end. Correlations are
// computed directly with pearsn over the window.
RrbarResult rrbar(const IndexSet& set, int window_start, int window);

// The running RBAR of the chronology `chron` of the index set.
// Each valid window's RBAR stands at its middle year; years before the first middle year take
// the first value, and every later year without a value takes the latest value before it.
// Sample size 0 years keep their chronology value in the rescaled versions. Without any valid
// window (`defined` false) every RBAR and effective number is 0 and both rescaled versions equal
// the chronology.
// The correlations are accumulated per pair with sliding sums; they equal pearsn over each
// window (to rounding) and are tested against rrbar.
RbarTables runbar(const IndexSet& set, const ChronologyView& chron, const RbarSettings& settings);

}  // namespace kestrovan
