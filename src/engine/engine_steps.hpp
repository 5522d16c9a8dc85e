#pragma once
// The steps of the signal-free engine that need none of its state: the fixed facts of a call,
// one series' curve fit with its floors, the signal-free step of one series, and the measures of
// a chronology's change. Each is a function of its arguments, testable alone.
#include <span>
#include <string_view>
#include <vector>

#include "curves/spline.hpp"
#include "engine/calind.hpp"
#include "engine/rcurve.hpp"
#include "model/curve_families.hpp"
#include "model/notices.hpp"
#include "model/plots.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "model/year_matrix.hpp"
#include "stats/robust.hpp"

namespace kestrovan {

inline constexpr int kMaxIterations = 100;  // signal-free iterations per attempt
// No curve value of a series is below this fraction of the mean of its measurements (of all
// measurements, for the Regional curve): a floor in the data's own units, so that the same data
// in other units give the same indices.
inline constexpr float kCurveFloor = 0.02f;
// Constants 0.1, 0.2, ... are added to the measurements, at most this many times, when the
// iteration diverges on data that hold zero rings (data without them are never shifted).
inline constexpr int kMaxConstantSteps = 10;
// A chronology year below this value carries little signal to divide by: there the ratio
// signal-free measurements lean on the series' curves (see signal_free_step).
inline constexpr float kNearZeroChronology = 0.1f;
inline constexpr float kRelativeCurveFloor = 0.25f;
inline constexpr int kLevelWindow = 31;

// The fixed facts of one engine call, derived from the Series table and the Run parameters.
struct EngineSetup {
    int series = 0;
    int first_year = 0;           // the run's first year
    int years = 0;                // span of the run
    std::vector<int> length;      // rings per series
    std::vector<int> fit_length;  // rings fitted (the curve-fitting span), 1 .. length
    std::vector<int> row0;        // calendar row of each series' first ring
    std::vector<int> offset;      // pith offset per series (0 without offsets)
    std::vector<YearSpan> spans;  // first and last year per series
    int index_mode = kRatioIndices;
    int requested_code = 8;  // the code fitted (the Regional curve's with RCS); 0 is fitted as 6
    bool raw = false;        // curve option 0
    bool rcs = false;
};
EngineSetup make_setup(const SeriesTable& table, const RunOptions& params);

// The code one series' fit ended with, and whether a line or exponential was given up for the
// mean because it reached the curve floor.
struct SeriesFit {
    int code = kCurveMean;
    bool floored_line = false;
};

// Fits one series' curve with the per-series dispatch. A fit that gives no usable curve (a
// spline marker for a series too short for a spline, or values that are not finite numbers) is
// replaced by the horizontal line through the mean (code 6). So is a line or exponential that
// reaches `line_floor` anywhere over the series (it is no growth curve there; its indices would
// soar): `line_floor` is in the units of y, the constant of the attempt included.
struct SeriesFitRequest {
    int n_fit = 0;  // rings fitted, from the first
    int code = 8;
    float line_floor = 0.0f;
};
SeriesFit fit_series(std::span<const float> y, std::span<float> c, const SeriesFitRequest& request,
                     const RunOptions& params, Notices& notices, SplineWorkspace& ws);

// Raises curve values below the floor to it.
void apply_floor(std::span<float> c, float floor);

// Raises every curve value below kRelativeCurveFloor × the level of the measurements (their
// running mean over kLevelWindow rings centred on the ring, kept inside the series at its ends)
// to that floor.
// Indices divide the measurements by the curve: a curve that dives far below the rings (a spline
// at the end of a series, or one fitted to signal-free values that a high chronology has pushed
// down) would otherwise give ratio indices of tens or hundreds, and feed them back into the
// chronology.
void apply_relative_floor(std::span<const float> y, std::span<float> c);

// The slice of the smoothed Regional curve a series reads: ring j at age offset + j + 1; an age
// without a value takes the value before it.
void regional_slice(const RegionalCurve& rc, int offset, std::span<float> c);

// The mean of the values (0 for none).
float span_mean(std::span<const float> v);

// The chronology a signal-free step divides by (ratios) or subtracts (residuals), with the
// series per year; years with fewer than two series leave the measurements as they are.
struct SignalFreeStep {
    std::span<const float> chronology;
    std::span<const int> counts;
    bool ratios = true;
    float largest = 0.0f;  // ratios: no signal-free measurement exceeds it
};
// One series in the step.
struct SignalFreeSeries {
    std::span<const float> measurements;
    int row0 = 0;              // the calendar row of its first ring
    float residual_scale = 0;  // residual indices: measurement units per index unit
    float mean = 0;            // the level the values are brought back to (its first-pass mean)
    int skip = 0;              // leading rings left out of that adjustment
    // Ratios: its curve by ring from the iteration the chronology came from (the first pass's
    // for the first iteration), in the units of the measurements.
    std::span<const float> curve = {};
};
// The signal-free measurements of one series: each measurement with the previous chronology
// taken out (the years with two or more series), then brought back to the series' first-pass
// mean. Both depend continuously on the chronology and keep the units of the measurements:
// - ratios: the measurement divided by the chronology of its year, never above `largest`: the
//   signal-free measurements stay within the range of the data. A year the chronology puts below
//   kNearZeroChronology (c of it) has little signal to divide by: there the quotient takes the
//   weight w = c / kNearZeroChronology and the series' curve the rest,
//   w × min(measurement / c, largest) + (1 - w) × curve. Most rings of such a year are 0 or
//   nearly so and a few are not; divided by the chronology they average to the curves, whereas
//   dividing them by a bound instead of c would bring them back too low, year after year. The curves fitted to them would dip there and the chronology rise
//   around those years; at low frequencies the iteration hardly damps such a push, so over many
//   iterations it drifts far from the widths. No ring is multiplied by more than
//   1 / kNearZeroChronology, and a year at 0 gives the curve itself;
// - residuals: the measurement less the chronology's departure from 1 in the series' own units
//   (its residual-to-ratio scale); no value below 0.
void signal_free_step(const SignalFreeSeries& series, const SignalFreeStep& step, std::span<float> out);

// The mean absolute difference of two chronologies over the years with five or more series.
float net_change(std::span<const float> before, std::span<const float> after, std::span<const int> counts);

// The covered years (two or more series) in which a chronology is below kNearZeroChronology.
int near_zero_years(std::span<const float> chronology, std::span<const int> counts);

// The four biweight weight-summary lines of a chronology (upper quartile, median, lower
// quartile, minimum) for the summary plot.
YearMatrix weight_lines(const ChronologySummary& s);

// The biweight summary plot: one line per statistic of the weights, each with its own legend.
// The plot refers to its arguments, so it is drawn in the statement that builds it.
SpaghettiPlot biweight_plot(const YearMatrix& lines, int ny, int first_year, std::string_view title,
                            std::string_view iteration);

}  // namespace kestrovan
