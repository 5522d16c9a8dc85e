#include "curves/growth.hpp"

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model/curve_families.hpp"
#include "model/format.hpp"
#include "model/notices.hpp"
#include "model/numeric_failure.hpp"

namespace kestrovan {

namespace {

constexpr int kMinExponentialLength = 20;
constexpr int kMaxSearchPasses = 34;
constexpr double kStartStep = 0.0005;
constexpr double kConvergedStep = 5e-7;
constexpr double kMaxExponent = 112.8;  // t |b| beyond this would overflow the sums
constexpr double kSumFloor = 1e-15, kSumCeiling = 1e15;

inline std::size_t at(int i) { return static_cast<std::size_t>(i); }

void fail_curve(std::span<float> c, FitRecord& record) {
    record[1] = kCurveFailed;
    if (!c.empty()) c[0] = kCurveFailed;
}

// One candidate decay rate of the exponential search: least squares for a and k given b, and
// the residual sum of squares. `usable` is false when the candidate leaves the range in which
// the sums can be trusted, which ends the whole fit.
struct Candidate {
    bool usable = false;
    double a = 0.0, k = 0.0, error = 0.0, sum_y = 0.0;
};

Candidate evaluate(double beta, int n, std::span<const float> y, std::vector<double>& e) {
    Candidate r;
    if (static_cast<double>(n) * std::fabs(beta) > kMaxExponent) return r;
    double s1 = 0.0, s2 = 0.0, sy = 0.0, sey = 0.0;
    for (int t = 1; t <= n; ++t) {
        const double et = std::exp(-beta * static_cast<double>(t));
        const double yt = y[at(t - 1)];
        e[at(t - 1)] = et;
        s1 += et;
        s2 += et * et;
        sy += yt;
        sey += et * yt;
    }
    if (s1 > kSumCeiling || s1 < kSumFloor || s2 > kSumCeiling || s2 < kSumFloor) return r;
    const double dn = static_cast<double>(n);
    r.k = (s2 * sy - s1 * sey) / (s2 * dn - s1 * s1);
    r.a = (sy - dn * r.k) / s1;
    double err = 0.0;
    for (int t = 0; t < n; ++t) {
        const double d = static_cast<double>(y[at(t)]) - r.k - r.a * e[at(t)];
        err += d * d;
    }
    r.error = err;
    r.sum_y = sy;
    r.usable = true;
    return r;
}

float single_mean(std::span<const float> y, int n) {
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += y[at(i)];
    return sum / static_cast<float>(n);
}

void fill_curve(std::span<float> c, int N, float value) {
    for (int i = 0; i < N; ++i) c[at(i)] = value;
}

// Starting rate of the exponential search from the means of the first and the last ten values.
// Their logarithms exist only for positive means; other data (not widths or indices) get no
// exponential (none returned).
std::optional<double> starting_rate(int n, std::span<const float> y) {
    double first = 0.0, last = 0.0;
    for (int i = 0; i < 10; ++i) {
        first += y[at(i)];
        last += y[at(n - 10 + i)];
    }
    first /= 10.0;
    last /= 10.0;
    if (!(first > 0.0) || !(last > 0.0)) return std::nullopt;
    double b = (std::log(first) - std::log(last)) / static_cast<double>(n - 10);
    if (b <= 0.0) b = 1e-8;
    return b;
}

// Where the search on b ended: `usable` is false when a candidate left the range in which the
// sums can be trusted, `converged` false when the step did not come down within the passes.
struct RateSearch {
    bool usable = true;
    bool converged = false;
    int passes = 0;
    double b = 0.0;
    Candidate last;  // the last candidate evaluated: b + h of the final pass
};

// Search on b: each pass tries b - h and b + h (and b itself in the first pass), moves to the
// best, doubles the step while moves continue before any halving, and halves it otherwise until
// it is 5e-7 or less.
RateSearch search_rate(double b, int n, std::span<const float> y) {
    RateSearch search;
    std::vector<double> e(at(n));
    double h = kStartStep;
    bool halved_before = false;
    double best_error = 0.0;
    for (int pass = 1; pass <= kMaxSearchPasses; ++pass) {
        const Candidate lower = evaluate(b - h, n, y, e);
        if (!lower.usable) {
            search.usable = false;
            return search;
        }
        if (pass == 1) {
            const Candidate middle = evaluate(b, n, y, e);
            if (!middle.usable) {
                search.usable = false;
                return search;
            }
            best_error = middle.error;
        }
        const Candidate upper = evaluate(b + h, n, y, e);
        if (!upper.usable) {
            search.usable = false;
            return search;
        }
        search.last = upper;

        double chosen = b;
        bool moved = false;
        if (lower.error < best_error) {
            chosen = b - h;
            best_error = lower.error;
            moved = true;
        }
        if (upper.error < best_error) {
            chosen = b + h;
            best_error = upper.error;
            moved = true;
        }
        b = chosen;

        if (moved && !halved_before) {
            h *= 2.0;
        } else {
            if (!moved) halved_before = true;
            h *= 0.5;
            if (h <= kConvergedStep) {
                search.passes = pass;
                search.converged = true;
                break;
            }
        }
    }
    search.b = b;
    return search;
}

// The record and the curve at positions 1..N of a converged search. The amplitude and asymptote
// are those of the last candidate evaluated (b + h of the final pass); at convergence h is below
// 1e-6, well inside the resolution of the search.
void store_exponential(const RateSearch& search, int N, std::span<float> c, FitRecord& record) {
    const double a = search.last.a;
    const double k = search.last.k;
    double b = search.b;
    if (k > 9999.0 || a <= 0.0 || b < 0.0 || !std::isfinite(a) || !std::isfinite(k)) b = 0.0;
    record[0] = static_cast<float>(a);
    record[1] = static_cast<float>(b);
    record[4] = static_cast<float>(k);
    record[5] = static_cast<float>(search.passes);
    record[6] = static_cast<float>(search.last.sum_y);
    for (int t = 1; t <= N; ++t)
        c[at(t - 1)] = static_cast<float>(a * std::exp(-b * static_cast<double>(t)) + k);
}

}  // namespace

void curve(int N, int n, std::span<const float> y, std::span<float> c, FitRecord& record, Notices& notices) {
    if (n < kMinExponentialLength) {
        notices.line(">> sbr curve:  only" + fmt_i(n, 3) + " values, no exponential curve fit");
        fail_curve(c, record);
        return;
    }
    const std::optional<double> start = starting_rate(n, y);
    if (!start) {
        fail_curve(c, record);
        return;
    }
    const RateSearch search = search_rate(*start, n, y);
    if (!search.usable) return fail_curve(c, record);
    if (!search.converged) {
        notices.line(">> sbr curve: over 34 iterations");
        return fail_curve(c, record);
    }
    store_exponential(search, N, c, record);
}

void trend(int N, int n, std::span<const float> y, std::span<float> c, float& slope, float& intercept) {
    if (n < 1) throw NumericFailure("error in trend: n=0");
    double st = 0.0, sy = 0.0, sty = 0.0, stt = 0.0;
    for (int t = 1; t <= n; ++t) {
        const double dt = t;
        const double yt = y[at(t - 1)];
        st += dt;
        sy += yt;
        sty += dt * yt;
        stt += dt * dt;
    }
    const double dn = n;
    const double denominator = stt - st * st / dn;
    // One value has no slope (the denominator is 0): the line is flat through it.
    const double b = n > 1 ? (sty - sy * st / dn) / denominator : 0.0;
    const double a = sy / dn - b * st / dn;
    slope = static_cast<float>(b);
    intercept = static_cast<float>(a);
    for (int t = 1; t <= N; ++t)
        c[at(t - 1)] = static_cast<float>(static_cast<double>(slope) * t + intercept);
}

void xmean(std::span<const float> y, std::span<float> c, int N, int n) {
    if (n < 1) {
        throw NumericFailure({{}, {"error in xmean: n=0"}}, true);
    }
    fill_curve(c, N, single_mean(y, n));
}

float xmean2(std::span<const float> y, int n) {
    if (n < 1) {
        throw NumericFailure({{}, {"error in xmean2: n=0"}}, true);
    }
    return single_mean(y, n);
}

Moments moment(std::span<const float> y, int n) {
    Moments m;
    if (n < 1) return m;
    if (n == 1) {
        m.mean = y[0];
        return m;
    }
    const float fn = static_cast<float>(n);
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += y[at(i)];
    const float mean = sum / fn;

    float adev = 0.0f, var = 0.0f, skew = 0.0f, kurt = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float d = y[at(i)] - mean;
        adev += std::fabs(d);
        const float d2 = d * d;
        var += d2;
        skew += d2 * d;
        kurt += d2 * d2;
    }
    adev /= fn;
    var /= fn - 1.0f;

