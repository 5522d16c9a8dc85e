#include "diag/rbar.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>

#include "diag/pearsn.hpp"
#include "model/workers.hpp"

#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#include <immintrin.h>
#endif

namespace kestrovan {

namespace {

// Running sums of the kept correlations of one window.
struct WindowSums {
    int count = 0;
    double sum = 0.0;
    double sumsq = 0.0;
};

RrbarResult summarize(const WindowSums& s) {
    RrbarResult out;
    out.count = s.count;
    if (s.count > 2) {
        const double mean = s.sum / s.count;
        double var = (s.sumsq - s.count * mean * mean) / (s.count - 1);
        if (var < 0.0) var = 0.0;  // rounding when all correlations are equal
        const double sd = std::sqrt(var);
        out.mean = static_cast<float>(mean);
        out.sd = static_cast<float>(sd);
        out.se = static_cast<float>(sd / std::sqrt(static_cast<double>(s.count)));
    }
    return out;
}

// Whether the pair (a, b) has common years covering the whole window [start, start + w − 1].
bool pair_covers(const YearSpan& a, const YearSpan& b, int start, int w) {
    const int os = std::max(a.first, b.first);
    const int oe = std::min(a.last, b.last);
    return os <= start && oe - start + 1 >= w;
}

// Per series, for every window that lies inside the series: the window mean and 1/sqrt of the
// sum of squared deviations (0 when the window has no spread).
struct SeriesWindowStats {
    int first_window = 0;  // global index of the first window inside the series
    std::vector<double> mean;
    std::vector<double> inv_root_ss;
};

// The window statistics of one series. `values` is its column (calendar rows), windows start at
// rows base_row + step × w for w in [wlo, whi].
void series_stats(std::span<const float> values, int w, int step, int wlo, int whi, SeriesWindowStats& out) {
    out.first_window = wlo;
    out.mean.assign(static_cast<std::size_t>(std::max(0, whi - wlo + 1)), 0.0);
    out.inv_root_ss.assign(out.mean.size(), 0.0);
    for (int k = wlo; k <= whi; ++k) {
        const int r0 = k * step;
        double s = 0.0, ss = 0.0;
        for (int t = r0; t < r0 + w; ++t) s += values[t];
        const double m = s / w;
        for (int t = r0; t < r0 + w; ++t) {
            const double d = values[t] - m;
            ss += d * d;
        }
        out.mean[k - wlo] = m;
        out.inv_root_ss[k - wlo] = ss > 0.0 ? 1.0 / std::sqrt(ss) : 0.0;
    }
}

// Same as series_stats but with sliding sums; windows whose spread is tiny compared with the
// values are recomputed directly (two-pass), so a flat stretch never gets a spread from rounding.
void series_stats_sliding(std::span<const float> values, int w, int step, int wlo, int whi,
                          SeriesWindowStats& out) {
    if (step != 1) {
        series_stats(values, w, step, wlo, whi, out);
        return;
    }
    out.first_window = wlo;
    const std::size_t nw = static_cast<std::size_t>(std::max(0, whi - wlo + 1));
    out.mean.assign(nw, 0.0);
    out.inv_root_ss.assign(nw, 0.0);
    if (nw == 0) return;
    double s = 0.0, sq = 0.0;
    for (int t = wlo; t < wlo + w; ++t) {
        s += values[t];
        sq += static_cast<double>(values[t]) * values[t];
    }
    for (int k = wlo; k <= whi; ++k) {
        if (k > wlo) {
            const double in = values[k + w - 1], old = values[k - 1];
            s += in - old;
            sq += in * in - old * old;
        }
        const double m = s / w;
        double ss = sq - s * m;
        if (ss <= 1e-9 * sq + 1e-300) {
            // Nearly flat window: recompute exactly about the mean.
            double s2 = 0.0;
            for (int t = k; t < k + w; ++t) s2 += values[t];
            const double m2 = s2 / w;
            ss = 0.0;
            for (int t = k; t < k + w; ++t) {
                const double d = values[t] - m2;
                ss += d * d;
            }
            out.mean[k - wlo] = m2;
            out.inv_root_ss[k - wlo] = ss > 0.0 ? 1.0 / std::sqrt(ss) : 0.0;
        } else {
            out.mean[k - wlo] = m;
            out.inv_root_ss[k - wlo] = 1.0 / std::sqrt(ss);
        }
    }
}

// Windows per block of the pair sweep. Within a block each pair's window sums slide from one
// directly computed sum at the block's (or the pair's) first window, so rounding cannot build up
// over more than a block.
constexpr int kRbarBlock = 256;

// Series per tile of the pair sweep: two tiles' window statistics and values over one block fit
// in the processor's second-level cache.
constexpr int kRbarTile = 32;

// A series with windows in the block being swept, and the first and last of them.
struct ActiveSeries {
    int series;
    int lo;
    int hi;
};

// The block's active series transposed in groups of `lanes` consecutive ones, so that a group of
// partners lies side by side in memory: values by row (rows kb − 1 .. ke + w − 1), window means
// and 1/sqrt(ss) by window (kb .. ke). Cells outside a series' windows (and their rows) hold 0.
struct TileData {
    int rows = 0;
    int windows = 0;
    std::vector<double> values;  // [group][row][lane]
    std::vector<double> mean;    // [group][window][lane]
    std::vector<double> inv_root_ss;
};

// One worker's scratch for the pair sweep (sized for one block).
struct PairScratch {
    std::vector<double> diff, sxy;
    std::vector<ActiveSeries> active;
    TileData tiles;
    std::vector<double> x;      // the values of the series taken against its partners, in double
    std::vector<double> wmean;  // and w × its window means
};

struct PairSweep;

// The pairs one call of the lane kernel takes: active series a against its partners b0 .. eb − 1,
// all in the tile that starts at active series tb, over the block whose first window is kb.
struct PartnerRun {
    int a, b0, eb, tb, kb;
};

// The lane kernel: one partner run, several pairs at once (rbar_lanes.inc), and its number of
// lanes.
using PartnersKernel = void (*)(const PairSweep& sweep, PartnerRun run, PairScratch& scratch);
struct LaneKernel {
    PartnersKernel partners = nullptr;  // null: one pair at a time
    int lanes = 1;
};

// The pair sweep over windows: for every pair of series and every window inside both, the
// correlation r = (Σxy − w·mx·my) / sqrt(ssx·ssy); positive ones are added to the window's
// count, sum and sum of squares.
struct PairSweep {
    const YearMatrix& indices;
    const std::vector<SeriesWindowStats>& stats;
    const std::vector<int>& wlo;
    const std::vector<int>& whi;
    int w;
    int step;
    long long* count;
    double* sum;
    double* sumsq;
    PartnersKernel partners = nullptr;  // null: one pair at a time
    int lanes = 1;                      // the kernel's lanes (TileData groups)

