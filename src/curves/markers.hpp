#pragma once
// The curve markers: a first curve value that says a fit gave no curve. Every caller of a curve
// fit checks the first value of the curve with curve_failed.
#include <span>

namespace kestrovan {

inline constexpr float kSplineTooShort = -9998.0f;             // a spline of fewer than 4 values
inline constexpr float kSplineNotPositiveDefinite = -9999.0f;  // a spline system that cannot be solved
inline constexpr float kCurveFailed = -999.0f;                 // a negative exponential that failed

// True when the curve's first value is one of the markers: the fit gave no curve (an empty
// curve is no failure).
inline bool curve_failed(std::span<const float> c) {
    if (c.empty()) return false;
    const float v = c[0];
    return v == kSplineTooShort || v == kSplineNotPositiveDefinite || v == kCurveFailed;
}

}  // namespace kestrovan
