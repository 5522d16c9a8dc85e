#pragma once
// The curve-fit dispatch: an integer option code selects the detrending curve. Two code lists
// exist, one for each series fitted in calendar order (`curvefits`) and one for the Regional
// curve, the mean of the series aligned by cambial age (`detrend2`). Both write back the code
// actually used when a fit falls back to a simpler one.
//
// A code that is not in a list fails loudly (NumericFailure, with a message naming the
// routine and the code): the curve is never left as it was. Warnings that do not stop a fit (a
// spline system not positive definite, a search that did not converge) are recorded in the
// caller's notices, for the caller to print.
#include <span>

#include "curves/growth.hpp"
#include "model/curve_families.hpp"

namespace kestrovan {

class Notices;
struct SplineWorkspace;

// What the fits of a run share besides the data: the super smoother's alpha for the per-series
// list (a Regional fit takes its smoothing from RegionalFitState), the starting stiffness of the
// age-dependent spline, and a spline workspace kept between fits (without one a fit allocates
// its own).
struct FitSettings {
    float alpha = 0.0f;
    int stiffness = 0;
    SplineWorkspace* workspace = nullptr;
};

// A Regional fit's state, read by the fit and written back by it.
struct RegionalFitState {
    int n = 0;               // ages fitted; first differences leave one fewer
    int code = 0;            // the curve code; after a fallback, the code used
    int window = 0;          // running median and lowess: ages when positive, percent of n when negative
    float smoothing = 0.0f;  // the super smoother's alpha; lowess writes its span fraction here
    FitRecord record{};      // zeroed, then filled by the fit
};

// Per-series curve of y[0..n-1], written to c[0..N-1] (lengths = {N, n}, n <= N; the engine passes
// n = N for whole series). `code` is updated to the code used. Codes served:
//   1, 2, 3, 4, 6   exponential / line / mean with the per-series fallback chain (code updated)
//   8               age-dependent spline from the settings' stiffness, on all N values
//   >= 10           spline of that wavelength on the first n values
//   <= -10          spline of truncate(|code|/100 * n) years on the first n values (a result of 8
//                   or 9 takes the reserved meanings of spline1)
//                   (both splines hold their last fitted value over positions n..N-1)
//   -5              super smoother with the settings' alpha over the first n values, held at the last
//                   smoothed value up to N and smoothed again over all N
// Spline markers (c[0] = -9998 or -9999) pass through to the caller.
void curvefits(std::span<const float> y, std::span<float> c, FitLengths lengths, int& code,
               const FitSettings& settings, Notices& notices);

// Regional curve of y[0..n-1] (n = fit.n), written to c[0..N-1] (the spline and smoother codes
// write c[0..n-1] only). fit.record is zeroed on entry and then filled by the fit. Codes served
// (fit.code):
//   1, 2, 4, 5, 6   exponential / line / mean with the regional fallback chain (code updated)
//   -2              age-dependent spline from the settings' stiffness on n values
//   >= 10           spline of that wavelength on n values
//   <= -10          spline of truncate(|code/100 * n|) years on n values
//   -1              first differences: rewrites y[1..n-1] (y[0] = -999.0), fits c[0..n-2] and
//                   reduces n by one
//   -5              super smoother, alpha = fit.smoothing, on n values
//   -4              lowess; fit.window is ages when positive, percent of n when negative; the
//                   span fraction is written to fit.smoothing
//   -3              running median; fit.window is ages when positive, percent of n when negative; a
//                   window the smoother refuses gives the mean (code 6)
//   3, 7, 8         simplex-fitted growth functions; 3 falls back to the line (code 4) when the
//                   fitted rate is not a decay
// Every other code (0, 9, -9..-6) is an error.
void detrend2(std::span<float> y, std::span<float> c, int N, RegionalFitState& fit,
              const FitSettings& settings, Notices& notices);

}  // namespace kestrovan
