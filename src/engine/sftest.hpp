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

enum class Decision { Converged, IterationLimit, NotDecreasing, Continue };

// The decision after iteration k (1-based) with the chosen criterion of k and of k − 1.
// Converged when criterion ≤ threshold; the limit at k = max_iterations; not decreasing when
// k ≥ 7 and criterion(k − 1) < criterion(k) (equality is not a rise).
Decision convergence_decision(int k, float criterion, float previous_criterion, float threshold,
                              int max_iterations);

// The statistics of every iteration with their running minima and marks.
class ConvergenceTrace {
public:
    ConvergenceTrace() { reset(); }
    void reset();
    // Records iteration k's statistics (k = size() + 1) and returns its four marks ('*' where
    // the statistic set a new running minimum, ' ' otherwise).
    std::array<char, 4> add(const ConvergenceStats& stats);
    // Drops the last iteration (after a failed monotonicity check).
    void drop_last();
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
