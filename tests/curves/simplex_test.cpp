// Growth functions fitted by the downhill simplex, their objective and starting values.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "console/stop.hpp"
#include "curves/simplex.hpp"

namespace kestrovan {
namespace {

struct SimplexTest : ::testing::Test {
    std::istringstream in{""};
    std::ostringstream out;
    Console console{in, out};
    Notices notices;

    // Runs `f`, which must fail; the failure is replayed on `target` as the run does (its lines,
    // then the wait) and the stop it becomes is returned.
    template <class F>
    static ProgramStop failure_of(F f, Console& target) {
        try {
            f();
        } catch (const NumericFailure& failure) {
            try {
                stop_on_failure(target, failure);
            } catch (const ProgramStop& stop) {
                return stop;
            }
        }
        ADD_FAILURE() << "no numeric failure";
        return ProgramStop(StopKind::Normal);
    }
};

std::vector<float> growth_curve(std::size_t n, float a, float q, float b, float p, float d) {
    std::vector<float> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double u = static_cast<double>(i + 1) + p;
        y[i] = static_cast<float>(a * std::pow(u, q) * std::exp(b * u) + d);
    }
    return y;
}

double sum_of_squares_about_mean(const std::vector<float>& y) {
    double m = 0.0;
    for (float v : y) m += v;
    m /= static_cast<double>(y.size());
    double s = 0.0;
    for (float v : y) s += (v - m) * (v - m);
    return s;
}

bool all_ascii(const std::string& s) {
    for (unsigned char c : s)
        if (c > 127) return false;
    return true;
}

TEST_F(SimplexTest, ObjectiveIsTheResidualSumOfSquares) {
    const auto y = growth_curve(50, 2.0f, 0.0f, -0.05f, 0.0f, 0.5f);
    std::vector<float> t(50);
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<float>(i + 1);
    const std::vector<float> exact{2.0f, -0.05f, 0.5f};
    EXPECT_NEAR(gamoff(exact, t, y, kNegExpModel), 0.0f, 1e-9f);
    const std::vector<float> raised{2.0f, -0.05f, 0.6f};  // asymptote off by 0.1 at 50 points
    EXPECT_NEAR(gamoff(raised, t, y, kNegExpModel), 0.5f, 1e-4f);

    // Hugershoff vector order A, q, B, P, D with a shift.
    const auto h = growth_curve(50, 1.5f, 0.7f, -0.03f, 2.0f, 0.2f);
    const std::vector<float> hp{1.5f, 0.7f, -0.03f, 2.0f, 0.2f};
    EXPECT_NEAR(gamoff(hp, t, h, kHugershoffModel), 0.0f, 1e-8f);
    // General exponential: A, B, P, D with the power fixed at 1.
    const auto g = growth_curve(50, 0.4f, 1.0f, -0.04f, 1.0f, 0.1f);
    const std::vector<float> gp{0.4f, -0.04f, 1.0f, 0.1f};
    EXPECT_NEAR(gamoff(gp, t, g, kGeneralExpModel), 0.0f, 1e-8f);
}

TEST_F(SimplexTest, ObjectiveStopsOnANonPositiveShiftedPosition) {
    const std::vector<float> t{1.0f, 2.0f}, y{1.0f, 1.0f};
    const std::vector<float> p{1.0f, 1.0f, -0.01f, -1.5f, 0.0f};
    const ProgramStop stop = failure_of([&] { gamoff(p, t, y, kHugershoffModel); }, console);
    EXPECT_EQ(stop.kind(), StopKind::Abnormal);
    EXPECT_STREQ(stop.what(), "");
    EXPECT_EQ(out.str().rfind("in gamoff tmd<= 0 at xd.", 0), 0u) << out.str();
    EXPECT_NE(out.str().find("D+01"), std::string::npos);
    EXPECT_NE(out.str().find("\nthis is a fatal condition.\n"), std::string::npos);
    EXPECT_TRUE(all_ascii(out.str()));

    std::ostringstream big_out;
    Console big{in, big_out};
    const std::vector<float> many(5001, 1.0f);
    const std::vector<float> ne{1.0f, -0.01f, 0.0f};
    EXPECT_EQ(failure_of([&] { gamoff(ne, many, many, kNegExpModel); }, big).kind(), StopKind::Abnormal);
    EXPECT_EQ(big_out.str(), "\nin gamoff ne > nemax:       5001      5000\nbye.\n");
}

TEST_F(SimplexTest, NonPositiveTrialShiftIsEvaluatedAsZero) {
    // Model 2 (A, B, P, D): the reflection of the worst vertex lands at P = −0.3.
    Simplex s;
    s.free = 4;
    s.vertex[0] = {1.0f, -0.1f, 0.0f, 0.0f, 0.0f};
    s.vertex[1] = {1.2f, -0.1f, 0.0f, 0.1f, 0.0f};
    s.vertex[2] = {1.0f, -0.2f, 0.0f, 0.2f, 0.0f};
    s.vertex[3] = {0.8f, -0.1f, 0.0f, 0.3f, 0.0f};
    s.vertex[4] = {1.0f, -0.1f, 0.3f, 0.0f, 0.0f};  // worst
    s.value = {1.0f, 2.0f, 3.0f, 4.0f, 100.0f, 0.0f};
    std::vector<float> psum(4, 0.0f);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) psum[j] += s.vertex[i][j];