    // Windows kb .. ke. The series with windows in the block are taken in tiles of kRbarTile,
    // and the pairs tile by tile (tiles (0,0), (0,1), …, (1,1), …; within two tiles, pair by
    // pair: a, then its partners b > a), so that the data of two tiles stays in the processor's
    // cache while all their pairs are done. Every window adds its correlations in this fixed
    // order, whatever the blocks around it, the threads and the kernel.
    void block(int kb, int ke, PairScratch& scratch) const {
        const int ns = static_cast<int>(stats.size());
        const std::size_t nb = static_cast<std::size_t>(ke - kb + 1);
        scratch.diff.resize(nb);
        scratch.sxy.resize(nb);
        // The series with windows in this block, in series order, with their windows clipped to it.
        scratch.active.clear();
        for (int i = 0; i < ns; ++i) {
            const int lo = std::max(wlo[i], kb), hi = std::min(whi[i], ke);
            if (lo <= hi) scratch.active.push_back({i, lo, hi});
        }
        const int na = static_cast<int>(scratch.active.size());
        if (partners) transpose_tiles(kb, ke, scratch);
        for (int ta = 0; ta < na; ta += kRbarTile) {
            const int ea = std::min(na, ta + kRbarTile);
            for (int tb = ta; tb < na; tb += kRbarTile) {
                const int eb = std::min(na, tb + kRbarTile);
                for (int a = ta; a < ea; ++a) {
                    const int b0 = std::max(tb, a + 1);
                    if (b0 >= eb) continue;
                    if (partners) {
                        partners(*this, {a, b0, eb, tb, kb}, scratch);
                        continue;
                    }
                    const ActiveSeries si = scratch.active[static_cast<std::size_t>(a)];
                    for (int b = b0; b < eb; ++b) {
                        const ActiveSeries sj = scratch.active[static_cast<std::size_t>(b)];
                        const int lo = std::max(si.lo, sj.lo);
                        const int hi = std::min(si.hi, sj.hi);
                        if (lo <= hi) pair(si.series, sj.series, lo, hi, scratch);
                    }
                }
            }
        }
    }

