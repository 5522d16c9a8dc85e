#include "diag/residual_chronology.hpp"

#include <algorithm>
#include <cmath>

#include "stats/robust.hpp"

namespace kestrovan {

ArModel fit_ar(std::span<const float> x, int max_order) {
    ArModel best;
    const int n = static_cast<int>(x.size());
    if (n == 0) return best;
    double m = 0;
    for (float v : x) m += v;
    m /= n;
    best.mean = m;
    const int top = std::max(0, std::min(max_order, n / 3));
    std::vector<double> c(static_cast<std::size_t>(top) + 1, 0.0);
    for (int k = 0; k <= top; ++k) {
        double s = 0;
        for (int t = k; t < n; ++t) s += (x[static_cast<std::size_t>(t)] - m) * (x[static_cast<std::size_t>(t - k)] - m);
        c[static_cast<std::size_t>(k)] = s / n;
    }
    best.variance = c[0];
    if (!(c[0] > 0)) return best;
    double best_aic = n * std::log(c[0]);
    std::vector<double> phi, prev;
    double v = c[0];
    for (int p = 1; p <= top; ++p) {
        // Levinson–Durbin: the reflection coefficient, then the new coefficients.
        double acc = c[static_cast<std::size_t>(p)];
        for (int j = 1; j < p; ++j) acc -= prev[static_cast<std::size_t>(j - 1)] * c[static_cast<std::size_t>(p - j)];
        const double k = acc / v;
        phi.assign(static_cast<std::size_t>(p), 0.0);
        for (int j = 1; j < p; ++j)
            phi[static_cast<std::size_t>(j - 1)] =
                prev[static_cast<std::size_t>(j - 1)] - k * prev[static_cast<std::size_t>(p - j - 1)];
        phi[static_cast<std::size_t>(p - 1)] = k;
        v *= (1.0 - k * k);
        if (!(v > 0)) break;
        const double aic = n * std::log(v) + 2.0 * p;
        if (aic < best_aic) {
            best_aic = aic;
            best.order = p;
            best.phi = phi;
            best.variance = v;
        }
        prev = phi;
    }
    return best;
}

std::vector<float> ar_residuals(std::span<const float> x, const ArModel& model) {
    const int n = static_cast<int>(x.size());
    std::vector<float> r(static_cast<std::size_t>(n), kMissing);
    for (int t = model.order; t < n; ++t) {
        double e = x[static_cast<std::size_t>(t)] - model.mean;
        for (int j = 1; j <= model.order; ++j)
            e -= model.phi[static_cast<std::size_t>(j - 1)] * (x[static_cast<std::size_t>(t - j)] - model.mean);
        r[static_cast<std::size_t>(t)] = static_cast<float>(e + model.mean);
    }
    return r;
}

std::vector<float> reintroduce_ar(std::span<const float> residual, const ArModel& model) {
    const int n = static_cast<int>(residual.size());
    std::vector<float> a(residual.begin(), residual.end());
    double m = 0;
    int k = 0;
    for (float v : residual)
        if (v != kMissing) {
            m += v;
            ++k;
        }
    if (k == 0) return a;
    m /= k;
    for (int t = 0; t < n; ++t) {
        if (residual[static_cast<std::size_t>(t)] == kMissing) continue;
        double v = residual[static_cast<std::size_t>(t)];
        for (int j = 1; j <= model.order && t - j >= 0; ++j) {
            const float before = a[static_cast<std::size_t>(t - j)];
            if (before == kMissing) break;
            v += model.phi[static_cast<std::size_t>(j - 1)] * (before - m);
        }
        a[static_cast<std::size_t>(t)] = static_cast<float>(v);
    }
    return a;
}

ResidualChronology residual_chronology(const YearMatrix& indices, std::span<const float> chronology,
                                       std::span<const int> sample_size, int mean_method) {
    ResidualChronology out;
    const int rows = indices.rows(), cols = indices.cols();
    out.residuals.resize(rows, cols);
    out.orders.assign(static_cast<std::size_t>(cols), 0);
    std::vector<float> x;
    for (int i = 0; i < cols; ++i) {
        const auto c = indices.column(i);
        int a = 0;
        while (a < rows && c[static_cast<std::size_t>(a)] == kMissing) ++a;
        int b = a;
        while (b < rows && c[static_cast<std::size_t>(b)] != kMissing) ++b;
        x.assign(c.begin() + a, c.begin() + b);
        const ArModel model = fit_ar(x);
        out.orders[static_cast<std::size_t>(i)] = model.order;
        const std::vector<float> r = ar_residuals(x, model);
        std::copy(r.begin(), r.end(), out.residuals.column(i).begin() + a);
    }
    const ChronologySummary s = robsum(out.residuals, mean_method);
    out.residual = s.location;
    out.sample_size = s.count;
    // Scaled to mean 1 over its covered years, by division as every chronology is: the indices'
    // own means (signal-free indices need not average 1) do not shift it.
    double sum = 0.0;
    int covered_years = 0;
    for (std::size_t t = 0; t < out.residual.size(); ++t) {
        if (out.sample_size[t] <= 0) {
            out.residual[t] = kMissing;
            continue;
        }
        sum += out.residual[t];
        ++covered_years;
    }
    if (covered_years > 0 && sum > 0.0) {
        const double mean = sum / covered_years;
        for (std::size_t t = 0; t < out.residual.size(); ++t)
            if (out.sample_size[t] > 0) out.residual[t] = static_cast<float>(out.residual[t] / mean);
    }

    // The pooled model: that of the chronology over its covered years.
    std::vector<float> covered;
    for (std::size_t t = 0; t < chronology.size() && t < sample_size.size(); ++t)
        if (sample_size[t] > 0) covered.push_back(chronology[t]);
    out.pooled = fit_ar(covered);
    out.with_model = reintroduce_ar(out.residual, out.pooled);
    return out;
}

}  // namespace kestrovan
