#include "engine/sftest.hpp"

#include <algorithm>
#include <cmath>

#include "model/format.hpp"

namespace kestrovan {

namespace {

// Median of the first n values of v (sorted in place): the middle value, or the mean of the
// two middle values for an even count.
float median_in_place(std::vector<float>& v, std::size_t n) {
    std::sort(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(n));
    const std::size_t h = n / 2;
    return (n % 2 == 1) ? v[h] : (v[h - 1] + v[h]) / 2.0f;
}

}  // namespace

ConvergenceStats sftest(std::span<const float> abs_diff, std::span<const int> counts,
                        std::vector<float>& work) {
    ConvergenceStats s;
    const std::size_t n = std::min(abs_diff.size(), counts.size());
    int largest = 0;
    for (std::size_t t = 0; t < n; ++t) largest = std::max(largest, counts[t]);
    if (largest <= 0) return s;

    work.resize(n);
    std::size_t m = 0;
    double sum = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
        if (counts[t] <= 0) continue;
        const float a = std::fabs(abs_diff[t]);
        sum += a;
        work[m++] = a;
    }
    s.years = static_cast<int>(m);
    s.uw_mean = static_cast<float>(sum / static_cast<double>(m));
    s.uw_median = median_in_place(work, m);

    const float root_n = std::sqrt(static_cast<float>(largest));
    m = 0;
    sum = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
        if (counts[t] <= 0) continue;
        const float w = std::sqrt(static_cast<float>(counts[t])) / root_n * std::fabs(abs_diff[t]);
        sum += w;
        work[m++] = w;
    }
    s.wt_mean = static_cast<float>(sum / static_cast<double>(m));
    s.wt_median = median_in_place(work, m);
    return s;
}

Criterion choose_criterion(int iteration, bool median_differences, int curve_option) {
    if (iteration <= 1) return Criterion::UnweightedMean;
    const bool stiff = curve_option == -2 || curve_option == 0 || curve_option == 1 || curve_option == 2 ||
                       curve_option == 6;
    const bool median = median_differences;
    if (stiff) return median ? Criterion::UnweightedMedian : Criterion::UnweightedMean;
    return median ? Criterion::WeightedMedian : Criterion::WeightedMean;
}

float shrink_rate(std::span<const float> changes, int k) {
    if (k < 2 || static_cast<int>(changes.size()) < k) return 0.0f;
    // The slower of the last two ratios: an early fall of the change says little of the slow
    // part that is left.
    float rate = 0.0f;
    for (int j = k; j >= std::max(2, k - 1); --j) {
        const float now = changes[static_cast<std::size_t>(j - 1)];
        const float before = changes[static_cast<std::size_t>(j - 2)];
        const float r = before > 0.0f ? now / before : (now > 0.0f ? 1.0f : 0.0f);
        rate = std::max(rate, std::isfinite(r) ? r : 1.0f);
    }
    return rate;
}

StopDecision stop_decision(const IterationRecord& record, const StopRule& rule) {
    const std::span<const float> statistics = record.statistics;
    const std::span<const char> switched = record.switched;
    const int k = static_cast<int>(statistics.size());
    if (k == 0) return StopDecision::Continue;
    const auto stat = [&](int iteration) { return statistics[static_cast<std::size_t>(iteration - 1)]; };
    const auto was_switched = [&](int iteration) {
        const std::size_t j = static_cast<std::size_t>(iteration - 1);
        return j < switched.size() && switched[j] != 0;
    };
    const float now = stat(k);
    if (!std::isfinite(now)) return StopDecision::Diverged;
    if (now <= rule.threshold) {
        const std::size_t last = static_cast<std::size_t>(k - 1);
        const bool swings = last < record.net_changes.size() && last < record.changes.size() &&
                            record.net_changes[last] > 0.0f &&
                            record.net_changes[last] < record.changes[last];
        const float rate = swings ? 0.0f : shrink_rate(record.changes, k);
        const bool settled = rate < 1.0f ? now * rate / (1.0f - rate) <= rule.threshold
                                         : record.changes[static_cast<std::size_t>(k - 1)] <= rule.threshold;
        if (settled) return StopDecision::Converged;
    }
    if (k >= rule.max_iterations) return StopDecision::IterationLimit;
    if (k <= rule.watch_from) return StopDecision::Continue;

    // The lowest statistic from watch_from up to the iteration before this one, and where it was
    // first reached.
    float low = stat(rule.watch_from);
    int low_at = rule.watch_from;
    for (int j = rule.watch_from + 1; j < k; ++j)
        if (stat(j) < low) {
            low = stat(j);
            low_at = j;
        }

    bool sustained = k - rule.sustained_rises >= 1;
    for (int j = k - rule.sustained_rises + 1; sustained && j <= k; ++j)
        sustained = !was_switched(j) && stat(j) > stat(j - 1);
    const float scale = rule.scale_factor * std::max(rule.threshold, rule.float_noise);
    if (sustained && now > rule.growth_factor * low && now > scale) return StopDecision::Diverged;

    if (now < low) low_at = k;
    if (k - low_at >= rule.stall_iterations) return StopDecision::Stalled;
    return StopDecision::Continue;
}

void ConvergenceTrace::reset() {
    stats_.clear();
    minimum_.fill(9999.0f);
}

std::array<char, 4> ConvergenceTrace::add(const ConvergenceStats& stats) {
    std::array<char, 4> marks{' ', ' ', ' ', ' '};
    for (int i = 0; i < 4; ++i) {
        if (stats.at(i) < minimum_[static_cast<std::size_t>(i)]) {
            minimum_[static_cast<std::size_t>(i)] = stats.at(i);
            marks[static_cast<std::size_t>(i)] = '*';
        }
    }
    stats_.push_back(stats);
    return marks;
}

std::array<std::string, 2> convergence_heads() {
    return {at_column(37, "| -------- SIGNAL FREE CONVERGENCE STATISTICS ------- |"),
            at_column(37, "UW MN ABSD     UW MD ABSD     WT MN ABSD     WT MD ABSD")};
}

std::string convergence_line(int k, const ConvergenceStats& stats, const std::array<char, 4>& marks) {
    std::string line = " Iter " + fmt_i(k, 3) + "  Convergence Criteria: " + fmt_f(stats.uw_mean, 13, 8);
    line += marks[0];
    for (int i = 1; i < 4; ++i) {
        line += fmt_f(stats.at(i), 14, 8);
        line += marks[static_cast<std::size_t>(i)];
    }
    return line;
}

}  // namespace kestrovan
