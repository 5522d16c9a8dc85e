#include "engine/rcurve.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "curves/dispatch.hpp"
#include "curves/spline.hpp"

namespace kestrovan {

namespace {

int offset_of(std::span<const int> offsets, std::size_t i) { return i < offsets.size() ? offsets[i] : 0; }

// Fills the gaps (cells equal to fill) of y by linear interpolation between the neighbouring
// values; a leading or trailing gap takes the nearest value. All-fill input is left unchanged.
void interpolate_gaps(std::vector<float>& y, float fill) {
    const int n = static_cast<int>(y.size());
    int prev = -1;
    for (int i = 0; i < n; ++i) {
        if (y[static_cast<std::size_t>(i)] == fill) continue;
        if (prev < 0) {
            for (int j = 0; j < i; ++j) y[static_cast<std::size_t>(j)] = y[static_cast<std::size_t>(i)];
        } else if (i - prev > 1) {
            const float a = y[static_cast<std::size_t>(prev)], b = y[static_cast<std::size_t>(i)];
            for (int j = prev + 1; j < i; ++j)
                y[static_cast<std::size_t>(j)] =
                    a + (b - a) * static_cast<float>(j - prev) / static_cast<float>(i - prev);
        }
        prev = i;
    }
    if (prev >= 0)
        for (int j = prev + 1; j < n; ++j) y[static_cast<std::size_t>(j)] = y[static_cast<std::size_t>(prev)];
}

// Lowest value of the smoothed curve over the ages it serves (the fill skipped).
float lowest_fitted(const RegionalCurve& rc, float fill) {
    float lowest = std::numeric_limits<float>::infinity();
    for (int a = rc.min_offset; a < rc.ages; ++a) {
        const float v = rc.smoothed[static_cast<std::size_t>(a)];
        if (v != fill) lowest = std::min(lowest, v);
    }
    return lowest;
}

// Raises the smoothed values below the floor to it; returns how many were raised.
int raise_to_floor(RegionalCurve& rc, float floor, float fill) {
    int raised = 0;
    for (int a = rc.min_offset; a < rc.ages; ++a) {
        float& v = rc.smoothed[static_cast<std::size_t>(a)];
        if (v != fill && v < floor) {
            v = floor;
            ++raised;
        }
    }
    return raised;
}

// The raw curve: the mean of the values by age (from the smallest pith offset when offsets are
// present), the series at each age, and the smoothed curve's place; false when no age has a value.
bool mean_by_age(const RegionalInput& in, const RegionalFit& fit, float fill, RegionalCurve& rc) {
    const YearMatrix& values = in.values;
    const std::span<const int> lengths = in.lengths, pith_offsets = in.pith_offsets;
    const std::size_t series = std::min(lengths.size(), static_cast<std::size_t>(values.cols()));

    // Smallest offset (only when offsets are present) and the highest age reached.
    int min_offset = 0;
    if (in.pith_present && series > 0) {
        min_offset = offset_of(pith_offsets, 0);
        for (std::size_t i = 1; i < series; ++i)
            min_offset = std::min(min_offset, offset_of(pith_offsets, i));
        min_offset = std::max(min_offset, 0);
    }
    int ages = 0;
    for (std::size_t i = 0; i < series; ++i) {
        const int len = std::min(lengths[i], values.rows());
        if (len > 0) ages = std::max(ages, std::max(offset_of(pith_offsets, i), 0) + len);
    }
    rc.min_offset = min_offset;
    rc.code = fit.code;
    if (ages <= 0) return false;

    // Sums and counts by age (double sums keep the mean exact for long, deep samples).
    std::vector<double> sum(static_cast<std::size_t>(ages), 0.0);
    std::vector<int> count(static_cast<std::size_t>(ages), 0);
    for (std::size_t i = 0; i < series; ++i) {
        const int len = std::min(lengths[i], values.rows());
        const int off = std::max(offset_of(pith_offsets, i), 0);
        const auto col = values.column(static_cast<int>(i));
        for (int j = 0; j < len; ++j) {
            const float v = col[static_cast<std::size_t>(j)];
            if (v == fill) continue;
            sum[static_cast<std::size_t>(off + j)] += v;
            ++count[static_cast<std::size_t>(off + j)];
        }
    }
    rc.ages = ages;
    rc.series = count;
    rc.raw.assign(static_cast<std::size_t>(ages), fill);
    rc.smoothed.assign(static_cast<std::size_t>(ages), fill);
    for (int a = 0; a < ages; ++a)
        if (count[static_cast<std::size_t>(a)] > 0)
            rc.raw[static_cast<std::size_t>(a)] =
                static_cast<float>(sum[static_cast<std::size_t>(a)] / count[static_cast<std::size_t>(a)]);
    return true;
}

}  // namespace

RegionalCurve rcurve(const RegionalInput& in, const RegionalFit& fit, Notices& notices, float fill) {
    RegionalCurve rc;
    if (!mean_by_age(in, fit, fill, rc)) return rc;
    const int ages = rc.ages, min_offset = rc.min_offset;

    // The mean curve from age min_offset + 1 on; n positions.
    const int n = ages - min_offset;
    std::vector<float> shifted(rc.raw.begin() + min_offset, rc.raw.end());
    interpolate_gaps(shifted, fill);
    int fit_length = n;
    if (fit.truncation_age > 0 && fit.truncation_age < n) fit_length = fit.truncation_age;

    // One fit with `code` into the smoothed curve: the fitted ages, held flat beyond the
    // truncation age; ages without a measurement are reported as empty.
    std::vector<float> curve(static_cast<std::size_t>(n), fill);
    const FitSettings settings{.stiffness = fit.stiffness};
    auto fit_curve = [&](int code) {
        RegionalFitState state{.n = fit_length, .code = code, .window = fit.window, .smoothing = fit.alpha};
        std::vector<float> y = shifted;
        std::fill(curve.begin(), curve.end(), fill);
        detrend2(y, curve, n, state, settings, notices);
        if (curve_failed(curve)) {
            // Too few ages for a spline (or no usable system): take the mean of the fitted ages.
            y = shifted;
            state.code = kCurveMean;
            state.n = fit_length;
            detrend2(y, curve, n, state, settings, notices);
        }
        rc.code = state.code;
        rc.record = state.record;
        const int last_fitted = std::max(1, std::min(state.n, n));
        for (int a = 0; a < n; ++a) {
            const float v = a < last_fitted ? curve[static_cast<std::size_t>(a)]
                                            : curve[static_cast<std::size_t>(last_fitted - 1)];
            rc.smoothed[static_cast<std::size_t>(a + min_offset)] = std::isfinite(v) ? v : fill;
        }
        // The fit saw the gaps filled in; the curves report ages without a measurement as empty.
        for (int a = 0; a < ages; ++a)
            if (rc.raw[static_cast<std::size_t>(a)] == fill) rc.smoothed[static_cast<std::size_t>(a)] = fill;
    };
    fit_curve(fit.code);
    rc.fit_not_positive = regional_curve_goes_negative(rc, fill);

    // The floors over every age the curve serves.
    if (is_line_or_exponential(CurveList::Regional, rc.code) && lowest_fitted(rc, fill) <= fit.line_floor) {
        fit_curve(kCurveMean);
        rc.replaced_by_mean = true;
    }
    rc.raised = raise_to_floor(rc, fit.floor, fill);
    return rc;
}

bool regional_curve_goes_negative(const RegionalCurve& curve, float fill) {
    if (curve.fit_not_positive) return true;
    for (int a = curve.min_offset; a < curve.ages; ++a) {
        const float v = curve.smoothed[static_cast<std::size_t>(a)];
        if (v != fill && v <= 0.0f) return true;
    }
    return false;
}

void RegionalCurveHistory::set_initial(const RegionalCurve& curve) {
    if (curves_.empty()) {
        curves_.push_back(curve);
        numbers_.push_back(added_++);
    } else {
        curves_.front() = curve;
    }
}

void RegionalCurveHistory::add(const RegionalCurve& curve, int protect) {
    if (static_cast<int>(curves_.size()) >= kMaxRegionalCurvesKept && curves_.size() > 1) {
        std::size_t drop = 1;
        if (numbers_[drop] == protect && drop + 1 < curves_.size()) ++drop;
        curves_.erase(curves_.begin() + static_cast<std::ptrdiff_t>(drop));
        numbers_.erase(numbers_.begin() + static_cast<std::ptrdiff_t>(drop));
        ++dropped_;
    }
    curves_.push_back(curve);
    numbers_.push_back(added_++);
}

int RegionalCurveHistory::ages() const {
    int a = 0;
    for (const auto& c : curves_) a = std::max(a, c.ages);
    return a;
}

YearMatrix RegionalCurveHistory::as_matrix(float fill) const {
    YearMatrix m(std::max(ages(), 1), 2 * size());
    m.fill(fill);
    for (int j = 0; j < size(); ++j) {
        const RegionalCurve& c = curves_[static_cast<std::size_t>(j)];
        for (int a = 0; a < c.ages; ++a) {
            m(a, 2 * j) = c.raw[static_cast<std::size_t>(a)];
            m(a, 2 * j + 1) = c.smoothed[static_cast<std::size_t>(a)];
        }
    }
    return m;
}

}  // namespace kestrovan