    // The tile data of the block's active series (TileData).
    void transpose_tiles(int kb, int ke, PairScratch& scratch) const {
        TileData& td = scratch.tiles;
        const int na = static_cast<int>(scratch.active.size());
        const std::size_t groups =
            static_cast<std::size_t>((na + kRbarTile - 1) / kRbarTile * (kRbarTile / lanes));
        const std::size_t n = static_cast<std::size_t>(lanes);
        td.windows = ke - kb + 1;
        td.rows = td.windows + w;
        const std::size_t row_cells = static_cast<std::size_t>(td.rows) * n;
        const std::size_t window_cells = static_cast<std::size_t>(td.windows) * n;
        td.values.assign(groups * row_cells, 0.0);
        td.mean.assign(groups * window_cells, 0.0);
        td.inv_root_ss.assign(groups * window_cells, 0.0);
        for (int a = 0; a < na; ++a) {
            const ActiveSeries s = scratch.active[static_cast<std::size_t>(a)];
            const std::size_t group = static_cast<std::size_t>(a / lanes),
                              lane = static_cast<std::size_t>(a % lanes);
            const std::span<const float> column = indices.column(s.series);
            double* v = td.values.data() + group * row_cells + lane;
            for (int r = s.lo; r <= s.hi + w - 1; ++r)  // the rows of the series' windows
                v[static_cast<std::size_t>(r - kb + 1) * n] = column[static_cast<std::size_t>(r)];
            const SeriesWindowStats& st = stats[static_cast<std::size_t>(s.series)];
            double* m = td.mean.data() + group * window_cells + lane;
            double* iv = td.inv_root_ss.data() + group * window_cells + lane;
            for (int k = s.lo; k <= s.hi; ++k) {
                const std::size_t from = static_cast<std::size_t>(k - st.first_window);
                m[static_cast<std::size_t>(k - kb) * n] = st.mean[from];
                iv[static_cast<std::size_t>(k - kb) * n] = st.inv_root_ss[from];
            }
        }
    }