    float sensitivity = 0.0f;
    for (int i = 0; i + 1 < n; ++i) {
        const float pair_mean = (y[at(i)] + y[at(i + 1)]) / 2.0f;
        if (pair_mean > 0.0f) sensitivity += std::fabs((y[at(i + 1)] - y[at(i)]) / pair_mean);
    }
    m.mean = mean;
    m.average_deviation = adev;
    m.variance = var;
    m.mean_sensitivity = sensitivity / (fn - 1.0f);
    if (!(var > 0.0f)) return m;  // sd, skewness, kurtosis and autocorrelation stay undefined

    const float sd = std::sqrt(var);
    skew /= sd * sd * sd * fn;
    if (n >= 3) skew *= (std::sqrt(std::fabs((fn - 1.0f) * fn)) / (fn - 2.0f)) * (8.5f / fn + 1.0f);
    kurt /= var * var * fn;
    if (n >= 4) kurt *= fn * fn * (fn + 1.0f) / ((fn - 2.0f) * (fn - 1.0f) * (fn - 3.0f));

    // Lag-one autocorrelation of the values standardised with the population deviation; the
    // standardised values are formed on the fly so that the caller's values stay untouched.
    const float scale = std::sqrt(var * (fn - 1.0f) / fn);
    float ac = 0.0f;
    float previous = (y[0] - mean) / scale;
    for (int i = 1; i < n; ++i) {
        const float z = (y[at(i)] - mean) / scale;
        ac += previous * z;
        previous = z;
    }
    m.standard_deviation = sd;
    m.skewness = skew;
    m.kurtosis = kurt;
    m.autocorrelation = ac / fn;
    return m;
}

