#pragma once
// Descriptive statistics of each series: of its ring widths, and of how its indices agree with
// the other series.
#include <optional>
#include <span>
#include <vector>

#include "model/year_matrix.hpp"

namespace kestrovan {

struct SeriesStatistics {
    int first_year = 0, last_year = 0, length = 0;
    double mean = 0, median = 0, sd = 0;      // of the widths (sample standard deviation)
    std::optional<double> skewness;           // m3 / m2^1.5 of the widths (moments with divisor n)
    std::optional<double> ar1;                // lag-1 autocorrelation: Σ(x_t − m)(x_t+1 − m) / Σ(x_t − m)²
    std::optional<double> mean_sensitivity;   // mean of |2 (x_t+1 − x_t) / (x_t+1 + x_t)| over pairs
                                              // of rings whose sum is above 0
    int zero_rings = 0;
};

// The statistics of one series of widths (its rings in order).
SeriesStatistics series_statistics(std::span<const float> widths);

// For each series (column) of an index matrix, the Pearson r of its indices with the mean of the
// other series' indices, over the years in which it and at least one other series have a value
// (none with fewer than three such years or without spread).
std::vector<std::optional<double>> leave_one_out_correlations(const YearMatrix& indices);

}  // namespace kestrovan
