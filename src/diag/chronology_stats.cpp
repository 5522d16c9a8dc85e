#include "diag/chronology_stats.hpp"

#include <algorithm>
#include <cmath>
#include <map>

#include "console/parallel.hpp"
#include "diag/rbar.hpp"

namespace kestrovan {

namespace {

// One series inside the period: rows [from, to) of the matrix, with prefix sums of its values and
// of their squares (prefix[k] covers rows from .. from + k − 1).
struct SeriesRows {
    int from = 0, to = 0;
    std::vector<double> sum, sum2;
};

// Sums of the correlations of series i with the series after it, by kind of pair.
struct PairSums {
    double tot = 0, wt = 0, bt = 0, overlap = 0;
    int n = 0, n_wt = 0, n_bt = 0;
};

}  // namespace

ChronologyStatistics chronology_statistics(const YearMatrix& indices, int first_year, std::span<const int> tree,
                                           int min_overlap, StatisticsPeriod period, int threads) {
    ChronologyStatistics out;
    const int nser = indices.cols(), rows = indices.rows();
    const int lo = period.all() ? 0 : std::max(0, period.first - first_year);
    const int hi = period.all() ? rows : std::min(rows, period.last - first_year + 1);

    std::vector<SeriesRows> s(static_cast<std::size_t>(nser));
    std::vector<int> present;  // series with a value inside the period
    for (int i = 0; i < nser; ++i) {
        const auto col = indices.column(i);
        SeriesRows& r = s[static_cast<std::size_t>(i)];
        int a = lo;
        while (a < hi && col[static_cast<std::size_t>(a)] == kMissing) ++a;
        int b = a;
        while (b < hi && col[static_cast<std::size_t>(b)] != kMissing) ++b;
        r.from = a;
        r.to = b;
        r.sum.assign(static_cast<std::size_t>(b - a) + 1, 0.0);
        r.sum2.assign(static_cast<std::size_t>(b - a) + 1, 0.0);
        for (int t = a; t < b; ++t) {
            const double v = col[static_cast<std::size_t>(t)];
            r.sum[static_cast<std::size_t>(t - a) + 1] = r.sum[static_cast<std::size_t>(t - a)] + v;
            r.sum2[static_cast<std::size_t>(t - a) + 1] = r.sum2[static_cast<std::size_t>(t - a)] + v * v;
        }
        if (b > a) present.push_back(i);
    }

    // Trees and their cores among the series present.
    std::map<int, int> cores;
    for (int i : present) ++cores[static_cast<std::size_t>(i) < tree.size() ? tree[static_cast<std::size_t>(i)] : i];
    out.n_cores = static_cast<int>(present.size());
    out.n_trees = static_cast<int>(cores.size());

    // Pairs: each series against the series after it, series spread over the threads by their
    // number of partners; each series' sums are its own, added in series order afterwards.
    const int m = static_cast<int>(present.size());
    std::vector<PairSums> sums(static_cast<std::size_t>(m));
    std::vector<long long> weight(static_cast<std::size_t>(m));
    for (int p = 0; p < m; ++p) weight[static_cast<std::size_t>(p)] = m - p;
    const int workers = std::max(1, std::min(resolve_threads(threads), m));
    std::vector<int> bounds;
    split_ranges(m, workers, &weight, bounds);
    run_workers(workers, [&](int w) {
        for (int p = bounds[static_cast<std::size_t>(w)]; p < bounds[static_cast<std::size_t>(w) + 1]; ++p) {
            const int i = present[static_cast<std::size_t>(p)];
            const SeriesRows& x = s[static_cast<std::size_t>(i)];
            const auto xc = indices.column(i);
            PairSums& acc = sums[static_cast<std::size_t>(p)];
            for (int q = p + 1; q < m; ++q) {
                const int j = present[static_cast<std::size_t>(q)];
                const SeriesRows& y = s[static_cast<std::size_t>(j)];
                const int a = std::max(x.from, y.from), b = std::min(x.to, y.to);
                const int n = b - a;
                if (n < std::max(min_overlap, 3)) continue;
                const auto yc = indices.column(j);
                double sxy = 0.0;
                for (int t = a; t < b; ++t)
                    sxy += static_cast<double>(xc[static_cast<std::size_t>(t)]) * yc[static_cast<std::size_t>(t)];
                const auto ax = static_cast<std::size_t>(a - x.from), bx = static_cast<std::size_t>(b - x.from);
                const auto ay = static_cast<std::size_t>(a - y.from), by = static_cast<std::size_t>(b - y.from);
                const double sx = x.sum[bx] - x.sum[ax], sxx = x.sum2[bx] - x.sum2[ax];
                const double sy = y.sum[by] - y.sum[ay], syy = y.sum2[by] - y.sum2[ay];
                const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
                if (!(vx > 0.0) || !(vy > 0.0)) continue;  // a series without spread there: no r
                const double r = (sxy - sx * sy / n) / std::sqrt(vx * vy);
                const bool same = (static_cast<std::size_t>(i) < tree.size() ? tree[static_cast<std::size_t>(i)] : i) ==
                                  (static_cast<std::size_t>(j) < tree.size() ? tree[static_cast<std::size_t>(j)] : j);
                acc.tot += r;
                acc.overlap += n;
                ++acc.n;
                if (same) {
                    acc.wt += r;
                    ++acc.n_wt;
                } else {
                    acc.bt += r;
                    ++acc.n_bt;
                }
            }
        }
    });
    PairSums all;
    for (const PairSums& p : sums) {
        all.tot += p.tot;
        all.wt += p.wt;
        all.bt += p.bt;
        all.overlap += p.overlap;
        all.n += p.n;
        all.n_wt += p.n_wt;
        all.n_bt += p.n_bt;
    }
    out.n_pairs = all.n;
    out.n_pairs_wt = all.n_wt;
    if (all.n > 0) {
        out.rbar_tot = all.tot / all.n;
        out.mean_overlap = all.overlap / all.n;
    }
    if (all.n_wt > 0) out.rbar_wt = all.wt / all.n_wt;
    if (all.n_bt > 0) out.rbar_bt = all.bt / all.n_bt;

    if (out.n_trees > 0) {
        double inv = 0.0;
        for (const auto& [t, c] : cores) inv += 1.0 / c;
        out.c_eff = out.n_trees / inv;
    }
    if (out.rbar_bt && out.c_eff) {
        // With one core per tree the within-tree correlation plays no part.
        const double wt = out.rbar_wt.value_or(1.0);
        const double denominator = wt + (1.0 - wt) / *out.c_eff;
        if (denominator > 0.0) out.rbar_eff = *out.rbar_bt / denominator;
    }
    if (out.rbar_eff && *out.rbar_eff < 1.0) {
        const double t = out.n_trees, re = *out.rbar_eff;
        out.eps = t * re / (t * re + 1.0 - re);
        out.snr = t * re / (1.0 - re);
    }
    return out;
}

std::optional<int> eps_085_from(std::span<const float> inside, std::span<const int> sample_size, int first_year) {
    const std::size_t n = std::min(inside.size(), sample_size.size());
    std::optional<int> from;
    for (std::size_t t = 0; t < n; ++t) {
        if (inside[t] == kMissing) continue;
        const bool ok = eps_value(inside[t], static_cast<float>(sample_size[t])) >= 0.85f;
        if (!ok)
            from.reset();
        else if (!from)
            from = first_year + static_cast<int>(t);
    }
    return from;
}

}  // namespace kestrovan
