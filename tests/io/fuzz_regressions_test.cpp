// Inputs that once broke a reader (kept by the fuzzing runs in fuzz/regressions/<target>/) and
// the fuzzers' seed files (fuzz/corpus/<target>/), run through the same entry points as the
// fuzz targets: each must be read or refused cleanly, with what is read within the limits and
// consistent with itself.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../../fuzz/entry_points.hpp"
#include "support/synthetic.hpp"

using namespace kestrovan;
namespace fs = std::filesystem;

namespace {

const fs::path kFuzzDir = fs::path(KESTROVAN_DATA_DIR) / ".." / ".." / "fuzz";

std::string read_file(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Every file kept for a target, regressions first; the count is returned so that a test can
// tell when a folder it expects has gone missing.
int run_target(const std::string& target, const std::function<std::string(std::string_view)>& entry) {
    int files = 0;
    for (const char* kind : {"regressions", "corpus"}) {
        const fs::path dir = kFuzzDir / kind / target;
        if (!fs::is_directory(dir)) continue;
        std::vector<fs::path> paths;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file()) paths.push_back(e.path());
        std::sort(paths.begin(), paths.end());
        for (const auto& p : paths) {
            ++files;
            EXPECT_EQ(entry(read_file(p)), "") << p;
        }
    }
    return files;
}

}  // namespace

TEST(FuzzRegressions, TucsonReaderInBothModes) {
    EXPECT_GT(run_target("trrw_mr", [](std::string_view d) { return fuzzing::run_trrw(d, "mr"); }), 0);
    EXPECT_GT(run_target("trrw_ir", [](std::string_view d) { return fuzzing::run_trrw(d, "ir"); }), 0);
}

TEST(FuzzRegressions, ExchangeFormatsAndRecognition) {
    const std::pair<const char*, const char*> targets[] = {{"csv", "5\n0\n"},
                                                           {"heidelberg", "6\n"},
                                                           {"compact", "7\n"},
                                                           {"tridas", "8\n"},
                                                           {"recognise", "9\n"}};
    for (const auto& [target, answers] : targets)
        EXPECT_GT(run_target(target, [a = std::string(answers)](
                                         std::string_view d) { return fuzzing::run_loaddat(d, a); }),
                  0)
            << target;
}

TEST(FuzzRegressions, ColumnReadersAndFormatDescribedBlocks) {
    EXPECT_GT(run_target("rd1col", fuzzing::run_rd1col), 0);
    EXPECT_GT(run_target("rdmcol", fuzzing::run_rdmcol), 0);
    EXPECT_GT(run_target("datar", fuzzing::run_datar), 0);
}

// Years past the four-digit range (the narrow layouts carry years down to -99999) must still
// give a summary slot that covers every series: the slot is what later stages size their
// calendar-year matrices by. Free-form years beyond what the program's files hold (10000 and
// later, -100000 and earlier) are refused at load.
TEST(FuzzRegressions, SummarySlotCoversYearsBeyondFourDigits) {
    // A chronology in the six-column year layout, as the program's writer puts it.
    std::ostringstream chron;
    {
        fuzzing::QuietConsole q;
        TucsonWriteState state;
        const std::vector<float> values(12, 1.0f);
        trrw(chron, "iw", {.id = "ab", .first_year = -12999, .values = values, .label = "stdcrn"}, state,
             q.console);
    }
    EXPECT_EQ(fuzzing::run_trrw(chron.str(), "ir"), "");
    EXPECT_EQ(fuzzing::run_rd1col("late\n11771\n1.5\n1.6\nearly\n1500\n0.7\n"), "");
    EXPECT_EQ(fuzzing::run_rd1col("only\n13460\n1.66\n"), "");
    EXPECT_EQ(fuzzing::run_rdmcol("3\n-9.9\nyear a b\n-10001 1.0 -9.9\n-10000 1.1 2.0\n"), "");
}