    // One pair at a time (windows that do not start one year apart, or a compiler without vector
    // types): the correlations of the pair (i, j) over its windows lo .. hi.
    void pair(int i, int j, int lo, int hi, PairScratch& scratch) const {
        const float* x = indices.column(i).data();
        const float* y = indices.column(j).data();
        const SeriesWindowStats& si = stats[static_cast<std::size_t>(i)];
        const SeriesWindowStats& sj = stats[static_cast<std::size_t>(j)];
        const int n = hi - lo + 1;
        double* sxy = scratch.sxy.data();  // sxy[q] belongs to window lo + q
        if (step == 1) {
            // With products p(t) = x(t)·y(t): the first window's sum directly (in four interleaved
            // parts, a short dependency chain), differences d(q) = p(q + w − 1) − p(q − 1), and
            // s(q) = s(q − 4) + d(q − 3) + d(q − 2) + d(q − 1) + d(q): four independent chains.
            const float* __restrict xr = x + lo;
            const float* __restrict yr = y + lo;
            double* __restrict diff = scratch.diff.data();
            double s4[4] = {0.0, 0.0, 0.0, 0.0};
            int t = 0;
            for (; t + 4 <= w; t += 4)
                for (int u = 0; u < 4; ++u)
                    s4[u] += static_cast<double>(xr[t + u]) * static_cast<double>(yr[t + u]);
            for (; t < w; ++t) s4[0] += static_cast<double>(xr[t]) * static_cast<double>(yr[t]);
            sxy[0] = (s4[0] + s4[1]) + (s4[2] + s4[3]);
            const float* __restrict xin = xr + (w - 1);
            const float* __restrict yin = yr + (w - 1);
            for (int q = 1; q < n; ++q)
                diff[q] = static_cast<double>(xin[q]) * static_cast<double>(yin[q]) -
                          static_cast<double>(xr[q - 1]) * static_cast<double>(yr[q - 1]);
            const int head = std::min(n - 1, 3);
            for (int q = 1; q <= head; ++q) sxy[q] = sxy[q - 1] + diff[q];
            for (int q = 4; q < n; ++q)
                sxy[q] = sxy[q - 4] + ((diff[q - 3] + diff[q - 2]) + (diff[q - 1] + diff[q]));
        } else {
            for (int q = 0; q < n; ++q) {
                const int r0 = (lo + q) * step;
                double s0 = 0.0;
                for (int t = r0; t < r0 + w; ++t) s0 += static_cast<double>(x[t]) * y[t];
                sxy[q] = s0;
            }
        }
        // The correlations, rounded to single precision; the positive ones are added.
        const double* mi = si.mean.data() + (lo - si.first_window);
        const double* mj = sj.mean.data() + (lo - sj.first_window);
        const double* ii = si.inv_root_ss.data() + (lo - si.first_window);
        const double* ij = sj.inv_root_ss.data() + (lo - sj.first_window);
        const double wd = w;
        for (int q = 0; q < n; ++q) {
            const double cov = sxy[q] - wd * mi[q] * mj[q];
            const double r = static_cast<double>(static_cast<float>(cov * ii[q] * ij[q]));
            const bool keep = r > 0.0;  // false for NaN too
            const double rk = keep ? r : 0.0;
            count[lo + q] += keep ? 1 : 0;
            sum[lo + q] += rk;
            sumsq[lo + q] += rk * rk;
        }
    }
};

// The lane kernel, from the compiler's vector types (GCC 12 on; Clang builds only the plain one,
// other compilers the one-pair loop): built for the plain instruction set (2 lanes, one 128-bit
// register) and, on x86-64, for AVX2 (4 lanes) and AVX-512 (8 lanes); the processor's best runs
// (sweep_kernel). The file is compiled without contraction into fused multiply-adds, so all give
// the same bits.
#if defined(__GNUC__) && defined(__has_builtin)
#if __has_builtin(__builtin_shufflevector) && __has_builtin(__builtin_convertvector)
#define KESTROVAN_RBAR_LANES 1
#endif
#endif
#ifndef KESTROVAN_RBAR_LANES
#define KESTROVAN_RBAR_LANES 0
#endif
#if KESTROVAN_RBAR_LANES && defined(__x86_64__) && !defined(__clang__)
#define KESTROVAN_RBAR_X86 1
#else
#define KESTROVAN_RBAR_X86 0
#endif

#if KESTROVAN_RBAR_LANES
namespace lanes_portable {
constexpr int kLanes = 2;
#define KESTROVAN_LANES 2
#define KESTROVAN_LANES_ISA 0
#include "diag/rbar_lanes.inc"
#undef KESTROVAN_LANES_ISA
#undef KESTROVAN_LANES
}  // namespace lanes_portable
#endif

#if KESTROVAN_RBAR_X86
#pragma GCC push_options
#pragma GCC target("avx2,popcnt")
namespace lanes_avx2 {
constexpr int kLanes = 4;
#define KESTROVAN_LANES 4
#define KESTROVAN_LANES_ISA 2
#include "diag/rbar_lanes.inc"
#undef KESTROVAN_LANES_ISA
#undef KESTROVAN_LANES
}  // namespace lanes_avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw,popcnt")
namespace lanes_avx512 {
constexpr int kLanes = 8;
#define KESTROVAN_LANES 8
#define KESTROVAN_LANES_ISA 3
#include "diag/rbar_lanes.inc"
#undef KESTROVAN_LANES_ISA
#undef KESTROVAN_LANES
}  // namespace lanes_avx512
#pragma GCC pop_options
#endif

// The lane kernel for `requested` (RbarKernel): the best this processor runs, or a lower one
// asked for; none (one pair at a time) for windows that do not start one year apart.
LaneKernel sweep_kernel(RbarKernel requested, int step) {
    if (step != 1) return {};
#if KESTROVAN_RBAR_X86
    __builtin_cpu_init();
    const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
    const bool avx2 = __builtin_cpu_supports("avx2");
    if (requested == RbarKernel::Portable) return {lanes_portable::partners_of, 2};
    if (avx512 && (requested == RbarKernel::Best || requested == RbarKernel::Avx512))
        return {lanes_avx512::partners_of, 8};
    if (avx2) return {lanes_avx2::partners_of, 4};
    return {lanes_portable::partners_of, 2};
#elif KESTROVAN_RBAR_LANES
    (void)requested;
    return {lanes_portable::partners_of, 2};
#else
    (void)requested;
    return {};
#endif
}

}  // namespace

float eps_value(float r, float n) {
    const double den = (1.0 - r) + static_cast<double>(r) * n;
    if (!(den > 0.0)) return 0.0f;
    return static_cast<float>(static_cast<double>(r) * n / den);
}

RrbarResult rrbar(const IndexSet& set, int window_start, int window) {
    WindowSums sums;
    const YearMatrix& indices = set.indices;
    const int ns = std::min<int>(static_cast<int>(set.years.size()), indices.cols());
    const int r0 = window_start - set.first_year;
    if (window < 1 || r0 < 0 || r0 + window > indices.rows()) return summarize(sums);
    for (int i = 0; i < ns; ++i) {
        for (int j = i + 1; j < ns; ++j) {
            if (!pair_covers(set.years[i], set.years[j], window_start, window)) continue;
            const auto x = indices.column(i).subspan(static_cast<std::size_t>(r0), window);
            const auto y = indices.column(j).subspan(static_cast<std::size_t>(r0), window);
            const float r = pearsn(x, y).r;
            if (r > 0.0f) {
                ++sums.count;
                sums.sum += r;
                sums.sumsq += static_cast<double>(r) * r;
            }
        }
    }
    return summarize(sums);
}

namespace {

// The windows of one runbar call: window w starting every `step` years from the first year;
// those ending after the last year are skipped.
struct WindowGrid {
    int w = 0;
    int step = 1;
    int nyears = 0;  // years of the chronology
    int rows = 0;    // of them, the rows the index matrix holds
    int nwin = 0;
};

// Kept correlations per window: count, sum and sum of squares (double precision).
struct WindowTotals {
    std::vector<long long> count;
    std::vector<double> sum, sumsq;
};

// The blocks of windows, those with the most series pairs first (pairs counted per window from
// the series' first and last windows).
std::vector<int> blocks_by_pairs(const std::vector<int>& wlo, const std::vector<int>& whi, int nwin,
                                 int nblocks) {
    std::vector<long long> starts(static_cast<std::size_t>(nwin) + 1, 0);
    for (std::size_t i = 0; i < wlo.size(); ++i)
        if (wlo[i] <= whi[i]) {
            ++starts[static_cast<std::size_t>(wlo[i])];
            --starts[static_cast<std::size_t>(whi[i]) + 1];
        }
    std::vector<long long> pairs(static_cast<std::size_t>(nblocks), 0);
    long long active = 0;
    for (int k = 0; k < nwin; ++k) {
        active += starts[static_cast<std::size_t>(k)];
        pairs[static_cast<std::size_t>(k / kRbarBlock)] += active * (active - 1) / 2;
    }
    std::vector<int> order(static_cast<std::size_t>(nblocks));
    for (int b = 0; b < nblocks; ++b) order[static_cast<std::size_t>(b)] = b;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return pairs[static_cast<std::size_t>(a)] > pairs[static_cast<std::size_t>(b)];
    });
    return order;
}

