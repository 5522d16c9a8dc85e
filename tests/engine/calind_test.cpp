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

TEST(ChronologyLevel, UncoveredYearsAreLeftOut) {
    std::vector<float> chron{0.5f, 2.0f, 0.0f, 1.5f, -0.2f};
    const std::vector<int> counts{1, 3, 0, 4, 2};
    const ChronologyLevel all = chronology_level(chron, counts, 0);
    EXPECT_EQ(all.years, 4);
    EXPECT_NEAR(all.mean, (0.5 + 2.0 + 1.5 - 0.2) / 4, 1e-6);
    set_mean_one(chron, counts, 1);  // negatives to 0 first, then mean of years 1, 3, 4 = 7/6
    EXPECT_FLOAT_EQ(chron[2], 0.0f);
    EXPECT_NEAR(chron[1], 2.0 - 3.5 / 3 + 1.0, 1e-6);
    EXPECT_FLOAT_EQ(chron[4], 0.0f);  // below 0 after the shift
    EXPECT_NEAR(chron[3], 1.5 - 3.5 / 3 + 1.0, 1e-6);
    // The first-pass chronology keeps its negative values in the mean: (0.5 + 2 + 1.5 - 0.2)/4.
    std::vector<float> first{0.5f, 2.0f, 0.0f, 1.5f, -0.2f};
    set_mean_one(first, counts, 0, false);
    EXPECT_NEAR(first[0], 0.5 - 0.95 + 1.0, 1e-6);
    EXPECT_FLOAT_EQ(first[4], 0.0f);  // -0.15 after the shift
    EXPECT_FLOAT_EQ(first[2], 0.0f);
    // Nothing after the skip (a single series): the mean of all covered years is used.
    std::vector<float> lone{0.8f, 1.6f};
    set_mean_one(lone, std::vector<int>{1, 1}, 2);
    EXPECT_NEAR(lone[0] + lone[1], 2.0, 1e-6);
}

TEST(FinalScaling, WithoutAndWithRetries) {
    const std::vector<int> counts{1, 6, 6, 6, 6, 0, 6};
    const std::vector<float> copy{0.9f, 1.2f, 0.8f, 1.1f, 0.9f, 0.0f, 1.0f};
    std::vector<float> sf{1.0f, 1.4f, 0.6f, 1.3f, 0.9f, 0.0f, 0.8f};
    std::vector<float> standard(7, 5.0f), no_retry_sf = sf;
    EXPECT_TRUE(final_scaling(copy, standard, no_retry_sf, counts, 1, false).empty());
    EXPECT_NEAR(chronology_level(standard, counts, 1).mean, 1.0, 1e-6);
    EXPECT_NEAR(chronology_level(no_retry_sf, counts, 1).mean, 1.0, 1e-6);
    EXPECT_FLOAT_EQ(standard[5], 0.0f);  // uncovered year stays 0

    // With retries the signal-free chronology takes mean 1 and the spread of the first attempt's
    // copy; the standard chronology is the copy shifted to mean 1, as without retries.
    const auto no_retry_standard = standard;
    const double s0 = chronology_level(copy, counts, 1).sd;
    EXPECT_TRUE(final_scaling(copy, standard, sf, counts, 1, true).empty());
    EXPECT_EQ(standard, no_retry_standard);
    EXPECT_NEAR(chronology_level(sf, counts, 1).mean, 1.0, 1e-6);
    EXPECT_NEAR(chronology_level(sf, counts, 1).sd, s0, 1e-5);

    // Rescaled to a wider spread, a deep trough stops at 0.
    std::vector<float> trough_sf{1.0f, 1.05f, 0.2f, 1.05f, 1.0f, 0.0f, 1.0f};
    std::vector<float> wide_copy{1.0f, 2.5f, 0.1f, 0.2f, 1.8f, 0.0f, 0.4f};
    final_scaling(wide_copy, standard, trough_sf, counts, 1, true);
    EXPECT_FLOAT_EQ(trough_sf[2], 0.0f);

    // A chronology without spread is shifted only, and the report says so.
    std::vector<float> flat_sf(7, 2.0f);
    const auto notes = final_scaling(copy, standard, flat_sf, counts, 1, true);
    EXPECT_EQ(notes.size(), 1u);
    for (std::size_t k = 0; k < 7; ++k)
        if (counts[k] > 0) {
            EXPECT_FLOAT_EQ(flat_sf[k], 1.0f);
        }
}

TEST(RescaleToSpread, StretchesAroundTheMeanAndStopsAtZero) {
    // Indices narrowed by an added constant, stretched back to the first-pass spread: the low
    // one would go below 0, which a ratio index cannot.
    std::vector<float> x{0.9f, 1.0f, 1.1f, 0.95f, 1.05f, 0.7f};
    const MeanSd before = mnsd(x);
    rescale_to_spread(x, 1.0f);
    EXPECT_FLOAT_EQ(x[5], 0.0f);
    EXPECT_FLOAT_EQ(x[1], (1.0f - before.mean) / before.sd * 1.0f + before.mean);
    EXPECT_FLOAT_EQ(x[2], (1.1f - before.mean) / before.sd * 1.0f + before.mean);

    std::vector<float> flat(4, 1.2f), one{0.4f};
    rescale_to_spread(flat, 0.5f);
    rescale_to_spread(one, 0.5f);
    EXPECT_EQ(flat, std::vector<float>(4, 1.2f));
    EXPECT_EQ(one, std::vector<float>{0.4f});
}

}  // namespace
}  // namespace kestrovan
