#include "select/power_transform.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "diag/pearsn.hpp"
#include "plot/plotter.hpp"

namespace kestrovan {

namespace {

constexpr float kLogMinimum = 0.05f;  // a non-positive value becomes ln of this under the log, or of
                                      // the series' smallest positive value when that is smaller
constexpr float kPowerFloor = 0.01f;  // smallest value raised to a power

// Spread versus level of one series: ln v(j+1) against ln |v(j+1) − v(j)|, pairs with both above 0.
void spread_versus_level(std::span<const float> v, std::vector<float>& level, std::vector<float>& spread) {
    level.clear();
    spread.clear();
    for (std::size_t j = 0; j + 1 < v.size(); ++j) {
        const float lv = v[j + 1];
        const float sp = std::fabs(v[j + 1] - v[j]);
        if (lv > 0.0f && sp > 0.0f) {
            level.push_back(std::log(lv));
            spread.push_back(std::log(sp));
        }
    }
}

// Transforms one series with power p (the log when p is 0) and takes it back onto its own range,
// the two ends set exactly. Under the log a zero (or negative) ring takes the series' lowest
// transformed value, so the transform keeps the order of the rings. False, with the series
// unchanged, when every transformed value is the same.
bool transform_series(std::span<float> v, float p) {
    const auto [lo_it, hi_it] = std::minmax_element(v.begin(), v.end());
    const float lo0 = *lo_it, hi0 = *hi_it;
    const double r0 = static_cast<double>(hi0) - lo0;
    float lowest_positive = kLogMinimum;
    for (float x : v)
        if (x > 0.0f) lowest_positive = std::min(lowest_positive, x);
    const float log_of_nothing = std::log(lowest_positive);
    std::vector<float> t(v.begin(), v.end());
    for (float& x : t) {
        if (p <= 0.0f)
            x = x <= 0.0f ? log_of_nothing : std::log(x);
        else
            x = std::pow(std::max(x, kPowerFloor), p);
    }
    const auto [lo1_it, hi1_it] = std::minmax_element(t.begin(), t.end());
    const float lo1 = *lo1_it, hi1 = *hi1_it;
    const double r1 = static_cast<double>(hi1) - lo1;
    if (!(r1 > 0.0)) return false;
    for (std::size_t j = 0; j < v.size(); ++j) {
        if (t[j] == lo1)
            v[j] = lo0;
        else if (t[j] == hi1)
            v[j] = hi0;
        else
            v[j] = static_cast<float>((t[j] - lo1) * r0 / r1 + lo0);
    }
    return true;
}

// The points and fitted lines of every series, and all points pooled, for the scatter plot.
struct ScatterData {
    std::vector<std::vector<float>> level_of, spread_of;
    std::vector<float> slopes, intercepts, pooled_level, pooled_spread;
};

void draw_scatter(const ScatterData& d, Plotter& plotter) {
    const int ns = static_cast<int>(d.level_of.size());
    const PearsonFit pooled = pearsn(d.pooled_level, d.pooled_spread);
    std::size_t most = 1;
    for (const auto& l : d.level_of) most = std::max(most, l.size());
    YearMatrix xm(static_cast<int>(most), ns), ym(static_cast<int>(most), ns);
    std::vector<int> counts(static_cast<std::size_t>(ns));
    for (int i = 0; i < ns; ++i) {
        counts[i] = static_cast<int>(d.level_of[i].size());
        std::copy(d.level_of[i].begin(), d.level_of[i].end(), xm.column(i).begin());
        std::copy(d.spread_of[i].begin(), d.spread_of[i].end(), ym.column(i).begin());
    }
    plotter.scatplt(xm, ym, d.slopes, d.intercepts, counts, pooled.r, pooled.intercept, pooled.slope);
}

}  // namespace

float slpt1(YearMatrix& values, std::span<const YearSpan> years, int first_attempt_flag, Plotter& plotter,
            std::vector<float>* powers) {
    const int ns = std::min<int>(static_cast<int>(years.size()), values.cols());
    if (powers) powers->assign(static_cast<std::size_t>(ns), 1.0f);
    if (ns <= 0) return 0.0f;

    const bool plot = first_attempt_flag == 0 && plotter.enabled();
    ScatterData scatter;
    scatter.level_of.resize(static_cast<std::size_t>(ns));
    scatter.spread_of.resize(static_cast<std::size_t>(ns));
    scatter.slopes.assign(static_cast<std::size_t>(ns), 0.0f);
    scatter.intercepts.assign(static_cast<std::size_t>(ns), 0.0f);
    std::vector<float> level, spread;
    double power_sum = 0.0;

    for (int i = 0; i < ns; ++i) {
        const int n = std::min(values.rows(), years[i].last - years[i].first + 1);
        if (n <= 0) {
            power_sum += 1.0;
            continue;
        }
        std::span<float> v = values.column(i).first(static_cast<std::size_t>(n));
        spread_versus_level(v, level, spread);
        scatter.pooled_level.insert(scatter.pooled_level.end(), level.begin(), level.end());
        scatter.pooled_spread.insert(scatter.pooled_spread.end(), spread.begin(), spread.end());

        // The power from the slope of spread on level: 1 − slope, within 0 (below 0.05) .. 1.
        float p = 1.0f;
        if (level.size() >= 2) {
            // The least-squares line of spread on level.
            const PearsonFit fit = pearsn(level, spread);
            scatter.slopes[i] = fit.slope;
            scatter.intercepts[i] = fit.intercept;
            p = std::clamp(1.0f - fit.slope, 0.0f, 1.0f);
            if (p < 0.05f) p = 0.0f;
            if (!transform_series(v, p)) p = 1.0f;  // all transformed values equal: left as it was
        }
        if (plot) {
            scatter.level_of[i] = level;
            scatter.spread_of[i] = spread;
        }
        if (powers) (*powers)[i] = p;
        power_sum += p;
    }

    const float mean_power = static_cast<float>(power_sum / ns);
    if (plot) draw_scatter(scatter, plotter);
    return mean_power;
}

}  // namespace kestrovan