// The correlation totals of every window, over all pairs of series.
WindowTotals window_totals(const IndexSet& set, const WindowGrid& g, int threads, RbarKernel kernel) {
    WindowTotals t;
    const std::size_t nwin = static_cast<std::size_t>(g.nwin);
    t.count.assign(nwin, 0);
    t.sum.assign(nwin, 0.0);
    t.sumsq.assign(nwin, 0.0);
    if (g.nwin == 0) return t;
    const int ns = std::min<int>(static_cast<int>(set.years.size()), set.indices.cols());

    // Window statistics of every series, over the windows inside its own years.
    std::vector<SeriesWindowStats> stats(static_cast<std::size_t>(ns));
    std::vector<int> wlo(static_cast<std::size_t>(ns)), whi(static_cast<std::size_t>(ns));
    for (int i = 0; i < ns; ++i) {
        const int fr = std::max(0, set.years[i].first - set.first_year);
        const int lr = std::min(g.rows - 1, set.years[i].last - set.first_year);
        wlo[i] = (fr + g.step - 1) / g.step;
        whi[i] = std::min(g.nwin - 1, lr - g.w + 1 >= 0 ? (lr - g.w + 1) / g.step : -1);
    }
    const int workers = std::min(resolve_threads(threads), std::max(1, ns));
    std::vector<int> bounds;
    split_ranges(ns, workers, nullptr, bounds);
    run_workers(workers, [&](int p) {
        for (int i = bounds[p]; i < bounds[p + 1]; ++i)
            series_stats_sliding(set.indices.column(i), g.w, g.step, wlo[i], whi[i], stats[i]);
    });

    // The windows are taken in blocks of kRbarBlock; a block's sums depend on nothing outside
    // it, so blocks are shared out to the workers as they come free and the numbers are the
    // same with any number of threads. The blocks with the most pairs go first, so that no
    // worker is left with a large one at the end.
    const LaneKernel lanes = sweep_kernel(kernel, g.step);
    const PairSweep sweep{
        set.indices,    stats,          wlo,        whi, g.w, g.step, t.count.data(), t.sum.data(),
        t.sumsq.data(), lanes.partners, lanes.lanes};
    const int nblocks = (g.nwin + kRbarBlock - 1) / kRbarBlock;
    const std::vector<int> order = blocks_by_pairs(wlo, whi, g.nwin, nblocks);
    const int block_workers = std::min(resolve_threads(threads), nblocks);
    std::atomic<int> next_block{0};
    run_workers(block_workers, [&](int) {
        PairScratch scratch;
        for (int i = next_block++; i < nblocks; i = next_block++) {
            const int b = order[static_cast<std::size_t>(i)];
            sweep.block(b * kRbarBlock, std::min(g.nwin, (b + 1) * kRbarBlock) - 1, scratch);
        }
    });
    return t;
}

