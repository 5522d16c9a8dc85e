#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "curves/spline.hpp"

namespace kestrovan {
namespace {

constexpr double kTwoPi = 2.0 * 3.1415926535897936;

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

std::vector<float> line_series(int n, float slope, float intercept) {
    std::vector<float> y(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        y[static_cast<std::size_t>(i)] = intercept + slope * static_cast<float>(i + 1);
    return y;
}

std::vector<float> sinusoid(int n, int period, float amplitude = 1.0f, float level = 0.0f) {
    std::vector<float> y(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        y[static_cast<std::size_t>(i)] =
            level + amplitude * static_cast<float>(std::sin(kTwoPi * (i + 1) / period + 0.3));
    return y;
}

// Amplitude of the period-`period` component of c over [from, to), by least squares on sin/cos.
double amplitude(const std::vector<float>& c, int period, int from, int to) {
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (int i = from; i < to; ++i) {
        const double s = std::sin(kTwoPi * (i + 1) / period + 0.3),
                     k = std::cos(kTwoPi * (i + 1) / period + 0.3);
        const double v = c[static_cast<std::size_t>(i)];
        ss += s * s;
        cc += k * k;
        sc += s * k;
        ys += v * s;
        yc += v * k;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    return std::hypot(a, b);
}

TEST(Spline, StiffnessForWavelengths) {
    EXPECT_NEAR(spline_stiffness(10), 0.077909, 0.077909 * 1e-4);
    EXPECT_NEAR(spline_stiffness(20), 0.0048704, 0.0048704 * 1e-4);
    EXPECT_NEAR(spline_stiffness(50), 0.00012468, 0.00012468 * 1e-4);
    EXPECT_NEAR(spline_stiffness(2), 24.0, 1e-12);
    TestConsole t;
    std::vector<float> y = sinusoid(60, 10), c(60);
    EXPECT_FLOAT_EQ(spline(60, y, c, 10, t.notices), static_cast<float>(spline_stiffness(10)));
}

TEST(Spline, StraightLineComesBackUnchangedFromEveryRoutine) {
    TestConsole t;
    const int n = 120;
    const std::vector<float> y = line_series(n, -0.013f, 2.5f);
    std::vector<float> c(n);
    auto expect_same = [&](const char* what) {
        for (int i = 0; i < n; ++i) ASSERT_NEAR(c[i], y[i], 2e-5f) << what << " at " << i;
    };
    for (int wavelength : {2, 10, 50, 1000}) {
        spline(n, y, c, wavelength, t.notices);
        expect_same("spline");
    }
    for (int code : {8, 9, 30}) {
        spline1(n, y, c, code, t.notices);
        expect_same("spline1");
    }
    std::vector<int> lengths(n);
    lsmake(n, 10, lengths);
    spline2(n, y, c, lengths, t.notices);
    expect_same("spline2");
    age_dependent_spline(n, y, c, 50, t.notices);
    expect_same("age-dependent spline");
    EXPECT_EQ(t.said(), "");
}

TEST(Spline, SinusoidOfTheWavelengthIsHalvedAwayFromTheEnds) {
    TestConsole t;
    for (int period : {10, 20, 50}) {
        const int n = 40 * period;
        const std::vector<float> y = sinusoid(n, period, 2.0f, 5.0f);
        std::vector<float> c(n);
        spline(n, y, c, period, t.notices);
        const double ratio = amplitude(c, period, 10 * period, 30 * period) / 2.0;
        EXPECT_NEAR(ratio, 0.5, 0.002) << "period " << period;
        // A much shorter period is nearly removed, a much longer one nearly kept.
        const std::vector<float> fast = sinusoid(n, period / 2 < 3 ? 3 : period / 2);
        std::vector<float> cf(n);
        spline(n, fast, cf, period, t.notices);
        EXPECT_LT(amplitude(cf, period / 2 < 3 ? 3 : period / 2, 10 * period, 30 * period), 0.2);
    }
}

TEST(Spline, VeryLongWavelengthGivesTheLeastSquaresLine) {
    TestConsole t;
    const int n = 200;
    std::vector<float> y(n), c(n);
    double st = 0, sy = 0, sty = 0, stt = 0;
    for (int i = 0; i < n; ++i) {
        y[i] = 1.0f + 0.01f * i + 0.4f * static_cast<float>(std::sin(i * 1.7)) + (i % 7 == 0 ? 0.5f : 0.0f);
        const double tt = i + 1;
        st += tt;
        sy += y[i];
        sty += tt * y[i];
        stt += tt * tt;
    }
    const double slope = (sty - sy * st / n) / (stt - st * st / n);
    const double intercept = sy / n - slope * st / n;
    spline(n, y, c, 100000, t.notices);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(c[i], slope * (i + 1) + intercept, 1e-4) << i;
}

TEST(Spline, ShortSeriesAndUnusableSystemsLeaveMarkers) {
    TestConsole t;
    std::vector<float> y{1.0f, 3.0f, 2.0f, 5.0f}, c{7.0f, 7.0f, 7.0f, 7.0f};
    spline(3, y, c, 20, t.notices);
    EXPECT_EQ(c[0], kSplineTooShort);
    EXPECT_EQ(c[1], 7.0f);  // the rest is left as it was
    EXPECT_EQ(c[2], 7.0f);
    age_dependent_spline(3, y, c, 10, t.notices);
    EXPECT_EQ(c[0], kSplineTooShort);

    // Four values: a system of order 2, a defined curve.
    spline(4, y, c, 2, t.notices);
    for (float v : c) EXPECT_TRUE(std::isfinite(v));
    EXPECT_NE(c[0], kSplineTooShort);
    EXPECT_EQ(t.said(), "");

    // A wavelength of 0 has no stiffness: reported as an unusable system, never a NaN curve.
    std::vector<float> long_y = sinusoid(30, 10), long_c(30, 1.0f);
    spline(30, long_y, long_c, 0, t.notices);
    EXPECT_EQ(long_c[0], kSplineNotPositiveDefinite);
    EXPECT_EQ(t.said(), ">> sbr spline: matrix not positive definite\n");
}

TEST(Spline, SeriesLongerThanTheLimitStopsTheProgram) {
    TestConsole t;
    std::vector<float> y(kMaxSplineLength + 1, 1.0f), c(y.size());
    try {
        spline(kMaxSplineLength + 1, y, c, 20, t.notices);
        FAIL() << "no stop";
    } catch (const NumericFailure& failure) {
        // Replayed on the console as the run does.
        EXPECT_FALSE(failure.pauses());
        try {
            stop_on_failure(t.console, failure);
        } catch (const ProgramStop& stop) {
            EXPECT_EQ(stop.kind(), StopKind::Abnormal);
        }
    }
    EXPECT_EQ(t.out.str(),
              "\n *** series too long for spline subroutine ***\n"
              "  *** enlarge mxy parameter in subroutine ***\n\n");
    // The limit itself is fitted.
    spline(kMaxSplineLength, y, c, 20, t.notices);
    EXPECT_NEAR(c[kMaxSplineLength / 2], 1.0f, 1e-5f);
}

TEST(Spline, Spline1ReservedCodes) {
    TestConsole t;
    const int n = 80;
    const std::vector<float> y = sinusoid(n, 13, 1.0f, 3.0f);
    std::vector<float> a(n), b(n);
    spline1(n, y, a, 8, t.notices);
    spline(n, y, b, 20, t.notices);
    EXPECT_EQ(a, b);

    spline1(n, y, a, 9, t.notices);
    std::vector<int> lengths(n);
    for (int i = 0; i < n; ++i) lengths[i] = std::min(9 + i, n);
    spline2(n, y, b, lengths, t.notices);
    EXPECT_EQ(a, b);
    EXPECT_EQ(lengths[n - 3], n);  // the growth is capped at the series length

    spline1(n, y, a, 35, t.notices);
    spline(n, y, b, 35, t.notices);
    EXPECT_EQ(a, b);
}

TEST(Spline, AgeDependentSplineFlattensARisingTail) {
    TestConsole t;
    // Falls to a minimum around position 150, then rises steeply over the last 50 values.
    const int n = 200;
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) {
        const float tt = static_cast<float>(i + 1);
        y[i] = 3.0f * std::exp(-0.02f * tt) + 0.3f + (i >= 150 ? 0.03f * (tt - 150.0f) : 0.0f);
    }
    std::vector<int> lengths(n);
    lsmake(n, 20, lengths);
    EXPECT_EQ(lengths[0], 20);
    EXPECT_EQ(lengths[n - 1], 20 + n - 1);
    std::vector<float> plain(n), corrected(n);
    spline2(n, y, plain, lengths, t.notices);
    age_dependent_spline(n, y, corrected, 20, t.notices);
    ASSERT_GT(plain[n - 1], plain[n - 2]);  // the first fit does rise at the end
    // The correction keeps the curve near the level of the minimum to the end.
    float minimum = plain[0];
    for (float v : plain) minimum = std::min(minimum, v);
    EXPECT_LT(corrected[n - 1], minimum + 0.05f);
    EXPECT_LT(corrected[n - 1], plain[n - 1] - 0.5f);
    // The early part is the data's curve, barely touched by the correction.
    EXPECT_NEAR(corrected[10], plain[10], 0.02f);
}

TEST(Spline, AgeDependentSplineRisingAtEveryStepKeepsTheFirstFit) {
    TestConsole t;
    const int n = 90;
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) y[i] = 0.2f + 0.0004f * static_cast<float>(i * i);  // rises throughout
    std::vector<int> lengths(n);
    lsmake(n, 10, lengths);
    std::vector<float> plain(n), c(n, -1.0f);
    spline2(n, y, plain, lengths, t.notices);
    for (int i = 1; i < n; ++i) ASSERT_GT(plain[i], plain[i - 1]);
    age_dependent_spline(n, y, c, 10, t.notices);
    for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(std::isfinite(c[i]));
        ASSERT_EQ(c[i], plain[i]);
    }
}

// A rising series whose first ring is a little too wide dips once at its start: its curve still
// rises, and moving that ring by 0.02 mm moves the curve by about as much, not from rising to flat.
TEST(Spline, AgeDependentSplineWithADipAtItsStartStaysContinuous) {
    TestConsole t;
    const int n = 20;
    const auto curve_with_first = [&](float first) {
        std::vector<float> y(n), c(n);
        for (int i = 0; i < n; ++i) y[i] = 1.0f + 0.05f * static_cast<float>(i);
        y[0] = first;
        age_dependent_spline(n, y, c, 50, t.notices);
        return c;
    };
    for (float first : {1.0f, 3.40f, 3.42f}) {
        SCOPED_TRACE(first);
        const std::vector<float> c = curve_with_first(first);
        EXPECT_GT(c[n - 1], c[n / 2] + 0.1f);  // the growth trend is kept
    }
    const std::vector<float> a = curve_with_first(3.40f), b = curve_with_first(3.42f);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(a[i], b[i], 0.02f) << i;
}

// A tail that rises from a minimum is brought down whether the first fit's last step rises or
// dips: the last rings are lowered until that step changes sign, and the curve moves only a little
// across the change (a walk back from the last point while the fit rises would keep the whole
// tail at one side and flatten it at the other).
TEST(Spline, AgeDependentSplineFlattensATailWhoseLastStepDips) {
    TestConsole t;
    const int n = 200;
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) {
        const float tt = static_cast<float>(i + 1);
        y[i] = 3.0f * std::exp(-0.02f * tt) + 0.3f + (i >= 120 ? 0.01f * (tt - 120.0f) : 0.0f);
    }
    std::vector<int> lengths(n);
    lsmake(n, 20, lengths);
    std::vector<float> plain(n), before(n), after(n);
    bool dipped = false;
    const std::vector<float> rising = y;
    for (float drop = 0.0f; drop < 1.0f; drop += 0.002f) {
        for (int i = n - 20; i < n; ++i) y[i] = rising[i] - drop;
        spline2(n, y, plain, lengths, t.notices);
        age_dependent_spline(n, y, after, 20, t.notices);
        if (plain[n - 1] < plain[n - 2]) {
            dipped = true;
            break;
        }
        before = after;
    }
    ASSERT_TRUE(dipped);
    float minimum = plain[0];
    for (float v : plain) minimum = std::min(minimum, v);
    EXPECT_LT(after[n - 10], minimum + 0.05f);  // flat near the minimum, as with a rising last step
    for (int i = 0; i < n; ++i) EXPECT_NEAR(before[i], after[i], 0.01f) << i;
}

// The curve is the first fit less its lasting rise, computed here pair by pair from its
// definition, for wobbly fits with humps, plateaus and rising tails.
TEST(Spline, AgeDependentSplineTakesOffTheLastingRiseOfItsDefinition) {
    TestConsole t;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    int lowered = 0;  // rings the correction moved
    for (int n : {12, 60, 151, 400}) {
        std::vector<float> y(n), fit(n), c(n);
        for (int i = 0; i < n; ++i) {
            const float a = static_cast<float>(i) / static_cast<float>(n);
            y[i] = 1.5f + std::sin(9.0f * a) * (0.5f + a) + 0.8f * a * a + noise(random);
        }
        std::vector<int> lengths(n);
        lsmake(n, 10, lengths);
        spline2(n, y, fit, lengths, t.notices);
        age_dependent_spline(n, y, c, 10, t.notices);
        const int first = (n + 9) / 10;
        for (int i = 0; i < n; ++i) {
            float rise = 0.0f;
            if (i >= first) {
                const float after = *std::min_element(fit.begin() + i, fit.end());
                float highest = fit[first];
                for (int j = first; j <= i; ++j) {
                    highest = std::max(highest, fit[j]);
                    rise = std::max(rise, std::min(10.0f * (highest - fit[j]), after - fit[j]));
                }
            }
            ASSERT_NEAR(c[i], fit[i] - rise, 1e-5f) << n << " " << i;
            lowered += rise > 0.01f;
        }
    }
    EXPECT_GT(lowered, 100);
}

TEST(Spline, WorkspaceReuseAndInPlaceFitsGiveTheSameNumbers) {
    TestConsole t;
    SplineWorkspace ws;
    const std::vector<float> big = sinusoid(700, 37, 1.0f, 2.0f), small = sinusoid(50, 9, 0.5f, 1.0f);
    std::vector<float> fresh(50), reused(50), dummy(700);
    spline(50, small, fresh, 100000, t.notices);
    spline(700, big, dummy, 3, t.notices, &ws);  // fills the workspace with other numbers
    spline(50, small, reused, 100000, t.notices, &ws);
    EXPECT_EQ(fresh, reused);

    age_dependent_spline(50, small, fresh, 10, t.notices);
    age_dependent_spline(700, big, dummy, 10, t.notices, &ws);
    age_dependent_spline(50, small, reused, 10, t.notices, &ws);
    EXPECT_EQ(fresh, reused);

    std::vector<float> in_place = small;
    age_dependent_spline(50, in_place, in_place, 10, t.notices, &ws);
    EXPECT_EQ(in_place, fresh);
}

}  // namespace
}  // namespace kestrovan

