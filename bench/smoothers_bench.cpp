// Flexible smoothers at curve-fit sizes: the automatic super smoother on the longest series the
// program holds (5000 values, target under 2 ms) and robust lowess on 1000 values with a 50 %
// span. Peak resident memory is reported with each result.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cmath>
#include <random>
#include <vector>

#include "curves/smoothers.hpp"

namespace {

using namespace kestrovan;

// A ring-width-like series: a declining age trend with noise.
std::vector<float> series(std::size_t n) {
    std::mt19937 rng(4501);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    std::vector<float> y(n);
    for (std::size_t i = 0; i < n; ++i)
        y[i] = 0.5f + 2.0f * std::exp(-0.01f * static_cast<float>(i)) + noise(rng);
    return y;
}

void report_peak_memory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_SupsmuAutomatic(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const std::vector<float> y = series(n);
    std::vector<float> x(n), w(n, 1.0f), s(n), scratch(7 * n);
    for (std::size_t i = 0; i < n; ++i) x[i] = static_cast<float>(i + 1);
    for (auto _ : state) {
        supsmu({x, y, w}, {kNotPeriodic, 0.0f, 7.0f}, s, scratch);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(n));
    report_peak_memory(state);
}

void BM_Lowess(benchmark::State& state) {
    const std::size_t n = static_cast<std::size_t>(state.range(0));
    const float f = static_cast<float>(state.range(1)) / 100.0f;
    const std::vector<float> y = series(n);
    std::vector<float> s(n);
    for (auto _ : state) {
        lowess(y, s, f);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(n));
    report_peak_memory(state);
}

}  // namespace

BENCHMARK(BM_SupsmuAutomatic)->Arg(500)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lowess)->Args({1000, 50})->Args({1000, 10})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
