#pragma once
// Index calculation and the level of a chronology: indices of one series from its measurements
// and fitted curve, the mean-1 adjustments applied during the iteration, and the final scaling of
// the standard and signal-free chronologies.
#include <span>
#include <string>
#include <vector>

#include "stats/chronology_level.hpp"

namespace kestrovan {

inline constexpr int kRatioIndices = 1;     // index mode: measurement / curve
inline constexpr int kResidualIndices = 2;  // index mode: rescaled measurement − curve

// Indices of one series: indices[j] from measurements[j] and curve[j], j < measurements.size().
// Mode 1 (ratios): measurement / curve. Mode 2 (residuals): residual = measurement − curve,
// standardised and given the mean and standard deviation of the ratio series, negatives set to 0.
// A series whose residuals have no spread (or only one ring) gets the ratio mean at every ring.
// A curve value of exactly 0 (no defined ratio) gives the neutral index 1.0 at that ring.
// `indices` may alias neither input; all three spans have the same length.
void calind(std::span<const float> measurements, std::span<const float> curve, std::span<float> indices,
            int mode);

// How many measurement units one residual index unit stands for in a series: the standard
// deviation of its residuals (measurement − curve) over that of its ratios (measurement / curve),
// the inverse of the scaling calind applies to residuals. It is in the units of the
// measurements (doubling every width doubles it). Where either spread is undefined or 0 the
// mean of the curve stands in (the two spreads are in that ratio for a flat curve).
float residual_scale(std::span<const float> measurements, std::span<const float> curve);

// Sets values below 0 (and values that are not numbers) to 0, and every year with sample size 0
// to 0.
void clip_chronology(std::span<float> chronology, std::span<const int> counts);

// Brings a chronology to mean 1 by dividing it by its mean over the covered years k >= skip, so
// that its proportions are kept (a year at half the mean stays at half of it). When no covered
// year lies at or after skip (one series alone, say) the mean of all covered years is taken;
// with no covered year, or a mean that is not above 0, nothing is scaled. Values below 0 and
// uncovered years are set to 0 first (clip_chronology).
void set_mean_one(std::span<float> chronology, std::span<const int> counts, int skip);

// The final scaling after the iteration. Means are taken over the covered years after nss2 (all
// years when nss2 is 0 or leaves none).
//   original_copy   first-pass chronology of the first attempt (after its nss1 adjustment): the
//                   standard chronology, computed from the data as read
//   standard        receives the final standard chronology: original_copy divided by its mean
//   signal_free     the signal-free chronology; receives its final scaled version
//   shifted_data    the signal-free chronology comes from data with a constant added, which
//                   narrows every index towards 1: it takes mean 1 and the spread of the standard
//                   chronology in logarithms, v -> (v / g)^p with p the ratio of the standard
//                   deviations of the logarithms, then divided by its mean. A power keeps every
//                   positive value positive and a zero at zero. Otherwise it is divided by its mean.
// Returns the report lines to write (a spread match skipped for want of spread).
std::vector<std::string> final_scaling(std::span<const float> original_copy, std::span<float> standard,
                                       std::span<float> signal_free, std::span<const int> counts, int nss2,
                                       bool shifted_data);

}  // namespace kestrovan
