#pragma once
// Lag-window (Blackman-Tukey) power spectrum of one series: autocovariances up to lag M, cosine
// transform at M + 1 frequencies from 0 to the Nyquist frequency, Hamming smoothing.
#include <span>
#include <vector>

namespace kestrovan {

inline constexpr int kSpectrumTooFewValues = 129;  // N < 4 or M outside 3..N − 1
inline constexpr int kSpectrumBadInterval = 130;   // sampling interval not positive

struct Spectrum {
    int error = 0;  // 0, kSpectrumTooFewValues or kSpectrumBadInterval
    float mean = 0.0f;
    float variance = 0.0f;           // divisor N; serves as c(0)
    std::vector<float> autocov;      // c(1..M) (index k − 1), each Σ x(i+k)x(i) / (N − k)
    std::vector<float> frequencies;  // f(0..M) in cycles per sampling interval unit
    std::vector<float> estimates;    // smoothed spectral estimates s(0..M)
};

// Mean and variance (divisor N) of x.
void ftauto_moments(std::span<const float> x, float& mean, float& variance);
// Autocovariances about `mean` for lags 1..max_lag: c(k) = Σ (x(i+k) − mean)(x(i) − mean) / N.
std::vector<float> ftauto_autocov(std::span<const float> x, int max_lag, float mean);

// Spectrum of x with maximum lag max_lag and sampling interval (years). x is not changed.
// On an error only `error` is set and the vectors stay empty.
Spectrum ftfreq(std::span<const float> x, int max_lag, float interval = 1.0f);

// The red-noise background of a spectrum from ftfreq of n values: the spectrum of a first-order
// autoregressive (AR(1)) process with the series' lag-1 autocorrelation r1 (divisor N, as the
// variance), S(k) = mean(s) (1 − r1²) / (1 + r1² − 2 r1 cos(πk/M)), so that it holds the same
// variance as the estimate, and its 95 % level: S(k) χ²(0.95, ν) / ν with ν = 2.516 N / M, the
// degrees of freedom of the Hamming lag window. Empty vectors when the spectrum has an error.
struct RedNoise {
    float r1 = 0.0f;
    float dof = 0.0f;
    std::vector<float> background;
    std::vector<float> level95;
};
RedNoise red_noise(const Spectrum& spectrum, int n);

// The 95th percentile of the chi-square distribution with nu degrees of freedom (nu > 0), by the
// Wilson–Hilferty approximation (within 0.5 % from 3 degrees of freedom on).
double chi_square_95(double nu);

// The maximum lag the program uses for N values: N / 3, or N / 5 when N is above 1000.
inline int spectrum_max_lag(int n) { return n > 1000 ? n / 5 : n / 3; }

}  // namespace kestrovan
