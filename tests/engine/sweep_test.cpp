// A small part of the real-data sweep (scripts/sweep): gp.rwl with per-series age-dependent
// splines and with the Regional curve, ratios and residuals. The signal-free chronology must pass
// every check of the sweep: close to the standard one, no years near 0, no runaway values, the
// same when every width is doubled, and close between a fine and a coarse criterion.
#include <gtest/gtest.h>

#include "support/sweep.hpp"

namespace kestrovan {
namespace {

using namespace sweep;

std::string joined(const std::vector<std::string>& flags) {
    std::string s;
    for (const auto& f : flags) s += f + " ";
    return s;
}

TEST(Sweep, RealDataSubsetRaisesNoFlag) {
    const DataSet gp = load_set(KESTROVAN_DATA_DIR, "gp");
    for (const Curve& curve : {kAgeSpline, kRegional})
        for (IndexMethod index : kIndexMethods) {
            SweepSetting s{.set = "gp", .curve = curve, .index_method = index};
            SCOPED_TRACE(std::string(curve.name) + (index == IndexMethod::Ratios ? " ratios" : " residuals"));
            const SweepRun fine = run_setting(gp, s);
            s.convergence = kCoarseCriterion;
            const SweepRun coarse = run_setting(gp, s);
            s.convergence = kFineCriterion;
            s.width_factor = 2.0f;
            const SweepRun doubled = run_setting(gp, s);
            ASSERT_TRUE(fine.completed && coarse.completed && doubled.completed) << fine.outcome;
            const Difference between = compare_criteria(fine, coarse);
            EXPECT_EQ(joined(setting_flags(fine, doubled, &between)), "");
            EXPECT_EQ(joined(judge(coarse).flags), "");
            EXPECT_LE(between.mean, 0.05);
            EXPECT_LE(between.max, 0.25);
            EXPECT_EQ(fine.constant_counter, 0);
            // Every Regional-curve run takes the unweighted statistic, whatever curve the
            // Regional curve is.
            if (curve.code == kCurveRcs) {
                EXPECT_EQ(fine.criterion, "unweighted median");
            }
        }
}

// co021's drought years (most series with a zero ring, the chronology near 0) must not let a
// flexible curve push the signal-free chronology away from the widths: before, it reached three
// times the standard chronology's largest value around 1850-1900.
TEST(Sweep, DroughtYearsDoNotPushAFlexibleCurveAway) {
    const DataSet co021 = load_set(KESTROVAN_DATA_DIR, "co021");
    const SweepRun run = run_setting(co021, {.set = "co021", .curve = kSpline32, .mean_method = kMeanArithmetic});
    ASSERT_TRUE(run.completed) << run.outcome;
    EXPECT_EQ(joined(judge(run).flags), "");
}

}  // namespace
}  // namespace kestrovan
