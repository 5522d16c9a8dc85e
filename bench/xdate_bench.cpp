// The crossdating checks (default options) on synthetic ring widths (tests/support/synthetic.hpp):
// 1000 series within 1000 years and the program's limits, 4500 series within 5000 years, on one
// thread and on the threads of the machine; and on the table engine_bench runs the engine on, so
// that the two can be set side by side. Reports the process CPU time of the check (all threads)
// and the peak resident memory as counters, to be set against a whole run's CPU time.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>

#include "engine/engine_test_support.hpp"
#include "model/series_table.hpp"
#include "support/synthetic.hpp"
#include "xdate/crossdating.hpp"

namespace {

using namespace kestrovan;

SeriesTable table_of(const synthetic::Set& set) {
    SeriesTable t;
    int rows = 0;
    for (const synthetic::Series& s : set.series) rows = std::max(rows, static_cast<int>(s.widths.size()));
    t.data.resize(rows, static_cast<int>(set.series.size()));
    for (std::size_t i = 0; i < set.series.size(); ++i) {
        const synthetic::Series& s = set.series[i];
        const int n = static_cast<int>(s.widths.size());
        std::copy(s.widths.begin(), s.widths.end(), t.data.column(static_cast<int>(i)).begin());
        t.years.push_back({s.first_year, s.first_year + n - 1, n});
        t.ids.push_back(s.id);
    }
    t.update_summary();
    t.mark_as_read();
    return t;
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double peak_mib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

void run_crossdate(benchmark::State& state, const SeriesTable& table, int threads) {
    long long values = 0;
    for (const YearSpan& y : table.years) values += y.length;
    double cpu = 0.0;
    int segments = 0;
    for (auto _ : state) {
        const double start = cpu_seconds();
        const CrossdatingReport r = crossdate(table, {}, threads);
        cpu += cpu_seconds() - start;
        segments = r.segments;
        benchmark::DoNotOptimize(r.series.data());
    }
    state.counters["cpu_s"] = cpu / static_cast<double>(state.iterations());
    state.counters["segments"] = segments;
    state.counters["rings"] = static_cast<double>(values);
    state.counters["peak_MiB"] = peak_mib();
}

// Arguments: series, years, threads (0: the machine's, or KESTROVAN_THREADS).
void BM_Crossdate(benchmark::State& state) {
    synthetic::Options o;
    o.series = static_cast<int>(state.range(0));
    o.years = static_cast<int>(state.range(1));
    o.seed = 2027;
    run_crossdate(state, table_of(synthetic::generate(o)), static_cast<int>(state.range(2)));
}

// engine_bench's table (1000 series within 1000 years, 150 to 600 rings); argument: threads.
void BM_CrossdateEngineTable(benchmark::State& state) {
    run_crossdate(state, test::synthetic_table(1000, 1000, 1000, 150, 600, 42),
                  static_cast<int>(state.range(0)));
}

BENCHMARK(BM_Crossdate)
    ->Args({1000, 1000, 1})
    ->Args({1000, 1000, 0})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrossdateEngineTable)->Arg(1)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crossdate)
    ->Args({4500, 5000, 1})
    ->Args({4500, 5000, 0})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
