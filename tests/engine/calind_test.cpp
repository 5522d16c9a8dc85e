// Indices, chronology level and final scaling.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "engine/calind.hpp"
#include "stats/robust.hpp"

namespace kestrovan {
namespace {

struct Stats {
    double mean, sd;
};
Stats stats(const std::vector<float>& v) {
    double m = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
    double ss = 0;
    for (float x : v) ss += (x - m) * (x - m);
    return {m, std::sqrt(ss / (v.size() - 1))};
}

TEST(Calind, RatiosAndResidualsShareMeanAndSpread) {
    const std::vector<float> y{2.0f, 1.8f, 1.5f, 1.6f, 1.2f, 1.0f, 1.1f, 0.9f, 0.8f, 0.85f};
    const std::vector<float> c{1.9f, 1.7f, 1.55f, 1.4f, 1.25f, 1.1f, 1.0f, 0.92f, 0.86f, 0.8f};
    std::vector<float> ratio(y.size()), resid(y.size());
    calind(y, c, ratio, kRatioIndices);
    for (std::size_t j = 0; j < y.size(); ++j) EXPECT_FLOAT_EQ(ratio[j], y[j] / c[j]);
    calind(y, c, resid, kResidualIndices);
    const Stats r = stats(ratio), s = stats(resid);
    EXPECT_NEAR(s.mean, r.mean, 1e-5);
    EXPECT_NEAR(s.sd, r.sd, 1e-5);
    // Residual indices keep the order of the residuals y − c.
    for (std::size_t j = 1; j < y.size(); ++j)
        EXPECT_EQ(resid[j] > resid[j - 1], (y[j] - c[j]) > (y[j - 1] - c[j - 1]));
}

TEST(Calind, ResidualIndicesNeverNegative) {
    // A wild ring far below its curve would give a negative rescaled residual.
    const std::vector<float> y{1.0f, 1.0f, 1.0f, 1.0f, 0.01f, 1.0f, 1.0f, 1.2f};
    const std::vector<float> c(8, 1.0f);
    std::vector<float> x(8);
    calind(y, c, x, kResidualIndices);
    for (float v : x) EXPECT_GE(v, 0.0f);
}

TEST(Calind, CurveEqualToMeasurementsAndDegenerateSeries) {
    const std::vector<float> y{1.5f, 1.2f, 0.9f, 0.7f};
    std::vector<float> x(4);
    calind(y, y, x, kRatioIndices);
    for (float v : x) EXPECT_FLOAT_EQ(v, 1.0f);
    // No residual spread: every ring gets the ratio mean (1.0), never a NaN.
    calind(y, y, x, kResidualIndices);
    for (float v : x) EXPECT_FLOAT_EQ(v, 1.0f);
    // One ring.
    std::vector<float> one{3.0f}, cone{2.0f}, xone(1);
    calind(one, cone, xone, kResidualIndices);
    EXPECT_FLOAT_EQ(xone[0], 1.5f);
    // A zero curve value gives no infinity.
    std::vector<float> zc{1.0f, 0.0f, 1.0f, 1.0f};
    calind(y, zc, x, kRatioIndices);
    for (float v : x) EXPECT_TRUE(std::isfinite(v));
    EXPECT_FLOAT_EQ(x[1], 1.0f);
}

TEST(ChronologyLevel, UncoveredYearsAreLeftOutAndProportionsKept) {
    std::vector<float> chron{0.5f, 2.0f, 0.0f, 1.5f, -0.2f};
    const std::vector<int> counts{1, 3, 0, 4, 2};
    const ChronologyLevel all = chronology_level(chron, counts, 0);
    EXPECT_EQ(all.years, 4);
    EXPECT_NEAR(all.mean, (0.5 + 2.0 + 1.5 - 0.2) / 4, 1e-6);
    // Brought to mean 1 by division: negatives to 0 first, then the mean of years 1, 3, 4 = 7/6;
    // every covered value keeps its proportion to the others.
    set_mean_one(chron, counts, 1);
    EXPECT_FLOAT_EQ(chron[2], 0.0f);
    EXPECT_FLOAT_EQ(chron[4], 0.0f);
    EXPECT_NEAR(chron[1], 2.0 / (3.5 / 3), 1e-6);
    EXPECT_NEAR(chron[3] / chron[1], 0.75, 1e-6);
    EXPECT_NEAR(chron[0] / chron[1], 0.25, 1e-6);
    // Nothing after the skip (a single series): the mean of all covered years is used.
    std::vector<float> lone{0.8f, 1.6f};
    set_mean_one(lone, std::vector<int>{1, 1}, 2);
    EXPECT_NEAR(lone[0] + lone[1], 2.0, 1e-6);
    // A chronology of zeros stays 0 (no division by 0).
    std::vector<float> zeros(3, 0.0f);
    set_mean_one(zeros, std::vector<int>{2, 2, 2}, 0);
    EXPECT_EQ(zeros, std::vector<float>(3, 0.0f));
}

TEST(FinalScaling, ScalesAndKeepsEveryCoveredYearPositive) {
    const std::vector<int> counts{1, 6, 6, 6, 6, 0, 6};
    const std::vector<float> copy{0.9f, 1.2f, 0.8f, 1.1f, 0.9f, 0.0f, 1.0f};
    std::vector<float> sf{1.0f, 1.4f, 0.6f, 1.3f, 0.9f, 0.0f, 0.8f};
    std::vector<float> standard(7, 5.0f), no_retry_sf = sf;
    EXPECT_TRUE(final_scaling(copy, standard, no_retry_sf, counts, 1, false).empty());
    EXPECT_NEAR(chronology_level(standard, counts, 1).mean, 1.0, 1e-6);
    EXPECT_NEAR(chronology_level(no_retry_sf, counts, 1).mean, 1.0, 1e-6);
    EXPECT_FLOAT_EQ(standard[5], 0.0f);  // uncovered year stays 0
    for (std::size_t k = 0; k < 7; ++k) {
        EXPECT_NEAR(standard[k] * copy[1], copy[k] * standard[1], 1e-6) << k;  // proportions kept
        EXPECT_NEAR(no_retry_sf[k] * sf[1], sf[k] * no_retry_sf[1], 1e-6) << k;
    }

    // Data with a constant added: the signal-free chronology takes mean 1 and the spread of the
    // standard one in logarithms; the standard chronology is the same as without.
    const auto no_retry_standard = standard;
    std::vector<float> narrow{1.0f, 1.04f, 0.97f, 1.02f, 0.98f, 0.0f, 0.99f};
    EXPECT_TRUE(final_scaling(copy, standard, narrow, counts, 1, true).empty());
    EXPECT_EQ(standard, no_retry_standard);
    EXPECT_NEAR(chronology_level(narrow, counts, 1).mean, 1.0, 1e-6);
    // A deep trough stretched to a much wider spread stays above 0.
    std::vector<float> trough_sf{1.0f, 1.05f, 0.2f, 1.05f, 1.0f, 0.0f, 1.0f};
    std::vector<float> wide_copy{1.0f, 2.5f, 0.1f, 0.2f, 1.8f, 0.0f, 0.4f};
    final_scaling(wide_copy, standard, trough_sf, counts, 1, true);
    for (std::size_t k = 0; k < 7; ++k)
        if (counts[k] > 0) {
            EXPECT_GT(trough_sf[k], 0.0f) << k;
        }
    EXPECT_LT(trough_sf[2], trough_sf[1] * 0.2f / 1.05f);  // the trough deepened, not flattened

    // A chronology without spread keeps it, and the report says so.
    std::vector<float> flat_sf(7, 2.0f);
    const auto notes = final_scaling(copy, standard, flat_sf, counts, 1, true);
    EXPECT_EQ(notes.size(), 1u);
    for (std::size_t k = 0; k < 7; ++k)
        if (counts[k] > 0) {
            EXPECT_FLOAT_EQ(flat_sf[k], 1.0f);
        }
}

}  // namespace
}  // namespace kestrovan
