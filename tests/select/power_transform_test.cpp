// Adaptive power transform: the choice of power from spread versus level, the kept range, zero
// rings and the order of the rings, the series that cannot be transformed, the mean power and
// the scatter plot call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "diag/pearsn.hpp"
#include "select/power_transform.hpp"
#include "support/recording_plotter.hpp"

using namespace kestrovan;

namespace {

struct Set {
    YearMatrix values;
    std::vector<YearSpan> years;
};

Set make(const std::vector<std::vector<float>>& series) {
    Set s;
    std::size_t longest = 0;
    for (const auto& v : series) longest = std::max(longest, v.size());
    s.values.resize(static_cast<int>(longest), static_cast<int>(series.size()));
    for (std::size_t c = 0; c < series.size(); ++c) {
        for (std::size_t k = 0; k < series[c].size(); ++k)
            s.values(static_cast<int>(k), static_cast<int>(c)) = series[c][k];
        const int len = static_cast<int>(series[c].size());
        s.years.push_back({1800, 1800 + len - 1, len});
    }
    return s;
}

// Spread proportional to level: every step changes the value by 20 % of the new value.
std::vector<float> proportional(std::mt19937& rng, int n) {
    std::bernoulli_distribution up(0.5);
    std::vector<float> v{1.0f};
    for (int k = 1; k < n; ++k) {
        const float prev = v.back();
        float next = up(rng) ? prev / 0.8f : prev / 1.2f;
        if (next > 4.0f) next = prev / 1.2f;
        if (next < 0.2f) next = prev / 0.8f;
        v.push_back(next);
    }
    return v;
}

// Spread independent of level: every step is ±0.25.
std::vector<float> constant_spread(std::mt19937& rng, int n) {
    std::bernoulli_distribution up(0.5);
    std::vector<float> v{2.0f};
    for (int k = 1; k < n; ++k) {
        float next = v.back() + (up(rng) ? 0.25f : -0.25f);
        if (next < 0.5f) next = v.back() + 0.25f;
        v.push_back(next);
    }
    return v;
}

std::vector<float> column(const Set& s, int c) {
    const int n = s.years[c].length;
    return {s.values.column(c).begin(), s.values.column(c).begin() + n};
}

}  // namespace

// The power transform takes the slope of spread on level from pearsn's least-squares line.
TEST(Pearsn, LeastSquaresLineAndFlatAbscissa) {
    const std::vector<float> x{0, 1, 2, 3}, y{1, 3, 5, 7};
    const PearsonFit f = pearsn(x, y);
    EXPECT_FLOAT_EQ(f.slope, 2.0f);
    EXPECT_FLOAT_EQ(f.intercept, 1.0f);
    const std::vector<float> flat(4, std::log(1.3f));
    const PearsonFit g = pearsn(flat, y);
    EXPECT_EQ(g.slope, 0.0f);
    EXPECT_FLOAT_EQ(g.intercept, 4.0f);
}

TEST(Slpt1, SlopeOneGivesTheLogTransformAndSlopeZeroKeepsTheSeries) {
    std::mt19937 rng(1);
    const std::vector<float> a = proportional(rng, 300), b = constant_spread(rng, 300);
    Set s = make({a, b});
    testdata::RecordingPlotter plotter;
    std::vector<float> powers;
    const float mean = slpt1(s.values, s.years, 0, plotter, &powers);
    ASSERT_EQ(powers.size(), 2u);
    EXPECT_EQ(powers[0], 0.0f);
    EXPECT_EQ(powers[1], 1.0f);
    EXPECT_FLOAT_EQ(mean, 0.5f);

    // Series a: an affine image of ln a onto a's own range.
    const std::vector<float> ta = column(s, 0);
    const float lo = *std::min_element(a.begin(), a.end()), hi = *std::max_element(a.begin(), a.end());
    const double llo = std::log(lo), lhi = std::log(hi);
    for (std::size_t k = 0; k < a.size(); ++k)
        EXPECT_NEAR(ta[k], (std::log(a[k]) - llo) * (hi - lo) / (lhi - llo) + lo, 2e-5 * hi) << k;
    // Series b: unchanged (identity rescaling).
    const std::vector<float> tb = column(s, 1);
    for (std::size_t k = 0; k < b.size(); ++k) EXPECT_NEAR(tb[k], b[k], 1e-5 * b[k]) << k;

    // The scatter plot is drawn on the first attempt only, with each series' kept pairs.
    EXPECT_EQ(plotter.scatter_calls, 1);
    EXPECT_EQ(plotter.scatter_counts, (std::vector<int>{299, 299}));
    Set again = make({a, b});
    slpt1(again.values, again.years, 1, plotter);
    EXPECT_EQ(plotter.scatter_calls, 1);
}

