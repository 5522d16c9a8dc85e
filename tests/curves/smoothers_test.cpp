// Super smoother, lowess, running-median smoothing and the small sort/extreme helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <sstream>
#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "curves/smoothers.hpp"

namespace kestrovan {
namespace {

std::vector<float> positions(std::size_t n) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<float>(i + 1);
    return x;
}

std::vector<float> noisy_sine(std::size_t n, float noise_sd, unsigned seed,
                              std::vector<float>* signal = nullptr) {
    std::mt19937 gen(seed);
    std::normal_distribution<float> noise(0.0f, noise_sd);
    std::vector<float> y(n);
    if (signal) signal->resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const float s = std::sin(2.0f * 3.14159265f * 2.0f * static_cast<float>(i) / static_cast<float>(n));
        if (signal) (*signal)[i] = s;
        y[i] = s + noise(gen);
    }
    return y;
}

double mean_square(const std::vector<float>& a, const std::vector<float>& b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) s += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return s / static_cast<double>(a.size());
}

TEST(SuperSmoother, ConstantAbscissaGivesTheWeightedMean) {
    const std::vector<float> x(6, 3.0f);
    const std::vector<float> y{1, 2, 3, 4, 5, 6};
    const std::vector<float> w{1, 1, 1, 1, 1, 5};
    std::vector<float> s(6, -1.0f);
    supsmu({x, y, w}, {kNotPeriodic, 0.0f, 5.0f}, s);
    for (float v : s) EXPECT_FLOAT_EQ(v, 45.0f / 10.0f);

    const std::vector<float> zero(6, 0.0f);
    supsmu({x, y, zero}, {kNotPeriodic, 0.0f, 5.0f}, s);
    for (float v : s) EXPECT_EQ(v, 0.0f);
}

TEST(SuperSmoother, PositiveSpanIsOneRunningLinesPass) {
    const std::size_t n = 120;
    const auto x = positions(n);
    const auto y = noisy_sine(n, 0.3f, 7);
    const std::vector<float> w(n, 1.0f);
    std::vector<float> s(n), direct(n), residuals(n);
    supsmu({x, y, w}, {kNotPeriodic, 0.3f, 5.0f}, s);
    // Scale of x = x(90) − x(30) = 60; small variance (1e-3·60)².
    smooth({x, y, w}, {0.3f, kNotPeriodic, 0.06f * 0.06f}, direct, residuals);
    EXPECT_EQ(s, direct);

    // Running lines are exact on a straight line, ends included.
    std::vector<float> line(n);
    for (std::size_t i = 0; i < n; ++i) line[i] = 2.0f - 0.01f * x[i];
    supsmu({x, line, w}, {kNotPeriodic, 0.1f, 0.0f}, s);
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(s[i], line[i], 1e-5f);
}

TEST(SuperSmoother, AlphaZeroDisablesBassEnhancementAndAlphaNineStiffens) {
    const std::size_t n = 300;
    const auto x = positions(n);
    const auto y = noisy_sine(n, 0.4f, 11);
    const std::vector<float> w(n, 1.0f);
    std::vector<float> s0(n), s_off(n), s9(n);
    supsmu({x, y, w}, {kNotPeriodic, 0.0f, 0.0f}, s0);
    supsmu({x, y, w}, {kNotPeriodic, 0.0f, 11.0f}, s_off);  // outside 0..10: no enhancement either
    supsmu({x, y, w}, {kNotPeriodic, 0.0f, 9.0f}, s9);
    EXPECT_EQ(s0, s_off);
    // Roughness (sum of squared second differences) drops when the spans move to the woofer.
    auto roughness = [](const std::vector<float>& s) {
        double r = 0.0;
        for (std::size_t i = 2; i < s.size(); ++i) {
            const double d = double(s[i]) - 2.0 * s[i - 1] + s[i - 2];
            r += d * d;
        }
        return r;
    };
    EXPECT_LT(roughness(s9), roughness(s0));
}

