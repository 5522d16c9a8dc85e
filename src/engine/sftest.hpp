#pragma once
// The convergence test of the signal-free iteration: four statistics of the year-by-year
// absolute differences between the previous and the new chronology, the choice of one of them
// as the criterion, the report line of every iteration and the decision to stop, go on or retry.
#include <array>
#include <span>
#include <string>
#include <vector>

namespace kestrovan {

// The four statistics of one iteration, in report order.
struct ConvergenceStats {
    float uw_mean = 0.0f;    // unweighted mean of |d|
    float uw_median = 0.0f;  // unweighted median of |d|
    float wt_mean = 0.0f;    // mean of sqrt(n/N)·|d|
    float wt_median = 0.0f;  // median of sqrt(n/N)·|d|
    int years = 0;           // years with n > 0 that entered (0: no statistic defined, all 0)
    float at(int i) const { return i == 0 ? uw_mean : i == 1 ? uw_median : i == 2 ? wt_mean : wt_median; }
};

// Statistics over the years with counts > 0; N is the largest count of the years passed.
// `work` is caller-owned scratch (resized as needed). abs_diff and counts have equal length.
ConvergenceStats sftest(std::span<const float> abs_diff, std::span<const int> counts,
                        std::vector<float>& work);

enum class Criterion { UnweightedMean = 0, UnweightedMedian = 1, WeightedMean = 2, WeightedMedian = 3 };

// Iteration 1 always uses the unweighted mean. From iteration 2 on: for curve options −2, 0, 1,
// 2 and 6 the unweighted mean (median with median_differences); for every other option the
// count-weighted mean (median with median_differences).
Criterion choose_criterion(int iteration, bool median_differences, int curve_option);

// How the signal-free iteration stands after an iteration.
enum class StopDecision {
    Continue,        // go on
    Converged,       // the criterion statistic met the threshold
    IterationLimit,  // the last iteration allowed
    Stalled,         // no new low of the statistic for a while: publish the best iterate
    Diverged,        // the statistic grows, sustained and well above the threshold (or is no number)
};

// The numbers of the stop rule.
struct StopRule {
    float threshold = 0.0001f;  // the convergence criterion
    int max_iterations = 100;
    int watch_from = 6;          // the lows that count for stalling and divergence start here
    int stall_iterations = 10;   // stalled after this many iterations without a new low
    float growth_factor = 4.0f;  // diverged only above this many times the low ...
    float scale_factor = 10.0f;  // ... and above this many times the larger of the threshold and
    float float_noise = 1e-5f;   //     the level below which single-precision chronologies jitter
    int sustained_rises = 3;     // ... after this many rises in a row, none caused by a curve switch
};

// What the stop rule knows of the iterations so far, each indexed by iteration - 1.
struct IterationRecord {
    std::span<const float> statistics;  // the criterion statistic of every iteration
    // The mean absolute change of the chronology in every iteration, before the slow part of the
    // differences is taken out (empty: not known).
    std::span<const float> changes;
    // The mean absolute change over the last two iterations together, the chronology of the
    // iteration against that of two iterations before (0: not known). A chronology that swings
    // back and forth changes little over two iterations; one that drifts changes twice as much.
    std::span<const float> net_changes;
    // The program changed the curve family of a series (or of the Regional curve) in that
    // iteration, so that a jump of the statistic there is its own doing, not the data's (empty:
    // none).
    std::span<const char> switched;
};

// The rate at which the change of the chronology shrinks per iteration at iteration k: the larger
// of the ratios of its mean change to the one before, in iterations k and k - 1 (k only at k = 2;
// 0 at k = 1 or without changes). 1 or more when the change is not shrinking.
float shrink_rate(std::span<const float> changes, int k);

// The decision after iteration k = statistics.size() (k >= 1). In this order: a statistic that is
// no number diverges; one at or below the threshold converges, provided the iteration is not
// still moving steadily: when the change shrinks by a rate r per iteration the changes still to
// come add up to statistic × r / (1 − r), and that too must be at or below the threshold (a rate
// of 0.5 or less asks nothing more; a change that does not shrink at all only converges when its
// mean is itself at or below the threshold). A chronology that swings back and forth more than it
// drifts (its net change over two iterations below its change in one) does not drift away from
// where it stands and needs no such check. Then the iteration limit; then divergence, which needs growth
// that is sustained (every one of the last sustained_rises iterations above the one before it,
// and none of them switched), several-fold over the lowest statistic since watch_from, and well
// above the scale of the threshold and of float noise; then a stall (stall_iterations iterations
// after watch_from without a new low). A rise at the level of float noise, or a single jump,
// never diverges: at worst it stalls, and the best iterate is published.
StopDecision stop_decision(const IterationRecord& record, const StopRule& rule);

// The statistics of every iteration with their running minima and marks.
class ConvergenceTrace {
public:
    ConvergenceTrace() { reset(); }
    void reset();
    // Records iteration k's statistics (k = size() + 1) and returns its four marks ('*' where
    // the statistic set a new running minimum, ' ' otherwise).
    std::array<char, 4> add(const ConvergenceStats& stats);
    int size() const { return static_cast<int>(stats_.size()); }
    const ConvergenceStats& operator[](int k1) const { return stats_[k1 - 1]; }  // 1-based
    const std::vector<ConvergenceStats>& all() const { return stats_; }

private:
    std::vector<ConvergenceStats> stats_;
    std::array<float, 4> minimum_{};
};

// Column heads printed once before the first iteration (two lines, from column 37).
std::array<std::string, 2> convergence_heads();
// " Iter   k  Convergence Criteria: " f13.8 mark, then three f14.8 each with its mark.
std::string convergence_line(int k, const ConvergenceStats& stats, const std::array<char, 4>& marks);

}  // namespace kestrovan
