#include "curves/dispatch.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "curves/growth.hpp"
#include "curves/simplex.hpp"
#include "curves/smoothers.hpp"
#include "curves/spline.hpp"
#include "model/numeric_failure.hpp"

namespace kestrovan {

namespace {

// The caller's arrays must hold what the fit reads (n values) and writes (N values, or n for the
// spline codes).
void check_sizes(const char* routine, std::size_t y_size, std::size_t c_size, int N, int n) {
    if (n < 0 || N < 0 || static_cast<std::size_t>(n) > y_size ||
        static_cast<std::size_t>(std::max(n, N)) > c_size)
        throw NumericFailure(std::string(routine) + ": " + std::to_string(n) + " values to fit and " +
                             std::to_string(N) + " curve values do not fit the arrays given");
}

// A code that no curve of the list serves.
[[noreturn]] void not_a_code(const char* routine, int code) {
    throw NumericFailure(std::string(routine) + ": " + std::to_string(code) +
                         " is not a curve-fit option code of this list");
}

// Wavelength of a percent-of-length spline (code <= -10) over n values: truncate(|code|/100 n),
// computed in single precision (-30 on 25 values gives 7 years, -67 on 12 values gives 8).
int percent_wavelength(int code, int n) {
    const float fraction = static_cast<float>(std::abs(code)) / 100.0f;
    return static_cast<int>(fraction * static_cast<float>(n));
}

// Regional code -1: replaces the values by their first differences, standardised and rescaled
// to the mean and spread of the ratios of the values to a spline of (n - 1) / 3 years fitted to
// y[1..n-1]. y[0] becomes -999.0 and n shrinks by one. A spline marker (too few values) is left
// in c[0] with y and n untouched.
void first_differences(std::span<float> y, std::span<float> c, int& n, Notices& notices,
                       SplineWorkspace* workspace) {
    const int m = n - 1;
    if (m < 4) {
        if (!c.empty()) c[0] = kSplineTooShort;
        return;
    }
    std::span<const float> tail(y.data() + 1, static_cast<std::size_t>(m));
    spline(m, tail, c, m / 3, notices, workspace);
    if (curve_failed(c)) return;

    std::vector<float> ratios(static_cast<std::size_t>(m)), differences(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        ratios[k] = y[k + 1] / c[k];
        differences[k] = y[k + 1] - y[k];
    }
    const Moments r = moment(ratios, m);
    const Moments d = moment(differences, m);
    y[0] = -999.0f;
    // Differences or ratios without spread have no standardised form: every value then takes the
    // ratio mean rather than being scaled by the undefined-statistic marker.
    const bool spread = d.standard_deviation != kMomentUndefined && r.standard_deviation != kMomentUndefined;
    for (int i = 0; i < m; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        y[k + 1] = spread ? (differences[k] - d.mean) / d.standard_deviation * r.standard_deviation + r.mean
                          : r.mean;
    }
    n = m;
}

}  // namespace

void curvefits(std::span<const float> y, std::span<float> c, FitLengths lengths, int& code,
               const FitSettings& settings, Notices& notices) {
    const int N = lengths.N, n = lengths.n;
    const float alpha = settings.alpha;
    const int stiffness = settings.stiffness;
    SplineWorkspace* const workspace = settings.workspace;
    check_sizes("curvefits", y.size(), c.size(), N, n);
    const CurveFamily* family = curve_family(CurveList::PerSeries, code);
    if (!family) not_a_code("curvefits", code);
    switch (family->id) {
        case CurveFamilyId::ExponentialOrLine:
        case CurveFamilyId::ExponentialOrFallingLine:
        case CurveFamilyId::Line:
        case CurveFamilyId::FallingLine:
        case CurveFamilyId::HorizontalLine: growth_per_series(N, n, y, c, code, notices); return;
        case CurveFamilyId::AgeDependentSpline:
            check_sizes("curvefits", y.size(), c.size(), N, N);  // this spline runs over all N values
            age_dependent_spline(N, y, c, stiffness, notices, workspace);
            return;
        case CurveFamilyId::SuperSmoother:
            // Smoothed over the first n values, then held at the last smoothed value up to N and
            // smoothed again over all N.
            friedman_curve(y.first(static_cast<std::size_t>(n)), alpha, c.first(static_cast<std::size_t>(N)));
            return;
        case CurveFamilyId::FixedSpline: spline1(n, y, c, code, notices, workspace); break;
        case CurveFamilyId::PercentSpline:
            spline1(n, y, c, percent_wavelength(code, n), notices, workspace);
            break;
        default:
            // The codes the engine or the dialogue replaces before a fit: no detrending (fitted as
            // the mean), RCS, the median segment length.
            not_a_code("curvefits", code);
    }
    // A spline fitted to the first n values covers only those; the rest of the curve holds the
    // last fitted value, as the other curves extend over all N positions, instead of keeping
    // whatever the caller's array held before.
    if (n >= 1 && n < N && !curve_failed(c))
        std::fill(c.begin() + n, c.begin() + N, c[static_cast<std::size_t>(n - 1)]);
}

void detrend2(std::span<float> y, std::span<float> c, int N, RegionalFitState& fit,
              const FitSettings& settings, Notices& notices) {
    int& n = fit.n;
    int& code = fit.code;
    int& window = fit.window;
    float& smoothing = fit.smoothing;
    FitRecord& record = fit.record;
    const int stiffness = settings.stiffness;
    SplineWorkspace* const workspace = settings.workspace;
    check_sizes("detrend2", y.size(), c.size(), N, n);
    record.fill(0.0f);
    const CurveFamily* family = curve_family(CurveList::Regional, code);
    if (!family) not_a_code("detrend2", code);
    switch (family->id) {
        case CurveFamilyId::SuperSmoother:
            friedman_curve(std::span<const float>(y).first(static_cast<std::size_t>(n)), smoothing,
                           c.first(static_cast<std::size_t>(n)));
            return;
        case CurveFamilyId::Lowess:
            // A positive window is a number of ages, a negative one a percentage of the n ages fitted.
            smoothing = lowess_span_fraction(window, static_cast<std::size_t>(std::max(n, 0)));
            lowess(std::span<const float>(y).first(static_cast<std::size_t>(n)),
                   c.first(static_cast<std::size_t>(n)), smoothing);
            return;
        case CurveFamilyId::RunningMedian: {
            // A positive window is a number of ages, a negative one a percentage of the n ages
            // fitted; the caller's window keeps the user's setting, so a percentage stays one for
            // the next fit, whose n may differ.
            const std::size_t fitted = static_cast<std::size_t>(std::max(n, 0));
            int median = median_window(window, fitted);
            std::vector<float> values(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(fitted));
            int passes = 0;
            const int error = msmoor(values, c.first(fitted), median, passes, notices);
            if (error != kMedianOk && error != kMedianNoRoot) {
                // The smoother printed its input error and wrote no curve: use the mean instead.
                code = kCurveMean;
                growth_regional({N, n}, y, c, record, code, notices);
            }
            return;
        }
        case CurveFamilyId::AgeDependentSpline:
            age_dependent_spline(n, y, c, stiffness, notices, workspace);
            return;
        case CurveFamilyId::FirstDifferences: first_differences(y, c, n, notices, workspace); return;
        case CurveFamilyId::ExponentialOrLine:
        case CurveFamilyId::ExponentialOrFallingLine:
        case CurveFamilyId::Line:
        case CurveFamilyId::FallingLine:
        case CurveFamilyId::HorizontalLine: growth_regional({N, n}, y, c, record, code, notices); return;
        case CurveFamilyId::GeneralNegativeExponential:
        case CurveFamilyId::Hugershoff:
        case CurveFamilyId::GeneralExponential: {
            const GrowthFit growth =
                fit_growth_curve(code, std::span<const float>(y).first(static_cast<std::size_t>(n)),
                                 c.first(static_cast<std::size_t>(N)), record, notices);
            if (family->id == CurveFamilyId::GeneralNegativeExponential && !growth.decays) {
                // No decay: the straight line replaces the curve and rebuilds the record.
                code = family_code(CurveFamilyId::Line, CurveList::Regional);
                growth_regional({N, n}, y, c, record, code, notices);
            }
            return;
        }
        case CurveFamilyId::FixedSpline: spline(n, y, c, code, notices, workspace); return;
        case CurveFamilyId::PercentSpline:
            spline(n, y, c, percent_wavelength(code, n), notices, workspace);
            return;
        default: not_a_code("detrend2", code);
    }
}

}  // namespace kestrovan
