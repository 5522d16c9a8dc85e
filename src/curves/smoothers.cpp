#include "curves/smoothers.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <string>

#include "model/notices.hpp"

namespace kestrovan {

namespace {

// Constants of the super smoother: a value larger than any residual, the floor of the
// residual ratio in the bass enhancement, and the relative resolution of x that sets the
// smallest variance treated as a slope.
constexpr float kBig = 1.0e20f;
constexpr float kSmall = 1.0e-7f;
constexpr float kResolution = 1.0e-3f;

constexpr float kSpans[3] = {kTweeterSpan, kMidrangeSpan, kWooferSpan};

// Running weighted means, variance and covariance of the points in the window.
struct WindowSums {
    double xm = 0.0, ym = 0.0, var = 0.0, cvar = 0.0, fbw = 0.0;

    void add(double x, double y, double wt) {
        const double fbo = fbw;
        fbw += wt;
        if (fbw > 0.0) {
            xm = (fbo * xm + wt * x) / fbw;
            ym = (fbo * ym + wt * y) / fbw;
        }
        double tmp = 0.0;
        if (fbo > 0.0) tmp = fbw * wt * (x - xm) / fbo;
        var += tmp * (x - xm);
        cvar += tmp * (y - ym);
    }

    void remove(double x, double y, double wt) {
        const double fbo = fbw;
        fbw -= wt;
        double tmp = 0.0;
        if (fbw > 0.0) tmp = fbo * wt * (x - xm) / fbw;
        var -= tmp * (x - xm);
        cvar -= tmp * (y - ym);
        if (fbw > 0.0) {
            xm = (fbo * xm - wt * x) / fbw;
            ym = (fbo * ym - wt * y) / fbw;
        }
    }
};

// The window of a running-lines smooth: its half-width, and the number of points summed into the
// first window.
struct LinesWindow {
    long half = 0;
    long first = 0;
};

// Half-width b = trunc(0.5·span·n + 0.5), at least 2. A window wider than the series would read
// outside it. Without wrap-around the whole series then forms one window for every point; with
// wrap-around the half-width shrinks.
LinesWindow lines_window(long nn, float span, int jper) {
    long ibw = static_cast<long>(0.5f * span * static_cast<float>(nn) + 0.5f);
    if (ibw < 2) ibw = 2;
    long it = 2 * ibw + 1;
    if (it > nn) {
        if (jper == 2) {
            ibw = (nn - 1) / 2;
            it = 2 * ibw + 1;
        } else {
            it = nn;
        }
    }
    return {ibw, it};
}

// The sums of the window of the first point; with wrap-around it reaches back over the end of
// the series (x shifted down by one period).
WindowSums first_window(const SmootherInput& data, const LinesWindow& window, int jper) {
    const std::span<const float> x = data.x, y = data.y, w = data.w;
    const long nn = static_cast<long>(x.size());
    const long ibw = window.half;
    WindowSums s;
    for (long i = 1; i <= window.first; ++i) {
        long j = i;
        if (jper == 2) j = i - ibw - 1;
        double xti;
        if (j >= 1) {
            xti = x[j - 1];
        } else {
            j = nn + j;
            xti = static_cast<double>(x[j - 1]) - 1.0;
        }
        s.add(xti, y[j - 1], w[j - 1]);
    }
    return s;
}

// Moves the window of point j - 1 on to point j (one-based): the point leaving it is removed and
// the point entering it added. With wrap-around the ends step round the series (x shifted by one
// period); without it the window stays put while it would leave the series.
void slide_window(const SmootherInput& data, long j, long ibw, int jper, WindowSums& s) {
    const std::span<const float> x = data.x, y = data.y, w = data.w;
    const long nn = static_cast<long>(x.size());
    long out = j - ibw - 1;
    long in = j + ibw;
    const bool slide = jper == 2 || (out >= 1 && in <= nn);
    if (!slide) return;
    double xto, xti;
    if (out < 1) {
        out = nn + out;
        xto = static_cast<double>(x[out - 1]) - 1.0;
        xti = x[in - 1];
    } else if (in > nn) {
        in = in - nn;
        xti = static_cast<double>(x[in - 1]) + 1.0;
        xto = x[out - 1];
    } else {
        xto = x[out - 1];
        xti = x[in - 1];
    }
    s.remove(xto, y[out - 1], w[out - 1]);
    s.add(xti, y[in - 1], w[in - 1]);
}

// Points sharing one abscissa all get the weighted mean of their fitted values.
void pool_tied_abscissae(const SmootherInput& data, std::span<float> out_smooth) {
    const std::span<const float> x = data.x, w = data.w;
    const std::size_t n = x.size();
    std::size_t j = 0;
    while (j < n) {
        const std::size_t j0 = j;
        double sy = static_cast<double>(out_smooth[j]) * w[j];
        double fbw = w[j];
        while (j + 1 < n && x[j + 1] <= x[j]) {
            ++j;
            sy += static_cast<double>(w[j]) * out_smooth[j];
            fbw += w[j];
        }
        if (j > j0) {
            const float a = fbw > 0.0 ? static_cast<float>(sy / fbw) : 0.0f;
            for (std::size_t i = j0; i <= j; ++i) out_smooth[i] = a;
        }
        ++j;
    }
}

}  // namespace

void smooth(const SmootherInput& data, const RunningLines& lines, std::span<float> out_smooth,
            std::span<float> out_residuals) {
    const std::span<const float> x = data.x, y = data.y, w = data.w;
    const std::size_t n = x.size();
    if (n == 0) return;
    const int periodic = lines.periodic;
    const float small_variance = lines.small_variance;
    assert(y.size() >= n && w.size() >= n && out_smooth.size() >= n);
    assert(periodic <= 0 || out_residuals.size() >= n);
    const long nn = static_cast<long>(n);
    const int jper = std::abs(periodic);

    const LinesWindow window = lines_window(nn, lines.span, jper);
    WindowSums s = first_window(data, window, jper);

    for (long j = 1; j <= nn; ++j) {
        slide_window(data, j, window.half, jper, s);
        const double xj = x[j - 1];
        double a = 0.0;
        if (s.var > small_variance) a = s.cvar / s.var;
        out_smooth[j - 1] = static_cast<float>(a * (xj - s.xm) + s.ym);
        if (periodic <= 0) continue;
        // The cross-validated absolute residual: the residual over 1 - w·h, h the point's leverage.
        double h = s.fbw > 0.0 ? 1.0 / s.fbw : 0.0;
        if (s.var > small_variance) h += (xj - s.xm) * (xj - s.xm) / s.var;
        out_residuals[j - 1] = 0.0f;
        const double denom = 1.0 - static_cast<double>(w[j - 1]) * h;
        if (denom > 0.0) {
            out_residuals[j - 1] =
                static_cast<float>(std::fabs(static_cast<double>(y[j - 1]) - out_smooth[j - 1]) / denom);
        } else if (j > 1) {
            out_residuals[j - 1] = out_residuals[j - 2];
        }
    }

    pool_tied_abscissae(data, out_smooth);
}

namespace {

// All abscissae equal: every point gets the weighted mean of y.
void fill_weighted_mean(const SmootherInput& data, std::span<float> out_smooth) {
    const std::size_t n = data.x.size();
    double sy = 0.0, sw = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        sy += static_cast<double>(data.w[j]) * data.y[j];
        sw += data.w[j];
    }
    const float a = sw > 0.0 ? static_cast<float>(sy / sw) : 0.0f;
    std::fill_n(out_smooth.begin(), n, a);
}

// The smallest variance of x in a window that is treated as a slope: (1e-3·scale)², the scale
// of x from its inter-quartile positions, widened until it is positive. x is not constant.
float smallest_slope_variance(std::span<const float> x) {
    const std::size_t n = x.size();
    std::size_t i = n / 4;
    std::size_t j = 3 * i;
    if (i < 1) i = 1;
    if (j < 1) j = 1;
    float scale = x[j - 1] - x[i - 1];
    while (!(scale > 0.0f)) {
        if (j < n) ++j;
        if (i > 1) --i;
        scale = x[j - 1] - x[i - 1];
    }
    return (kResolution * scale) * (kResolution * scale);
}

// The periodic flag the smooths use: wrap-around only for x on [0, 1]; anything else is taken as
// not periodic.
int periodic_flag(std::span<const float> x, int periodic) {
    const std::size_t n = x.size();
    int jper = periodic;
    if (periodic == kPeriodic && (x[0] < 0.0f || x[n - 1] > 1.0f)) jper = kNotPeriodic;
    if (jper < 1 || jper > 2) jper = kNotPeriodic;
    return jper;
}

// The seven columns of n values of supsmu's scratch: 0, 2, 4 the smooths with each span; 1, 3, 5
// their smoothed residuals; 6 the residuals of the current span, then the chosen span at each
// point. Columns 1 and 3 are then reused for the smoothed spans and the mixed smooth.
struct SpanColumns {
    std::span<float> scratch;
    std::size_t n = 0;
    std::span<float> operator()(int c) const { return scratch.subspan(static_cast<std::size_t>(c) * n, n); }
};

// The span with the smallest smoothed residual at each point, into column 6, moved towards the
// woofer span by the bass enhancement alpha (0 < alpha <= 10).
void choose_spans(const SpanColumns& col, float alpha) {
    std::span<float> chosen = col(6);
    for (std::size_t p = 0; p < col.n; ++p) {
        float resmin = kBig;
        chosen[p] = kWooferSpan;
        for (int k = 0; k < 3; ++k) {
            const float r = col(2 * k + 1)[p];
            if (r < resmin) {
                resmin = r;
                chosen[p] = kSpans[k];
            }
        }
        const float woofer = col(5)[p];
        if (alpha > 0.0f && alpha <= 10.0f && resmin < woofer && resmin > 0.0f) {
            chosen[p] +=
                (kWooferSpan - chosen[p]) * std::pow(std::max(kSmall, resmin / woofer), 10.0f - alpha);
        }
    }
}

// Each point's value between the two smooths whose spans enclose its smoothed span (column 1),
// into column 3.
void mix_smooths(const SpanColumns& col) {
    const std::span<const float> spans = col(1);
    std::span<float> mixed = col(3);
    const std::span<const float> tweet = col(0), mid = col(2), woof = col(4);
    for (std::size_t p = 0; p < col.n; ++p) {
        float sp = spans[p];
        if (sp <= kTweeterSpan) sp = kTweeterSpan;
        if (sp >= kWooferSpan) sp = kWooferSpan;
        float f = sp - kMidrangeSpan;
        if (f >= 0.0f) {
            f = f / (kWooferSpan - kMidrangeSpan);
            mixed[p] = (1.0f - f) * mid[p] + f * woof[p];
        } else {
            f = -f / (kMidrangeSpan - kTweeterSpan);
            mixed[p] = (1.0f - f) * mid[p] + f * tweet[p];
        }
    }
}

}  // namespace

