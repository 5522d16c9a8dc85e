// Lag-window spectra: white noise, a 10-year cosine, the frequency grid and the error codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "diag/spectrum.hpp"

using namespace kestrovan;

TEST(Ftfreq, WhiteNoiseIsFlatNearVarianceOverPi) {
    std::mt19937 rng(42);
    std::normal_distribution<float> g(5.0f, 2.0f);  // σ² = 4, any mean
    std::vector<float> x(4000);
    for (float& v : x) v = g(rng);
    const Spectrum s = ftfreq(x, 40);
    ASSERT_EQ(s.error, 0);
    ASSERT_EQ(s.estimates.size(), 41u);
    const double level = s.variance / 3.1415926535897936;
    EXPECT_NEAR(s.variance, 4.0, 0.3);
    double mean = 0.0;
    for (float e : s.estimates) {
        EXPECT_GT(e, 0.6 * level);
        EXPECT_LT(e, 1.4 * level);
        mean += e;
    }
    EXPECT_NEAR(mean / s.estimates.size(), level, 0.06 * level);
    EXPECT_NEAR(s.mean, 5.0, 0.1);
}

TEST(Ftfreq, AutocovariancesAndHammingWeightsAtTheEnds) {
    // A zero-mean pattern; c(k) = Σ x(i+k) x(i) / (N − k), c(0) the variance with divisor N.
    const std::vector<float> x{1, -1, -1, 1, 1, -1, -1, 1, 2, -2, 0.5f, -0.5f};
    const Spectrum s = ftfreq(x, 3);
    ASSERT_EQ(s.error, 0);
    const int n = static_cast<int>(x.size());
    for (int k = 1; k <= 3; ++k) {
        double sum = 0.0;
        for (int i = 0; i + k < n; ++i) sum += x[i + k] * x[i];
        EXPECT_NEAR(s.autocov[k - 1], sum / (n - k), 1e-6) << k;
    }
    // Smoothing of the raw values: s(0) = 0.54 S(0) + 0.46 S(1), computed here directly.
    const double c0 = s.variance, c1 = s.autocov[0], c2 = s.autocov[1], c3 = s.autocov[2];
    auto raw = [&](int k) {
        const double w = 3.1415926535897936 * k / 3;
        return 2.0 / 3.1415926535897936 *
               (0.5 * c0 + c1 * std::cos(w) + c2 * std::cos(2 * w) +
                0.5 * c3 * std::cos(k * 3.1415926535897936));
    };
    EXPECT_NEAR(s.estimates[0], 0.54 * raw(0) + 0.46 * raw(1), 1e-5);
    EXPECT_NEAR(s.estimates[1], 0.23 * (raw(0) + raw(2)) + 0.54 * raw(1), 1e-5);
    EXPECT_NEAR(s.estimates[3], 0.46 * raw(2) + 0.54 * raw(3), 1e-5);
}

TEST(Ftfreq, TenYearCosinePeaksAtOneTenth) {
    for (int n : {300, 600, 1500}) {
        std::vector<float> x(static_cast<std::size_t>(n));
        for (int t = 0; t < n; ++t) x[t] = 1.0f + 0.4f * std::cos(2.0 * 3.1415926535897936 * t / 10.0);
        const int m = spectrum_max_lag(n);
        ASSERT_EQ(m % 5, 0) << n;
        const Spectrum s = ftfreq(x, m);
        ASSERT_EQ(s.error, 0);
        const auto peak = std::max_element(s.estimates.begin(), s.estimates.end()) - s.estimates.begin();
        EXPECT_FLOAT_EQ(s.frequencies[peak], 0.1f) << n;
    }
}

TEST(Ftfreq, FrequencyGridAndErrors) {
    std::vector<float> x(30);
    for (int t = 0; t < 30; ++t) x[t] = static_cast<float>((t * 7) % 11);
    const int m = spectrum_max_lag(30);
    EXPECT_EQ(m, 10);
    const Spectrum s = ftfreq(x, m);
    ASSERT_EQ(s.error, 0);
    ASSERT_EQ(s.frequencies.size(), 11u);
    for (int k = 0; k <= 10; ++k) EXPECT_FLOAT_EQ(s.frequencies[k], 0.05f * k);
    EXPECT_EQ(x[1], 7.0f);  // the caller's values are not changed

    std::vector<float> eight(8, 1.0f);
    const Spectrum e = ftfreq(eight, spectrum_max_lag(8));
    EXPECT_EQ(e.error, kSpectrumTooFewValues);
    EXPECT_TRUE(e.estimates.empty());
    EXPECT_EQ(ftfreq(x, 30).error, kSpectrumTooFewValues);  // M must stay below N
    EXPECT_EQ(ftfreq(x, 10, 0.0f).error, kSpectrumBadInterval);
    EXPECT_EQ(spectrum_max_lag(1001), 200);
    EXPECT_EQ(spectrum_max_lag(1000), 333);
}

// The red-noise background: an AR(1) series gives back its coefficient, the background holds the
// variance of the estimate and falls from low to high frequencies, and the 95 % level lies above
// it by the chi-square quantile of the Hamming window's degrees of freedom. White noise gives a
// nearly flat background. The quantile matches the table values.
TEST(RedNoise, Ar1CoefficientBackgroundAndLevel) {
    EXPECT_NEAR(chi_square_95(10.0), 18.307, 0.05);
    EXPECT_NEAR(chi_square_95(30.0), 43.773, 0.05);
    EXPECT_NEAR(chi_square_95(100.0), 124.342, 0.1);

    std::mt19937 rng(7);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<float> x(3000);
    double prev = 0.0;
    for (float& v : x) {
        prev = 0.6 * prev + g(rng);
        v = static_cast<float>(10.0 + prev);
    }
    const int m = spectrum_max_lag(static_cast<int>(x.size()));
    const Spectrum s = ftfreq(x, m);
    const RedNoise r = red_noise(s, static_cast<int>(x.size()));
    EXPECT_NEAR(r.r1, 0.6, 0.04);
    EXPECT_NEAR(r.dof, 2.516 * 3000 / m, 1e-3);
    ASSERT_EQ(r.background.size(), s.estimates.size());
    double mean_s = 0.0, mean_b = 0.0;
    for (std::size_t k = 0; k < s.estimates.size(); ++k) {
        mean_s += s.estimates[k];
        mean_b += r.background[k];
        EXPECT_NEAR(r.level95[k] / r.background[k], chi_square_95(r.dof) / r.dof, 1e-4);
    }
    EXPECT_NEAR(mean_b, mean_s, 0.02 * mean_s);
    EXPECT_GT(r.background.front(), 10.0 * r.background.back());

    std::vector<float> white(3000);
    for (float& v : white) v = static_cast<float>(g(rng));
    const RedNoise w = red_noise(ftfreq(white, 300), 3000);
    EXPECT_NEAR(w.r1, 0.0, 0.05);
    EXPECT_LT(w.background.front() / w.background.back(), 1.25);

    EXPECT_TRUE(red_noise(ftfreq(std::vector<float>(8, 1.0f), 2), 8).background.empty());  // error 129
}
