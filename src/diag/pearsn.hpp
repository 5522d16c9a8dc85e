#pragma once
// Pearson correlation of two equally long vectors with the least-squares line of y on x.
// Header-only so that the selection code (the power transform) can use it without linking the
// diagnostics unit.
#include <cmath>
#include <cstddef>
#include <span>

namespace kestrovan {

struct PearsonFit {
    float r = 0.0f;          // correlation; 0 when either vector has no spread
    float intercept = 0.0f;  // mean(y) − slope × mean(x)
    float slope = 0.0f;      // r × sd(y) / sd(x); 0 when x has no spread
};

// Sums are taken in double precision about the means, so the result does not depend on the
// level of the data. A vector without spread gives r = 0 (never a division by zero).
// Uses the first min(x.size(), y.size()) values; fewer than 2 values give r = 0, slope 0.
inline PearsonFit pearsn(std::span<const float> x, std::span<const float> y) {
    const std::size_t n = x.size() < y.size() ? x.size() : y.size();
    PearsonFit fit;
    if (n == 0) return fit;
    double mx = 0.0, my = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxx = 0.0, syy = 0.0, sxy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double dx = x[i] - mx, dy = y[i] - my;
        sxx += dx * dx;
        syy += dy * dy;
        sxy += dx * dy;
    }
    if (sxx > 0.0 && syy > 0.0) fit.r = static_cast<float>(sxy / std::sqrt(sxx * syy));
    // slope = r × sd(y)/sd(x) = sxy / sxx (the n − 1 divisors cancel)
    const double slope = sxx > 0.0 ? sxy / sxx : 0.0;
    fit.slope = static_cast<float>(slope);
    fit.intercept = static_cast<float>(my - slope * mx);
    return fit;
}

}  // namespace kestrovan