TEST(SuperSmoother, AutomaticSpanFollowsANoisySine) {
    const std::size_t n = 1000;
    const float sd = 0.25f;
    std::vector<float> signal;
    const auto y = noisy_sine(n, sd, 3, &signal);
    const auto x = positions(n);
    const std::vector<float> w(n, 1.0f);
    std::vector<float> s(n);
    supsmu({x, y, w}, {kNotPeriodic, 0.0f, 0.0f}, s);
    const double residual_variance = mean_square(y, s);
    EXPECT_NEAR(residual_variance / (sd * sd), 1.0, 0.15);
    EXPECT_LT(mean_square(s, signal), 0.1 * sd * sd);
}

TEST(SuperSmoother, ShortSeriesStayInsideTheData) {
    // Windows wider than the series use the whole series: the least-squares line.
    const std::vector<float> x{1, 2, 3, 4};
    const std::vector<float> y{1.0f, 3.0f, 2.0f, 4.0f};
    const std::vector<float> w(4, 1.0f);
    std::vector<float> s(4);
    supsmu({x, y, w}, {kNotPeriodic, 0.3f, 7.0f}, s);
    // Least squares: slope 0.8, intercept 0.5.
    for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(s[i], 0.5f + 0.8f * x[i], 1e-5f);
    supsmu({std::span(x).first(2), y, w}, {kNotPeriodic, 0.0f, 7.0f}, s);
    EXPECT_NEAR(s[0], 1.0f, 1e-5f);
    EXPECT_NEAR(s[1], 3.0f, 1e-5f);
    supsmu({std::span(x).first(1), y, w}, {kNotPeriodic, 0.0f, 7.0f}, s);
    EXPECT_EQ(s[0], 1.0f);
}

