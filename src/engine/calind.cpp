#include "engine/calind.hpp"

#include "stats/robust.hpp"

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

void clip_chronology(std::span<float> chronology, std::span<const int> counts) {
    for (std::size_t k = 0; k < chronology.size(); ++k) {
        if (k >= counts.size() || counts[k] <= 0 || chronology[k] < 0.0f || !std::isfinite(chronology[k]))
            chronology[k] = 0.0f;
    }
}

void set_mean_one(std::span<float> chronology, std::span<const int> counts, int skip, bool clip_first) {
    if (clip_first) {
        clip_chronology(chronology, counts);
    } else {
        // Uncovered years and values that are not numbers never enter the mean.
        for (std::size_t k = 0; k < chronology.size(); ++k)
            if (k >= counts.size() || counts[k] <= 0 || !std::isfinite(chronology[k])) chronology[k] = 0.0f;
    }
    ChronologyLevel level = chronology_level(chronology, counts, skip);
    if (level.years == 0) level = chronology_level(chronology, counts, 0);  // nothing after skip
    if (level.years == 0) return;
    const float mean = static_cast<float>(level.mean);
    for (std::size_t k = 0; k < chronology.size(); ++k) {
        if (counts[k] <= 0) continue;
        chronology[k] = chronology[k] - mean + 1.0f;
    }
    clip_chronology(chronology, counts);
}

namespace {
// A mean of indices that are never negative cannot be negative: rescaling a chronology with a
// deep trough (rescaled to another spread after retries) may push it below 0, where it is
// set to 0 as at every other step of the chronology.
float not_negative(float v) { return v < 0.0f ? 0.0f : v; }
}  // namespace

void rescale_to_spread(std::span<float> indices, float target_sd) {
    if (indices.size() < 2) return;
    const auto ms = mnsd(indices);  // the statistics routine the first-pass sd came from
    if (!(ms.sd > 0.0f)) return;
    for (float& v : indices) v = not_negative((v - ms.mean) / ms.sd * target_sd + ms.mean);
}

std::vector<std::string> final_scaling(std::span<const float> original_copy, std::span<float> standard,
                                       std::span<float> signal_free, std::span<const int> counts, int nss2,
                                       bool retried) {
    std::vector<std::string> notes;
    int skip = std::max(nss2, 0);
    // Too few covered years after nss2: take every year instead.
    if (chronology_level(signal_free, counts, skip).years == 0) skip = 0;
    const ChronologyLevel l0 = chronology_level(original_copy, counts, skip);
    const ChronologyLevel l2 = chronology_level(signal_free, counts, skip);
    const std::size_t n = std::min({standard.size(), signal_free.size(), counts.size()});

    // With retries the signal-free chronology takes mean 1 and the spread of the first attempt's
    // chronology; a chronology without spread is only shifted to mean 1.
    const bool scale2 = retried && l2.sd > 0.0;
    if (retried && !scale2)
        notes.push_back("SIGNAL FREE CHRONOLOGY HAS NO SPREAD: RESCALING TO THE FIRST ATTEMPT SKIPPED");
    for (std::size_t k = 0; k < n; ++k) {
        if (counts[k] <= 0) {
            standard[k] = 0.0f;
            signal_free[k] = 0.0f;
            continue;
        }
        const float copy = k < original_copy.size() ? original_copy[k] : 0.0f;
        standard[k] = not_negative(static_cast<float>(copy - l0.mean + 1.0));
        if (!retried) {
            signal_free[k] = not_negative(static_cast<float>(signal_free[k] - l2.mean + 1.0));
        } else {
            const double v2 = signal_free[k] - l2.mean;
            signal_free[k] = not_negative(static_cast<float>((scale2 ? v2 / l2.sd * l0.sd : v2) + 1.0));
        }
    }
    return notes;
}

}  // namespace kestrovan
