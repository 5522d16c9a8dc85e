#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "curves/growth.hpp"

namespace kestrovan {
namespace {

struct TestConsole {
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
    Notices notices;
    // What the fits said, as the console prints it.
    std::string said() {
        print_notices(console, notices);
        return out.str();
    }
};

std::vector<float> exponential(int n, double a, double b, double k) {
    std::vector<float> y(static_cast<std::size_t>(n));
    for (int t = 1; t <= n; ++t)
        y[static_cast<std::size_t>(t - 1)] = static_cast<float>(a * std::exp(-b * t) + k);
    return y;
}

std::vector<float> rising(int n) {
    std::vector<float> y(static_cast<std::size_t>(n));
    for (int t = 1; t <= n; ++t)
        y[static_cast<std::size_t>(t - 1)] =
            0.5f + 0.01f * static_cast<float>(t) + 0.05f * static_cast<float>(std::sin(t));
    return y;
}

float mean_of(const std::vector<float>& y) {
    float s = 0.0f;
    for (float v : y) s += v;
    return s / static_cast<float>(y.size());
}

TEST(Curve, RecoversANoiselessNegativeExponential) {
    TestConsole t;
    struct Case {
        int n;
        double a, b, k;
    };
    for (const Case& cs : {Case{200, 2.0, 0.03, 0.5}, Case{500, 1.5, 0.008, 0.25}, Case{60, 4.0, 0.1, 1.0}}) {
        const std::vector<float> y = exponential(cs.n, cs.a, cs.b, cs.k);
        std::vector<float> c(cs.n + 50);
        FitRecord record{};
        curve(cs.n + 50, cs.n, y, c, record, t.notices);
        EXPECT_NEAR(record[0], cs.a, 1e-3 * cs.a) << cs.n;
        EXPECT_NEAR(record[1], cs.b, 1e-3 * cs.b) << cs.n;
        EXPECT_NEAR(record[4], cs.k, 1e-3 * cs.k) << cs.n;
        EXPECT_GE(record[5], 1.0f);
        EXPECT_LE(record[5], 34.0f);
        double sum = 0;
        for (float v : y) sum += v;
        EXPECT_NEAR(record[6], sum, 1e-4 * sum);
        // The curve extends past the fitted values.
        for (int i = 0; i < cs.n + 50; ++i)
            ASSERT_NEAR(c[i], cs.a * std::exp(-cs.b * (i + 1)) + cs.k, 2e-3) << i;
    }
    EXPECT_EQ(t.said(), "");
}

TEST(Curve, FailuresMarkTheRecordAndTheCurve) {
    TestConsole t;
    FitRecord record{};
    std::vector<float> y = exponential(19, 2.0, 0.05, 0.5), c(19, 5.0f);
    curve(19, 19, y, c, record, t.notices);
    EXPECT_EQ(t.said(), ">> sbr curve:  only 19 values, no exponential curve fit\n");
    EXPECT_EQ(record[1], kCurveFailed);
    EXPECT_EQ(c[0], kCurveFailed);
    EXPECT_EQ(c[1], 5.0f);

    // Means of the first or last ten values that are not positive have no logarithm.
    for (float shift : {0.0f, -1.0f}) {
        std::vector<float> z(40, 1.0f);
        for (int i = 30; i < 40; ++i) z[i] = shift;
        std::vector<float> cz(40, 5.0f);
        FitRecord rz{};
        curve(40, 40, z, cz, rz, t.notices);
        EXPECT_EQ(rz[1], kCurveFailed);
        EXPECT_EQ(cz[0], kCurveFailed);
        for (int i = 0; i < 10; ++i) z[i] = shift, z[30 + i] = 1.0f;
        curve(40, 40, z, cz, rz, t.notices);
        EXPECT_EQ(rz[1], kCurveFailed);
    }

    // A rate so steep that t*b leaves the admissible range within the series fails quietly.
    std::vector<float> steep = exponential(300, 50.0, 0.6, 0.1);
    std::vector<float> cs(300);
    FitRecord rs{};
    curve(300, 300, steep, cs, rs, t.notices);
    EXPECT_EQ(rs[1], kCurveFailed);
    EXPECT_EQ(t.said(), ">> sbr curve:  only 19 values, no exponential curve fit\n");
}

TEST(Growth, PerSeriesFallbackChain) {
    TestConsole t;
    const std::vector<float> up = rising(120);
    std::vector<float> c(150);
    const float m = mean_of(up);

    int code = 2;  // exponential fails, the line rises: the mean, code 6
    growth_per_series(120, 120, up, c, code, t.notices);
    EXPECT_EQ(code, 6);
    for (int i = 0; i < 120; ++i) ASSERT_EQ(c[i], m);

    code = 1;  // exponential fails: the line of any slope, code 3
    growth_per_series(120, 120, up, c, code, t.notices);
    EXPECT_EQ(code, 3);
    EXPECT_GT(c[119], c[0]);

    code = 4;  // a rising line gives the mean
    growth_per_series(120, 120, up, c, code, t.notices);
    EXPECT_EQ(code, 6);

    // A falling straight line: the exponential search ends without a decay worth keeping or with
    // one; with code 2 either the exponential (code 2) or the falling line (code 4) is used.
    std::vector<float> down(120);
    for (int i = 0; i < 120; ++i) down[i] = 3.0f - 0.01f * static_cast<float>(i);
    code = 4;
    growth_per_series(120, 120, down, c, code, t.notices);
    EXPECT_EQ(code, 4);
    EXPECT_NEAR(c[0], 3.0f, 1e-5f);
    EXPECT_NEAR(c[119], 3.0f - 1.19f, 1e-5f);

    // A good exponential is kept and the code stays.
    const std::vector<float> decay = exponential(150, 2.0, 0.03, 0.5);
    code = 2;
    growth_per_series(150, 150, decay, c, code, t.notices);
    EXPECT_EQ(code, 2);

    // A short series: the message, then the line.
    const std::vector<float> short_series = exponential(15, 2.0, 0.1, 0.5);
    code = 1;
    growth_per_series(15, 15, short_series, c, code, t.notices);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(t.said(), ">> sbr curve:  only 15 values, no exponential curve fit\n");
}

TEST(Growth, RegionalFallbackChain) {
    TestConsole t;
    const std::vector<float> up = rising(100);
    std::vector<float> c(130);
    const float m = mean_of(up);
    FitRecord record;

    int code = 2;  // exponential rejected, the line rises: the mean, reported as code 5
    record.fill(9.0f);
    growth_regional({130, 100}, up, c, record, code, t.notices);
    EXPECT_EQ(code, 5);
    EXPECT_EQ(record[4], m);
    EXPECT_EQ(record[2], 0.0f);
    for (float v : c) ASSERT_EQ(v, m);

    growth_regional({130, 100}, up, c, record, code, t.notices);  // fitted again: code 6
    EXPECT_EQ(code, 6);
    EXPECT_EQ(record[4], m);
    EXPECT_EQ(record[2], 0.0f);

    code = 1;  // exponential rejected: the line, code 4
    growth_regional({130, 100}, up, c, record, code, t.notices);
    EXPECT_EQ(code, 4);
    EXPECT_GT(record[2], 0.0f);
    EXPECT_NEAR(c[129], record[2] * 130.0f + record[4], 1e-5f);

    code = 6;
    growth_regional({130, 100}, up, c, record, code, t.notices);
    EXPECT_EQ(record[4], m);
    EXPECT_EQ(record[1], 0.0f);  // the record is cleared before the fit

    const std::vector<float> decay = exponential(100, 1.2, 0.04, 0.3);
    code = 1;
    growth_regional({130, 100}, decay, c, record, code, t.notices);
    EXPECT_EQ(code, 1);
    EXPECT_NEAR(record[1], 0.04f, 4e-5f);
}

TEST(Growth, LineAndMean) {
    TestConsole t;
    std::vector<float> flat(30, 0.8f), c(40);
    float slope = 1.0f, intercept = 0.0f;
    trend(40, 30, flat, c, slope, intercept);
    EXPECT_FLOAT_EQ(slope, 0.0f);
    EXPECT_FLOAT_EQ(intercept, 0.8f);
    EXPECT_FLOAT_EQ(c[39], 0.8f);

    // One value: a flat line through it rather than a division by zero.
    trend(5, 1, flat, c, slope, intercept);
    EXPECT_EQ(slope, 0.0f);
    EXPECT_FLOAT_EQ(intercept, 0.8f);
    EXPECT_FLOAT_EQ(c[4], 0.8f);

    EXPECT_THROW(trend(5, 0, flat, c, slope, intercept), NumericFailure);

    std::vector<float> y{1.0f, 2.0f, 6.0f};
    xmean(y, c, 7, 3);
    EXPECT_FLOAT_EQ(c[6], 3.0f);
    EXPECT_FLOAT_EQ(xmean2(y, 2), 1.5f);
}

// The failure carries the lines the stop prints (then a wait for RETURN): replayed on a console as
// the run does, they read as before.
TEST(Growth, EmptyMeansStopWithTheirMessage) {
    std::vector<float> y{1.0f}, c(3);
    {
        TestConsole t;
        try {
            xmean(y, c, 3, 0);
            FAIL();
        } catch (const NumericFailure& failure) {
            EXPECT_TRUE(failure.pauses());
            try {
                stop_on_failure(t.console, failure);
            } catch (const ProgramStop& stop) {
                EXPECT_EQ(stop.kind(), StopKind::Abnormal);
                EXPECT_STREQ(stop.what(), "");
            }
        }
        EXPECT_EQ(t.out.str(), "\nerror in xmean: n=0\n");
    }
    {
        TestConsole t;
        try {
            xmean2(y, 0);
            FAIL();
        } catch (const NumericFailure& failure) {
            EXPECT_THROW(stop_on_failure(t.console, failure), ProgramStop);
        }
        EXPECT_EQ(t.out.str(), "\nerror in xmean2: n=0\n");
    }
}

TEST(Moment, StatisticsOfSmallSeries) {
    const std::vector<float> y{1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
    const Moments m = moment(y, 5);
    EXPECT_FLOAT_EQ(m.mean, 3.0f);
    EXPECT_FLOAT_EQ(m.average_deviation, 1.2f);
    EXPECT_FLOAT_EQ(m.variance, 2.5f);
    EXPECT_FLOAT_EQ(m.standard_deviation, std::sqrt(2.5f));
    EXPECT_NEAR(m.skewness, 0.0f, 1e-6f);
    EXPECT_NEAR(m.kurtosis, 6.8f, 1e-5f);
    EXPECT_NEAR(m.mean_sensitivity, (1 / 1.5f + 1 / 2.5f + 1 / 3.5f + 1 / 4.5f) / 4, 1e-6f);
    EXPECT_NEAR(m.autocorrelation, 0.4f, 1e-6f);

    // Three values: the skewness factor applies, the kurtosis factor does not.
    const Moments three = moment(std::vector<float>{0.0f, 0.0f, 3.0f}, 3);
    EXPECT_NEAR(three.skewness, 6.0 / (std::pow(3.0, 1.5) * 3) * std::sqrt(6.0) * (8.5 / 3 + 1), 1e-4);
    EXPECT_NEAR(three.kurtosis, 18.0 / (9.0 * 3), 1e-6);
    // Two values: neither factor.
    const Moments two = moment(std::vector<float>{1.0f, 3.0f}, 2);
    EXPECT_FLOAT_EQ(two.kurtosis, 0.25f);
    EXPECT_FLOAT_EQ(two.skewness, 0.0f);

    const Moments none = moment(y, 0);
    EXPECT_EQ(none.mean, kMomentUndefined);
    EXPECT_EQ(none.mean_sensitivity, kMomentUndefined);
    const Moments one = moment(y, 1);
    EXPECT_EQ(one.mean, 1.0f);
    EXPECT_EQ(one.variance, kMomentUndefined);
    EXPECT_EQ(one.autocorrelation, kMomentUndefined);

    // No spread: the statistics that divide by it are undefined.
    const Moments flat = moment(std::vector<float>(6, 2.0f), 6);
    EXPECT_EQ(flat.mean, 2.0f);
    EXPECT_EQ(flat.variance, 0.0f);
    EXPECT_EQ(flat.standard_deviation, kMomentUndefined);
    EXPECT_EQ(flat.skewness, kMomentUndefined);
    EXPECT_EQ(flat.kurtosis, kMomentUndefined);
    EXPECT_EQ(flat.autocorrelation, kMomentUndefined);
    EXPECT_EQ(flat.mean_sensitivity, 0.0f);
}

}  // namespace
}  // namespace kestrovan
