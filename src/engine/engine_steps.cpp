#include "engine/engine_steps.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "curves/dispatch.hpp"

namespace kestrovan {

namespace {

// True when a curve value reaches the floor (at or below it).
bool reaches_floor(std::span<const float> c, float floor) {
    return std::any_of(c.begin(), c.end(), [floor](float v) { return v <= floor; });
}

}  // namespace

EngineSetup make_setup(const SeriesTable& table, const RunOptions& params) {
    EngineSetup s;
    s.series = table.count();
    s.index_mode = params.index_method == IndexMethod::Ratios ? kRatioIndices : kResidualIndices;
    s.raw = params.curve_option == 0;
    s.requested_code = s.raw ? kCurveMean : params.fitted_code();
    s.rcs = params.rcs();
    if (s.series == 0) return s;
    int first = table.years[0].first, last = table.years[0].last;
    for (int i = 0; i < s.series; ++i) {
        const YearSpan& y = table.years[static_cast<std::size_t>(i)];
        const int len = std::max(0, std::min(y.length, table.data.rows()));
        first = std::min(first, y.first);
        last = std::max(last, y.first + len - 1);
        s.length.push_back(len);
        s.fit_length.push_back(std::clamp(y.last - y.first + 1, std::min(1, len), len));
        s.offset.push_back(static_cast<std::size_t>(i) < params.pith_offsets.size()
                               ? std::max(0, params.pith_offsets[static_cast<std::size_t>(i)])
                               : 0);
        s.spans.push_back({y.first, y.first + len - 1, len});
    }
    s.first_year = first;
    s.years = last - first + 1;
    for (int i = 0; i < s.series; ++i)
        s.row0.push_back(table.years[static_cast<std::size_t>(i)].first - first);
    return s;
}

SeriesFit fit_series(std::span<const float> y, std::span<float> c, const SeriesFitRequest& request,
                     const RunOptions& params, Notices& notices, SplineWorkspace& ws) {
    const int n_fit = request.n_fit;
    int code = request.code;
    const int N = static_cast<int>(y.size());
    const auto curve = c.first(static_cast<std::size_t>(N));
    const FitSettings settings{
        .alpha = params.alpha_real(), .stiffness = params.spline_stiffness, .workspace = &ws};
    curvefits(y, curve, {N, n_fit}, code, settings, notices);
    bool usable = !curve_failed(c.first(static_cast<std::size_t>(N)));
    for (int j = 0; usable && j < N; ++j) usable = std::isfinite(c[static_cast<std::size_t>(j)]);
    SeriesFit fit;
    if (usable && is_line_or_exponential(CurveList::PerSeries, code) &&
        reaches_floor(curve, request.line_floor)) {
        usable = false;
        fit.floored_line = true;
    }
    if (!usable) {
        code = kCurveMean;
        curvefits(y, curve, {N, n_fit}, code, settings, notices);
    }
    fit.code = code;
    return fit;
}

void apply_floor(std::span<float> c, float floor) {
    for (float& v : c) v = std::max(v, floor);
}

void apply_relative_floor(std::span<const float> y, std::span<float> c) {
    const std::size_t n = std::min(y.size(), c.size());
    const std::size_t w = std::min<std::size_t>(kLevelWindow, n);
    if (w == 0) return;
    double sum = 0.0;
    std::size_t lo = 0, hi = 0;  // the window [lo, hi) of the running sum
    for (std::size_t j = 0; j < n; ++j) {
        // A window of w rings centred on j, moved inside the series at its ends.
        const std::size_t want_lo = std::min(j >= w / 2 ? j - w / 2 : 0, n - w), want_hi = want_lo + w;
        while (hi < want_hi) sum += y[hi++];
        while (lo < want_lo) sum -= y[lo++];
        const float floor = static_cast<float>(kRelativeCurveFloor * sum / static_cast<double>(w));
        if (c[j] < floor) c[j] = floor;
    }
}

void regional_slice(const RegionalCurve& rc, int offset, std::span<float> c) {
    float last_good = 1.0f;
    for (std::size_t j = 0; j < c.size(); ++j) {
        const std::size_t a = static_cast<std::size_t>(offset) + j;
        float v = a < rc.smoothed.size() ? rc.smoothed[a] : kMissing;
        if (v == kMissing || !std::isfinite(v)) v = last_good;
        c[j] = v;
        last_good = v;
    }
}

float span_mean(std::span<const float> v) {
    if (v.empty()) return 0.0f;
    return mnsd(v).mean;
}

YearMatrix weight_lines(const ChronologySummary& s) {
    const int n = s.years();
    YearMatrix m(n, 4);
    for (int t = 0; t < n; ++t) {
        m(t, 0) = s.weight_upper_quartile[static_cast<std::size_t>(t)];
        m(t, 1) = s.weight_median[static_cast<std::size_t>(t)];
        m(t, 2) = s.weight_lower_quartile[static_cast<std::size_t>(t)];
        m(t, 3) = s.weight_min[static_cast<std::size_t>(t)];
    }
    return m;
}

SpaghettiPlot biweight_plot(const YearMatrix& lines, int ny, int first_year, std::string_view title,
                            std::string_view iteration) {
    static const std::string legends[] = {"Upper hinge", "Median", "Lower hinge", "Minimum"};
    return SpaghettiPlot{&lines, ny, 4, {}, first_year, "Year", "Biweight", title, iteration, {}, legends};
}

void signal_free_step(const SignalFreeSeries& series, const SignalFreeStep& step, std::span<float> out) {
    const auto meas = series.measurements;
    for (std::size_t j = 0; j < meas.size(); ++j) {
        const std::size_t t = static_cast<std::size_t>(series.row0) + j;
        float v = meas[j];
        if (step.counts[t] >= 2) {
            const float c = step.chronology[t];
            if (!step.ratios) {
                v = meas[j] - (c - 1.0f) * series.residual_scale;
            } else if (c >= kNearZeroChronology) {
                v = std::min(meas[j] / c, step.largest);
            } else {
                // w × min(m / c, largest), written so that c = 0 divides by nothing.
                assert(j < series.curve.size());
                const float w = std::max(c, 0.0f) / kNearZeroChronology;
                v = std::min(meas[j] / kNearZeroChronology, w * step.largest) + (1.0f - w) * series.curve[j];
            }
        }
        out[j] = v;
    }
    std::span<float> part = out;
    if (series.skip > 0 && static_cast<int>(out.size()) > series.skip)
        part = out.subspan(static_cast<std::size_t>(series.skip));
    const float own = span_mean(part);
    if (step.ratios) {
        if (own != 0.0f) {
            const float factor = series.mean / own;
            for (float& v : part) v *= factor;
        }
    } else {
        for (float& v : part) v = std::max(0.0f, v - own + series.mean);
    }
}

float net_change(std::span<const float> before, std::span<const float> after, std::span<const int> counts) {
    double sum = 0.0;
    int years = 0;
    for (std::size_t t = 0; t < before.size() && t < after.size() && t < counts.size(); ++t)
        if (counts[t] >= 5) {
            sum += std::fabs(before[t] - after[t]);
            ++years;
        }
    return years > 0 ? static_cast<float>(sum / years) : 0.0f;
}

int near_zero_years(std::span<const float> chronology, std::span<const int> counts) {
    int n = 0;
    for (std::size_t t = 0; t < chronology.size() && t < counts.size(); ++t)
        n += counts[t] >= 2 && chronology[t] < kNearZeroChronology;
    return n;
}

}  // namespace kestrovan
