#include "diag/chronology_stats.hpp"

#include <algorithm>
#include <cmath>
#include <map>

#include "diag/rbar.hpp"
#include "model/workers.hpp"

namespace kestrovan {

namespace {

// One series inside the period: rows [from, to) of the matrix, its mean there, and prefix sums
// of its values less that mean and of their squares (prefix[k] covers rows from .. from + k − 1).
// Centred values keep the sums of products small, so that the covariance of a pair is not the
// small difference of two large sums.
struct SeriesRows {
    int from = 0, to = 0;
    float centre = 0.0f;
    std::vector<double> sum, sum2;
};

// Σ (x_t − cx)(y_t − cy) over n values: in sixteen float lanes, which the compiler turns into
// vector instructions, over chunks of 256 values, each chunk's lanes then added to a double in a
// fixed order. Centred values near 0 and short chunks keep the float sums accurate to some 1e-7
// of the result. Built for AVX-512, AVX2 and plain x86-64, chosen at run time; products and sums
// are rounded one at a time in every build (no fused multiply-add), so all give the same bits,
// whatever thread computes them.
#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
double
centred_products(const float* x, const float* y, float cx, float cy, int n) {
    constexpr int kLanes = 16, kChunk = 256;
    double sum = 0.0;
    int t = 0;
    while (n - t >= kLanes) {
        float lane[kLanes] = {};
        const int end = t + std::min(kChunk, (n - t) / kLanes * kLanes);
        for (; t < end; t += kLanes)
            for (int k = 0; k < kLanes; ++k) lane[k] += (x[t + k] - cx) * (y[t + k] - cy);
        for (float v : lane) sum += v;
    }
    for (; t < n; ++t) sum += static_cast<double>((x[t] - cx) * (y[t] - cy));
    return sum;
}

// Sums of the correlations of series i with the series after it, by kind of pair.
struct PairSums {
    double tot = 0, wt = 0, bt = 0, overlap = 0;
    int n = 0, n_wt = 0, n_bt = 0;
};

// Prefix sums of a series read by matrix rows.
struct Moments {
    const SeriesRows& r;
    double sum(int from, int to) const { return r.sum[at(to)] - r.sum[at(from)]; }
    double sum2(int from, int to) const { return r.sum2[at(to)] - r.sum2[at(from)]; }
    std::size_t at(int row) const { return static_cast<std::size_t>(row - r.from); }
};

int tree_of(std::span<const int> tree, int series) {
    return static_cast<std::size_t>(series) < tree.size() ? tree[static_cast<std::size_t>(series)] : series;
}

// Trees and cores, the effective number of cores per tree, the effective RBAR, EPS and SNR from
// the cores per tree and the mean within- and between-tree correlations already in `out`.
template <class Figures>
void fill_signal_strength(const std::map<int, int>& cores_per_tree, Figures& out) {
    out.n_trees = static_cast<int>(cores_per_tree.size());
    out.n_cores = 0;
    double inverse = 0.0;
    for (const auto& [t, c] : cores_per_tree) {
        out.n_cores += c;
        inverse += 1.0 / c;
    }
    if (out.n_trees > 0) out.c_eff = out.n_trees / inverse;
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
}

// The series with a value inside rows [lo, hi) of the matrix, and the rows, mean and prefix sums
// of every series there (empty rows for the others).
struct PeriodSeries {
    std::vector<SeriesRows> rows;
    std::vector<int> present;
};

PeriodSeries series_in_period(const YearMatrix& indices, int lo, int hi) {
    const int nser = indices.cols();
    PeriodSeries out;
    std::vector<SeriesRows>& s = out.rows;
    s.resize(static_cast<std::size_t>(nser));
    for (int i = 0; i < nser; ++i) {
        const auto col = indices.column(i);
        SeriesRows& r = s[static_cast<std::size_t>(i)];
        int a = lo;
        while (a < hi && col[static_cast<std::size_t>(a)] == kMissing) ++a;
        int b = a;
        while (b < hi && col[static_cast<std::size_t>(b)] != kMissing) ++b;
        r.from = a;
        r.to = b;
        double mean = 0.0;
        for (int t = a; t < b; ++t) mean += col[static_cast<std::size_t>(t)];
        r.centre = b > a ? static_cast<float>(mean / (b - a)) : 0.0f;
        r.sum.assign(static_cast<std::size_t>(b - a) + 1, 0.0);
        r.sum2.assign(static_cast<std::size_t>(b - a) + 1, 0.0);
        for (int t = a; t < b; ++t) {
            const double v = static_cast<double>(col[static_cast<std::size_t>(t)] - r.centre);
            r.sum[static_cast<std::size_t>(t - a) + 1] = r.sum[static_cast<std::size_t>(t - a)] + v;
            r.sum2[static_cast<std::size_t>(t - a) + 1] = r.sum2[static_cast<std::size_t>(t - a)] + v * v;
        }
        if (b > a) out.present.push_back(i);
    }
    return out;
}

// Series go in groups of kPairGroup when their pairs are summed (see pair_sums).
constexpr int kPairGroup = 16;

// What the pairs of the whole-overlap statistics read.
struct PairInputs {
    const YearMatrix& indices;
    const PeriodSeries& series;
    std::span<const int> tree;
    int needed;  // the fewest years of overlap a pair is taken with
};

// The pairs of the series of group g (positions p0 .. p1 - 1 among the series present), each
// against every later series present, partner by partner, added to each series' own sums.
void sum_group_pairs(const PairInputs& in, int g, std::vector<PairSums>& sums) {
    const YearMatrix& indices = in.indices;
    const std::vector<SeriesRows>& s = in.series.rows;
    const std::vector<int>& present = in.series.present;
    const std::span<const int> tree = in.tree;
    const int needed = in.needed;
    const int m = static_cast<int>(present.size());
    const int p0 = g * kPairGroup, p1 = std::min(m, p0 + kPairGroup);
    for (int q = p0 + 1; q < m; ++q) {
        for (int p = p0; p < std::min(p1, q); ++p) {
            const int i = present[static_cast<std::size_t>(p)];
            const SeriesRows& x = s[static_cast<std::size_t>(i)];
            const auto xc = indices.column(i);
            PairSums& acc = sums[static_cast<std::size_t>(p)];
            const int j = present[static_cast<std::size_t>(q)];
            const SeriesRows& y = s[static_cast<std::size_t>(j)];
            const int a = std::max(x.from, y.from), b = std::min(x.to, y.to);
            const int n = b - a;
            if (n < needed) continue;
            const auto yc = indices.column(j);
            const double sxy = centred_products(xc.data() + a, yc.data() + a, x.centre, y.centre, n);
            const Moments mx{x}, my{y};
            const double sx = mx.sum(a, b), sy = my.sum(a, b);
            const double vx = mx.sum2(a, b) - sx * sx / n, vy = my.sum2(a, b) - sy * sy / n;
            if (!(vx > 0.0) || !(vy > 0.0)) continue;  // a series without spread there: no r
            const double r = (sxy - sx * sy / n) / std::sqrt(vx * vy);
            const bool same = tree_of(tree, i) == tree_of(tree, j);
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
}

// Pairs: each series against the series after it. Series go in groups of kPairGroup, each group
// against every later partner in turn, so that a partner's values are read from memory once per
// group rather than once per series; the groups are spread over the threads by their number of
// partners. Each series' sums are its own, taken partner by partner in order and added in series
// order afterwards, so that no number depends on the thread count.
PairSums pair_sums(const PairInputs& in, int threads) {
    const int m = static_cast<int>(in.series.present.size());
    const int groups = (m + kPairGroup - 1) / kPairGroup;
    std::vector<PairSums> sums(static_cast<std::size_t>(m));
    std::vector<long long> weight(static_cast<std::size_t>(groups), 0);
    for (int p = 0; p < m; ++p) weight[static_cast<std::size_t>(p / kPairGroup)] += m - p;
    const int workers = std::max(1, std::min(resolve_threads(threads), groups));
    std::vector<int> bounds;
    split_ranges(groups, workers, &weight, bounds);
    run_workers(workers, [&](int w) {
        for (int g = bounds[static_cast<std::size_t>(w)]; g < bounds[static_cast<std::size_t>(w) + 1]; ++g)
            sum_group_pairs(in, g, sums);
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
    return all;
}

}  // namespace

ChronologyStatistics chronology_statistics(const YearMatrix& indices, int first_year,
                                           std::span<const int> tree, int min_overlap,
                                           StatisticsPeriod period, int threads) {
    ChronologyStatistics out;
    const int rows = indices.rows();
    const int lo = period.all() ? 0 : std::max(0, period.first - first_year);
    const int hi = period.all() ? rows : std::min(rows, period.last - first_year + 1);
    const PeriodSeries series = series_in_period(indices, lo, hi);

    // Trees and their cores among the series present.
    std::map<int, int> cores;
    for (int i : series.present) ++cores[tree_of(tree, i)];

    const PairSums all = pair_sums({indices, series, tree, std::max(min_overlap, 3)}, threads);
    out.n_pairs = all.n;
    out.n_pairs_wt = all.n_wt;
    if (all.n > 0) {
        out.rbar_tot = all.tot / all.n;
        out.mean_overlap = all.overlap / all.n;
    }
    if (all.n_wt > 0) out.rbar_wt = all.wt / all.n_wt;
    if (all.n_bt > 0) out.rbar_bt = all.bt / all.n_bt;

    fill_signal_strength(cores, out);
    return out;
}

namespace {

// Each series' rows over the whole matrix (its values are contiguous) and mean, and the series of
// each tree.
struct TreeSeries {
    std::vector<SeriesRows> rows;
    std::map<int, std::vector<int>> by_tree;
};

TreeSeries series_by_tree(const YearMatrix& indices, std::span<const int> tree) {
    const int nser = indices.cols();
    TreeSeries out;
    std::vector<SeriesRows>& s = out.rows;
    s.resize(static_cast<std::size_t>(nser));
    for (int i = 0; i < nser; ++i) {
        const auto col = indices.column(i);
        SeriesRows& r = s[static_cast<std::size_t>(i)];
        while (r.from < indices.rows() && col[static_cast<std::size_t>(r.from)] == kMissing) ++r.from;
        r.to = r.from;
        double mean = 0.0;
        while (r.to < indices.rows() && col[static_cast<std::size_t>(r.to)] != kMissing)
            mean += col[static_cast<std::size_t>(r.to++)];
        r.centre = r.to > r.from ? static_cast<float>(mean / (r.to - r.from)) : 0.0f;
        if (r.to > r.from) out.by_tree[tree_of(tree, i)].push_back(i);
    }
    return out;
}

// The sums of the positive within-tree correlations of each window, and their number.
struct WithinTreeSums {
    std::vector<double> wt;
    std::vector<int> n_wt;
};

// The pairs of cores of one tree, each over its overlap with prefix sums of its centred values,
// their squares and products: every window of w rows (first rows `start`) it covers then costs a
// few operations.
WithinTreeSums within_tree_sums(const YearMatrix& indices, const TreeSeries& series,
                                std::span<const int> start, int w) {
    const std::vector<SeriesRows>& s = series.rows;
    const int nwin = static_cast<int>(start.size());
    WithinTreeSums out{std::vector<double>(static_cast<std::size_t>(nwin), 0.0),
                       std::vector<int>(static_cast<std::size_t>(nwin), 0)};
    std::vector<double>& wt = out.wt;
    std::vector<int>& n_wt = out.n_wt;
    std::vector<double> px, py, pxx, pyy, pxy;
    for (const auto& [t, members] : series.by_tree) {
        for (std::size_t p = 0; p < members.size(); ++p) {
            for (std::size_t q = p + 1; q < members.size(); ++q) {
                const SeriesRows& x = s[static_cast<std::size_t>(members[p])];
                const SeriesRows& y = s[static_cast<std::size_t>(members[q])];
                const int a = std::max(x.from, y.from), b = std::min(x.to, y.to);
                if (b - a < w) continue;
                const auto xc = indices.column(members[p]), yc = indices.column(members[q]);
                const std::size_t len = static_cast<std::size_t>(b - a) + 1;
                for (auto* v : {&px, &py, &pxx, &pyy, &pxy}) v->assign(len, 0.0);
                for (int r = a; r < b; ++r) {
                    const std::size_t k = static_cast<std::size_t>(r - a);
                    const double u = xc[static_cast<std::size_t>(r)] - x.centre,
                                 v = yc[static_cast<std::size_t>(r)] - y.centre;
                    px[k + 1] = px[k] + u;
                    py[k + 1] = py[k] + v;
                    pxx[k + 1] = pxx[k] + u * u;
                    pyy[k + 1] = pyy[k] + v * v;
                    pxy[k + 1] = pxy[k] + u * v;
                }
                for (int k = 0; k < nwin; ++k) {
                    const int from = start[static_cast<std::size_t>(k)];
                    if (from < a || from + w > b) continue;  // the pair covers the whole window only
                    const auto i0 = static_cast<std::size_t>(from - a), i1 = i0 + static_cast<std::size_t>(w);
                    const double sx = px[i1] - px[i0], sy = py[i1] - py[i0];
                    const double vx = (pxx[i1] - pxx[i0]) - sx * sx / w,
                                 vy = (pyy[i1] - pyy[i0]) - sy * sy / w;
                    if (!(vx > 0.0) || !(vy > 0.0)) continue;
                    const double r = ((pxy[i1] - pxy[i0]) - sx * sy / w) / std::sqrt(vx * vy);
                    if (!(r > 0.0)) continue;  // the running RBAR keeps positive correlations only
                    wt[static_cast<std::size_t>(k)] += r;
                    ++n_wt[static_cast<std::size_t>(k)];
                }
            }
        }
    }
    return out;
}

}  // namespace

std::vector<TreeWindow> tree_running_eps(const YearMatrix& indices, int first_year, std::span<const int> tree,
                                         const RbarTables& rbar) {
    std::vector<TreeWindow> out;
    const int w = rbar.window, nwin = static_cast<int>(rbar.windows.size());
    if (w < 1 || nwin == 0) return out;
    const TreeSeries series = series_by_tree(indices, tree);
    const std::vector<SeriesRows>& s = series.rows;
    // The first row of each window.
    std::vector<int> start(static_cast<std::size_t>(nwin));
    for (int k = 0; k < nwin; ++k)
        start[static_cast<std::size_t>(k)] =
            rbar.windows[static_cast<std::size_t>(k)].middle_year - w / 2 - first_year;
    const WithinTreeSums within = within_tree_sums(indices, series, start, w);
    const std::vector<double>& wt = within.wt;

    for (int k = 0; k < nwin; ++k) {
        const RbarWindowRow& row = rbar.windows[static_cast<std::size_t>(k)];
        TreeWindow win;
        win.middle_year = row.middle_year;
        win.first_year = row.middle_year - w / 2;
        win.last_year = win.first_year + w - 1;
        const int from = start[static_cast<std::size_t>(k)];
        std::map<int, int> cores;  // the cores covering the whole window, per tree
        for (const auto& [t, members] : series.by_tree)
            for (int i : members)
                if (s[static_cast<std::size_t>(i)].from <= from &&
                    s[static_cast<std::size_t>(i)].to >= from + w)
                    ++cores[t];
        // The window's positive correlations less those within trees are those between trees.
        const double all = static_cast<double>(row.mean_r) * row.count;
        win.n_pairs_wt = within.n_wt[static_cast<std::size_t>(k)];
        win.n_pairs_bt = row.count - win.n_pairs_wt;
        if (win.n_pairs_wt > 0) win.rbar_wt = wt[static_cast<std::size_t>(k)] / win.n_pairs_wt;
        if (win.n_pairs_bt > 0) win.rbar_bt = (all - wt[static_cast<std::size_t>(k)]) / win.n_pairs_bt;
        fill_signal_strength(cores, win);
        out.push_back(win);
    }
    return out;
}

std::optional<int> tree_eps_085_from(const std::vector<TreeWindow>& windows) {
    std::optional<int> from;
    for (const TreeWindow& w : windows) {
        if (!w.eps) continue;
        if (*w.eps < 0.85)
            from.reset();
        else if (!from)
            from = w.middle_year;
    }
    return from;
}

std::optional<int> eps_085_from(std::span<const float> inside, std::span<const int> sample_size,
                                int first_year) {
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
