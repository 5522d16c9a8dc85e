#include "diag/stabilize.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "curves/smoothers.hpp"
#include "curves/spline.hpp"
#include "diag/chronology_stats.hpp"
#include "model/format.hpp"
#include "stats/chronology_level.hpp"

namespace kestrovan {

namespace {

struct LevelSpread {
    double mean = 0.0;
    double sd = 0.0;
};

// Mean and standard deviation (divisor count − 1) of the values for which keep(t) is true.
template <typename Keep>
LevelSpread mean_sd(std::span<const float> v, Keep keep) {
    double s = 0.0;
    int n = 0;
    for (std::size_t t = 0; t < v.size(); ++t)
        if (keep(t)) {
            s += v[t];
            ++n;
        }
    LevelSpread out;
    if (n == 0) return out;
    out.mean = s / n;
    double ss = 0.0;
    for (std::size_t t = 0; t < v.size(); ++t)
        if (keep(t)) ss += (v[t] - out.mean) * (v[t] - out.mean);
    out.sd = n > 1 ? std::sqrt(ss / (n - 1)) : 0.0;
    return out;
}

// Rescales v (where keep(t)) from mean/sd `from` to mean/sd `to`; negatives become 0. Without
// spread in `from` the values are only shifted to the new mean.
template <typename Keep>
void rescale(std::span<float> v, LevelSpread from, LevelSpread to, Keep keep) {
    for (std::size_t t = 0; t < v.size(); ++t) {
        if (!keep(t)) continue;
        double x = v[t] - from.mean;
        if (from.sd > 0.0) x = x / from.sd * to.sd;
        x += to.mean;
        v[t] = static_cast<float>(x < 0.0 ? 0.0 : x);
    }
}

// Ratio of an absolute deviation to the fitted spread, with the deviation's sign; where the fit
// is 0 or below (or the spline failed) the deviation is kept unscaled.
float signed_ratio(float absdev, float fit, bool negative, bool fit_usable) {
    const float r = (fit_usable && fit > 0.0f) ? absdev / fit : absdev;
    return negative ? -r : r;
}

bool spline_failed(std::span<const float> fit) { return fit.empty() || curve_failed(fit); }

}  // namespace

double centre_on_one(std::span<float> c, std::span<const int> n, int nss1) {
    const ChronologyLevel level = chronology_level(c, n, nss1);
    if (level.years == 0 || !(level.mean > 0.0)) return level.mean;
    for (std::size_t t = 0; t < c.size(); ++t) {
        if (n[t] <= 0) continue;
        c[t] = static_cast<float>(c[t] / level.mean);
    }
    return level.mean;
}

std::vector<float> inside_valid_windows(std::span<const float> values, const RbarTables& tables,
                                        int first_year) {
    std::vector<float> out(values.size(), kMissing);
    const long long last = static_cast<long long>(values.size()) - 1;
    for (const RbarWindowRow& w : tables.windows) {
        const long long start = static_cast<long long>(w.middle_year) - tables.window / 2 - first_year;
        for (long long t = std::max(start, 0LL); t <= std::min(start + tables.window - 1, last); ++t)
            out[static_cast<std::size_t>(t)] = values[static_cast<std::size_t>(t)];
    }
    return out;
}

RbarSummary summarize_rbar(const RbarTables& tables, int first_year, std::span<const int> sample_size) {
    RbarSummary out;
    if (!tables.defined || tables.windows.empty()) return out;
    out.defined = true;
    double sum = 0.0;
    for (const RbarWindowRow& w : tables.windows) sum += w.mean_r;
    out.mean_rbar = sum / static_cast<double>(tables.windows.size());
    const std::vector<float> inside = inside_valid_windows(tables.running_rbar, tables, first_year);
    for (std::size_t t = 0; t < inside.size() && t < sample_size.size(); ++t) {
        if (inside[t] == kMissing) continue;
        if (eps_value(inside[t], static_cast<float>(sample_size[t])) >= 0.85f) {
            out.first_eps_year = first_year + static_cast<int>(t);
            break;
        }
    }
    out.eps_085_from = eps_085_from(inside, sample_size, first_year);
    return out;
}

Moments moment1(std::span<const float> values, std::span<const int> sample_size) {
    std::vector<float> kept;
    kept.reserve(values.size());
    const std::size_t n = std::min(values.size(), sample_size.size());
    for (std::size_t t = 0; t < n; ++t)
        if (sample_size[t] > 0) kept.push_back(values[t]);
    return moment(kept, static_cast<int>(kept.size()));
}

void stabit(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
            std::span<const int> sample_size, Notices& notices) {
    const int ny = static_cast<int>(chronology.size());
    if (ny == 0) return;
    const std::span<const float> c(chronology.data(), chronology.size());
    const std::vector<float> original(c.begin(), c.end());
    if (ny < 4) {  // too short to smooth: nothing to stabilize
        std::copy(original.begin(), original.end(), stabilized.begin());
        std::fill(fitted.begin(), fitted.begin() + ny, 0.0f);
        return;
    }

    // Centre and spread: over the years with more than 4 series when there are more than a third
    // of the years of them, else over all years.
    int many = 0;
    for (int t = 0; t < ny; ++t)
        if (sample_size[t] > 4) ++many;
    const bool use_many = many > ny / 3;
    auto keep = [&](std::size_t t) { return !use_many || sample_size[t] > 4; };
    const LevelSpread centre = mean_sd(c, keep);

    // Absolute deviations with their signs.
    std::vector<char> negative(static_cast<std::size_t>(ny));
    for (int t = 0; t < ny; ++t) {
        const double d = chronology[t] - centre.mean;
        negative[t] = d < 0.0;
        chronology[t] = static_cast<float>(std::fabs(d));
    }

    // Super smoother of the absolute deviations, then the age-dependent spline from 50 years.
    std::vector<float> x(static_cast<std::size_t>(ny)), w(static_cast<std::size_t>(ny), 1.0f),
        smoothed(static_cast<std::size_t>(ny));
    for (int t = 0; t < ny; ++t) x[t] = static_cast<float>(t + 1);
    const float span = many < 40 ? 0.3f : 0.0f;
    supsmu({x, std::span<const float>(chronology.data(), chronology.size()), w}, {kNotPeriodic, span, 3.0f},
           smoothed);
    age_dependent_spline(ny, smoothed, fitted, 50, notices);
    const bool usable = !spline_failed(fitted);

    std::vector<float> ratio(static_cast<std::size_t>(ny));
    for (int t = 0; t < ny; ++t) ratio[t] = signed_ratio(chronology[t], fitted[t], negative[t], usable);
    const LevelSpread ratio_stats = mean_sd(std::span<const float>(ratio), keep);
    rescale(std::span<float>(ratio), ratio_stats, centre, [](std::size_t) { return true; });
    for (int t = 0; t < ny; ++t) stabilized[t] = sample_size[t] > 0 ? ratio[t] : original[t];
}

void stabit1(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
             std::span<const int> sample_size, int& option, Notices& notices) {
    const int ny = static_cast<int>(chronology.size());
    if (ny == 0) return;
    const std::vector<float> original(chronology.begin(), chronology.end());
    const Moments m = moment1(original, sample_size);
    auto has_series = [&](std::size_t t) { return sample_size[t] > 0; };
    if (m.mean == kMomentUndefined) {  // no year with series: nothing to stabilize
        std::copy(original.begin(), original.end(), stabilized.begin());
        std::fill(fitted.begin(), fitted.begin() + ny, 0.0f);
        return;
    }

    // Absolute deviations from the mean; years without series get the mean absolute deviation
    // so that they neither pull the spline up nor down.
    std::vector<char> negative(static_cast<std::size_t>(ny), 0);
    double sum_abs = 0.0;
    int k = 0;
    for (int t = 0; t < ny; ++t) {
        if (!has_series(t)) continue;
        const double d = original[t] - m.mean;
        negative[t] = d < 0.0;
        chronology[t] = static_cast<float>(std::fabs(d));
        sum_abs += chronology[t];
        ++k;
    }
    for (int t = 0; t < ny; ++t)
        if (!has_series(t)) chronology[t] = static_cast<float>(sum_abs / k);

    if (option <= -10) option = static_cast<int>(std::fabs(option / 100.0f * static_cast<float>(ny)));
    spline(ny, std::span<const float>(chronology.data(), chronology.size()), fitted, option, notices);
    const bool usable = !spline_failed(fitted);

    std::vector<float> ratio(original);
    for (int t = 0; t < ny; ++t)
        if (has_series(t)) ratio[t] = signed_ratio(chronology[t], fitted[t], negative[t], usable);
    const Moments rm = moment1(ratio, sample_size);
    LevelSpread from{rm.mean, rm.standard_deviation > 0.0f ? rm.standard_deviation : 0.0};
    LevelSpread to{m.mean, m.standard_deviation > 0.0f ? m.standard_deviation : 0.0};
    if (from.sd == 0.0 || to.sd == 0.0) {
        // No spread on one side: keep the ratios' shape, shift them to the chronology's mean.
        from.sd = 0.0;
    }
    rescale(std::span<float>(ratio), from, to, has_series);
    for (int t = 0; t < ny; ++t) stabilized[t] = has_series(t) ? ratio[t] : original[t];
}

}  // namespace kestrovan
