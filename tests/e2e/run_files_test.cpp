// The files of a run on disk: what a stopped run leaves, outputs that would overwrite the data
// file, and a report that keeps what it holds when the disk fills.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/program_runner.hpp"

using namespace kestrovan::testing;
namespace fs = std::filesystem;

namespace {

// A per-series run of gp.rwl (horizontal lines) with the spline stabilization, whose acceptance
// question comes after the first-pass files and before any signal-free file.
const char* kStabilizedRun = "gp.rwl\n1\nR\n1\n6\n\n\n1\n\n\n";
const char* kAccepted = "y\ny\n\n";

}  // namespace

TEST(RunFiles, AStoppedRunNeverLeavesAnEarlierRunsFilesBesideItsOwn) {
    TempDir dir;
    copy_example_data("gp.rwl");
    ASSERT_EQ(run_kestrovan(std::string(kStabilizedRun) + kAccepted), 0) << read_file("out.txt");
    ASSERT_TRUE(fs::exists("gp_SSF_RAW_Ratios.txt"));
    const std::string complete_report = read_file("gp_out_v45_v2b.txt");

    // Stopping at the loading questions writes nothing: the earlier report stays as it was.
    EXPECT_EQ(run_kestrovan("gp.rwl\n"), 2);
    EXPECT_EQ(read_file("gp_out_v45_v2b.txt"), complete_report);

    // Input ending inside the engine: the earlier signal-free, chronology and spectrum files are
    // gone, and the report says how the run stopped and what it wrote.
    EXPECT_EQ(run_kestrovan(kStabilizedRun), 2);
    for (const char* gone : {"gp_SSF_RAW_Ratios.txt", "gp_Ssf_RBAR.txt", "gp_crns_col.txt", "gp_spectra.txt"})
        EXPECT_FALSE(fs::exists(gone)) << gone;
    EXPECT_TRUE(fs::exists("gp_STD_RAW_Ratios.txt"));
    const std::string report = read_file("gp_out_v45_v2b.txt");
    const auto end = report.find("THE RUN STOPPED: THE INPUT ENDED AT A QUESTION.");
    ASSERT_NE(end, std::string::npos) << report;
    EXPECT_NE(report.find("\n   gp_STD_RAW_Ratios.txt\n", end), std::string::npos) << report.substr(end);
    EXPECT_EQ(report.find("gp_SSF", end), std::string::npos);
}

TEST(RunFiles, AnOutputThatIsALinkToTheDataFileIsRefused) {
    TempDir dir;
    copy_example_data("gp.rwl");
    const std::string data = read_file("gp.rwl");
    fs::create_symlink("gp.rwl", "gp_crns_col.txt");
    EXPECT_EQ(run_kestrovan(std::string(kStabilizedRun) + kAccepted), 1);
    EXPECT_EQ(read_file("gp.rwl"), data);
    EXPECT_NE(read_file("out.txt").find(
                  "The output file gp_crns_col.txt is the data file gp.rwl under another name"),
              std::string::npos);
    EXPECT_FALSE(fs::exists("gp_STD_RAW_Data.txt"));

    // The saved selection too.
    fs::remove("gp_crns_col.txt");
    fs::create_symlink("gp.rwl", "gp_mnsl=100.txt");
    EXPECT_EQ(run_kestrovan("gp.rwl\n1\nR\n2\n100\n"), 1);
    EXPECT_EQ(read_file("gp.rwl"), data);
    EXPECT_NE(read_file("out.txt").find("The output file gp_mnsl=100.txt is the data file"),
              std::string::npos);
}

TEST(RunFiles, AFullDiskKeepsTheReportWrittenBeforeIt) {
    TempDir dir;
    copy_example_data("gp.rwl");
    // Files may grow to 64 KiB: the first-pass series files cannot be written.
    const int status =
        run_kestrovan(std::string(kStabilizedRun) + kAccepted, "--no-plots", "ulimit -f 64; trap \"\" XFSZ");
    EXPECT_EQ(status, 1);
    EXPECT_NE(read_file("out.txt").find("Cannot write to the output file"), std::string::npos)
        << read_file("out.txt");
    const std::string report = read_file("gp_out_v45_v2b.txt");
    EXPECT_NE(report.find("TOTAL SERIES READ IN:"), std::string::npos);
    EXPECT_NE(report.find("THE RUN STOPPED ABNORMALLY: Cannot write to the output file"), std::string::npos)
        << report;
}
