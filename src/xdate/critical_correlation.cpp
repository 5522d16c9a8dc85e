#include "xdate/critical_correlation.hpp"

#include <cmath>
#include <limits>

namespace kestrovan {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The continued fraction of I_x(a, b) (the even and odd terms of its standard expansion),
// evaluated by Lentz's method; x lies below (a + 1) / (a + b + 2), where it converges fast.
double beta_fraction(double a, double b, double x) {
    constexpr double kTiny = 1e-300;
    constexpr double kStop = 1e-15;
    double f = 1.0, c = 1.0, d = 0.0;
    for (int i = 0; i <= 400; ++i) {
        const double m = i / 2;
        double term = 1.0;
        if (i > 0 && i % 2 == 0)
            term = m * (b - m) * x / ((a + 2.0 * m - 1.0) * (a + 2.0 * m));
        else if (i > 0)
            term = -(a + m) * (a + b + m) * x / ((a + 2.0 * m) * (a + 2.0 * m + 1.0));
        d = 1.0 + term * d;
        if (std::fabs(d) < kTiny) d = kTiny;
        d = 1.0 / d;
        c = 1.0 + term / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        const double step = c * d;
        f *= step;
        if (std::fabs(1.0 - step) < kStop) break;
    }
    return f - 1.0;
}

}  // namespace

double regularized_incomplete_beta(double a, double b, double x) {
    if (!(a > 0.0 && b > 0.0 && x >= 0.0 && x <= 1.0)) return kNaN;
    if (x == 0.0 || x == 1.0) return x;
    // The fraction converges quickly below the mean of the distribution; above it the symmetry
    // I_x(a, b) = 1 − I_(1−x)(b, a) is used.
    if (x > (a + 1.0) / (a + b + 2.0)) return 1.0 - regularized_incomplete_beta(b, a, 1.0 - x);
    const double log_front =
        std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x);
    return std::exp(log_front) / a * beta_fraction(a, b, x);
}

double student_t_cdf(double t, double df) {
    if (!(df > 0.0) || std::isnan(t)) return kNaN;
    if (std::isinf(t)) return t > 0 ? 1.0 : 0.0;
    const double tail = 0.5 * regularized_incomplete_beta(0.5 * df, 0.5, df / (df + t * t));
    return t > 0.0 ? 1.0 - tail : tail;
}

double student_t_quantile(double p, double df) {
    if (!(p > 0.0 && p < 1.0 && df > 0.0)) return kNaN;
    if (p < 0.5) return -student_t_quantile(1.0 - p, df);
    if (p == 0.5) return 0.0;
    double lo = 0.0, hi = 1.0;
    while (student_t_cdf(hi, df) < p && hi < 1e300) {
        lo = hi;
        hi *= 2.0;
    }
    // The distribution function rises strictly: halve the bracket until it cannot shrink.
    for (int i = 0; i < 2000; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) break;
        (student_t_cdf(mid, df) < p ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double critical_correlation(int n, double level) {
    if (n < 3) return kNaN;
    const double df = n - 2.0;
    const double t = student_t_quantile(level, df);
    return t / std::sqrt(t * t + df);
}

}  // namespace kestrovan
