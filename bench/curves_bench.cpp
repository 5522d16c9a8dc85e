// Curve fits as the engine runs them once per series and iteration: the age-dependent spline's
// solver (spline2 with growing wavelengths) on 500 and 5000 values, with a reused workspace and
// without one, the whole age-dependent spline, and the negative exponential search on 500 values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "curves/growth.hpp"
#include "curves/spline.hpp"
#include "model/notices.hpp"

namespace {

using namespace kestrovan;

// Ring-width-like values: a negative exponential trend with multiplicative noise.
std::vector<float> ring_widths(int n) {
    std::mt19937 rng(533);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    std::vector<float> y(static_cast<std::size_t>(n));
    for (int t = 1; t <= n; ++t)
        y[static_cast<std::size_t>(t - 1)] =
            (1.5f * std::exp(-0.01f * static_cast<float>(t)) + 0.4f) * std::max(0.05f, 1.0f + noise(rng));
    return y;
}

// Where the fits' messages go; none is printed.
struct Quiet {
    Notices notices;
};

void BM_Spline2(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const bool reuse = state.range(1) != 0;
    const std::vector<float> y = ring_widths(n);
    std::vector<float> c(y.size());
    std::vector<int> lengths(y.size());
    lsmake(n, 50, lengths);
    Quiet q;
    SplineWorkspace ws;
    for (auto _ : state) {
        spline2(n, y, c, lengths, q.notices, reuse ? &ws : nullptr);
        benchmark::DoNotOptimize(c.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_AgeDependentSpline(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> y = ring_widths(n);
    std::vector<float> c(y.size());
    Quiet q;
    SplineWorkspace ws;
    for (auto _ : state) {
        age_dependent_spline(n, y, c, 50, q.notices, &ws);
        benchmark::DoNotOptimize(c.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_Curve(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> y = ring_widths(n);
    std::vector<float> c(y.size());
    Quiet q;
    for (auto _ : state) {
        FitRecord record{};
        curve(n, n, y, c, record, q.notices);
        benchmark::DoNotOptimize(record.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(BM_Spline2)
    ->Args({500, 1})
    ->Args({5000, 1})
    ->Args({500, 0})
    ->Args({5000, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AgeDependentSpline)->Arg(500)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Curve)->Arg(500)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