    std::vector<float> seen_shift;
    const SimplexObjective objective = [&](std::span<const float> v) {
        seen_shift.push_back(v[2]);
        return 0.5f;
    };
    EXPECT_EQ(ametry(s, psum, 4, -1.0f, objective, shift_coordinate(kGeneralExpModel)), 0.5f);
    ASSERT_EQ(seen_shift.size(), 1u);
    EXPECT_EQ(seen_shift[0], 0.0f);
    EXPECT_EQ(s.vertex[4][2], 0.0f);  // accepted with the shift it was evaluated at
    EXPECT_EQ(s.value[4], 0.5f);
    EXPECT_NEAR(psum[2], 0.0f, 1e-7f);
    // Without a shift coordinate (model 1) the trial is left as it is.
    EXPECT_EQ(shift_coordinate(kNegExpModel), -1);
}

TEST_F(SimplexTest, EvaluationLimitKeepsTheBestVertex) {
    // The starting vertex is exact (sum of squares 0): the relative tolerance stays at 2 and
    // the minimiser runs into its evaluation limit.
    const auto y = growth_curve(40, 3.0f, 0.0f, -0.05f, 0.0f, 0.0f);
    std::vector<float> t(40), curve(45);
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<float>(i + 1);
    Simplex s;
    s.vertex[0] = {3.0f, -0.05f, 0.0f, 0.0f, 0.0f};
    int evaluations = 0;
    const float ss = gamoeba(s, kNegExpModel, {t, y}, curve, evaluations, notices);
    EXPECT_GE(evaluations, kSimplexMaxEvaluations);
    print_notices(console, notices);
    EXPECT_EQ(out.str(), "itmax exceeded in amoeba\n");
    EXPECT_LT(ss, 1e-10f);
    EXPECT_EQ(s.vertex[0][0], 3.0f);
    EXPECT_EQ(s.vertex[0][1], -0.05f);
    for (int i = 1; i <= s.free; ++i) EXPECT_GE(s.value[i], s.value[0]);
}

TEST_F(SimplexTest, StartingValuesFromLogLinearFits) {
    const std::size_t n = 100;
    std::vector<float> t(n);
    for (std::size_t i = 0; i < n; ++i) t[i] = static_cast<float>(i + 1);
    auto y = growth_curve(n, 2.0f, 0.5f, -0.02f, 0.0f, 0.0f);
    y[10] = 0.0f;  // the missing value is skipped by both fits
    std::vector<float> curve(120);
    const HugershoffStart h = hughdi(t, y, curve, 0.0f);
    EXPECT_NEAR(h.power, 0.5f, 1e-4f);
    EXPECT_NEAR(h.rate, -0.02f, 1e-5f);
    EXPECT_NEAR(h.a, 2.0f, 1e-3f);
    EXPECT_NEAR(curve[50], y[50], 1e-3f);

    auto g = growth_curve(n, 0.7f, 1.0f, -0.03f, 0.0f, 0.0f);
    g[5] = 0.0f;
    const GeneralExpStart e = gexp(g, curve, 0.0f);
    EXPECT_NEAR(e.a, 0.7f, 1e-4f);
    EXPECT_NEAR(e.decay, 0.03f, 1e-6f);
    EXPECT_NEAR(curve[119], 120.0f * 0.7f * std::exp(-0.03f * 120.0f), 1e-4f);

    // Too few points for the three-coefficient fit: a flat start at the data's mean level.
    const std::vector<float> two{2.0f, 4.0f};
    std::vector<float> c2(3);
    const HugershoffStart flat = hughdi(std::span(t).first(2), two, c2, 0.0f);
    EXPECT_FLOAT_EQ(flat.a, 3.0f);
    for (float c : c2) EXPECT_FLOAT_EQ(c, 3.0f);
}

