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

TEST(Sftest, DecisionRules) {
    const float thr = 0.0001f;
    EXPECT_EQ(convergence_decision(3, 0.0001f, 0.5f, thr, 100), Decision::Converged);  // equal counts
    EXPECT_EQ(convergence_decision(100, 0.01f, 0.02f, thr, 100), Decision::IterationLimit);
    EXPECT_EQ(convergence_decision(7, 0.02f, 0.01f, thr, 100), Decision::NotDecreasing);
    EXPECT_EQ(convergence_decision(7, 0.02f, 0.02f, thr, 100), Decision::Continue);  // equality: no rise
    EXPECT_EQ(convergence_decision(6, 0.05f, 0.01f, thr, 100), Decision::Continue);  // too early to retry
    EXPECT_EQ(convergence_decision(2, 0.05f, 0.01f, thr, 100), Decision::Continue);
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