void growth_per_series(int N, int n, std::span<const float> y, std::span<float> c, int& code,
                       Notices& notices) {
    float slope = 0.0f, intercept = 0.0f;
    switch (code) {
        case 1:
        case 2: {
            FitRecord record{};
            curve(N, n, y, c, record, notices);
            if (record[1] > 1e-6f && record[4] >= 1e-6f) return;
            trend(N, n, y, c, slope, intercept);
            if (code == 1) {
                code = 3;
            } else if (slope > 1e-6f) {
                xmean(y, c, N, n);
                code = kCurveMean;
            } else {
                code = 4;
            }
            return;
        }
        case 3: trend(N, n, y, c, slope, intercept); return;
        case 4:
            trend(N, n, y, c, slope, intercept);
            if (slope > 0.0f) {
                xmean(y, c, N, n);
                code = kCurveMean;
            }
            return;
        case 6: xmean(y, c, N, n); return;
        default:
            throw NumericFailure("growth curve: option code " + std::to_string(code) +
                                 " is not a growth fit");
    }
}

void growth_regional(FitLengths lengths, std::span<const float> y, std::span<float> c, FitRecord& record,
                     int& code, Notices& notices) {
    const int N = lengths.N, n = lengths.n;
    record.fill(0.0f);
    auto line = [&] { trend(N, n, y, c, record[2], record[4]); };
    auto mean = [&] {
        record[2] = 0.0f;
        record[4] = xmean2(y, n);
        fill_curve(c, N, record[4]);
    };
    switch (code) {
        case 1:
        case 2:
            curve(N, n, y, c, record, notices);
            if (record[1] > 0.0f && record[4] >= 0.0f) return;
            line();
            if (code == 1) {
                code = 4;
            } else {
                // The falling-line option is applied and reported as code 5; a rising line gives the
                // mean, and the next fit with code 5 reports 6 if the slope is still positive.
                if (record[2] > 0.0f) mean();
                code = 5;
            }
            return;
        case 4: line(); return;
        case 5:
            line();
            if (record[2] > 0.0f) {
                mean();
                code = kCurveMean;
            }
            return;
        case 6:
            record[4] = xmean2(y, n);
            fill_curve(c, N, record[4]);
            return;
        default:
            throw NumericFailure("regional growth curve: option code " + std::to_string(code) +
                                 " is not a growth fit");
    }
}

}  // namespace kestrovan