// The window table, and the running RBAR at each valid window's middle year; `placed` marks the
// years that received one.
void place_windows(const WindowTotals& t, const WindowGrid& g, int first_year, RbarTables& out,
                   std::vector<char>& placed) {
    out.running_rbar.assign(static_cast<std::size_t>(g.nyears), 0.0f);
    placed.assign(static_cast<std::size_t>(g.nyears), 0);
    const int last_year = first_year + g.nyears - 1;
    for (int k = 0; k < g.nwin; ++k) {
        const RrbarResult rr = summarize({static_cast<int>(t.count[k]), t.sum[k], t.sumsq[k]});
        if (rr.mean == kRbarUndefined) continue;
        const int middle = first_year + g.step * k + g.w / 2;
        out.windows.push_back({middle, rr.count, rr.mean, rr.sd, rr.se});
        const int y = middle - first_year;
        if (y >= 0 && y < g.nyears && middle <= last_year) {
            out.running_rbar[y] = rr.mean;
            placed[y] = 1;
        }
    }
    out.defined = !out.windows.empty();
}

// Years before the first placed year take its value; years between and after take the latest
// value before them. Then the constant-sample RBAR: the mean of r1 over each stretch of
// unchanged sample size.
void fill_years(std::span<const char> placed, std::span<const int> sample_size, RbarTables& out) {
    const int nyears = static_cast<int>(out.running_rbar.size());
    int first_placed = 0;
    while (first_placed < nyears && !placed[first_placed]) ++first_placed;
    for (int t = 0; t < first_placed; ++t) out.running_rbar[t] = out.running_rbar[first_placed];
    for (int t = first_placed + 1; t < nyears; ++t)
        if (!placed[t]) out.running_rbar[t] = out.running_rbar[t - 1];

    for (int a = 0; a < nyears;) {
        int b = a;
        while (b + 1 < nyears && sample_size[b + 1] == sample_size[a]) ++b;
        double sum = 0.0;
        for (int t = a; t <= b; ++t) sum += out.running_rbar[t];
        const float mean = static_cast<float>(sum / (b - a + 1));
        for (int t = a; t <= b; ++t) out.constant_rbar[t] = mean;
        a = b + 1;
    }
}

