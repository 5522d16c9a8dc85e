// Running RBAR (window 51, windows one year apart) on synthetic index matrices: 1000 series ×
// 1000 years, and the program's limits, 4500 series × 5000 years, on the threads of the machine
// and, build by build, for the pair kernel on one. Reports the peak resident memory of the
// process as a counter (MiB). Beside it, the whole-chronology statistics over all pairs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "console/console.hpp"
#include "diag/chronology_stats.hpp"
#include "diag/rbar.hpp"
#include "model/year_matrix.hpp"

namespace {

using namespace kestrovan;

struct IndexData {
    YearMatrix indices;
    std::vector<YearSpan> years;
    std::vector<int> n;
    std::vector<float> chron;
};

// Indices near 1 with a common signal; `full`: every series covers every year (the worst case),
// else staggered series of a quarter to all of the span.
IndexData make_indices(int nyears, int series, bool full) {
    IndexData d;
    d.indices.resize(nyears, series);
    d.n.assign(static_cast<std::size_t>(nyears), 0);
    d.chron.assign(static_cast<std::size_t>(nyears), 0.0f);
    std::mt19937 rng(2026);
    std::normal_distribution<float> sig(0.0f, 0.2f), noise(0.0f, 0.25f);
    std::uniform_int_distribution<int> start(0, nyears / 2), length(nyears / 4, nyears);
    std::vector<float> signal(static_cast<std::size_t>(nyears));
    for (float& v : signal) v = sig(rng);
    for (int c = 0; c < series; ++c) {
        const int first = full ? 0 : start(rng);
        const int last = full ? nyears - 1 : std::min(nyears - 1, first + length(rng));
        for (int r = first; r <= last; ++r) {
            const float v = std::max(0.0f, 1.0f + signal[r] + noise(rng));
            d.indices(r, c) = v;
            d.chron[r] += v;
            ++d.n[r];
        }
        d.years.push_back({1000 + first, 1000 + last, last - first + 1});
    }
    for (int r = 0; r < nyears; ++r)
        if (d.n[r] > 0) d.chron[r] /= static_cast<float>(d.n[r]);
    return d;
}

double peak_mib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

void BM_Runbar(benchmark::State& state) {
    const int years = static_cast<int>(state.range(0));
    const int series = static_cast<int>(state.range(1));
    const IndexData d = make_indices(years, series, state.range(2) != 0);
    std::istringstream in;
    std::ostringstream out;
    Console console(in, out);
    for (auto _ : state) {
        RbarTables t = runbar({d.indices, d.years, 1000}, {d.chron, d.n}, {51, 50});
        benchmark::DoNotOptimize(t.running_rbar.data());
    }
    state.counters["peak_MiB"] = peak_mib();
}

// Arguments: years, series, full coverage (0 staggered, 1 every cell).
BENCHMARK(BM_Runbar)->Args({1000, 1000, 1})->Args({1000, 1000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Runbar)
    ->Args({5000, 4500, 0})
    ->Args({5000, 4500, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The pair kernel's builds on one thread (all give the same bits; the processor's best is the
// default): 0 portable, 1 AVX2, 2 AVX-512 (a build the processor lacks runs the best below it).
void BM_RunbarKernel(benchmark::State& state) {
    const int years = static_cast<int>(state.range(0));
    const int series = static_cast<int>(state.range(1));
    const RbarKernel kernels[] = {RbarKernel::Portable, RbarKernel::Avx2, RbarKernel::Avx512};
    const RbarKernel kernel = kernels[state.range(3)];
    const IndexData d = make_indices(years, series, state.range(2) != 0);
    std::istringstream in;
    std::ostringstream out;
    Console console(in, out);
    for (auto _ : state) {
        RbarTables t = runbar({d.indices, d.years, 1000}, {d.chron, d.n}, {51, 50, 1, kernel});
        benchmark::DoNotOptimize(t.running_rbar.data());
    }
    state.counters["peak_MiB"] = peak_mib();
}

// Arguments: years, series, full coverage, kernel build.
BENCHMARK(BM_RunbarKernel)
    ->Args({1000, 1000, 0, 0})
    ->Args({1000, 1000, 0, 1})
    ->Args({1000, 1000, 0, 2})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunbarKernel)
    ->Args({5000, 4500, 0, 1})
    ->Args({5000, 4500, 0, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The whole-chronology statistics (every pair over its own overlap, trees of three cores) on the
// same matrices, on the threads of the machine: one call per set of indices of a run.
void BM_ChronologyStatistics(benchmark::State& state) {
    const int years = static_cast<int>(state.range(0));
    const int series = static_cast<int>(state.range(1));
    const IndexData d = make_indices(years, series, state.range(2) != 0);
    std::vector<int> tree(static_cast<std::size_t>(series));
    for (int i = 0; i < series; ++i) tree[static_cast<std::size_t>(i)] = i / 3;
    for (auto _ : state) {
        const ChronologyStatistics s =
            chronology_statistics(d.indices, 1000, tree, kDefaultMinOverlap, {}, kThreadsFromEnvironment);
        benchmark::DoNotOptimize(s.rbar_eff);
    }
    state.counters["peak_MiB"] = peak_mib();
}

// Arguments: years, series, full coverage.
BENCHMARK(BM_ChronologyStatistics)->Args({1000, 1000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChronologyStatistics)->Args({5000, 4500, 0})->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
