#include "diag/rbar.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <fstream>

#include "console/format.hpp"
#include "console/parallel.hpp"
#include "console/report.hpp"
#include "diag/pearsn.hpp"

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
void series_stats(std::span<const float> values, int w, int step, int wlo, int whi,
                  SeriesWindowStats& out) {
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

// One worker's scratch for the pair sweep (sized for one block).
struct PairScratch {
    std::vector<double> diff, sxy;
    std::vector<ActiveSeries> active;
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
    double* count;  // whole numbers, kept as double so the window loop runs on vectors
    double* sum;
    double* sumsq;

    // Windows kb .. ke. The series with windows in the block are taken in tiles of kRbarTile, and
    // the pairs tile by tile (tiles (0,0), (0,1), …, (1,1), …; within two tiles, pair by pair), so
    // that the data of two tiles stays in the processor's cache while all their pairs are done.
    // Every window adds its correlations in this fixed order, whatever the blocks around it.
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
        for (int ta = 0; ta < na; ta += kRbarTile) {
            const int ea = std::min(na, ta + kRbarTile);
            for (int tb = ta; tb < na; tb += kRbarTile) {
                const int eb = std::min(na, tb + kRbarTile);
                for (int a = ta; a < ea; ++a) {
                    const ActiveSeries si = scratch.active[static_cast<std::size_t>(a)];
                    for (int b = std::max(tb, a + 1); b < eb; ++b) {
                        const ActiveSeries sj = scratch.active[static_cast<std::size_t>(b)];
                        const int lo = std::max(si.lo, sj.lo);
                        const int hi = std::min(si.hi, sj.hi);
                        if (lo <= hi) pair(si.series, sj.series, lo, hi, scratch);
                    }
                }
            }
        }
    }

    // The correlations of n windows from their sums of products, means and 1/sqrt(ss); the
    // positive ones are added to the window totals. The arrays never overlap (restrict lets the
    // compiler run the loop on vectors).
    void finish(const double* __restrict sxy, const double* __restrict mi,
                const double* __restrict mj, const double* __restrict ii,
                const double* __restrict ij, double* __restrict cnt, double* __restrict sm,
                double* __restrict sq, int n) const {
        const double wd = w;
        for (int q = 0; q < n; ++q) {
            const double cov = sxy[q] - wd * mi[q] * mj[q];
            const double r = static_cast<double>(static_cast<float>(cov * ii[q] * ij[q]));
            const bool keep = r > 0.0;  // false for NaN too
            const double rk = keep ? r : 0.0;
            cnt[q] += keep ? 1.0 : 0.0;
            sm[q] += rk;
            sq[q] += rk * rk;
        }
    }

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
        finish(sxy, si.mean.data() + (lo - si.first_window), sj.mean.data() + (lo - sj.first_window),
               si.inv_root_ss.data() + (lo - si.first_window),
               sj.inv_root_ss.data() + (lo - sj.first_window), count + lo, sum + lo, sumsq + lo, n);
    }
};

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
    std::vector<double> count, sum, sumsq;
};

// The correlation totals of every window, over all pairs of series.
WindowTotals window_totals(const IndexSet& set, const WindowGrid& g, int threads) {
    WindowTotals t;
    const std::size_t nwin = static_cast<std::size_t>(g.nwin);
    t.count.assign(nwin, 0.0);
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
    // same with any number of threads.
    const PairSweep sweep{set.indices, stats, wlo, whi, g.w, g.step, t.count.data(), t.sum.data(), t.sumsq.data()};
    const int nblocks = (g.nwin + kRbarBlock - 1) / kRbarBlock;
    const int block_workers = std::min(resolve_threads(threads), nblocks);
    std::atomic<int> next_block{0};
    run_workers(block_workers, [&](int) {
        PairScratch scratch;
        for (int b = next_block++; b < nblocks; b = next_block++)
            sweep.block(b * kRbarBlock, std::min(g.nwin, (b + 1) * kRbarBlock) - 1, scratch);
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

RbarTables runbar(const IndexSet& set, const ChronologyView& chron, const RbarSettings& settings,
                  Console& console) {
    RbarTables out;
    int w = settings.window, s = settings.overlap;
    if (w % 2 == 0) {
        s = w;
        w = w + 1;
    }
    out.window = w;
    out.overlap = s;
    if (settings.print) {
        console.line(Columns().at(2, "Running RBAR window length: ").at(37, fmt_i(w, 5)).str());
        console.line(Columns().at(2, "Running RBAR window overlap: ").at(37, fmt_i(s, 5)).str());
    }

    WindowGrid g;
    g.w = w;
    g.step = std::max(1, w - s);
    g.nyears = static_cast<int>(std::min(chron.values.size(), chron.sample_size.size()));
    g.rows = std::min(g.nyears, set.indices.rows());
    if (w >= 2 && g.nyears >= w) g.nwin = (g.rows - w) / g.step + 1;

    std::vector<char> placed;
    place_windows(window_totals(set, g, settings.threads), g, set.first_year, out, placed);
    if (settings.print)
        console.line(Columns()
                         .at(2, "Running RBAR segments calculated: ")
                         .at(37, fmt_i(static_cast<long long>(out.windows.size()), 5))
                         .str());

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

void write_rbar_file(const std::string& path, const RbarTables& tables, int first_year,
                     std::span<const int> sample_size) {
    std::ofstream file = create_output_file(path);
    file << " YEAR     NC   RBAR1    EPS1   NEFF1   RBAR2    EPS2   NEFF2\n";
    const std::size_t nyears = std::min(tables.running_rbar.size(), sample_size.size());
    for (std::size_t t = 0; t < nyears; ++t) {
        const int n = sample_size[t];
        const float r1 = tables.running_rbar[t], r2 = tables.constant_rbar[t];
        const float e1 = tables.defined ? eps_value(r1, static_cast<float>(n)) : 0.0f;
        const float e2 = tables.defined ? eps_value(r2, static_cast<float>(n)) : 0.0f;
        file << fmt_i(first_year + static_cast<int>(t), 5) << fmt_i(n, 7) << fmt_f(r1, 8, 3)
             << fmt_f(e1, 8, 3) << fmt_f(tables.neff1[t], 8, 3) << fmt_f(r2, 8, 3)
             << fmt_f(e2, 8, 3) << fmt_f(tables.neff2[t], 8, 3) << '\n';
    }
    check_written(file, path);
}

}  // namespace kestrovan
