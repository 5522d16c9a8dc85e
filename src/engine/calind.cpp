#include "engine/calind.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace kestrovan {

namespace {

// Mean and sample standard deviation in single precision, as the descriptive statistics of a
// series are computed elsewhere in the program. sd < 0 marks an undefined spread (n < 2).
struct SeriesMoments {
    float mean = 0.0f;
    float sd = -1.0f;
};

SeriesMoments mean_sd(std::span<const float> v) {
    SeriesMoments r;
    const std::size_t n = v.size();
    if (n == 0) return r;
    float sum = 0.0f;
    for (float x : v) sum += x;
    r.mean = sum / static_cast<float>(n);
    if (n < 2) return r;
    float ss = 0.0f;
    for (float x : v) ss += (x - r.mean) * (x - r.mean);
    r.sd = std::sqrt(ss / static_cast<float>(n - 1));
    return r;
}

}  // namespace

void calind(std::span<const float> measurements, std::span<const float> curve, std::span<float> indices,
            int mode) {
    const std::size_t n = measurements.size();
    assert(curve.size() >= n && indices.size() >= n);
    for (std::size_t j = 0; j < n; ++j) {
        const float q = curve[j] != 0.0f ? measurements[j] / curve[j] : 1.0f;
        indices[j] = std::isfinite(q) ? q : 1.0f;
    }
    if (mode != kResidualIndices || n == 0) return;

    const SeriesMoments ratio = mean_sd(indices.first(n));
    for (std::size_t j = 0; j < n; ++j) indices[j] = measurements[j] - curve[j];
    const SeriesMoments resid = mean_sd(indices.first(n));
    // Without a spread of the residuals the series carries no signal: every ring gets the mean
    // of its ratios (never a division by zero).
    if (!(resid.sd > 0.0f) || !std::isfinite(resid.sd)) {
        std::fill_n(indices.begin(), n, std::max(ratio.mean, 0.0f));
        return;
    }
    const float ratio_sd = ratio.sd > 0.0f ? ratio.sd : 0.0f;
    for (std::size_t j = 0; j < n; ++j) {
        const float v = (indices[j] - resid.mean) / resid.sd * ratio_sd + ratio.mean;
        indices[j] = v < 0.0f ? 0.0f : v;
    }
}

float residual_scale(std::span<const float> measurements, std::span<const float> curve) {
    const std::size_t n = std::min(measurements.size(), curve.size());
    std::vector<float> ratio(n), resid(n);
    double curve_sum = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        const float q = curve[j] != 0.0f ? measurements[j] / curve[j] : 1.0f;
        ratio[j] = std::isfinite(q) ? q : 1.0f;
        resid[j] = measurements[j] - curve[j];
        curve_sum += curve[j];
    }
    const SeriesMoments q = mean_sd(ratio), r = mean_sd(resid);
    const float scale = r.sd / q.sd;
    if (q.sd > 0.0f && r.sd > 0.0f && std::isfinite(scale)) return scale;
    return n > 0 ? static_cast<float>(curve_sum / static_cast<double>(n)) : 0.0f;
}

void clip_chronology(std::span<float> chronology, std::span<const int> counts) {
    for (std::size_t k = 0; k < chronology.size(); ++k) {
        if (k >= counts.size() || counts[k] <= 0 || chronology[k] < 0.0f || !std::isfinite(chronology[k]))
            chronology[k] = 0.0f;
    }
}

namespace {
// Divides the covered years of a chronology by `mean` when it is above 0.
void divide_by(std::span<float> chronology, std::span<const int> counts, double mean) {
    if (!(mean > 0.0)) return;
    for (std::size_t k = 0; k < chronology.size() && k < counts.size(); ++k)
        if (counts[k] > 0) chronology[k] = static_cast<float>(chronology[k] / mean);
}
}  // namespace

void set_mean_one(std::span<float> chronology, std::span<const int> counts, int skip) {
    clip_chronology(chronology, counts);
    ChronologyLevel level = chronology_level(chronology, counts, skip);
    if (level.years == 0) level = chronology_level(chronology, counts, 0);  // nothing after skip
    if (level.years == 0) return;
    divide_by(chronology, counts, level.mean);
}

namespace {
// Mean and standard deviation of the logarithms of the positive values of the covered years
// k >= skip.
ChronologyLevel log_level(std::span<const float> chronology, std::span<const int> counts, int skip) {
    std::vector<float> logs;
    std::vector<int> ones;
    for (std::size_t k = static_cast<std::size_t>(std::max(skip, 0)); k < chronology.size() && k < counts.size();
         ++k)
        if (counts[k] > 0 && chronology[k] > 0.0f) {
            logs.push_back(std::log(chronology[k]));
            ones.push_back(1);
        }
    return chronology_level(logs, ones, 0);
}
}  // namespace

std::vector<std::string> final_scaling(std::span<const float> original_copy, std::span<float> standard,
                                       std::span<float> signal_free, std::span<const int> counts, int nss2,
                                       bool shifted_data) {
    std::vector<std::string> notes;
    int skip = std::max(nss2, 0);
    // Too few covered years after nss2: take every year instead.
    if (chronology_level(signal_free, counts, skip).years == 0) skip = 0;
    const std::size_t n = std::min({standard.size(), signal_free.size(), counts.size()});
    for (std::size_t k = 0; k < n; ++k) standard[k] = k < original_copy.size() ? original_copy[k] : 0.0f;
    clip_chronology(standard.first(n), counts);
    clip_chronology(signal_free.first(n), counts);
    divide_by(standard.first(n), counts, chronology_level(standard.first(n), counts, skip).mean);

    if (shifted_data) {
        const ChronologyLevel l0 = log_level(standard.first(n), counts, skip);
        const ChronologyLevel l2 = log_level(signal_free.first(n), counts, skip);
        if (l0.sd > 0.0 && l2.sd > 0.0) {
            const double p = l0.sd / l2.sd;
            for (std::size_t k = 0; k < n; ++k)
                if (counts[k] > 0 && signal_free[k] > 0.0f)
                    signal_free[k] = static_cast<float>(std::exp((std::log(signal_free[k]) - l2.mean) * p));
        } else {
            notes.push_back("SIGNAL FREE CHRONOLOGY HAS NO SPREAD: ITS SPREAD IS LEFT AS IT IS");
        }
    }
    divide_by(signal_free.first(n), counts, chronology_level(signal_free.first(n), counts, skip).mean);
    return notes;
}

}  // namespace kestrovan
