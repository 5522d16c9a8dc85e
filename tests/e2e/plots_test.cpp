// One answer file serves runs with and without plots: the Regional-curve example run gives the
// same chronology table with --no-plots, on the null device (whose plot menus ask nothing when
// the answers come from a file) and on a file device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/program_runner.hpp"
#include "support/temp_dir.hpp"

using kestrovan::testing::read_file;
using kestrovan::testing::TempDir;
namespace fs = std::filesystem;

namespace {

struct GpRun {
    int status = -1;
    std::string console;  // what the program printed
    std::string table;    // gp_crns_col.txt
    int plot_files = 0;   // plotNNN_*.png written
};

// Runs gp_rcs.txt in a directory of its own under the current one.
GpRun run_gp(const std::string& name, const std::string& args) {
    const fs::path dir = fs::current_path() / name;
    GpRun r;
    r.status = kestrovan::testing::run_kestrovan_in(
        dir.string(), kestrovan::testing::example_answers("gp_rcs.txt"), {"gp.rwl", "gp_pith.txt"}, args);
    r.console = read_file((dir / "out.txt").string());
    r.table = read_file((dir / "gp_crns_col.txt").string());
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("plot", 0) == 0 && e.path().extension() == ".png")
            ++r.plot_files;
    return r;
}

TEST(PlotsEndToEnd, OneAnswerFileGivesTheSameChronologyWithAndWithoutPlots) {
    TempDir tmp;
    const GpRun none = run_gp("none", "--no-plots");
    const GpRun null = run_gp("null", "--device null");
    const GpRun png = run_gp("png", "--device pngcairo");
    for (const GpRun* r : {&none, &null, &png}) {
        ASSERT_EQ(r->status, 0) << r->console;
        EXPECT_NE(r->console.find("Normal termination of program"), std::string::npos);
        EXPECT_EQ(r->console.find("plot options menu"), std::string::npos) << r->console;
    }
    ASSERT_FALSE(none.table.empty());
    EXPECT_EQ(null.table, none.table);
    EXPECT_EQ(png.table, none.table);
    EXPECT_EQ(none.plot_files, 0);
    EXPECT_GE(png.plot_files, 15);
}

}  // namespace
