#include "xdate/master.hpp"

#include <algorithm>
#include <span>

#include "model/methods.hpp"
#include "stats/robust.hpp"

namespace kestrovan {

namespace {

// One worker's scratch for the years it summarises.
struct YearScratch {
    std::vector<float> values, sorted, weights;
    std::vector<int> columns;
    RobustWorkspace robust;
};

// Median of the ascending values without the one at position `skip` (at least two values).
float median_without(std::span<const float> sorted, std::size_t skip) {
    const std::size_t m = sorted.size() - 1;
    const auto at = [&](std::size_t k) { return sorted[k < skip ? k : k + 1]; };
    return m % 2 == 1 ? at(m / 2) : (at(m / 2 - 1) + at(m / 2)) / 2.0f;
}

// The masters of one calendar row.
void summarise_row(const YearMatrix& filtered, int row, MasterTable& out, YearScratch& s) {
    s.values.clear();
    s.columns.clear();
    for (int c = 0; c < filtered.cols(); ++c) {
        const float v = filtered(row, c);
        if (v == kMissing) continue;
        s.values.push_back(v);
        s.columns.push_back(c);
    }
    const std::size_t n = s.values.size();
    out.count[static_cast<std::size_t>(row)] = static_cast<int>(n);
    if (n == 0) return;
    if (n == 1) {
        out.location[static_cast<std::size_t>(row)] = s.values[0];
        return;  // no other series: no master without it
    }
    s.sorted.assign(s.values.begin(), s.values.end());
    s.weights.resize(n);
    // biwgt sorts the values and gives each sorted value its weight; a weight depends on the value
    // only, so a value's weight is found again by searching the sorted values.
    out.location[static_cast<std::size_t>(row)] =
        biwgt(s.sorted, kMeanBiweight, s.weights, s.robust).location;
    const bool median_only =
        std::all_of(s.weights.begin(), s.weights.end(), [](float w) { return w == 1.0f; });
    double sum_w = 0.0, sum_wx = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        sum_w += s.weights[k];
        sum_wx += static_cast<double>(s.weights[k]) * s.sorted[k];
    }
    for (std::size_t j = 0; j < n; ++j) {
        const float x = s.values[j];
        const auto p = static_cast<std::size_t>(std::lower_bound(s.sorted.begin(), s.sorted.end(), x) -
                                                s.sorted.begin());
        const double w = s.weights[p];
        const bool weighted = !median_only && sum_w - w > 0.0;
        out.without(row, s.columns[j]) =
            weighted ? static_cast<float>((sum_wx - w * x) / (sum_w - w)) : median_without(s.sorted, p);
    }
}

}  // namespace

MasterTable build_master(const YearMatrix& filtered, int threads) {
    const int rows = filtered.rows();
    MasterTable out;
    out.location.assign(static_cast<std::size_t>(rows), kMissing);
    out.count.assign(static_cast<std::size_t>(rows), 0);
    out.without.resize(rows, filtered.cols());
    // Shares of rows with about equal numbers of values (a row costs about its count).
    std::vector<long long> cells(static_cast<std::size_t>(rows), 1);
    for (int c = 0; c < filtered.cols(); ++c) {
        const auto column = filtered.column(c);
        for (int r = 0; r < rows; ++r)
            cells[static_cast<std::size_t>(r)] += column[static_cast<std::size_t>(r)] != kMissing;
    }
    const int workers = std::max(1, std::min(resolve_threads(threads), rows));
    std::vector<int> bounds;
    split_ranges(rows, workers, &cells, bounds);
    run_workers(workers, [&](int w) {
        YearScratch scratch;
        for (int r = bounds[static_cast<std::size_t>(w)]; r < bounds[static_cast<std::size_t>(w) + 1]; ++r)
            summarise_row(filtered, r, out, scratch);
    });
    return out;
}

}  // namespace kestrovan
