#pragma once
// Data-adaptive smoothers used as detrending curves and by the variance stabilization:
// Friedman's variable-span super smoother (supsmu, with its running-lines core smooth),
// Cleveland's robust locally weighted regression (lowess, with its local fit lowest), and the
// median root by repeated running medians (msmoor, driving single passes of msmoo). Also the
// small helpers sort (heapsort), minimum and maximum.
//
// Positions are zero-based in C++; every routine takes the number of points from its spans.
#include <cstddef>
#include <span>
#include <vector>

namespace kestrovan {

class Notices;

// Spans of the super smoother: tweeter, midrange, woofer.
inline constexpr float kTweeterSpan = 0.05f;
inline constexpr float kMidrangeSpan = 0.2f;
inline constexpr float kWooferSpan = 0.5f;
// Fixed span used by the curve fits when a series has fewer than 40 values.
inline constexpr float kShortSeriesSpan = 0.3f;
inline constexpr std::size_t kShortSeriesLimit = 40;

// Periodic flags of supsmu/smooth.
inline constexpr int kNotPeriodic = 1;
inline constexpr int kPeriodic = 2;  // x on [0, 1], wrapping around

// The points a smoother fits: abscissae x (ascending), values y and weights w. The number of
// points is x.size(); y and w hold at least that many values.
struct SmootherInput {
    std::span<const float> x, y, w;
};

// One running-lines smooth: its span, periodic flag and the smallest window variance of x that
// is taken as a slope (below it the window's weighted mean is used).
struct RunningLines {
    float span = 0.0f;
    int periodic = kNotPeriodic;
    float small_variance = 0.0f;
};

// Running-lines smooth with a window of 2b+1 points, b = trunc(0.5·span·n + 0.5) (at least 2,
// and never wider than the series). out_smooth at least x.size().
// When periodic > 0 the cross-validated absolute residuals are written to out_residuals (which
// must then hold x.size() values); a negative flag skips them (out_residuals may be empty).
void smooth(const SmootherInput& data, const RunningLines& lines, std::span<float> out_smooth,
            std::span<float> out_residuals);

// The settings of the super smoother: periodic flag, span and bass enhancement alpha.
struct SuperSmootherSettings {
    int periodic = kNotPeriodic;
    float span = 0.0f;
    float alpha = 0.0f;
};

// Friedman's super smoother. span 0 = automatic choice among the three spans with bass
// enhancement alpha (0..10; 0 disables it, larger is stiffer); span > 0 = one running-lines
// smooth with that span. scratch must hold 7·x.size() floats (reused, never read before written).
void supsmu(const SmootherInput& data, const SuperSmootherSettings& settings, std::span<float> out_smooth,
            std::span<float> scratch);
// The same with its own scratch.
void supsmu(const SmootherInput& data, const SuperSmootherSettings& settings, std::span<float> out_smooth);

// The super-smoother curve of a series as the curve fits use it: abscissa 1, 2, ..., unit
// weights, not periodic, automatic span (0.3 when fewer than 40 values), the given alpha.
// Fits y (n values) and writes curve[0..n-1]. When curve is longer than y, the smoothed series is
// extended to curve.size() values by repeating its last smoothed value and smoothed again with
// the same settings on all values (the per-series code −5).
// workspace (optional) keeps the work arrays between calls, so a caller fitting many series
// allocates nothing per fit; results do not depend on it.
struct SmootherWorkspace {
    std::vector<float> x, w, scratch, extended;
};
void friedman_curve(std::span<const float> y, float alpha, std::span<float> curve,
                    SmootherWorkspace* workspace = nullptr);

// The point xs a local line of lowess is fitted at, and its neighbourhood x[left..right]
// (zero-based, inclusive).
struct LowessNeighbourhood {
    float xs = 0.0f;
    std::size_t left = 0, right = 0;
};
// The robustness weights of a local line (one per point), applied only when `use` is set.
struct LowessRobustness {
    bool use = false;
    std::span<const float> weights;
};

// One local weighted line of lowess at a point over its neighbourhood. weights is work space of
// x.size(). Returns false when every weight is zero (fitted is then unchanged).
bool lowest(std::span<const float> x, std::span<const float> y, const LowessNeighbourhood& at, float& fitted,
            std::span<float> weights, const LowessRobustness& robust);

// Cleveland's robust lowess of y against x = 1, 2, ..., with span fraction f, two robustness
// iterations and no point skipping. Writes s[0..y.size()-1]. A fraction that gives fewer than two
// neighbours uses two (which reproduces the data).
void lowess(std::span<const float> y, std::span<float> s, float f);

// Span fraction of the regional lowess from the dialogue's smoothing window and the number of
// values fitted n: a positive window is a number of years (window / n, at most 1), a negative one
// a percentage (|window| / 100). A window of 0 gives 0 (the two-neighbour minimum).
float lowess_span_fraction(int window, std::size_t n);

// Median window of the regional median smoother from the dialogue's smoothing window and the
// number of ages fitted n: a positive window is used as given; a negative one is a percentage,
// trunc(|window|/100·n), made odd (rounded down), at least 3 and at most the largest odd ≤ n.
int median_window(int window, std::size_t n);

// Median-smoother error codes.
inline constexpr int kMedianOk = 0;
inline constexpr int kMedianBadLength = 1;  // series shorter than the window or too long
inline constexpr int kMedianBadWindow = 2;  // window outside 1..dimension
inline constexpr int kMedianNoRoot = 20;    // no median root after 10 passes (curve usable)
inline constexpr std::size_t kMedianDimension = 5000;
inline constexpr int kMedianMaxPasses = 10;

// One pass of running medians of width window (odd) over y, into s; flat ends. Returns an error
// code (1 or 2, after recording its message as a pause) or 0. work holds window floats at least.
int msmoo(std::span<const float> y, std::span<float> s, std::span<float> work, int window, Notices& notices,
          std::size_t dimension = kMedianDimension);

// Median root: repeated running medians of width window until a pass changes nothing (at most
// 10 passes). y is overwritten (it carries the input of the next pass); an even window is
// reduced by 1 (window is in/out). Returns the error code: 0, 1, 2 (input errors, nothing written
// to s), 11, 12 (the same found in a pass), 20 (no root after 10 passes; s holds the last pass).
// passes receives the number of passes made.
int msmoor(std::span<float> y, std::span<float> s, int& window, int& passes, Notices& notices,
           std::size_t dimension = kMedianDimension);

// Ascending heapsort in place.
void sort(std::span<float> a);

// Smallest and largest of a non-empty integer array.
int minimum(std::span<const int> a);
int maximum(std::span<const int> a);

}  // namespace kestrovan
