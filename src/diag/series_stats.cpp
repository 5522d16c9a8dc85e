#include "diag/series_stats.hpp"

#include <algorithm>
#include <cmath>

namespace kestrovan {

SeriesStatistics series_statistics(std::span<const float> widths) {
    SeriesStatistics s;
    const std::size_t n = widths.size();
    s.length = static_cast<int>(n);
    if (n == 0) return s;
    double sum = 0;
    for (float v : widths) {
        sum += v;
        s.zero_rings += v == 0.0f;
    }
    s.mean = sum / static_cast<double>(n);
    std::vector<float> sorted(widths.begin(), widths.end());
    std::sort(sorted.begin(), sorted.end());
    s.median = n % 2 ? sorted[n / 2] : 0.5 * (static_cast<double>(sorted[n / 2 - 1]) + sorted[n / 2]);
    double m2 = 0, m3 = 0;
    for (float v : widths) {
        const double d = v - s.mean;
        m2 += d * d;
        m3 += d * d * d;
    }
    if (n > 1) s.sd = std::sqrt(m2 / static_cast<double>(n - 1));
    if (m2 > 0) {
        s.skewness = (m3 / static_cast<double>(n)) / std::pow(m2 / static_cast<double>(n), 1.5);
        double lag = 0;
        for (std::size_t t = 0; t + 1 < n; ++t) lag += (widths[t] - s.mean) * (widths[t + 1] - s.mean);
        s.ar1 = lag / m2;
    }
    double sens = 0;
    int pairs = 0;
    for (std::size_t t = 0; t + 1 < n; ++t) {
        const double a = widths[t], b = widths[t + 1];
        if (a + b > 0) {
            sens += std::fabs(2.0 * (b - a) / (b + a));
            ++pairs;
        }
    }
    if (pairs > 0) s.mean_sensitivity = sens / pairs;
    return s;
}

std::vector<std::optional<double>> leave_one_out_correlations(const YearMatrix& indices) {
    const int rows = indices.rows(), cols = indices.cols();
    std::vector<double> total(static_cast<std::size_t>(rows), 0.0);
    std::vector<int> count(static_cast<std::size_t>(rows), 0);
    for (int i = 0; i < cols; ++i) {
        const auto c = indices.column(i);
        for (int t = 0; t < rows; ++t)
            if (c[static_cast<std::size_t>(t)] != kMissing) {
                total[static_cast<std::size_t>(t)] += c[static_cast<std::size_t>(t)];
                ++count[static_cast<std::size_t>(t)];
            }
    }
    std::vector<std::optional<double>> out(static_cast<std::size_t>(cols));
    for (int i = 0; i < cols; ++i) {
        const auto c = indices.column(i);
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        int n = 0;
        for (int t = 0; t < rows; ++t) {
            const auto k = static_cast<std::size_t>(t);
            if (c[k] == kMissing || count[k] < 2) continue;
            const double x = c[k], y = (total[k] - x) / (count[k] - 1);
            sx += x;
            sy += y;
            sxx += x * x;
            syy += y * y;
            sxy += x * y;
            ++n;
        }
        if (n < 3) continue;
        const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
        if (vx > 0 && vy > 0) out[static_cast<std::size_t>(i)] = (sxy - sx * sy / n) / std::sqrt(vx * vy);
    }
    return out;
}

}  // namespace kestrovan
