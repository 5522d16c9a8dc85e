// Pith-offset inputs that once broke the reader (fuzz/regressions/pithy/) and the fuzzer's seed
// files (fuzz/corpus/pithy/), run through the same entry point as the fuzz target; and the
// offsets of a synthetic set read back through the dialogue.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../fuzz/pithy_entry_point.hpp"
#include "support/synthetic.hpp"

using namespace kestrovan;
namespace fs = std::filesystem;

namespace {

// A short scratch name in the working directory: the dialogue takes names of at most 50
// characters, which a temporary directory's full path may pass.
std::string scratch_name() { return "kv-pith-test-" + std::to_string(getpid()) + ".txt"; }

}  // namespace

TEST(PithyFuzzRegressions, KeptInputsAreReadOrRefusedCleanly) {
    const fs::path fuzz = fs::path(KESTROVAN_DATA_DIR) / ".." / ".." / "fuzz";
    int files = 0;
    for (const char* kind : {"regressions", "corpus"}) {
        const fs::path dir = fuzz / kind / "pithy";
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir)) {
            if (!e.is_regular_file()) continue;
            ++files;
            std::ifstream f(e.path(), std::ios::binary);
            std::ostringstream s;
            s << f.rdbuf();
            EXPECT_EQ(fuzzing::run_pithy(s.str(), scratch_name()), "") << e.path();
        }
    }
    EXPECT_GT(files, 0);
    EXPECT_FALSE(fs::exists(scratch_name()));
}

TEST(PithyFuzzRegressions, SyntheticOffsetsReadBackInSeriesOrder) {
    synthetic::Options o;
    o.series = 25;
    o.years = 300;
    o.max_pith_offset = 4000;  // four-digit offsets fill the whole field
    o.seed = 5;
    const auto set = synthetic::generate(o);
    const std::string name = scratch_name();
    {
        std::ofstream f(name, std::ios::binary);
        synthetic::write_pith_offsets(f, set);
    }
    fuzzing::QuietConsole q("T\n" + name + "\n1\n0\n");
    OutputFiles files;
    files.data_name = "syn.rwl";
    RunOptions params;
    SeriesTable table;
    for (const auto& g : set.series) {
        table.ids.push_back(g.id);
        table.years.push_back({g.first_year, g.first_year + static_cast<int>(g.widths.size()) - 1,
                               static_cast<int>(g.widths.size())});
    }
    pithy(q.console, files, table, params);
    fs::remove(name);
    EXPECT_TRUE(params.pith_present);
    ASSERT_EQ(params.pith_offsets.size(), set.series.size());
    bool varied = false;
    for (std::size_t i = 0; i < set.series.size(); ++i) {
        EXPECT_EQ(params.pith_offsets[i], set.series[i].pith_offset) << i;
        varied = varied || set.series[i].pith_offset != set.series[0].pith_offset;
    }
    EXPECT_TRUE(varied);
}

// Repeated groups without an integer field once kept the format walk busy for hours; such a
// format is now refused at once, while groups that lead to a field still work.
TEST(PithyFuzzRegressions, FormatsWithHugeEmptyRepeatsAreRefusedAtOnce) {
    EXPECT_FALSE(parse_record_format("(99999(99999(99999(t1))),i4)"));
    EXPECT_FALSE(parse_record_format("(99999(99999(99999(99999(tl1)))))"));
    auto field = parse_record_format("(3(2x),i4)");
    ASSERT_TRUE(field);
    EXPECT_EQ(field->column, 6);
    EXPECT_EQ(field->width, 4);
    field = parse_record_format("(50(t2),i3)");
    ASSERT_TRUE(field);
    EXPECT_EQ(field->column, 1);
}
