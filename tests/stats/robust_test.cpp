// Robust statistics: sort, medians and hinges, the two biweights and the per-year summary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "model/numeric_failure.hpp"
#include "model/year_matrix.hpp"
#include "stats/robust.hpp"

namespace kestrovan {
namespace {

TEST(Qcksrt, SortsEveryShapeIncludingDuplicatesAndTinyArrays) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> real(-50.0f, 50.0f);
    std::uniform_int_distribution<int> few(0, 4);
    for (int n : {0, 1, 2, 3, 7, 8, 9, 15, 64, 501, 4500}) {
        std::vector<std::vector<float>> cases;
        std::vector<float> v(n);
        for (auto& x : v) x = real(rng);
        cases.push_back(v);
        for (auto& x : v) x = static_cast<float>(few(rng));  // many duplicates
        cases.push_back(v);
        std::fill(v.begin(), v.end(), 3.0f);  // all equal
        cases.push_back(v);
        for (int i = 0; i < n; ++i) v[i] = static_cast<float>(i);
        cases.push_back(v);  // already sorted
        std::reverse(v.begin(), v.end());
        cases.push_back(v);  // reversed
        for (auto& c : cases) {
            std::vector<float> expect = c;
            std::sort(expect.begin(), expect.end());
            qcksrt(c);
            EXPECT_EQ(c, expect) << "n = " << n;
        }
    }
    std::vector<float> two{2.0f, -1.0f};
    qcksrt(two);
    EXPECT_EQ(two, (std::vector<float>{-1.0f, 2.0f}));
}

TEST(Qcksrt, SameInputSameOrderOnEveryCall) {
    // The pivot generator restarts on each call: repeated sorts of one input agree bit for bit,
    // including the signs of equal zeros.
    std::vector<float> v;
    for (int i = 0; i < 300; ++i) v.push_back((i % 7 == 0) ? ((i % 2) ? -0.0f : 0.0f) : std::sin(i * 1.7f));
    std::vector<float> a = v, b = v;
    qcksrt(a);
    qcksrt(b);
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(std::signbit(a[i]), std::signbit(b[i]));
    EXPECT_EQ(a, b);
}

TEST(Median, OddAndEvenCountsAndMadLeavesInputAlone) {
    std::vector<float> odd{5.0f, 1.0f, 3.0f};
    EXPECT_FLOAT_EQ(mdian1(odd), 3.0f);
    EXPECT_EQ(odd, (std::vector<float>{1.0f, 3.0f, 5.0f}));  // sorted in place
    std::vector<float> even{4.0f, 1.0f, 3.0f, 10.0f};
    EXPECT_FLOAT_EQ(mdian1(even), 3.5f);

    const std::vector<float> data{1.0f, 2.0f, 4.0f, 8.0f, 9.0f, 3.0f};
    std::vector<float> copy = data;
    // |x - 4| = 3 2 0 4 5 1 -> sorted 0 1 2 3 4 5 -> (2 + 3) / 2
    EXPECT_FLOAT_EQ(xmad(copy, 4.0f), 2.5f);
    EXPECT_EQ(copy, data);
    std::vector<float> scratch(10);
    EXPECT_FLOAT_EQ(xmad(copy, 4.0f, scratch), 2.5f);
    EXPECT_FLOAT_EQ(xmad(std::vector<float>{7.0f}, 4.0f), 3.0f);
}

TEST(Median, NoValuesStopsInsteadOfReadingPastTheArray) {
    std::vector<float> none;
    EXPECT_THROW(mdian1(none), NumericFailure);
    EXPECT_THROW(mfs(none), NumericFailure);
    EXPECT_THROW(xmad(none, 0.0f), NumericFailure);
    EXPECT_THROW(mnsd(none), NumericFailure);
    EXPECT_THROW(xbiwt(none), NumericFailure);
}

// Values 1..n (times 10) given in scrambled order, so the k-th smallest is 10k.
std::vector<float> scrambled(int n) {
    std::vector<float> v;
    for (int i = 1; i <= n; ++i) v.push_back(10.0f * static_cast<float>(i));
    std::mt19937 rng(static_cast<unsigned>(n));
    std::shuffle(v.begin(), v.end(), rng);
    return v;
}

TEST(Mfs, TukeyHingesForSmallCounts) {
    struct Case {
        int n;
        float lower, median, upper;
    };
    // Hinges are the medians of the halves, each including the middle value when n is odd.
    const Case cases[] = {
        {1, 10.0f, 10.0f, 10.0f}, {2, 10.0f, 15.0f, 20.0f}, {4, 15.0f, 25.0f, 35.0f},  // means of 1,2 and 3,4
        {5, 20.0f, 30.0f, 40.0f},                                                      // elements 2 and 4
        {6, 20.0f, 35.0f, 50.0f},                                                      // elements 2 and 5
        {7, 25.0f, 40.0f, 55.0f},                                                      // means of 2,3 and 5,6
    };
    for (const Case& c : cases) {
        std::vector<float> v = scrambled(c.n);
        const FiveNumberSummary s = mfs(v);
        EXPECT_FLOAT_EQ(s.minimum, 10.0f) << c.n;
        EXPECT_FLOAT_EQ(s.maximum, 10.0f * c.n) << c.n;
        EXPECT_FLOAT_EQ(s.lower_quartile, c.lower) << c.n;
        EXPECT_FLOAT_EQ(s.median, c.median) << c.n;
        EXPECT_FLOAT_EQ(s.upper_quartile, c.upper) << c.n;
        EXPECT_FLOAT_EQ(s.interquartile_range, c.upper - c.lower) << c.n;
        EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    }
}

TEST(Mnsd, MeanAndSampleStandardDeviation) {
    const std::vector<float> v{2.0f, 4.0f, 4.0f, 4.0f, 5.0f, 5.0f, 7.0f, 9.0f};
    const MeanSd r = mnsd(v);
    EXPECT_FLOAT_EQ(r.mean, 5.0f);
    EXPECT_NEAR(r.sd, std::sqrt(32.0f / 7.0f), 1e-6);
    const MeanSd one = mnsd(std::vector<float>{3.5f});
    EXPECT_FLOAT_EQ(one.mean, 3.5f);
    EXPECT_FLOAT_EQ(one.sd, 0.0f);
}

TEST(Xbiwt, DegenerateCasesGiveMedianAndOneAndAHalfMad) {
    std::vector<float> five{4.0f, 1.0f, 3.0f, 100.0f, 2.0f};  // median 3, MAD 1
    BiweightEstimate r = xbiwt(five);
    EXPECT_FLOAT_EQ(r.location, 3.0f);
    EXPECT_FLOAT_EQ(r.one_step_location, 3.0f);
    EXPECT_FLOAT_EQ(r.scale, 1.5f);
    EXPECT_FLOAT_EQ(r.one_step_scale, 1.5f);

    std::vector<float> bunched{2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 7.0f, -3.0f, 40.0f, 2.0f};
    r = xbiwt(bunched);  // more than half identical: MAD 0
    EXPECT_FLOAT_EQ(r.location, 2.0f);
    EXPECT_FLOAT_EQ(r.scale, 0.0f);
}

TEST(Xbiwt, IteratedLocationIsRobustAndSymmetric) {
    // Symmetric data: the location stays at the centre.
    std::vector<float> sym{-3.0f, -2.0f, -1.0f, -0.5f, 0.5f, 1.0f, 2.0f, 3.0f};
    for (auto& x : sym) x += 10.0f;
    BiweightEstimate r = xbiwt(sym);
    EXPECT_NEAR(r.location, 10.0f, 1e-5);
    EXPECT_GT(r.scale, 0.0f);
    EXPECT_TRUE(std::isfinite(r.scale));

    // One wild value barely moves the location; the arithmetic mean would move by 100.
    std::vector<float> v{9.0f, 9.5f, 10.0f, 10.2f, 10.4f, 10.6f, 11.0f, 1000.0f};
    r = xbiwt(v);
    EXPECT_NEAR(r.location, 10.2f, 0.3f);
    EXPECT_NEAR(r.one_step_location, 10.2f, 0.3f);
    EXPECT_LT(r.scale, 2.0f);
}

TEST(Biwgt, ArithmeticMeanLeavesValuesAndWeightsAlone) {
    RobustWorkspace ws;
    std::vector<float> v{3.0f, 1.0f, 2.0f, 6.0f};
    const std::vector<float> before = v;
    std::vector<float> weights(4, -5.0f);
    const YearMean m = biwgt(v, kMeanArithmetic, weights, ws);
    EXPECT_FLOAT_EQ(m.location, 3.0f);
    EXPECT_NEAR(m.scale, std::sqrt(14.0 / 3.0), 1e-6);
    EXPECT_FLOAT_EQ(m.variance_ratio, 1.0f);
    EXPECT_EQ(v, before);
    EXPECT_EQ(weights, std::vector<float>(4, -5.0f));
}

TEST(Biwgt, SingleValueAndDegenerateBiweightPaths) {
    RobustWorkspace ws;
    std::vector<float> weights(10, -5.0f);

    std::vector<float> one{4.25f};
    for (int method : {kMeanArithmetic, kMeanBiweight}) {
        const YearMean m = biwgt(one, method, weights, ws);
        EXPECT_FLOAT_EQ(m.location, 4.25f);
        EXPECT_FLOAT_EQ(m.scale, 0.0f);
    }

    std::vector<float> five{4.0f, 1.0f, 3.0f, 100.0f, 2.0f};  // median 3, MAD 1
    YearMean m = biwgt(five, kMeanBiweight, weights, ws);
    EXPECT_FLOAT_EQ(m.location, 3.0f);
    EXPECT_FLOAT_EQ(m.scale, 1.5f);
    EXPECT_FLOAT_EQ(m.variance_ratio, 1.0f);

    // Six or more values, over half equal: median and the tiny MAD itself, ratio and weights 1.
    std::fill(weights.begin(), weights.end(), -5.0f);
    std::vector<float> bunched{1.0f, 1.0f, 1.0f, 1.0f, 5.0f, -2.0f, 1.0f};
    m = biwgt(bunched, kMeanBiweight, weights, ws);
    EXPECT_FLOAT_EQ(m.location, 1.0f);
    EXPECT_FLOAT_EQ(m.scale, 0.0f);
    EXPECT_FLOAT_EQ(m.variance_ratio, 1.0f);
    for (int i = 0; i < 7; ++i) EXPECT_FLOAT_EQ(weights[i], 1.0f);
}

TEST(Biwgt, NoValueIsFatalWithMessageAndPause) {
    RobustWorkspace ws;
    std::vector<float> none, weights;
    try {
        biwgt(none, kMeanBiweight, weights, ws);
        FAIL() << "no stop";
    } catch (const NumericFailure& failure) {
        EXPECT_EQ(failure.exit_code(), 1);
        EXPECT_STREQ(failure.what(), "");
        EXPECT_TRUE(failure.pauses());
        ASSERT_EQ(failure.lines().size(), 1u);
        EXPECT_EQ(failure.lines()[0].text, "fatal error in biwgt: n is zero or negative");
        EXPECT_EQ(failure.lines()[0].column, 2);
    }
}

TEST(Biwgt, BiweightDownWeightsOutlierAndReportsWeightsInSortedOrder) {
    RobustWorkspace ws;
    std::vector<float> v{1.02f, 0.95f, 50.0f, 1.00f, 0.98f, 1.05f, 0.97f, 1.01f, 1.03f, 0.99f};
    std::vector<float> weights(v.size());
    const YearMean m = biwgt(v, kMeanBiweight, weights, ws);
    EXPECT_NEAR(m.location, 1.0f, 0.02f);
    EXPECT_GT(m.scale, 0.0f);
    EXPECT_LT(m.scale, 0.1f);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    // The outlier is last after sorting and gets no weight; the rest lie in (0, 1].
    EXPECT_FLOAT_EQ(weights.back(), 0.0f);
    for (std::size_t i = 0; i + 1 < v.size(); ++i) {
        EXPECT_GT(weights[i], 0.0f);
        EXPECT_LE(weights[i], 1.0f);
    }
    // The sample variance is inflated by the outlier, the biweight scale is not.
    EXPECT_GT(m.variance_ratio, 100.0f);
}

// A matrix of `years` x `series` with a fixed pattern, some cells empty.
YearMatrix pattern_matrix(int years, int series) {
    YearMatrix m(years, series);
    for (int c = 0; c < series; ++c)
        for (int r = 0; r < years; ++r)
            if ((r + 2 * c) % 5 != 0) m(r, c) = 1.0f + 0.1f * std::sin(0.7f * r + 1.3f * c) + 0.01f * c;
    return m;
}

TEST(Robsum, EachYearMatchesBiwgtOnItsNonMissingCells) {
    // Row r holds r + 1 values (1 to 40), noisy with a few wild ones so that several weights
    // are exactly 0; missing cells are scattered between the values.
    constexpr int kYears = 40, kSeries = 60;
    YearMatrix mat(kYears, kSeries);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(1.0f, 0.2f);
    for (int r = 0; r < kYears; ++r)
        for (int i = 0; i <= r; ++i) {
            const int c = (i * 7 + r) % kSeries;
            mat(r, c) = (i % 9 == 4) ? 25.0f + static_cast<float>(i) : noise(rng);
        }
    for (int method : {kMeanArithmetic, kMeanBiweight}) {
        const ChronologySummary s = robsum(mat, method);
        ASSERT_EQ(s.years(), kYears);
        RobustWorkspace ws;
        for (int r = 0; r < kYears; ++r) {
            std::vector<float> row;
            for (int c = 0; c < kSeries; ++c)
                if (mat(r, c) != kMissing) row.push_back(mat(r, c));
            ASSERT_EQ(static_cast<int>(row.size()), r + 1);
            std::vector<float> w(row.size());
            const YearMean m = biwgt(row, method, w, ws);
            EXPECT_EQ(s.count[r], r + 1);
            EXPECT_EQ(s.location[r], m.location) << r;
            EXPECT_EQ(s.scale[r], m.scale) << r;
            EXPECT_EQ(s.variance_ratio[r], m.variance_ratio) << r;
            if (method == kMeanBiweight && row.size() >= 6) {
                const FiveNumberSummary f = mfs(w);
                EXPECT_EQ(s.weight_min[r], f.minimum) << r;
                EXPECT_EQ(s.weight_lower_quartile[r], f.lower_quartile) << r;
                EXPECT_EQ(s.weight_median[r], f.median) << r;
                EXPECT_EQ(s.weight_upper_quartile[r], f.upper_quartile) << r;
            } else {
                EXPECT_EQ(s.weight_min[r], 1.0f);
                EXPECT_EQ(s.weight_upper_quartile[r], 1.0f);
            }
        }
        if (method == kMeanBiweight) {
            EXPECT_EQ(s.weight_min[kYears - 1], 0.0f);
        }
    }
}

TEST(Robsum, SkipsMissingKeepsOtherNegativesAndHandlesEmptyAndSmallYears) {
    YearMatrix m(4, 7);
    // Year 0: three values and missing cells; -9999 is a value, not a gap.
    m(0, 0) = 2.0f;
    m(0, 3) = 4.0f;
    m(0, 6) = -9999.0f;
    // Year 1: no value at all.
    // Year 2: one value.
    m(2, 4) = 0.8f;
    // Year 3: seven values.
    for (int c = 0; c < 7; ++c) m(3, c) = 1.0f + 0.05f * c;
    m(3, 2) = 3.0f;

    ChronologySummary s;
    RobustWorkspace ws;
    robsum(m, {4, 7}, kMeanArithmetic, s, ws);
    EXPECT_EQ(s.count[0], 3);
    EXPECT_FLOAT_EQ(s.location[0], (2.0f + 4.0f - 9999.0f) / 3.0f);

    robsum(m, {4, 7}, kMeanBiweight, s, ws);
    EXPECT_EQ(s.count, (std::vector<int>{3, 0, 1, 7}));
    EXPECT_FLOAT_EQ(s.location[0], 2.0f);  // median of three
    EXPECT_FLOAT_EQ(s.location[1], 0.0f);
    EXPECT_FLOAT_EQ(s.scale[1], 0.0f);
    EXPECT_FLOAT_EQ(s.variance_ratio[1], 1.0f);
    EXPECT_FLOAT_EQ(s.location[2], 0.8f);
    EXPECT_FLOAT_EQ(s.scale[2], 0.0f);
    for (int y : {0, 1, 2}) {
        EXPECT_FLOAT_EQ(s.weight_min[y], 1.0f);
        EXPECT_FLOAT_EQ(s.weight_lower_quartile[y], 1.0f);
        EXPECT_FLOAT_EQ(s.weight_median[y], 1.0f);
        EXPECT_FLOAT_EQ(s.weight_upper_quartile[y], 1.0f);
    }
    EXPECT_FLOAT_EQ(s.weight_min[3], 0.0f);  // the 3.0 is rejected
    EXPECT_NEAR(s.location[3], 1.125f, 0.05f);

    // Only the first rows/columns asked for are used.
    robsum(m, {1, 4}, kMeanArithmetic, s, ws);
    ASSERT_EQ(s.years(), 1);
    EXPECT_EQ(s.count[0], 2);
    EXPECT_FLOAT_EQ(s.location[0], 3.0f);
}

TEST(Robsum, ReusedWorkspaceGivesSameResults) {
    ChronologySummary a, b;
    RobustWorkspace ws;
    robsum(pattern_matrix(30, 40), {30, 40}, kMeanBiweight, a, ws);
    robsum(pattern_matrix(5, 3), {5, 3}, kMeanBiweight, b, ws);
    robsum(pattern_matrix(30, 40), {30, 40}, kMeanBiweight, b, ws);
    EXPECT_EQ(a.location, b.location);
    EXPECT_EQ(a.scale, b.scale);
    EXPECT_EQ(a.weight_lower_quartile, b.weight_lower_quartile);
}

TEST(Robsum, TooManySeriesPrintsTheLimitAndStops) {
    YearMatrix m(1, kMaxSeries + 1);
    ChronologySummary s;
    RobustWorkspace ws;
    std::string said;
    try {
        robsum(m, {1, kMaxSeries + 1}, kMeanBiweight, s, ws);
        FAIL() << "no stop";
    } catch (const NumericFailure& failure) {
        EXPECT_EQ(failure.exit_code(), 1);
        EXPECT_FALSE(failure.pauses());
        for (const FailureLine& l : failure.lines()) said += std::to_string(l.column) + ":" + l.text + "\n";
    }
    EXPECT_EQ(said,
              "1:\n"
              "2:Error in Sbr ROBSUM: Max number of series exceeded\n"
              "2:Maximum allowed:  4500     Number sent:  4501\n"
              "2:*** Enlarge parameter MAXNUM in Sbr ROBSUM and try again! ***\n");
}

}  // namespace
}  // namespace kestrovan