void supsmu(const SmootherInput& data, const SuperSmootherSettings& settings, std::span<float> out_smooth,
            std::span<float> scratch) {
    const std::span<const float> x = data.x, w = data.w;
    const std::size_t n = x.size();
    if (n == 0) return;
    assert(data.y.size() >= n && w.size() >= n && out_smooth.size() >= n && scratch.size() >= 7 * n);

    if (!(x[n - 1] > x[0])) {
        fill_weighted_mean(data, out_smooth);
        return;
    }
    const float vsmlsq = smallest_slope_variance(x);
    const int jper = periodic_flag(x, settings.periodic);

    if (settings.span > 0.0f) {
        smooth(data, {settings.span, jper, vsmlsq}, out_smooth.first(n), scratch.first(n));
        return;
    }

    // The smooths with the three spans and their smoothed cross-validated residuals; the span
    // chosen per point, smoothed; the smooths mixed by it and smoothed once more.
    const SpanColumns col{scratch, n};
    std::span<float> none;
    for (int k = 0; k < 3; ++k) {
        smooth(data, {kSpans[k], jper, vsmlsq}, col(2 * k), col(6));
        smooth({x, col(6), w}, {kMidrangeSpan, -jper, vsmlsq}, col(2 * k + 1), none);
    }
    choose_spans(col, settings.alpha);
    smooth({x, col(6), w}, {kMidrangeSpan, -jper, vsmlsq}, col(1), none);
    mix_smooths(col);
    smooth({x, col(3), w}, {kTweeterSpan, -jper, vsmlsq}, out_smooth.first(n), none);
}

