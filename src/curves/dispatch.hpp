#pragma once
// The curve-fit dispatch: an integer option code selects the detrending curve. Two code lists
// exist, one for each series fitted in calendar order (`curvefits`) and one for the Regional
// curve, the mean of the series aligned by cambial age (`detrend2`). Both write back the code
// actually used when a fit falls back to a simpler one.
//
// A code that is not in a list fails loudly (NumericFailure, with a message naming the
// routine and the code): the curve is never left as it was.
#include <span>

#include "curves/growth.hpp"
#include "model/curve_families.hpp"

namespace kestrovan {

class Console;
struct SplineWorkspace;

// Per-series curve of y[0..n-1], written to c[0..N-1] (n <= N; the engine passes n = N for whole
// series). Codes served:
//   1, 2, 3, 4, 6   exponential / line / mean with the per-series fallback chain (code updated)
//   8               age-dependent spline from `stiffness`, on all N values
//   >= 10           spline of that wavelength on the first n values
//   <= -10          spline of truncate(|code|/100 * n) years on the first n values (a result of 8
//                   or 9 takes the reserved meanings of spline1)
//                   (both splines hold their last fitted value over positions n..N-1)
//   -5              super smoother with `alpha` over the first n values, held at the last
//                   smoothed value up to N and smoothed again over all N
// Spline markers (c[0] = -9998 or -9999) pass through to the caller.
void curvefits(std::span<const float> y, std::span<float> c, int N, int n, int& code, float alpha,
               int stiffness, Console& console, SplineWorkspace* workspace = nullptr);

// Regional curve of y[0..n-1], written to c[0..N-1] (the spline and smoother codes write c[0..n-1]
// only). `record` is zeroed on entry and then filled by the fit. Codes served:
//   1, 2, 4, 5, 6   exponential / line / mean with the regional fallback chain (code updated)
//   -2              age-dependent spline from `stiffness` on n values
//   >= 10           spline of that wavelength on n values
//   <= -10          spline of truncate(|code/100 * n|) years on n values
//   -1              first differences: rewrites y[1..n-1] (y[0] = -999.0), fits c[0..n-2] and
//                   reduces n by one
//   -5              super smoother, alpha = `smoothing`, on n values
//   -4              lowess; `window` is ages when positive, percent of n when negative; the span
//                   fraction is written to `smoothing`
//   -3              running median; `window` is ages when positive, percent of n when negative; a
//                   window the smoother refuses gives the mean (code 6)
//   3, 7, 8         simplex-fitted growth functions; 3 falls back to the line (code 4) when the
//                   fitted rate is not a decay
// Every other code (0, 9, -9..-6) is an error.
void detrend2(std::span<float> y, std::span<float> c, int N, int& n, FitRecord& record, int& code,
              int& window, float& smoothing, int stiffness, Console& console,
              SplineWorkspace* workspace = nullptr);

}  // namespace kestrovan
