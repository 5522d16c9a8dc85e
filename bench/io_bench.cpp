// Reading a large data set: the same synthetic ring widths (4500 series within 5000 years, the
// program's limits, and a tenth of that) as a Tucson ring-width file and as a CSV table with six
// decimals, each read from its file into the Series table. Reports the peak resident memory of
// the process as a counter (MiB). The files are written once, to the temporary directory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "console/console.hpp"
#include "io/loaders.hpp"
#include "model/series_table.hpp"
#include "support/synthetic.hpp"

namespace {

using namespace kestrovan;

double peak_mib() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// The set as a table: Year and the series' names, then one row per year of the set, a series'
// cells empty outside its years, widths with six decimals.
void write_csv(const std::string& path, const synthetic::Set& set) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "Year";
    for (const auto& s : set.series) file << ',' << rtrim(s.id);
    file << '\n';
    const int first = set.options.first_year;
    char cell[32];
    std::string row;
    for (int y = first; y < first + set.options.years; ++y) {
        row = std::to_string(y);
        for (const auto& s : set.series) {
            row += ',';
            const int k = y - s.first_year;
            if (k < 0 || k >= static_cast<int>(s.widths.size())) continue;
            std::snprintf(cell, sizeof cell, "%.6f", s.widths[static_cast<std::size_t>(k)]);
            row += cell;
        }
        row += '\n';
        file << row;
    }
}

struct Files {
    std::string tucson, csv;
};

// The two files of a set of `series` within `years` (written on first use).
const Files& files_for(int series, int years) {
    static std::map<std::pair<int, int>, Files> made;
    auto [it, fresh] = made.try_emplace({series, years});
    if (fresh) {
        synthetic::Options o;
        o.series = series;
        o.years = years;
        o.seed = 7;
        const auto set = synthetic::generate(o);
        const auto dir = std::filesystem::temp_directory_path();
        const std::string stem = "kestrovan_io_bench_" + std::to_string(series) + "x" + std::to_string(years);
        it->second.tucson = (dir / (stem + ".rwl")).string();
        it->second.csv = (dir / (stem + ".csv")).string();
        synthetic::write_files(set, it->second.tucson);
        write_csv(it->second.csv, set);
    }
    return it->second;
}

void read_bench(benchmark::State& state, FileKind kind) {
    const Files& f = files_for(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::string& path = kind == FileKind::Csv ? f.csv : f.tucson;
    LoadSettings settings;
    settings.kind = kind;
    int series = 0;
    for (auto _ : state) {
        std::ifstream file(path, std::ios::binary);
        std::istringstream no_answers("\n\n\n");
        std::ostringstream messages;
        Console console(no_answers, messages);
        SeriesTable table;
        std::array<std::string, 3> header;
        if (!read_data(console, file, settings, table, header)) {
            state.SkipWithError(("read failed: " + messages.str()).c_str());
            return;
        }
        series = table.count();
        benchmark::DoNotOptimize(table.data.rows());
    }
    state.counters["series"] = static_cast<double>(series);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    state.counters["peak_MiB"] = peak_mib();
}

void BM_ReadTucson(benchmark::State& state) { read_bench(state, FileKind::RingWidths); }
void BM_ReadCsv(benchmark::State& state) { read_bench(state, FileKind::Csv); }

// Arguments: series, years.
BENCHMARK(BM_ReadTucson)->Args({450, 500})->Args({4500, 5000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCsv)->Args({450, 500})->Args({4500, 5000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