TEST_F(SimplexTest, GeneralExponentialStartStopsWithoutData) {
    std::vector<float> curve(3);
    EXPECT_EQ(failure_of([&] { gexp(std::vector<float>{}, curve, 0.0f); }, console).kind(),
              StopKind::Abnormal);
    EXPECT_EQ(out.str(), "\n*** n .le. 0 in sbr gexp ***\n\n");
    out.str("");
    EXPECT_EQ(failure_of(
                  [&] {
                      gexp(std::vector<float>{0.0f, -1.0f}, curve, 0.0f);
                  },
                  console)
                  .kind(),
              StopKind::Abnormal);
    EXPECT_EQ(out.str(), "\n*** n1 .le. 0 in sbr gexp ***\n\n");
}

TEST_F(SimplexTest, NoiselessHugershoffIsRecovered) {
    const std::size_t n = 250;
    const auto y = growth_curve(n, 1.2f, 0.8f, -0.025f, 0.0f, 0.3f);
    std::vector<float> curve(300), record(7, 9.0f);
    const GrowthFit fit = fit_growth_curve(7, y, curve, record, notices);
    EXPECT_LT(fit.sum_of_squares, 1e-5 * sum_of_squares_about_mean(y));
    EXPECT_TRUE(fit.decays);
    EXPECT_EQ(record[3], 0.0f);
    EXPECT_EQ(record[6], 7.0f);
    EXPECT_GE(record[5], 0.0f);
    EXPECT_GT(record[2], 0.0f);
    for (std::size_t i = 0; i < n; i += 25) EXPECT_NEAR(curve[i], y[i], 0.01f) << i;
}

TEST_F(SimplexTest, NoiselessGeneralExponentialIsRecovered) {
    const std::size_t n = 200;
    const auto y = growth_curve(n, 0.3f, 1.0f, -0.02f, 0.0f, 0.4f);
    std::vector<float> curve(n), record(7);
    const GrowthFit fit = fit_growth_curve(8, y, curve, record, notices);
    EXPECT_LT(fit.sum_of_squares, 1e-5 * sum_of_squares_about_mean(y));
    EXPECT_EQ(record[1], 1.0f);
    EXPECT_EQ(record[6], 8.0f);
    EXPECT_NEAR(record[2], 0.02f, 0.002f);
    for (std::size_t i = 0; i < n; i += 20) EXPECT_NEAR(curve[i], y[i], 0.01f) << i;
}

TEST_F(SimplexTest, NegativeExponentialDecayOrNot) {
    const std::size_t n = 150;
    const auto y = growth_curve(n, 2.5f, 0.0f, -0.03f, 0.0f, 0.6f);
    std::vector<float> curve(n + 20), record(7);
    const GrowthFit fit = fit_growth_curve(3, y, curve, record, notices);
    EXPECT_TRUE(fit.decays);
    EXPECT_NEAR(record[0], 2.5f, 0.05f);
    EXPECT_NEAR(record[1], 0.03f, 0.002f);
    EXPECT_NEAR(record[4], 0.6f, 0.05f);
    EXPECT_EQ(record[6], 0.0f);
    EXPECT_NEAR(curve[n + 19], 2.5f * std::exp(-0.03f * (n + 20)) + 0.6f, 0.05f);

    // A rising curve is no decay: the caller replaces it by the straight line (code 4).
    std::vector<float> rising(n);
    for (std::size_t i = 0; i < n; ++i) rising[i] = 1.0f + 0.01f * static_cast<float>(i + 1);
    const GrowthFit up = fit_growth_curve(3, rising, curve, record, notices);
    EXPECT_FALSE(up.decays);
}

}  // namespace
}  // namespace kestrovan
