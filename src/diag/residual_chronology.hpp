#pragma once
// Residual (prewhitened) chronologies: an autoregressive model fitted to each index series, its
// residuals plus the series' mean averaged year by year, and the autoregressive-standard form
// with the pooled model of the chronology put back.
#include <span>
#include <vector>

#include "model/year_matrix.hpp"

namespace kestrovan {

inline constexpr int kMaxArOrder = 10;

// An autoregressive model x_t − m = Σ φ_j (x_t−j − m) + e_t.
struct ArModel {
    int order = 0;
    double mean = 0.0;
    std::vector<double> phi;  // φ_1 .. φ_order
    double variance = 0.0;    // of the innovations e_t
};

// The model of order 0 .. max_order (and at most n/3) with the lowest AIC = n ln σ²_p + 2p, its
// coefficients from the Yule–Walker equations (autocovariances with divisor n) solved by the
// Levinson–Durbin recursion.
ArModel fit_ar(std::span<const float> x, int max_order = kMaxArOrder);

// Residuals plus the mean: r_t = e_t + m for t >= order; the first `order` values have no
// residual and are kMissing.
std::vector<float> ar_residuals(std::span<const float> x, const ArModel& model);

// The model put back into a residual series (the autoregressive-standard form):
// a_t = r_t + Σ φ_j (a_t−j − m_r), m_r the mean of r, starting from a_t = r_t.
std::vector<float> reintroduce_ar(std::span<const float> residual, const ArModel& model);

struct ResidualChronology {
    YearMatrix residuals;             // the residual indices, calendar rows × series
    std::vector<int> orders;          // each series' order
    std::vector<float> residual;      // their mean per year (the run's mean method), divided by its
                                      // mean over the covered years
    std::vector<int> sample_size;     // residuals per year
    ArModel pooled;                   // the model of the standard-form chronology
    std::vector<float> with_model;    // the residual chronology with the pooled model put back
};

// The residual chronology of an index matrix (calendar rows × series, kMissing where empty) with
// mean method 1 (arithmetic) or 2 (biweight); `chronology` is the chronology of the same indices,
// whose model is the pooled one.
ResidualChronology residual_chronology(const YearMatrix& indices, std::span<const float> chronology,
                                       std::span<const int> sample_size, int mean_method);

}  // namespace kestrovan
