// Per-year EPS and subsample signal strength against hand calculations, and the year from which a
// figure stays at or above its threshold.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "diag/signal_strength.hpp"

namespace kestrovan {
namespace {

TEST(SignalStrength, SssAndEpsByHand) {
    // r̄ 0.4, 10 trees in all. Year with 2 trees: SSS = 2·(1 + 9·0.4) / (10·(1 + 0.4)) = 9.2 / 14;
    // EPS = 0.8 / 1.4. With every tree present SSS is 1.
    const std::vector<int> present{0, 2, 10};
    const std::vector<float> sss = sss_by_year(present, 10, 0.4);
    EXPECT_EQ(sss[0], kMissing);
    EXPECT_NEAR(sss[1], 9.2 / 14.0, 1e-6);
    EXPECT_NEAR(sss[2], 1.0, 1e-6);
    const std::vector<float> eps = eps_by_year(present, 0.4);
    EXPECT_NEAR(eps[1], 0.8 / 1.4, 1e-6);
    EXPECT_NEAR(eps[2], 4.0 / 4.6, 1e-6);
    EXPECT_EQ(eps_by_year(present, std::nan(""))[2], kMissing);
}

TEST(SignalStrength, TreesByYearCountEachTreeOnce) {
    YearMatrix m(2, 3);
    m.fill(kMissing);
    m(0, 0) = m(0, 1) = m(1, 1) = m(1, 2) = 1.0f;
    EXPECT_EQ(trees_by_year(m, std::vector<int>{7, 7, 8}), (std::vector<int>{1, 2}));
    EXPECT_EQ(trees_by_year(m, {}), (std::vector<int>{2, 2}));
}

TEST(SignalStrength, FirstYearMovesWithTheThreshold) {
    const std::vector<float> v{0.7f, 0.88f, kMissing, 0.84f, 0.86f, 0.91f, 0.95f};
    EXPECT_EQ(first_year_at_or_above(v, 0.85f, 1600), 1604);
    EXPECT_EQ(first_year_at_or_above(v, 0.9f, 1600), 1605);
    EXPECT_EQ(first_year_at_or_above(v, 0.8f, 1600), 1601);
    EXPECT_FALSE(first_year_at_or_above(v, 0.99f, 1600).has_value());
}

}  // namespace
}  // namespace kestrovan