// The synthetic sets used by the benchmarks go through the program's own writer and must come
// back through its reader as generated: same identifiers and years, widths to the thousandth.
TEST(SyntheticSets, WrittenWithTheProgramsWriterAndReadBackExactly) {
    synthetic::Options o;
    o.series = 40;
    o.years = 600;
    o.first_year = -250;  // crosses year 0 and uses the negative-year layouts
    o.max_pith_offset = 80;
    o.seed = 11;
    const auto set = synthetic::generate(o);
    std::ostringstream file;
    synthetic::write_tucson(file, set);

    fuzzing::QuietConsole q("1\n");
    std::istringstream in(file.str());
    SeriesTable table;
    std::array<std::string, 3> header;
    ASSERT_TRUE(loaddat(q.console, in, table, header));
    EXPECT_EQ(fuzzing::check_table(table), "");
    ASSERT_EQ(table.count(), 40);
    EXPECT_EQ(table.summary.first, -250);
    EXPECT_EQ(table.summary.last, 349);  // the first series covers the whole span
    EXPECT_EQ(header[0].substr(0, 19), "SYNTH   1 Synthetic");
    int irregular = 0;
    for (int s = 0; s < 40; ++s) {
        const auto& g = set.series[static_cast<std::size_t>(s)];
        EXPECT_EQ(table.ids[static_cast<std::size_t>(s)], g.id);
        EXPECT_EQ(table.years[static_cast<std::size_t>(s)].first, g.first_year);
        ASSERT_EQ(table.years[static_cast<std::size_t>(s)].length, static_cast<int>(g.widths.size()));
        if (g.first_year != -250) ++irregular;
        for (std::size_t k = 0; k < g.widths.size(); ++k) {
            ASSERT_GT(g.widths[k], 0.0f);
            // The writer keeps thousandths, rounded in single precision, and writes 0.999 mm as
            // 1.000 (999 is an end marker).
            const float scaled = g.widths[k] * 1000.0f;
            double thousandths = std::trunc(scaled + 0.5f);
            if (thousandths == 999.0) thousandths = 1000.0;
            ASSERT_NEAR(table.data(static_cast<int>(k), s), thousandths / 1000.0, 1e-5)
                << g.id << " ring " << k;
        }
    }
    EXPECT_GT(irregular, 30);

    // Deterministic from the seed, different for another seed.
    std::ostringstream again, other;
    synthetic::write_tucson(again, synthetic::generate(o));
    o.seed = 12;
    synthetic::write_tucson(other, synthetic::generate(o));
    EXPECT_EQ(again.str(), file.str());
    EXPECT_NE(other.str(), file.str());
}

// The banner promises 4500 series and 5000 years: a set exactly at those limits loads.
TEST(SyntheticSets, SetsAtTheLimitsLoad) {
    synthetic::Options many;
    many.series = kMaxSeries;
    many.years = 60;
    many.min_length = many.max_length = 20;
    std::ostringstream file;
    synthetic::write_tucson(file, synthetic::generate(many));
    {
        fuzzing::QuietConsole q("1\n");
        std::istringstream in(file.str());
        SeriesTable table;
        std::array<std::string, 3> header;
        ASSERT_TRUE(loaddat(q.console, in, table, header));
        EXPECT_EQ(table.count(), kMaxSeries);
    }

    synthetic::Options long_ones;
    long_ones.series = 3;
    long_ones.years = kMaxYears;
    long_ones.first_year = -3000;
    std::ostringstream wide;
    synthetic::write_tucson(wide, synthetic::generate(long_ones));
    fuzzing::QuietConsole q("1\n");
    std::istringstream in(wide.str());
    SeriesTable table;
    std::array<std::string, 3> header;
    ASSERT_TRUE(loaddat(q.console, in, table, header));
    EXPECT_EQ(fuzzing::check_table(table), "");
    EXPECT_EQ(table.years[0].length, kMaxYears);
    EXPECT_EQ(table.summary.length, kMaxYears);
}

// A format-described block met in a chronology file once came back with values but no sample
// counts; every value now has its count (1, as for a chronology written without counts).
TEST(FuzzRegressions, ChronologyBlockValuesCarrySampleCounts) {
    std::string text = "Block of a chronology" + std::string(58, ' ') + "#\n";
    text += "n        3      1950  (3f6.3)\n 1.100 0.900 1.000\n";
    std::istringstream file(text);
    TucsonSeries series;
    TucsonReadState state;
    trrw(file, "ir", series, state);
    ASSERT_EQ(series.count, 3);
    EXPECT_EQ(series.first_year, 1950);
    EXPECT_EQ(series.samples, std::vector<int>({1, 1, 1}));
    EXPECT_EQ(fuzzing::run_trrw(text, "ir"), "");
}
