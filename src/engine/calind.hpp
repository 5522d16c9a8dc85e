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

// Sets values below 0 to 0 and every year with sample size 0 to 0.
void clip_chronology(std::span<float> chronology, std::span<const int> counts);

// chronology ← chronology − its mean over the covered years k >= skip + 1.0, negatives to 0,
// uncovered years 0. When no covered year lies at or after skip (one series alone, say) the
// mean of all covered years is taken; with no covered year at all nothing is shifted.
// Negative values are set to 0 before the mean is taken (an iteration's chronology), or, with
// clip_first false, only afterwards (the first-pass chronology, whose mean includes them).
void set_mean_one(std::span<float> chronology, std::span<const int> counts, int skip, bool clip_first = true);

// Gives a series' ratio indices the spread `target_sd` around their own mean:
// (index − mean) / sd × target_sd + mean. Used on retries, where the constant added to the
// measurements has narrowed the indices. A ratio index cannot be negative, so values the
// stretching pushes below 0 become 0. Indices without spread (or fewer than two) are left alone.
void rescale_to_spread(std::span<float> indices, float target_sd);

// The final scaling after the iteration. Means and standard deviations are taken over the
// covered years after nss2 (all years when nss2 is 0 or leaves none).
//   original_copy   first-pass chronology of the first attempt (after its nss1 adjustment): the
//                   standard chronology, computed from the data as read
//   standard        receives the final standard chronology: original_copy shifted to mean 1,
//                   whether or not retries were needed (the standard results never depend on the
//                   constant added for the signal-free iteration)
//   signal_free     the signal-free chronology; receives its final scaled version
//   retried         a constant was added to the measurements: the signal-free chronology takes
//                   mean 1 and the spread of original_copy; else it is shifted to mean 1
// Returns the report lines to write (a skipped rescaling for a zero standard deviation).
std::vector<std::string> final_scaling(std::span<const float> original_copy, std::span<float> standard,
                                       std::span<float> signal_free, std::span<const int> counts, int nss2,
                                       bool retried);

}  // namespace kestrovan