void supsmu(const SmootherInput& data, const SuperSmootherSettings& settings, std::span<float> out_smooth) {
    std::vector<float> scratch(7 * data.x.size());
    supsmu(data, settings, out_smooth, scratch);
}

void friedman_curve(std::span<const float> y, float alpha, std::span<float> curve,
                    SmootherWorkspace* workspace) {
    const std::size_t n = y.size();
    const std::size_t total = std::max(n, curve.size());
    if (n == 0) return;
    SmootherWorkspace local;
    SmootherWorkspace& ws = workspace ? *workspace : local;
    ws.x.resize(total);
    ws.w.assign(total, 1.0f);
    ws.scratch.resize(7 * total);
    for (std::size_t i = 0; i < total; ++i) ws.x[i] = static_cast<float>(i + 1);
    const float span = n < kShortSeriesLimit ? kShortSeriesSpan : 0.0f;
    const std::span<const float> xs(ws.x), wts(ws.w);

    supsmu({xs.first(n), y, wts.first(n)}, {kNotPeriodic, span, alpha}, curve.first(n), ws.scratch);
    if (curve.size() <= n) return;

    // Extend by holding the last smoothed value, then smooth the whole length again.
    ws.extended.resize(total);
    std::copy_n(curve.begin(), n, ws.extended.begin());
    std::fill(ws.extended.begin() + static_cast<std::ptrdiff_t>(n), ws.extended.end(), curve[n - 1]);
    supsmu({xs, ws.extended, wts}, {kNotPeriodic, span, alpha}, curve, ws.scratch);
}