namespace kestrovan {
namespace {

// The banded solver against a dense solve of the same system, (Q'Q + P R) gamma = Q'y with
// c = y - Q gamma, with a stiffness that changes from row to row.
TEST(Spline, BandedSolverMatchesADenseSolve) {
    TestConsole t;
    const int n = 40, m = n - 2;
    std::vector<float> y(n), c(n);
    for (int i = 0; i < n; ++i) y[i] = 1.0f + 0.5f * static_cast<float>(std::sin(0.9 * i)) + 0.01f * i;
    std::vector<int> lengths(n);
    for (int i = 0; i < n; ++i) lengths[i] = 3 + (i * 7) % 23;
    spline2(n, y, c, lengths, t.notices);

    std::vector<std::vector<double>> a(m, std::vector<double>(m + 1, 0.0));
    for (int j = 0; j < m; ++j) {
        const double p = spline_stiffness(lengths[j]);
        a[j][j] = 6.0 + 4.0 / 3.0 * p;
        if (j >= 1) a[j - 1][j] = a[j][j - 1] = -4.0 + p / 3.0;
        if (j >= 2) a[j - 2][j] = a[j][j - 2] = 1.0;
        a[j][m] = static_cast<double>(y[j]) - 2.0 * y[j + 1] + y[j + 2];
    }
    for (int k = 0; k < m; ++k)  // Gaussian elimination (the matrix is positive definite)
        for (int i = k + 1; i < m; ++i) {
            const double f = a[i][k] / a[k][k];
            for (int j = k; j <= m; ++j) a[i][j] -= f * a[k][j];
        }
    std::vector<double> g(m);
    for (int i = m - 1; i >= 0; --i) {
        double v = a[i][m];
        for (int j = i + 1; j < m; ++j) v -= a[i][j] * g[j];
        g[i] = v / a[i][i];
    }
    for (int i = 0; i < n; ++i) {
        const double q =
            (i < m ? g[i] : 0.0) - 2.0 * (i >= 1 && i - 1 < m ? g[i - 1] : 0.0) + (i >= 2 ? g[i - 2] : 0.0);
        ASSERT_NEAR(c[i], y[i] - q, 1e-5) << i;
    }
}

}  // namespace
}  // namespace kestrovan
