// Year-by-year chronology summary, arithmetic and biweight means: 1000 years × 1000 series and
// the program's limits, 5000 years × 4500 series; staggered series or every cell filled.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "model/year_matrix.hpp"
#include "stats/robust.hpp"

namespace {

using namespace kestrovan;

// Index-like values near 1, as the engine's index matrix holds them: with staggered coverage
// (each series spans part of the years) or, with `full`, every cell filled (the worst case).
YearMatrix index_matrix(int years, int series, bool full) {
    YearMatrix m(years, series);
    std::mt19937 rng(20260);
    std::normal_distribution<float> noise(0.0f, 0.25f);
    std::uniform_int_distribution<int> start(0, years / 2), length(years / 4, years);
    for (int c = 0; c < series; ++c) {
        const int first = full ? 0 : start(rng);
        const int last = full ? years - 1 : std::min(years - 1, first + length(rng));
        for (int r = first; r <= last; ++r) m(r, c) = std::max(0.0f, 1.0f + noise(rng));
    }
    return m;
}

void robsum_bench(benchmark::State& state, int method) {
    const int years = static_cast<int>(state.range(0));
    const int series = static_cast<int>(state.range(1));
    const YearMatrix m = index_matrix(years, series, state.range(2) != 0);
    ChronologySummary summary;
    RobustWorkspace ws;
    for (auto _ : state) {
        robsum(m, {years, series}, method, summary, ws);
        benchmark::DoNotOptimize(summary.location.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(years) * series);
}

void BM_RobsumArithmetic(benchmark::State& state) { robsum_bench(state, kMeanArithmetic); }
void BM_RobsumBiweight(benchmark::State& state) { robsum_bench(state, kMeanBiweight); }

// Arguments: years, series, full coverage (0 staggered, 1 every cell).
BENCHMARK(BM_RobsumArithmetic)
    ->Args({1000, 1000, 0})
    ->Args({1000, 1000, 1})
    ->Args({5000, 4500, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RobsumBiweight)
    ->Args({1000, 1000, 0})
    ->Args({1000, 1000, 1})
    ->Args({5000, 4500, 0})
    ->Args({5000, 4500, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