// Effective numbers and the rescaled chronologies; years without series keep their value.
void rescale_by_rbar(const ChronologyView& chron, RbarTables& out) {
    const int nyears = static_cast<int>(out.running_rbar.size());
    double csum = 0.0;
    int ccount = 0;
    for (int t = 0; t < nyears; ++t)
        if (chron.sample_size[t] > 0) {
            csum += chron.values[t];
            ++ccount;
        }
    const double m = ccount > 0 ? csum / ccount : 0.0;
    for (int t = 0; t < nyears; ++t) {
        const int n = chron.sample_size[t];
        if (n <= 0) continue;
        const double r1 = out.running_rbar[t], r2 = out.constant_rbar[t];
        const double n1 = n / ((n - 1) * r1 + 1.0);
        const double n2 = n / ((n - 1) * r2 + 1.0);
        out.neff1[t] = static_cast<float>(n1);
        out.neff2[t] = static_cast<float>(n2);
        const double c = chron.values[t];
        out.stabilized_running[t] = static_cast<float>(m + (c - m) * std::sqrt(r1 * n1));
        out.stabilized_constant[t] = static_cast<float>(m + (c - m) * std::sqrt(r2 * n2));
    }
}

}  // namespace

RbarTables runbar(const IndexSet& set, const ChronologyView& chron, const RbarSettings& settings) {
    RbarTables out;
    int w = settings.window, s = settings.overlap;
    if (w % 2 == 0) {
        s = w;
        w = w + 1;
    }
    out.window = w;
    out.overlap = s;

    WindowGrid g;
    g.w = w;
    g.step = std::max(1, w - s);
    g.nyears = static_cast<int>(std::min(chron.values.size(), chron.sample_size.size()));
    g.rows = std::min(g.nyears, set.indices.rows());
    if (w >= 2 && g.nyears >= w) g.nwin = (g.rows - w) / g.step + 1;

    std::vector<char> placed;
    place_windows(window_totals(set, g, settings.threads, settings.kernel), g, set.first_year, out, placed);

    const std::size_t ny = static_cast<std::size_t>(g.nyears);
    out.neff1.assign(ny, 0.0f);
    out.constant_rbar.assign(ny, 0.0f);
    out.neff2.assign(ny, 0.0f);
    out.stabilized_running.assign(chron.values.begin(), chron.values.begin() + g.nyears);
    out.stabilized_constant.assign(chron.values.begin(), chron.values.begin() + g.nyears);
    if (!out.defined) return out;  // RBAR undefined: zeros, chronology unchanged
    fill_years(placed, chron.sample_size, out);
    rescale_by_rbar(chron, out);
    return out;
}

}  // namespace kestrovan
