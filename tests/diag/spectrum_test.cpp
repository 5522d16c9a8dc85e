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
