// The convergence statistics, the criterion choice and the decision rules.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/sftest.hpp"

namespace kestrovan {
namespace {

TEST(Sftest, FourStatistics) {
    std::vector<float> work;
    const std::vector<float> d{0.1f, 0.4f, 0.2f, 9.0f, 0.3f};
    const std::vector<int> n{1, 4, 4, 0, 16};
    const ConvergenceStats s = sftest(d, n, work);
    EXPECT_EQ(s.years, 4);  // the year with n = 0 is left out
    EXPECT_NEAR(s.uw_mean, (0.1 + 0.4 + 0.2 + 0.3) / 4, 1e-6);
    EXPECT_NEAR(s.uw_median, 0.25, 1e-6);
    // weights sqrt(n / 16): 0.25, 0.5, 0.5, 1.0
    const double w[] = {0.025, 0.2, 0.1, 0.3};
    EXPECT_NEAR(s.wt_mean, (w[0] + w[1] + w[2] + w[3]) / 4, 1e-6);
    EXPECT_NEAR(s.wt_median, (0.1 + 0.2) / 2, 1e-6);

    // Equal sample sizes: weighted equals unweighted.
    const std::vector<int> same(5, 7);
    const ConvergenceStats e = sftest(d, same, work);
    EXPECT_FLOAT_EQ(e.wt_mean, e.uw_mean);
    EXPECT_FLOAT_EQ(e.wt_median, e.uw_median);

    // No year with data: every statistic 0, no division by zero.
    const ConvergenceStats none = sftest(d, std::vector<int>(5, 0), work);
    EXPECT_EQ(none.years, 0);
    EXPECT_EQ(none.uw_mean, 0.0f);
    EXPECT_EQ(none.wt_median, 0.0f);
}

TEST(Sftest, CriterionChoice) {
    for (int code : {-2, 0, 1, 2, 6}) {
        EXPECT_EQ(choose_criterion(2, false, code), Criterion::UnweightedMean) << code;
        EXPECT_EQ(choose_criterion(2, true, code), Criterion::UnweightedMedian) << code;
    }
    for (int code : {8, 30, -50, -5, 3, 4}) {
        EXPECT_EQ(choose_criterion(3, false, code), Criterion::WeightedMean) << code;
        EXPECT_EQ(choose_criterion(3, true, code), Criterion::WeightedMedian) << code;
    }
    // Iteration 1 always takes the unweighted mean.
    EXPECT_EQ(choose_criterion(1, true, 8), Criterion::UnweightedMean);
}

// The stop rule on whole histories of the criterion statistic.
TEST(Sftest, StopRule) {
    const StopRule rule{.threshold = 0.0001f};
    const auto decide = [&](const std::vector<float>& s, const std::vector<char>& sw = {}) {
        return stop_decision({s, {}, {}, sw}, rule);
    };
    // Met exactly, or first: converged; no number: diverged; the limit.
    EXPECT_EQ(decide({0.01f, 0.0001f}), StopDecision::Converged);
    EXPECT_EQ(decide({0.01f, NAN}), StopDecision::Diverged);
    EXPECT_EQ(stop_decision({std::vector<float>{0.01f, 0.005f}, {}, {}, {}},
                            {.threshold = 1e-3f, .max_iterations = 2}),
              StopDecision::IterationLimit);
    // Sustained growth well above the threshold diverges; growth before iteration 7 never does.
    const std::vector<float> growing{0.05f, 0.02f, 0.01f, 0.004f, 0.002f, 0.001f, 0.002f, 0.004f, 0.008f};
    EXPECT_EQ(decide(growing), StopDecision::Diverged);
    EXPECT_EQ(decide({0.05f, 0.02f, 0.01f, 0.02f, 0.04f, 0.08f}), StopDecision::Continue);
    // Two rises are not sustained; neither is growth through an iteration in which the program
    // switched a series' curve family.
    EXPECT_EQ(decide({0.05f, 0.02f, 0.01f, 0.004f, 0.002f, 0.001f, 0.0009f, 0.004f, 0.008f}),
              StopDecision::Continue);
    std::vector<char> switched(growing.size(), 0);
    switched[7] = 1;
    EXPECT_EQ(decide(growing, switched), StopDecision::Continue);
    // Growth at float noise (a criterion below what single precision resolves) never diverges:
    // it stalls, ten iterations after its low.
    const StopRule tiny{.threshold = 1e-7f};
    std::vector<float> noise{1e-3f, 1e-4f, 1e-5f, 1e-6f, 5e-7f, 2e-7f};
    for (float v : {3e-7f, 5e-7f, 8e-7f, 1.1e-6f}) {
        noise.push_back(v);
        EXPECT_EQ(stop_decision({noise, {}, {}, {}}, tiny), StopDecision::Continue);
    }
    while (noise.size() < 16) noise.push_back(noise.back() * 1.01f);
    EXPECT_EQ(stop_decision({noise, {}, {}, {}}, tiny), StopDecision::Stalled);
    // Under the threshold while the chronology still drifts, shrinking by 0.9 an iteration: the
    // changes to come add up to nine times the statistic, so it goes on; a swing back and forth
    // (little net change over two iterations) or a fast shrink converges.
    const std::vector<float> stat{0.01f, 0.001f, 0.00008f};
    const std::vector<float> slow{0.01f, 0.009f, 0.0081f}, fast{0.01f, 0.004f, 0.0016f};
    const std::vector<float> drifts{0.0f, 0.0f, 0.017f}, swings{0.0f, 0.0f, 0.001f},
        shrinks{0.0f, 0.0f, 0.005f};
    EXPECT_EQ(stop_decision({stat, slow, drifts, {}}, rule), StopDecision::Continue);
    EXPECT_EQ(stop_decision({stat, slow, swings, {}}, rule), StopDecision::Converged);
    EXPECT_EQ(stop_decision({stat, fast, shrinks, {}}, rule), StopDecision::Converged);
    EXPECT_NEAR(shrink_rate(slow, 3), 0.9f, 1e-6f);
    // A single jump that falls back goes on; equal values are no new low.
    EXPECT_EQ(decide({0.05f, 0.02f, 0.01f, 0.004f, 0.002f, 0.001f, 0.014f, 0.004f}), StopDecision::Continue);
}

TEST(Sftest, RunningMinimaAndReportLine) {
    ConvergenceTrace trace;
    ConvergenceStats a{0.5f, 0.4f, 0.3f, 0.2f, 10};
    auto m1 = trace.add(a);
    EXPECT_EQ(std::string(m1.begin(), m1.end()), "****");
    ConvergenceStats b{0.6f, 0.3f, 0.3f, 0.1f, 10};
    auto m2 = trace.add(b);
    EXPECT_EQ(std::string(m2.begin(), m2.end()), " * *");  // equal is not a new minimum
    EXPECT_EQ(trace.size(), 2);
    EXPECT_FLOAT_EQ(trace[1].uw_mean, 0.5f);

    const std::string line = convergence_line(12, b, m2);
    EXPECT_EQ(line,
              " Iter  12  Convergence Criteria:    0.60000002     0.30000001*    0.30000001     0.10000000*");
    const auto heads = convergence_heads();
    EXPECT_EQ(heads[0].find('|'), 36u);
    EXPECT_EQ(heads[1].find("UW MN"), 36u);
}

}  // namespace
}  // namespace kestrovan