bool lowest(std::span<const float> x, std::span<const float> y, const LowessNeighbourhood& at, float& fitted,
            std::span<float> weights, const LowessRobustness& robust) {
    const float xs = at.xs;
    const std::size_t left = at.left, right = at.right;
    const bool use_robustness = robust.use;
    const std::span<const float> robustness = robust.weights;
    const std::size_t n = x.size();
    const double range = static_cast<double>(x[n - 1]) - x[0];
    const double h = std::max(static_cast<double>(xs) - x[left], static_cast<double>(x[right]) - xs);
    const double h9 = 0.999 * h;
    const double h1 = 0.001 * h;

    // Tricube weights over the neighbourhood, continued to the right over ties.
    double a = 0.0;
    std::size_t j = left;
    for (; j < n; ++j) {
        weights[j] = 0.0f;
        const double r = std::fabs(static_cast<double>(x[j]) - xs);
        if (r <= h9) {
            double wt = 1.0;
            if (r > h1) {
                const double q = r / h;
                const double t = 1.0 - q * q * q;
                wt = t * t * t;
            }
            if (use_robustness) wt *= robustness[j];
            weights[j] = static_cast<float>(wt);
            a += weights[j];
        } else if (x[j] > xs) {
            break;
        }
    }
    const std::size_t last = j - 1;
    if (a <= 0.0) return false;

    for (j = left; j <= last; ++j) weights[j] = static_cast<float>(weights[j] / a);
    if (h > 0.0) {
        double mean = 0.0;
        for (j = left; j <= last; ++j) mean += static_cast<double>(weights[j]) * x[j];
        double b = xs - mean;
        double c = 0.0;
        for (j = left; j <= last; ++j) {
            const double d = x[j] - mean;
            c += weights[j] * d * d;
        }
        // A weighted line only when x spreads enough; else the weighted mean.
        if (std::sqrt(c) > 0.001 * range) {
            b /= c;
            for (j = left; j <= last; ++j)
                weights[j] = static_cast<float>(weights[j] * (b * (x[j] - mean) + 1.0));
        }
    }
    double ys = 0.0;
    for (j = left; j <= last; ++j) ys += static_cast<double>(weights[j]) * y[j];
    fitted = static_cast<float>(ys);
    return true;
}

