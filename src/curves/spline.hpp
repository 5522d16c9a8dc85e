#pragma once
// Cubic smoothing splines whose stiffness is set by a wavelength: a sinusoid of that period
// passes through the spline with half its amplitude. One banded solver (double precision)
// serves a single wavelength (`spline`, `spline1`) and a wavelength per point (`spline2`);
// with `lsmake` the latter gives the age-dependent spline.
//
// Conventions shared by every routine here:
// - `n` is the number of values fitted: y[0..n-1] is read, c[0..n-1] is written; y is never
//   changed and the spans may be longer than n.
// - n < 4: nothing is fitted and c[0] = kSplineTooShort (the rest of c is left as it was).
// - The system not positive definite: the message ">> sbr spline: matrix not positive definite"
//   is recorded in the notices and c[0] = kSplineNotPositiveDefinite. A wavelength that gives no usable
//   stiffness (0) ends the same way.
// - n > kMaxSplineLength: NumericFailure, whose lines say the series is too long for the spline.
// - Callers check the curve with curve_failed (curves/markers.hpp).
// - The optional workspace lets hot loops fit without allocating; without one the routine
//   uses its own buffers. Results never depend on what a workspace held before.
#include <span>
#include <vector>

#include "curves/markers.hpp"

namespace kestrovan {

class Notices;

inline constexpr int kMaxSplineLength = 5000;

// Scratch space of the spline solver, owned by the caller and reusable from call to call.
struct SplineWorkspace {
    std::vector<double> diag, upper1, upper2;     // Cholesky factor: reciprocal diagonal, upper bands
    std::vector<double> rhs;                      // second differences, then the solution gamma
    std::vector<double> stiffness_by_wavelength;  // memo of spline_stiffness for small wavelengths
    std::vector<int> wavelengths;                 // age-dependent spline: the lsmake array
    std::vector<float> first_fit;                 // age-dependent spline: the first fit
    std::vector<float> tail_rise;                 // age-dependent spline: the lasting rise of the fit
    std::vector<float> rise_caps;                 // age-dependent spline: scratch of that rise
    std::vector<int> rise_stops, rise_levels;     // age-dependent spline: scratch of that rise
};

// Stiffness p = 6 (cos w - 1)^2 / (cos w + 2), w = 2 pi / wavelength.
double spline_stiffness(int wavelength);

// One wavelength for the whole series; returns the stiffness p used (single precision).
float spline(int n, std::span<const float> y, std::span<float> c, int wavelength, Notices& notices,
             SplineWorkspace* workspace = nullptr);

// Wavelength given as a code: 8 means 20 years; 9 means min(9 + i, n) for row i (zero-based),
// growing by one per point; any other value is the wavelength itself.
void spline1(int n, std::span<const float> y, std::span<float> c, int code, Notices& notices,
             SplineWorkspace* workspace = nullptr);

// A wavelength per point: wavelengths[i] is used for interior row i (i = 0..n-3); only the first
// n - 2 elements are read.
void spline2(int n, std::span<const float> y, std::span<float> c, std::span<const int> wavelengths,
             Notices& notices, SplineWorkspace* workspace = nullptr);

// Fills wavelengths[i] = start + i for i = 0..n-1 (growing by one year per ring, no cap).
void lsmake(int n, int start, std::span<int> wavelengths);

// Age-dependent spline with end correction: spline2 with lsmake(start), less the lasting rise of
// the fit after a fall from the end of its first tenth on (the part of a rise that the fit never
// gives back, at most ten times as deep as the fall before it). A tail that rises from a minimum
// to the last point becomes flat at the minimum; a fit that rises all the way, or falls only in
// its first tenth, is taken as it is; humps the fit falls back from stay. The curve depends
// continuously on the data.
void age_dependent_spline(int n, std::span<const float> y, std::span<float> c, int start, Notices& notices,
                          SplineWorkspace* workspace = nullptr);

}  // namespace kestrovan