TEST(Slpt1, EveryTransformedSeriesKeepsItsMinimumAndMaximum) {
    std::mt19937 rng(2);
    std::lognormal_distribution<float> g(0.0f, 0.6f);
    std::vector<std::vector<float>> series;
    for (int i = 0; i < 6; ++i) {
        std::vector<float> v(150 + 30 * i);
        for (float& x : v) x = g(rng) * (1.0f + i);
        series.push_back(v);
    }
    // A mixture: level-dependent early part, flat later.
    std::vector<float> mixed = proportional(rng, 100);
    const std::vector<float> tail = constant_spread(rng, 100);
    mixed.insert(mixed.end(), tail.begin(), tail.end());
    series.push_back(mixed);
    Set s = make(series);
    testdata::RecordingPlotter plotter;
    std::vector<float> powers;
    const float mean = slpt1(s.values, s.years, 1, plotter, &powers);
    double sum = 0.0;
    for (std::size_t c = 0; c < series.size(); ++c) {
        const auto t = column(s, static_cast<int>(c));
        EXPECT_EQ(*std::min_element(t.begin(), t.end()),
                  *std::min_element(series[c].begin(), series[c].end()));
        EXPECT_EQ(*std::max_element(t.begin(), t.end()),
                  *std::max_element(series[c].begin(), series[c].end()));
        EXPECT_GE(powers[c], 0.0f);
        EXPECT_LE(powers[c], 1.0f);
        sum += powers[c];
        // Monotone transform: the order of the values is kept.
        for (std::size_t k = 1; k < t.size(); ++k)
            if (series[c][k] > series[c][k - 1]) {
                EXPECT_GE(t[k], t[k - 1]);
            }
    }
    EXPECT_NEAR(mean, sum / series.size(), 1e-6);
    // Positions past each series' end are left alone.
    EXPECT_EQ(s.values(200, 0), kMissing);
}

TEST(Slpt1, ZeroRingsAreSkippedInTheFitAndMappedToTheMinimum) {
    std::mt19937 rng(4);
    std::vector<float> a = proportional(rng, 200);
    a[50] = 0.0f;
    a[120] = 0.0f;
    std::vector<float> b = constant_spread(rng, 200);
    std::vector<float> c = b;
    for (float& x : c) x *= 0.5f;  // spread 0.125, level ≥ 0.25: power 1
    c[80] = 0.0f;
    Set s = make({a, c});
    testdata::RecordingPlotter plotter;
    std::vector<float> powers;
    slpt1(s.values, s.years, 1, plotter, &powers);
    // Pairs whose level is 0 are skipped: 199 − 2 pairs for a.
    EXPECT_EQ(powers[0], 0.0f);
    const auto ta = column(s, 0);
    EXPECT_EQ(ta[50], 0.0f);  // ln 0.05 is the transformed minimum, mapped onto the minimum 0
    EXPECT_EQ(ta[120], 0.0f);
    // Under the log every other value is an affine image of ln v, anchored at ln 0.05.
    const float hi = *std::max_element(a.begin(), a.end());
    const double l0 = -2.9957323, lh = std::log(hi);
    for (int k : {10, 60, 150}) EXPECT_NEAR(ta[k], (std::log(a[k]) - l0) * hi / (lh - l0), 2e-5 * hi) << k;
    // Under a power the zero becomes 0.01^p before rescaling, the lowest value, so again 0.
    const auto tc = column(s, 1);
    EXPECT_EQ(tc[80], 0.0f);
    EXPECT_GT(powers[1], 0.0f);

    // Rings below 0.05 mm beside a zero: under the log the zero takes the lowest transformed
    // value (ln of the smallest positive ring), so the transform keeps the order of the rings.
    std::vector<float> d = proportional(rng, 200);
    for (float& x : d) x *= 0.05f;  // 0.01 .. 0.2 mm
    d[30] = 0.0f;
    d[31] = 0.04f;
    d[32] = 0.03f;
    Set small = make({d});
    slpt1(small.values, small.years, 1, plotter, &powers);
    ASSERT_EQ(powers[0], 0.0f);
    const auto td = column(small, 0);
    for (std::size_t j = 0; j < d.size(); ++j)
        for (std::size_t k = 0; k < d.size(); ++k)
            if (d[j] < d[k]) {
                ASSERT_LE(td[j], td[k]) << j << " " << k;
            }
    EXPECT_EQ(td[30], 0.0f);
}

TEST(Slpt1, SeriesWithoutUsablePairsStayUntransformedWithPowerOne) {
    const std::vector<float> flat(40, 1.5f);                       // no spread at all
    const std::vector<float> two{0.8f, 1.3f};                      // a single pair
    const std::vector<float> zeros{0.0f, 0.0f, 0.0f, 2.0f, 2.0f};  // one usable pair
    std::mt19937 rng(6);
    const std::vector<float> log_like = proportional(rng, 120);
    Set s = make({flat, two, zeros, log_like});
    testdata::RecordingPlotter plotter;
    std::vector<float> powers;
    const float mean = slpt1(s.values, s.years, 1, plotter, &powers);
    EXPECT_EQ(powers[0], 1.0f);
    EXPECT_EQ(powers[1], 1.0f);
    EXPECT_EQ(powers[2], 1.0f);
    EXPECT_EQ(powers[3], 0.0f);
    EXPECT_FLOAT_EQ(mean, 0.75f);
    EXPECT_EQ(column(s, 0), flat);
    EXPECT_EQ(column(s, 1), two);
    EXPECT_EQ(column(s, 2), zeros);
    for (int c = 0; c < 4; ++c)
        for (float v : column(s, c)) ASSERT_TRUE(std::isfinite(v));
}