void lowess(std::span<const float> y, std::span<float> s, float f) {
    const std::size_t n = y.size();
    if (n == 0) return;
    if (n < 2) {
        s[0] = y[0];
        return;
    }
    constexpr int kRobustnessIterations = 2;
    std::vector<float> x(n), residuals(n), robustness(n, 1.0f), sorted(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<float>(i + 1);

    long q = static_cast<long>(f * static_cast<float>(n));
    q = std::min<long>(static_cast<long>(n), q);
    const std::size_t ns = static_cast<std::size_t>(std::max<long>(2, q));

    for (int iter = 1; iter <= kRobustnessIterations + 1; ++iter) {
        std::size_t left = 0, right = ns - 1;
        for (std::size_t i = 0; i < n; ++i) {
            // Slide the neighbourhood right while that brings it closer to x[i].
            while (right + 1 < n && x[i] - x[left] > x[right + 1] - x[i]) {
                ++left;
                ++right;
            }
            float fitted = 0.0f;
            if (lowest(x, y, {x[i], left, right}, fitted, residuals, {iter > 1, robustness}))
                s[i] = fitted;
            else
                s[i] = y[i];
        }
        for (std::size_t i = 0; i < n; ++i) residuals[i] = y[i] - s[i];
        if (iter > kRobustnessIterations) break;

        // Bisquare robustness weights from six times the median absolute residual.
        for (std::size_t i = 0; i < n; ++i) sorted[i] = std::fabs(residuals[i]);
        sort(sorted);
        const std::size_t m1 = n / 2;  // zero-based position of the upper middle value
        double cmad;
        if (n % 2 == 0)
            cmad = 3.0 * (static_cast<double>(sorted[m1]) + sorted[m1 - 1]);
        else
            cmad = 6.0 * sorted[m1];
        // When more than half the points are fitted (almost) exactly the median residual
        // vanishes and the weights would keep only those points, letting one outlier pull the
        // next fit: the robustness steps stop and the current fit stands.
        double mean_abs = 0.0;
        for (std::size_t i = 0; i < n; ++i) mean_abs += sorted[i];
        mean_abs /= static_cast<double>(n);
        if (cmad < 1.0e-7 * mean_abs) break;
        const double c9 = 0.999 * cmad;
        const double c1 = 0.001 * cmad;
        for (std::size_t i = 0; i < n; ++i) {
            const double r = std::fabs(residuals[i]);
            if (r <= c1) {
                robustness[i] = 1.0f;
            } else if (r <= c9) {
                const double u = r / cmad;
                const double t = 1.0 - u * u;
                robustness[i] = static_cast<float>(t * t);
            } else {
                robustness[i] = 0.0f;
            }
        }
    }
}

float lowess_span_fraction(int window, std::size_t n) {
    if (window < 0) return static_cast<float>(-static_cast<long>(window)) / 100.0f;
    if (window == 0 || n == 0) return 0.0f;
    return std::min(1.0f, static_cast<float>(window) / static_cast<float>(n));
}

int median_window(int window, std::size_t n) {
    if (window >= 0) return window;
    const long largest_odd = static_cast<long>(n) % 2 == 1 ? static_cast<long>(n) : static_cast<long>(n) - 1;
    long m =
        static_cast<long>(static_cast<double>(-static_cast<long>(window)) / 100.0 * static_cast<double>(n));
    if (m % 2 == 0) --m;
    if (m < 3) m = 3;
    if (m > largest_odd) m = largest_odd;
    return static_cast<int>(m);
}

namespace {

int median_input_error(std::size_t n, int window, std::size_t dimension) {
    if (n < static_cast<std::size_t>(std::max(window, 0)) || n > dimension) return kMedianBadLength;
    if (window < 1 || static_cast<std::size_t>(window) > dimension) return kMedianBadWindow;
    return kMedianOk;
}

void report_median_error(int code, const char* where, Notices& notices) {
    notices.pause("input error " + std::to_string(code) + " in " + where + ".");
}

}  // namespace

int msmoo(std::span<const float> y, std::span<float> s, std::span<float> work, int window, Notices& notices,
          std::size_t dimension) {
    const std::size_t n = y.size();
    if (const int error = median_input_error(n, window, dimension); error != kMedianOk) {
        report_median_error(error, "msmoo", notices);
        return error;
    }
    if (window == 1) {
        std::copy(y.begin(), y.end(), s.begin());
        return kMedianOk;
    }
    const std::size_t w = static_cast<std::size_t>(window);
    const std::size_t h = (w - 1) / 2;
    std::span<float> win = work.first(w);
    for (std::size_t c = h; c + h < n; ++c) {
        std::copy_n(y.begin() + static_cast<std::ptrdiff_t>(c - h), w, win.begin());
        sort(win);
        s[c] = win[h];
    }
    for (std::size_t i = 0; i < h; ++i) {
        s[i] = s[h];
        s[n - 1 - i] = s[n - 1 - h];
    }
    return kMedianOk;
}

int msmoor(std::span<float> y, std::span<float> s, int& window, int& passes, Notices& notices,
           std::size_t dimension) {
    const std::size_t n = y.size();
    passes = 0;
    if (const int error = median_input_error(n, window, dimension); error != kMedianOk) {
        report_median_error(error, "msmoor", notices);
        return error;
    }
    if (window % 2 == 0) --window;

    std::vector<float> work(static_cast<std::size_t>(window));
    for (passes = 1; passes <= kMedianMaxPasses; ++passes) {
        const int error = msmoo(y, s, work, window, notices, dimension);
        if (error != kMedianOk) return error + 10;
        double change = 0.0;
        for (std::size_t i = 0; i < n; ++i) change += std::fabs(static_cast<double>(y[i]) - s[i]);
        if (change < 1.0e-6) return kMedianOk;
        std::copy_n(s.begin(), n, y.begin());
    }
    passes = kMedianMaxPasses;
    notices.blank_line();
    notices.line("*** maximum iterations reached in msmoor ***");
    return kMedianNoRoot;
}

void sort(std::span<float> a) {
    const std::size_t n = a.size();
    if (n < 2) return;
    // Classic heapsort with one-based indices: build the heap, then extract the largest.
    std::size_t l = n / 2 + 1;
    std::size_t ir = n;
    for (;;) {
        float rra;
        if (l > 1) {
            rra = a[--l - 1];
        } else {
            rra = a[ir - 1];
            a[ir - 1] = a[0];
            if (--ir == 1) {
                a[0] = rra;
                return;
            }
        }
        std::size_t i = l;
        std::size_t j = l + l;
        while (j <= ir) {
            if (j < ir && a[j - 1] < a[j]) ++j;
            if (rra < a[j - 1]) {
                a[i - 1] = a[j - 1];
                i = j;
                j += j;
            } else {
                break;
            }
        }
        a[i - 1] = rra;
    }
}

int minimum(std::span<const int> a) {
    assert(!a.empty());
    return *std::min_element(a.begin(), a.end());
}

int maximum(std::span<const int> a) {
    assert(!a.empty());
    return *std::max_element(a.begin(), a.end());
}

}  // namespace kestrovan
