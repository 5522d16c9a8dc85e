// One signal-free engine run on a synthetic set of 1000 series over 1000 years: per-series
// age-dependent spline (option 8, stiffness 50), biweight mean, no running RBAR, plots off.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <sstream>

#include "console/console.hpp"
#include "engine/attempts.hpp"
#include "engine/engine_test_support.hpp"
#include "engine/sigfree.hpp"
#include "support/test_io.hpp"

namespace {

using namespace kestrovan;

void BM_SigfreeSpline1000x1000(benchmark::State& state) {
    const SeriesTable table = test::synthetic_table(1000, 1000, 1000, 150, 600, 42);
    test::TempDir dir("bench");
    int iterations = 0, attempts = 0;
    for (auto _ : state) {
        std::istringstream in;
        std::ostringstream out;
        Console console(in, out);
        OutputFiles files;
        files.data_name = dir.file("bench.rwl");
        files.header = {"bench", "bench", "bench"};
        files.report.open(dir.file("bench_report.txt"));
        test::CountingPlotter plotter;
        RunOptions params;
        params.curve_option = 8;
        params.spline_stiffness = 50;
        params.mean_method = 2;
        params.rbar_window = 0;
        EngineResults results;
        AttemptSteps steps;
        attempts = run_attempts(table, params, kestrovan::testing::TestIo(files, console, plotter).observer(),
                                results, steps)
                       .attempts;
        iterations = results.iterations;
        benchmark::DoNotOptimize(results.signal_free.data());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["iterations"] = iterations;
    state.counters["attempts"] = attempts;
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_SigfreeSpline1000x1000)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
