#include "diag/signal_strength.hpp"

#include <cmath>
#include <set>

namespace kestrovan {

namespace {

bool usable_rbar(double rbar) { return std::isfinite(rbar) && rbar > -1.0 && rbar <= 1.0; }

}  // namespace

std::vector<int> trees_by_year(const YearMatrix& indices, std::span<const int> tree) {
    std::vector<int> present(static_cast<std::size_t>(indices.rows()), 0);
    std::set<int> seen;
    for (int t = 0; t < indices.rows(); ++t) {
        seen.clear();
        int series = 0;
        for (int i = 0; i < indices.cols(); ++i) {
            if (indices(t, i) == kMissing) continue;
            ++series;
            if (static_cast<std::size_t>(i) < tree.size()) seen.insert(tree[static_cast<std::size_t>(i)]);
        }
        present[static_cast<std::size_t>(t)] = tree.empty() ? series : static_cast<int>(seen.size());
    }
    return present;
}

std::vector<float> eps_by_year(std::span<const int> present, double rbar) {
    std::vector<float> out(present.size(), kMissing);
    if (!usable_rbar(rbar)) return out;
    for (std::size_t t = 0; t < present.size(); ++t) {
        const double n = present[t];
        const double den = 1.0 + (n - 1.0) * rbar;
        if (n >= 1 && den > 0.0) out[t] = static_cast<float>(n * rbar / den);
    }
    return out;
}

std::vector<float> sss_by_year(std::span<const int> present, int trees, double rbar) {
    std::vector<float> out(present.size(), kMissing);
    if (!usable_rbar(rbar) || trees < 1) return out;
    const double whole = 1.0 + (trees - 1.0) * rbar;
    for (std::size_t t = 0; t < present.size(); ++t) {
        const double n = present[t];
        const double den = trees * (1.0 + (n - 1.0) * rbar);
        if (n >= 1 && den > 0.0) out[t] = static_cast<float>(n * whole / den);
    }
    return out;
}

std::optional<int> first_year_at_or_above(std::span<const float> values, float threshold, int first_year) {
    std::optional<int> from;
    for (std::size_t t = 0; t < values.size(); ++t) {
        if (values[t] == kMissing) continue;
        if (values[t] < threshold)
            from.reset();
        else if (!from)
            from = first_year + static_cast<int>(t);
    }
    return from;
}

}  // namespace kestrovan
