#pragma once
// Deterministic growth curves as functions of the position t = 1, 2, ... in a series: the
// negative exponential a exp(-b t) + k, the least-squares straight line and the horizontal mean,
// with the two fallback chains (per-series and regional) that lead from the exponential to the
// line and from the line to the mean. Also `moment`, the descriptive statistics of a series.
//
// Every fit reads y[0..n-1] and writes the curve for positions 1..N into c[0..N-1] (N >= n), so
// a curve fitted on part of a series extends over all of it.
#include <array>
#include <span>

#include "curves/markers.hpp"

namespace kestrovan {

class Notices;

// The fit-parameter record: seven reals, zero-based here.
//   [0] amplitude a            (exponential)
//   [1] decay rate b           (exponential; kCurveFailed when the fit failed)
//   [2] slope                  (straight line)
//   [4] asymptote k / intercept / mean
//   [5] number of search passes used (exponential)
//   [6] sum of the fitted values y[0..n-1] (exponential)
// The simplex-fitted functions use the same record with their own meanings.
using FitRecord = std::array<float, 7>;

// kCurveFailed (curves/markers.hpp) is in record[1] and c[0] after a failed exponential.

// The lengths of a fit: N curve positions written, n values fitted (n <= N).
struct FitLengths {
    int N = 0;
    int n = 0;
};

// Negative exponential by a one-dimensional search on b with linear least squares for a and k.
// Records the notice ">> sbr curve:  only nnn values, no exponential curve fit" for n < 20 and
// ">> sbr curve: over 34 iterations" when the search does not converge; on failure record[1] and
// c[0] are kCurveFailed and the rest of c is not written. A converged fit with k > 9999, a <= 0 or
// b < 0 stores b = 0, which the fallback chains treat as a failed exponential.
void curve(int N, int n, std::span<const float> y, std::span<float> c, FitRecord& record, Notices& notices);

// Ordinary least-squares line of y on t = 1..n (double precision sums); c(t) = slope t + intercept.
// With a single value the slope is 0 and the line passes through it. n < 1 throws NumericFailure.
void trend(int N, int n, std::span<const float> y, std::span<float> c, float& slope, float& intercept);

// Single-precision mean of y[0..n-1] written to c[0..N-1]. n < 1 throws NumericFailure: a blank
// line and "error in xmean: n=0", then a wait for RETURN.
void xmean(std::span<const float> y, std::span<float> c, int N, int n);

// Single-precision mean of y[0..n-1] only (the caller fills the curve). n < 1: as xmean, with
// "error in xmean2: n=0".
float xmean2(std::span<const float> y, int n);

// Descriptive statistics in single precision; kMomentUndefined marks an undefined statistic.
inline constexpr float kMomentUndefined = -99.0f;
struct Moments {
    float mean = kMomentUndefined;
    float average_deviation = kMomentUndefined;
    float standard_deviation = kMomentUndefined;
    float variance = kMomentUndefined;
    float skewness = kMomentUndefined;
    float kurtosis = kMomentUndefined;  // no 3 subtracted
    float mean_sensitivity = kMomentUndefined;
    float autocorrelation = kMomentUndefined;  // first order
};
Moments moment(std::span<const float> y, int n);

// The per-series growth fits and their fallback chain. code on entry: 1 (exponential, else any
// line: code 3), 2 (exponential, else a falling line: code 4, else the mean: code 6), 3 (line),
// 4 (falling line, else the mean: code 6) or 6 (mean). On return code holds the fit actually used.
// The per-series exponential counts as fitted when b > 1e-6 and k >= 1e-6.
void growth_per_series(int N, int n, std::span<const float> y, std::span<float> c, int& code,
                       Notices& notices);

// The regional-curve growth fits and their fallback chain, filling the record (zeroed on entry).
// code on entry: 1 (exponential, else the line: code 4), 2 (exponential, else code 5 applied:
// the line if falling, else the mean; the code stays 5), 4 (line), 5 (falling line, else the mean:
// code 6) or 6 (mean). The regional exponential counts as fitted when b > 0 and k >= 0.
void growth_regional(FitLengths lengths, std::span<const float> y, std::span<float> c, FitRecord& record,
                     int& code, Notices& notices);

}  // namespace kestrovan
