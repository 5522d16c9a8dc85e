#pragma once
// Segment crossdating: each series is checked against a master built from all the other series,
// segment by segment, for the position at which it correlates best (Holmes 1983; Grissino-Mayer
// 2001).
//
// 1. Every series is filtered over its own span (xdate/prewhiten.hpp): optional natural
//    logarithms, the cubic smoothing spline with a 50 % frequency response at
//    `spline_wavelength` years, indices (ratios, or differences of logs), then the residuals of
//    the autoregressive model chosen by AIC.
// 2. The master of series i in a year is the Tukey biweight mean of the other filtered series of
//    that year (xdate/master.hpp). The biweight weights are found once per year from all series,
//    and the master of series i is the weighted mean with series i's own term removed, so the
//    masters of all series cost one biweight per year, not one per series and year.
// 3. Segments of `segment_length` years start at the calendar years divisible by `lag` (floor
//    division, so negative years too). A series is tested over every segment in which it has a
//    filtered value in every year and its master has at least `min_master_depth` series in
//    every year. Each segment is correlated (Pearson) with the master at the dated position and
//    shifted by k = −max_shift .. max_shift years; a shift is compared only where the master
//    (at the same depth) covers every year of the shifted segment.
//
// Shift convention: `best_lag = k` means the series' value of year t correlates best with the
// master's value of year t + k. A series recorded two years too late (every value placed two
// years after its true year) shows k = −2; one that lost a ring shows k = +1 after the loss.
//
// Flags: 'B' when some shift k != 0 correlates higher than the dated position; 'A' when the
// dated position is best but its r is below the critical value; kNoFlag (a blank) otherwise.
//
// Marker values: a figure that cannot be computed (no overlap with the master, no spread, a
// series without pairs of rings) is NaN; a series with no testable segment is still listed.
// The results are the same at every thread count.
#include <optional>
#include <string>
#include <vector>

#include "model/series_table.hpp"
#include "model/workers.hpp"

namespace kestrovan {

struct CrossdatingOptions {
    int segment_length = 50;       // years per segment
    int lag = 25;                  // years between the starts of successive segments
    int spline_wavelength = 32;    // years at which the spline passes half of a sinusoid's amplitude
    int max_shift = 10;            // shifts −max_shift .. max_shift are compared
    bool log = false;              // natural logarithms of the widths before the spline
    double critical_level = 0.99;  // one-tailed confidence of the critical correlation
    int min_master_depth = 3;      // fewest other series the master needs in a year

    // Empty when the options can be used; otherwise a message naming the value that cannot.
    std::string check() const;
    bool operator==(const CrossdatingOptions&) const = default;
};

// The checks of a run: their options, and whether they run at all (a run file's [crossdating]).
struct CrossdatingSettings {
    bool enabled = true;
    CrossdatingOptions options;
    bool operator==(const CrossdatingSettings&) const = default;
};

inline constexpr int kMinSegmentLength = 10;
// Fewest years of overlap for a whole-series correlation.
inline constexpr int kMinOverlapYears = 10;

inline constexpr char kFlagA = 'A';   // dated position best, but below the critical correlation
inline constexpr char kFlagB = 'B';   // another position correlates higher
inline constexpr char kNoFlag = ' ';  // neither

struct SegmentCheck {
    int first = 0, last = 0;  // calendar years
    float r = 0.0f;           // at the dated position (k = 0)
    int best_lag = 0;         // the shift k that correlates highest (0 when the dated one does)
    float best_r = 0.0f;      // r at best_lag
    char flag = kNoFlag;
};

struct SeriesCheck {
    std::string id;                      // trimmed
    int first = 0, last = 0;             // calendar years of the series
    float r = 0.0f;                      // whole series with its master, over the years both have (NaN: none)
    std::vector<SegmentCheck> segments;  // in calendar order; empty when none could be tested
    std::string note;                    // why no segment was tested (empty when some were)
    // For a flagged series, where its dating appears to change: the last year that still fits
    // the dated position, after which a shift of `change_shift` (+1: a ring appears to be
    // missing, −1: an extra ring) fits better. Every split year is tried with one segment's
    // length of years on either side: the years before it must correlate better at the dated
    // position than at the shift, the years after it better at the shift, each reaching the
    // critical correlation where it fits. Of those splits the one whose two fits (r before at
    // the dated position plus r after at the shift) are highest is taken; r at the positions
    // that do not fit only rules splits out, as it carries no sign of where the change lies.
    // Empty when no split qualifies or the series is not flagged.
    std::optional<int> dating_change;
    int change_shift = 0;
    float mean_sensitivity = 0.0f;  // of the raw widths (NaN: no pair of rings)
    float ar1 = 0.0f;               // first-order autocorrelation of the raw widths (NaN: no spread)
};

struct CrossdatingReport {
    CrossdatingOptions options;
    float critical_r = 0.0f;          // for a segment of options.segment_length years
    std::vector<SeriesCheck> series;  // in the order of the table
    int first_year = 0, last_year = 0;
    int segments = 0;                  // segments tested
    int flagged_a = 0, flagged_b = 0;  // segments flagged
    int flagged_series = 0;            // series with at least one flagged segment
    // Means over the series that have the figure: the whole-series r with the master (the
    // series intercorrelation), mean sensitivity and first-order autocorrelation of raw widths.
    float series_intercorrelation = 0.0f;
    float mean_sensitivity = 0.0f;
    float mean_ar1 = 0.0f;
};

// Checks every series of `table` (widths; negative values are missing rings, zero rings are
// data) against the others. Options that do not pass check() throw NumericFailure with the
// message. Work is shared over `threads` threads (kThreadsFromEnvironment: KESTROVAN_THREADS or
// the hardware, see model/workers.hpp).
CrossdatingReport crossdate(const SeriesTable& table, const CrossdatingOptions& options,
                            int threads = kThreadsFromEnvironment);

}  // namespace kestrovan
