#pragma once
// The filtering of one series for crossdating, over its own span: high-frequency variation kept,
// trend and autocorrelation removed, so that correlations between series measure their common
// year-to-year signal.
//
// Each run of present rings (a ring is missing when negative or not a number; zero rings are
// data) of at least kMinFilteredRun rings is filtered on its own:
// 1. Optional natural logarithms. ln(0) does not exist, so a series with zero rings is logged
//    as ln(x + e), e half its narrowest nonzero ring: a zero ring sits a little below the
//    narrowest measured one, and the other rings move by a small fraction of their widths. A
//    series without zero rings is logged as it is (e = 0).
// 2. The cubic smoothing spline with a 50 % frequency response at `wavelength` years.
// 3. Indices: differences (value − curve) after logarithms, ratios (width / curve) without.
//    A spline can sink to 0 or below in a run of very narrow rings, where ratios would explode
//    or change sign; the curve is taken as at least kCurveFloor times the run's mean width.
// 4. The autoregressive model of the indices with the lowest AIC (orders 0 to 10, see
//    diag/residual_chronology.hpp); its residuals plus the indices' mean are the filtered
//    values. The first `order` rings of the run have no residual and stay missing.
// A run without spread (all its rings equal) carries no signal and stays missing.
#include <span>
#include <vector>

#include "curves/spline.hpp"
#include "model/notices.hpp"

namespace kestrovan {

inline constexpr int kMinFilteredRun = 10;
inline constexpr float kCurveFloor = 0.05f;

// Caller-owned scratch, reused from series to series.
struct PrewhitenWorkspace {
    SplineWorkspace spline;
    Notices notices;  // what the spline said (cleared on every call)
    std::vector<float> values, curve;
};

struct PrewhitenResult {
    int filtered = 0;            // values written
    bool spline_failed = false;  // a run whose spline could not be fitted
};

// Filters `raw` (one series' widths in ring order) into `out` (at least as long): out[k] is the
// filtered value of ring k, or kMissing.
PrewhitenResult prewhiten(std::span<const float> raw, int wavelength, bool log, std::span<float> out,
                          PrewhitenWorkspace& ws);

}  // namespace kestrovan