TEST(SuperSmoother, TiedAbscissaeShareOneValue) {
    const std::vector<float> x{1, 2, 3, 3, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::vector<float> y{1, 5, 2, 8, 3, 4, 6, 2, 7, 3, 5, 4};
    const std::vector<float> w(x.size(), 1.0f);
    std::vector<float> s(x.size());
    supsmu({x, y, w}, {kNotPeriodic, 0.4f, 0.0f}, s);
    EXPECT_EQ(s[2], s[3]);
    EXPECT_EQ(s[3], s[4]);
}

TEST(SuperSmoother, CurveFitSpanAndExtension) {
    // Fewer than 40 values use the fixed span 0.3; 40 and more the automatic choice.
    for (std::size_t n : {39u, 40u}) {
        const auto y = noisy_sine(n, 0.3f, 5);
        const auto x = positions(n);
        const std::vector<float> w(n, 1.0f);
        std::vector<float> expected(n), curve(n);
        supsmu({x, y, w}, {kNotPeriodic, n < 40 ? 0.3f : 0.0f, 7.0f}, expected);
        friedman_curve(y, 7.0f, curve);
        EXPECT_EQ(curve, expected) << n;
    }
    // A curve longer than the series continues from the series' smoothed end.
    std::vector<float> y(60);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = 3.0f - 0.02f * static_cast<float>(i);
    std::vector<float> curve(100, -999.0f);
    SmootherWorkspace workspace;
    friedman_curve(y, 7.0f, curve, &workspace);
    for (std::size_t i = 0; i < 50; ++i) EXPECT_NEAR(curve[i], y[i], 0.02f) << i;
    for (std::size_t i = 70; i < 100; ++i) EXPECT_NEAR(curve[i], y.back(), 0.02f) << i;
    // A workspace left by a longer fit changes nothing.
    const auto short_y = noisy_sine(45, 0.3f, 8);
    std::vector<float> with(45), without(45);
    friedman_curve(short_y, 7.0f, with, &workspace);
    friedman_curve(short_y, 7.0f, without);
    EXPECT_EQ(with, without);
}

TEST(Lowess, TwoNeighboursReproduceTheData) {
    const auto y = noisy_sine(25, 1.0f, 2);
    std::vector<float> s(25);
    lowess(y, s, 0.05f);  // 0.05·25 < 2
    for (std::size_t i = 0; i < y.size(); ++i) EXPECT_FLOAT_EQ(s[i], y[i]);
    lowess(y, s, -0.3f);
    for (std::size_t i = 0; i < y.size(); ++i) EXPECT_FLOAT_EQ(s[i], y[i]);

    const std::vector<float> one{4.5f};
    std::vector<float> s1(1);
    lowess(one, s1, 0.5f);
    EXPECT_EQ(s1[0], 4.5f);
}

TEST(Lowess, RecoversAStraightLineAndResistsAnOutlier) {
    const std::size_t n = 80;
    std::vector<float> line(n), s(n);
    for (std::size_t i = 0; i < n; ++i) line[i] = 5.0f - 0.03f * static_cast<float>(i + 1);
    lowess(line, s, 0.3f);
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(s[i], line[i], 1e-4f);

    // A single outlier in noisy data gets robustness weight 0: the curve stays near the line,
    // where one unweighted fit bulges towards the outlier.
    std::mt19937 gen(4);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    std::vector<float> y = line;
    for (float& v : y) v += noise(gen);
    y[40] += 10.0f;
    lowess(y, s, 0.3f);
    for (std::size_t i = 0; i < n; ++i) EXPECT_NEAR(s[i], line[i], 0.06f) << i;

    // Exact data but for the outlier: the median residual is zero, and the robustness steps
    // must not hand the fit to the outlier.
    y = line;
    y[40] += 10.0f;
    lowess(y, s, 0.3f);
    for (std::size_t i = 0; i < 25; ++i) EXPECT_NEAR(s[i], line[i], 1e-4f) << i;
    EXPECT_LT(s[40], line[40] + 5.0f);
}

TEST(Lowess, SpanFractionFromTheWindow) {
    // A positive window is years of the n values fitted (at most all of them), a negative one
    // a percentage.
    EXPECT_FLOAT_EQ(lowess_span_fraction(30, 300), 0.1f);
    EXPECT_FLOAT_EQ(lowess_span_fraction(-30, 300), 0.3f);
    EXPECT_FLOAT_EQ(lowess_span_fraction(-50, 7), 0.5f);
    EXPECT_FLOAT_EQ(lowess_span_fraction(500, 300), 1.0f);
    EXPECT_FLOAT_EQ(lowess_span_fraction(0, 300), 0.0f);
}

struct ConsoleFixture : ::testing::Test {
    std::istringstream in{""};
    std::ostringstream out;
    Console console{in, out};
    Notices notices;
    // What the smoother said, as the console prints it.
    std::string said() {
        print_notices(console, notices);
        return out.str();
    }
};

using MedianSmoothing = ConsoleFixture;

TEST_F(MedianSmoothing, SevenValuesWindowFive) {
    const std::vector<float> y{5, 1, 4, 2, 8, 3, 7};
    std::vector<float> s(7, -1.0f), work(5);
    ASSERT_EQ(msmoo(y, s, work, 5, notices), kMedianOk);
    EXPECT_EQ(s, (std::vector<float>{4, 4, 4, 3, 4, 4, 4}));

    const std::vector<float> z{9, 7, 1, 2, 3, 6, 5};
    ASSERT_EQ(msmoo(z, s, work, 5, notices), kMedianOk);
    EXPECT_EQ(s, (std::vector<float>(7, 3.0f)));
}

TEST_F(MedianSmoothing, WindowRules) {
    // An even window runs one narrower, and the caller sees it.
    std::vector<float> y{3, 1, 2, 5, 4, 6, 2};
    std::vector<float> s(7);
    int window = 4, passes = 0;
    ASSERT_EQ(msmoor(y, s, window, passes, notices), kMedianOk);
    EXPECT_EQ(window, 3);
    std::vector<float> again{3, 1, 2, 5, 4, 6, 2}, work(3), once(7);
    msmoo(again, once, work, 3, notices);
    EXPECT_EQ(once[2], 2.0f);  // median of 1, 2, 5

    // Window 1 returns the data in one pass.
    std::vector<float> data{3, 1, 2, 5};
    const std::vector<float> original = data;
    window = 1;
    ASSERT_EQ(msmoor(data, s, window, passes, notices), kMedianOk);
    EXPECT_EQ(std::vector<float>(s.begin(), s.begin() + 4), original);
    EXPECT_EQ(passes, 1);
    EXPECT_TRUE(said().empty());
}

TEST_F(MedianSmoothing, MonotoneSeriesConvergesOnTheSecondPass) {
    std::vector<float> y(10), s(10);
    std::iota(y.begin(), y.end(), 1.0f);
    int window = 3, passes = 0;
    ASSERT_EQ(msmoor(y, s, window, passes, notices), kMedianOk);
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(s, (std::vector<float>{2, 2, 3, 4, 5, 6, 7, 8, 9, 9}));
}

TEST_F(MedianSmoothing, InputErrorsLeaveTheCurveAlone) {
    std::vector<float> y{1, 2, 3}, s(3, -7.0f);
    int window = 5, passes = 0;
    EXPECT_EQ(msmoor(y, s, window, passes, notices), kMedianBadLength);
    window = 0;
    EXPECT_EQ(msmoor(y, s, window, passes, notices), kMedianBadWindow);
    std::vector<float> work(3);
    EXPECT_EQ(msmoo(y, s, work, 3, notices, 2), kMedianBadLength);
    EXPECT_EQ(s, (std::vector<float>(3, -7.0f)));
    EXPECT_EQ(said(), "input error 1 in msmoor.\ninput error 2 in msmoor.\ninput error 1 in msmoo.\n");
}

TEST_F(MedianSmoothing, NoRootAfterTenPasses) {
    // An alternating series loses one value per end and pass: far from a root after ten.
    std::vector<float> y(60), s(60);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(i % 2);
    int window = 3, passes = 0;
    EXPECT_EQ(msmoor(y, s, window, passes, notices), kMedianNoRoot);
    EXPECT_EQ(passes, kMedianMaxPasses);
    EXPECT_EQ(said(), "\n*** maximum iterations reached in msmoor ***\n");
}

TEST(MedianWindow, YearsOrPercentOfTheAges) {
    EXPECT_EQ(median_window(7, 300), 7);
    EXPECT_EQ(median_window(-10, 300), 29);   // 30 rounded down to odd
    EXPECT_EQ(median_window(-10, 215), 21);   // trunc(21.5)
    EXPECT_EQ(median_window(-1, 100), 3);     // at least 3
    EXPECT_EQ(median_window(-100, 100), 99);  // largest odd ≤ n
    EXPECT_EQ(median_window(-150, 51), 51);
}

TEST(SortAndExtremes, HeapsortMatchesOrderedValues) {
    std::mt19937 gen(1);
    std::uniform_int_distribution<int> d(-50, 50);  // many ties
    for (std::size_t n : {2u, 3u, 10u, 257u}) {
        std::vector<float> a(n);
        for (float& v : a) v = static_cast<float>(d(gen));
        std::vector<float> expected = a;
        std::sort(expected.begin(), expected.end());
        sort(a);
        EXPECT_EQ(a, expected) << n;
        sort(a);  // already sorted
        EXPECT_EQ(a, expected) << n;
    }
    const std::vector<int> v{4, -2, 9, 9, 0};
    EXPECT_EQ(minimum(v), -2);
    EXPECT_EQ(maximum(v), 9);
    EXPECT_EQ(minimum(std::span(v).first(1)), 4);
    EXPECT_EQ(maximum(std::span(v).first(1)), 4);
}

}  // namespace
}  // namespace kestrovan
