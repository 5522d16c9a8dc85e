#include "diag/spectrum.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace kestrovan {

namespace {
constexpr double kPi = 3.1415926535897936;
}

void ftauto_moments(std::span<const float> x, float& mean, float& variance) {
    const std::size_t n = x.size();
    if (n == 0) {
        mean = 0.0f;
        variance = 0.0f;
        return;
    }
    double sum = 0.0;
    for (float v : x) sum += v;
    const double m = sum / static_cast<double>(n);
    double ss = 0.0;
    for (float v : x) ss += (v - m) * (v - m);
    mean = static_cast<float>(m);
    variance = static_cast<float>(ss / static_cast<double>(n));
}

std::vector<float> ftauto_autocov(std::span<const float> x, int max_lag, float mean) {
    const int n = static_cast<int>(x.size());
    std::vector<float> c(max_lag > 0 ? static_cast<std::size_t>(max_lag) : 0, 0.0f);
    if (n == 0) return c;
    for (int k = 1; k <= max_lag; ++k) {
        double s = 0.0;
        for (int i = 0; i + k < n; ++i)
            s += (static_cast<double>(x[i + k]) - mean) * (static_cast<double>(x[i]) - mean);
        c[k - 1] = static_cast<float>(s / n);
    }
    return c;
}

Spectrum ftfreq(std::span<const float> x, int max_lag, float interval) {
    Spectrum out;
    const int n = static_cast<int>(x.size());
    const int m = max_lag;
    if (n < 4 || m < 3 || m >= n) {
        out.error = kSpectrumTooFewValues;
        return out;
    }
    if (!(interval > 0.0f)) {
        out.error = kSpectrumBadInterval;
        return out;
    }

    // Work on a copy with the mean removed.
    float mean = 0.0f, variance = 0.0f;
    ftauto_moments(x, mean, variance);
    std::vector<float> centred(x.begin(), x.end());
    for (float& v : centred) v -= mean;

    // Autocovariances about 0, then rescaled to divisor N − k; the variance (divisor N) is c(0).
    std::vector<float> c = ftauto_autocov(centred, m, 0.0f);
    for (int k = 1; k <= m; ++k) c[k - 1] = static_cast<float>(static_cast<double>(c[k - 1]) * n / (n - k));

    out.mean = mean;
    out.variance = variance;
    out.frequencies.resize(static_cast<std::size_t>(m) + 1);
    for (int k = 0; k <= m; ++k) out.frequencies[k] = static_cast<float>(k / (2.0 * m * interval));

    // Raw estimates: S(k) = (2Δ/π)[c(0)/2 + Σ_{j=1}^{M−1} c(j) cos(jωk) + c(M) cos(kπ)/2], ωk = πk/M.
    std::vector<double> raw(static_cast<std::size_t>(m) + 1);
    const double factor = 2.0 * interval / kPi;
    for (int k = 0; k <= m; ++k) {
        const double wk = kPi * k / m;
        double s = 0.5 * variance;
        for (int j = 1; j < m; ++j) s += static_cast<double>(c[j - 1]) * static_cast<float>(std::cos(j * wk));
        s += 0.5 * c[m - 1] * ((k % 2 == 0) ? 1.0 : -1.0);
        raw[k] = static_cast<float>(factor * s);
    }

    // Hamming smoothing across neighbouring frequencies (weights 0.23, 0.54, 0.23; one-sided at the ends).
    out.estimates.resize(static_cast<std::size_t>(m) + 1);
    out.estimates[0] = static_cast<float>(0.54 * raw[0] + 0.46 * raw[1]);
    for (int k = 1; k < m; ++k)
        out.estimates[k] = static_cast<float>(0.23 * (raw[k - 1] + raw[k + 1]) + 0.54 * raw[k]);
    out.estimates[m] = static_cast<float>(0.46 * raw[m - 1] + 0.54 * raw[m]);

    out.autocov = std::move(c);
    return out;
}

double chi_square_95(double nu) {
    constexpr double z95 = 1.6448536269514722;  // the standard normal's 95th percentile
    const double a = 2.0 / (9.0 * nu);
    const double t = 1.0 - a + z95 * std::sqrt(a);
    return nu * t * t * t;
}

RedNoise red_noise(const Spectrum& s, int n) {
    RedNoise out;
    const int m = static_cast<int>(s.estimates.size()) - 1;
    if (s.error != 0 || m < 1 || s.autocov.empty() || n <= 1) return out;
    // The lag-1 autocorrelation with the variance's divisor N (the autocovariance is held with
    // divisor N − 1); kept inside (−1, 1) so that the background stays finite.
    double r = s.variance > 0.0f ? static_cast<double>(s.autocov[0]) * (n - 1) / n / s.variance : 0.0;
    r = std::clamp(r, -0.99, 0.99);
    double mean = 0.0;
    for (float v : s.estimates) mean += v;
    mean /= static_cast<double>(s.estimates.size());
    out.r1 = static_cast<float>(r);
    const double nu = 2.516 * n / m;
    out.dof = static_cast<float>(nu);
    const double level = chi_square_95(nu) / nu;
    for (int k = 0; k <= m; ++k) {
        const double b = mean * (1.0 - r * r) / (1.0 + r * r - 2.0 * r * std::cos(kPi * k / m));
        out.background.push_back(static_cast<float>(b));
        out.level95.push_back(static_cast<float>(b * level));
    }
    return out;
}

}  // namespace kestrovan
