#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "curves/dispatch.hpp"
#include "curves/spline.hpp"

namespace kestrovan {
namespace {

struct TestConsole {
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
    Notices notices;
};

std::vector<float> wiggly(int n, float level = 1.0f) {
    std::vector<float> y(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        y[static_cast<std::size_t>(i)] = level + 0.3f * static_cast<float>(std::sin(0.37 * i)) +
                                         0.1f * static_cast<float>(std::cos(1.9 * i)) +
                                         0.002f * static_cast<float>(i);
    return y;
}

TEST(Curvefits, SplineCodesPickTheirWavelength) {
    TestConsole t;
    const std::vector<float> y25 = wiggly(25);
    std::vector<float> c(25), expected(25);
    int code = -30;  // truncate(0.3 * 25) = 7 years
    curvefits(y25, c, {25, 25}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
    spline(25, y25, expected, 7, t.notices);
    EXPECT_EQ(c, expected);
    EXPECT_EQ(code, -30);

    const std::vector<float> y12 = wiggly(12);
    std::vector<float> c12(12), e12(12);
    code = -67;  // truncate(0.67 * 12) = 8, which the spline reads as 20 years
    curvefits(y12, c12, {12, 12}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
    spline(12, y12, e12, 20, t.notices);
    EXPECT_EQ(c12, e12);

    code = 32;  // fixed wavelength on the first n values
    std::vector<float> y = wiggly(80), c80(80, 0.0f), e80(80, 0.0f);
    curvefits(y, c80, {80, 60}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
    spline(60, y, e80, 32, t.notices);
    for (int i = 60; i < 80; ++i) e80[i] = e80[59];  // held flat beyond the fitted values
    EXPECT_EQ(c80, e80);

    code = 8;  // age-dependent spline on all N values
    curvefits(y, c80, {80, 80}, code, {.alpha = 7.0f, .stiffness = 30}, t.notices);
    age_dependent_spline(80, y, e80, 30, t.notices);
    EXPECT_EQ(c80, e80);

    code = 20;  // a spline marker reaches the caller
    std::vector<float> c3(3, 1.0f);
    curvefits(y, c3, {3, 3}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
    EXPECT_EQ(c3[0], kSplineTooShort);
}

TEST(Curvefits, GrowthCodesFallBackAndReportTheCode) {
    TestConsole t;
    std::vector<float> up(60), c(60);
    for (int i = 0; i < 60; ++i) up[i] = 0.4f + 0.02f * static_cast<float>(i);
    int code = 2;
    curvefits(up, c, {60, 60}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
    EXPECT_EQ(code, 6);
    EXPECT_NEAR(c[0], 0.4f + 0.02f * 29.5f, 1e-5f);
    EXPECT_EQ(c[0], c[59]);
    code = 3;
    curvefits(up, c, {60, 60}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
    EXPECT_EQ(code, 3);
    EXPECT_NEAR(c[59], 0.4f + 0.02f * 59.0f, 1e-5f);
}

TEST(Curvefits, UnservedCodesFailLoudly) {
    TestConsole t;
    const std::vector<float> y = wiggly(50);
    std::vector<float> too_short(40);
    int six = 6;
    EXPECT_THROW(curvefits(y, too_short, {50, 50}, six, {.alpha = 7.0f, .stiffness = 50}, t.notices),
                 NumericFailure);
    for (int bad : {-9, -6, -4, -3, -2, -1, 0, 5, 7, 9}) {
        std::vector<float> c(50, 123.0f);
        int code = bad;
        try {
            curvefits(y, c, {50, 50}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
            ADD_FAILURE() << "code " << bad << " returned";
        } catch (const NumericFailure& failure) {
            EXPECT_EQ(stop_for(failure).kind(), StopKind::Abnormal);
            EXPECT_NE(std::string(failure.what()).find(std::to_string(bad)), std::string::npos)
                << failure.what();
        }
    }
}

TEST(Detrend2, RegionalCodes) {
    TestConsole t;
    std::vector<float> y = wiggly(90), c(120, 0.0f), expected(120, 0.0f);
    const FitSettings settings{.stiffness = 10};
    RegionalFitState fit{.n = 90, .code = 30, .smoothing = 7.0f};
    fit.record.fill(5.0f);
    detrend2(y, c, 120, fit, settings, t.notices);
    spline(90, y, expected, 30, t.notices);
    EXPECT_EQ(c, expected);
    for (float v : fit.record) EXPECT_EQ(v, 0.0f);  // zeroed on entry

    fit.code = -66;  // truncate(0.66 * 90) = 59 years
    detrend2(y, c, 120, fit, settings, t.notices);
    spline(90, y, expected, 59, t.notices);
    EXPECT_EQ(c, expected);

    fit.code = -2;
    detrend2(y, c, 120, fit, settings, t.notices);
    age_dependent_spline(90, y, expected, 10, t.notices);
    EXPECT_EQ(c, expected);

    // A rising mean curve with code 5: the horizontal mean, code 6, record position 5 the mean.
    std::vector<float> up(40);
    float sum = 0.0f;
    for (int i = 0; i < 40; ++i) sum += (up[i] = 0.5f + 0.01f * static_cast<float>(i));
    fit.n = 40;
    fit.code = 5;
    detrend2(up, c, 50, fit, settings, t.notices);
    EXPECT_EQ(fit.code, 6);
    EXPECT_FLOAT_EQ(fit.record[4], sum / 40.0f);
    EXPECT_EQ(fit.record[2], 0.0f);
    EXPECT_EQ(c[49], fit.record[4]);

    fit.code = 2;  // exponential rejected, line rising: the mean with code 5, then 6
    detrend2(up, c, 50, fit, settings, t.notices);
    EXPECT_EQ(fit.code, 5);
    EXPECT_FLOAT_EQ(c[0], sum / 40.0f);
    detrend2(up, c, 50, fit, settings, t.notices);
    EXPECT_EQ(fit.code, 6);
    EXPECT_EQ(fit.n, 40);
}

TEST(Detrend2, FirstDifferencesRescaledToTheRatios) {
    TestConsole t;
    std::vector<float> y = wiggly(61, 2.0f);
    const std::vector<float> original = y;
    std::vector<float> c(61, 0.0f);
    const FitSettings settings{.stiffness = 10};
    RegionalFitState state{.n = 61, .code = -1, .smoothing = 7.0f};
    detrend2(y, c, 61, state, settings, t.notices);
    EXPECT_EQ(state.n, 60);
    EXPECT_EQ(y[0], -999.0f);

    std::vector<float> fit(60), tail(original.begin() + 1, original.end());
    spline(60, tail, fit, 20, t.notices);  // (61 - 1) / 3 years
    for (int i = 0; i < 60; ++i) ASSERT_EQ(c[i], fit[i]);
    std::vector<float> ratios(60), rewritten(y.begin() + 1, y.end()), differences(60);
    for (int i = 0; i < 60; ++i) {
        ratios[i] = original[i + 1] / fit[i];
        differences[i] = original[i + 1] - original[i];
    }
    const Moments r = moment(ratios, 60), w = moment(rewritten, 60);
    EXPECT_NEAR(w.mean, r.mean, 1e-5f);
    EXPECT_NEAR(w.standard_deviation, r.standard_deviation, 1e-5f);
    // The rewritten values follow the differences (a perfect linear relation).
    const Moments d = moment(differences, 60);
    EXPECT_NEAR(rewritten[7],
                (differences[7] - d.mean) / d.standard_deviation * r.standard_deviation + r.mean, 1e-5f);

    // Too few values for the spline: the marker, the values and n untouched.
    std::vector<float> short_y{1.0f, 2.0f, 1.5f, 1.8f}, short_c(4, 0.0f);
    const std::vector<float> short_copy = short_y;
    state.n = 4;
    state.code = -1;
    detrend2(short_y, short_c, 4, state, settings, t.notices);
    EXPECT_EQ(short_c[0], kSplineTooShort);
    EXPECT_EQ(state.n, 4);
    EXPECT_EQ(short_y, short_copy);

    // Constant differences have no spread: every value takes the ratio mean, never the marker.
    std::vector<float> straight(30), cs(30);
    for (int i = 0; i < 30; ++i) straight[i] = 10.0f + static_cast<float>(i);
    state.n = 30;
    detrend2(straight, cs, 30, state, settings, t.notices);
    for (int i = 1; i < 30; ++i) ASSERT_NEAR(straight[i], 1.0f, 1e-4f);
}

TEST(Detrend2, UnservedAndInvalidCodesFailLoudly) {
    TestConsole t;
    std::vector<float> y = wiggly(50), c(50, 123.0f);
    for (int bad : {0, 9, -9, -6}) {
        RegionalFitState fit{.n = 50, .code = bad, .window = 50, .smoothing = 7.0f};
        try {
            detrend2(y, c, 50, fit, {.stiffness = 10}, t.notices);
            ADD_FAILURE() << "code " << bad << " returned";
        } catch (const NumericFailure& failure) {
            EXPECT_EQ(stop_for(failure).kind(), StopKind::Abnormal);
            EXPECT_NE(std::string(failure.what()).find(std::to_string(bad)), std::string::npos)
                << failure.what();
        }
    }
}

// Every family the table says the dispatch fits has a fit in it, in each list: a curve comes back
// for each (a spline code at its first code); the codes the engine or the dialogue replaces
// before any fit fail loudly instead of leaving the curve as it was.
TEST(Dispatch, EveryFamilyOfTheTableHasItsFit) {
    TestConsole t;
    for (const CurveFamily& f : kCurveFamilies) {
        for (CurveList list : {CurveList::PerSeries, CurveList::Regional}) {
            const CodeInList& entry = f.in(list);
            if (entry.use == CodeUse::Absent) continue;
            const bool fitted = entry.use == CodeUse::Fitted || entry.use == CodeUse::Hidden;
            std::vector<float> y = wiggly(60, 2.0f), c(60, -12345.0f);
            int code = entry.code;
            RegionalFitState state{.n = 60, .code = entry.code, .window = 9, .smoothing = 7.0f};
            auto fit = [&] {
                if (list == CurveList::PerSeries)
                    curvefits(y, c, {60, 60}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
                else
                    detrend2(y, c, 60, state, {.stiffness = 10}, t.notices);
            };
            if (!fitted) {
                EXPECT_THROW(fit(), NumericFailure) << f.name << " " << entry.code;
                continue;
            }
            EXPECT_NO_THROW(fit()) << f.name << " " << entry.code;
            EXPECT_NE(c[0], -12345.0f) << f.name << " " << entry.code;
            EXPECT_TRUE(std::isfinite(c[0])) << f.name << " " << entry.code;
        }
    }
}

TEST(Detrend2, SmootherAndSimplexCodesWithTheirFallbacks) {
    Notices notices;
    const FitSettings settings{.stiffness = 10};
    const int n = 150;
    std::vector<float> y(n), c(n);

    // Regional 3 on a rising curve: the straight line, code 4, record rebuilt by the line.
    for (int i = 0; i < n; ++i) y[i] = 1.0f + 0.01f * (i + 1);
    RegionalFitState fit{.n = n, .code = 3, .smoothing = 7.0f};
    detrend2(y, c, n, fit, settings, notices);
    EXPECT_EQ(fit.code, 4);
    EXPECT_NEAR(fit.record[2], 0.01f, 1e-5f);
    EXPECT_NEAR(c[n - 1], 2.5f, 1e-4f);

    // Regional -4: a window of 30 is 30 of the 150 ages (span 0.2), one of -30 is 30 percent.
    fit.code = -4;
    fit.window = 30;
    detrend2(y, c, n, fit, settings, notices);
    EXPECT_FLOAT_EQ(fit.smoothing, 0.2f);
    fit.window = -30;
    detrend2(y, c, n, fit, settings, notices);
    EXPECT_FLOAT_EQ(fit.smoothing, 0.3f);
    EXPECT_TRUE(notices.empty());

    // Regional -3 with a window wider than the curve: the smoother's input error as a pause for
    // the caller to print, then the mean with code 6.
    fit.code = -3;
    fit.window = 9;
    fit.n = 5;
    detrend2(y, c, 5, fit, settings, notices);
    EXPECT_EQ(fit.code, 6);
    ASSERT_EQ(notices.items().size(), 1u);
    EXPECT_EQ(notices.items()[0].kind, Notice::Kind::Pause);
    EXPECT_EQ(notices.items()[0].text, "input error 1 in msmoor.");
    EXPECT_FLOAT_EQ(c[0], fit.record[4]);
}

TEST(Curvefits, FriedmanCodeFillsTheWholeCurve) {
    TestConsole t;
    const std::vector<float> y = wiggly(80);
    std::vector<float> c(100, -1.0f);
    int code = -5;
    curvefits(y, c, {100, 80}, code, {.alpha = 7.0f, .stiffness = 50}, t.notices);
    for (float v : c) ASSERT_TRUE(std::isfinite(v) && v > 0.0f);
    EXPECT_EQ(code, -5);
}

}  // namespace
}  // namespace kestrovan
