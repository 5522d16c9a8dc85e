// Run start on string streams, in a temporary directory with short relative file names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "run/run_start.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
namespace fs = std::filesystem;

namespace {

class RunStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.emplace("run_start");
        fs::copy_file(fs::path(KESTROVAN_DATA_DIR) / "gp.rwl", "gp.rwl");
    }
    void TearDown() override { dir_.reset(); }

    // Runs the start of a run on the answers; returns the stop, if the run stopped.
    std::optional<ProgramStop> run(const std::string& answers) {
        std::istringstream in(answers);
        Console console(in, out_);
        RunStart start(console);
        try {
            run_start(start);
            ns_ = start.table.count();
            report_name_ = start.files.report_name();
            sha256_ = start.files.data_sha256;
            start.files.report.close();
            return std::nullopt;
        } catch (const ProgramStop& stop) {
            return stop;
        }
    }
    std::string shown() const { return out_.str(); }
    static std::string file(const std::string& name) {
        std::ifstream f(name);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    }

    std::ostringstream out_;
    int ns_ = 0;
    std::string report_name_;
    std::string sha256_;
    std::optional<kestrovan::testing::TempDir> dir_;
};

}  // namespace

TEST_F(RunStartTest, BannerPromptReportAndTotals) {
    ASSERT_FALSE(run("gp.rwl\n1\n"));
    EXPECT_EQ(ns_, 58);
    const std::string s = shown();
    EXPECT_EQ(s.rfind("\n                **********************************\n"
                      "                **********************************\n"
                      "                ***                            ***\n"
                      "                ***     Program  Kestrovan     ***\n",
                      0),
              0u);
    EXPECT_NE(s.find("                ***     Max Series:  4500      ***\n"
                     "                ***     Max Years :  5000      ***\n"
                     "                ***                            ***\n"
                     "                ********* Version 45_v2b *********\n"
                     "                **********************************\n\n"
                     " *******************************************************************\n"
                     " *** WARNING: MISSING RINGS INSIDE A SERIES (NEGATIVE VALUES     ***\n"),
              std::string::npos);
    EXPECT_NE(s.find("\n\n Enter data file name to process (/ to exit)     ==> "), std::string::npos);
    EXPECT_NE(s.find("\n Regardless of the warning, test for missing data flags:\n"
                     "\n No missing data flags (negative numbers) encountered. Proceed!\n"),
              std::string::npos);
    EXPECT_NE(s.find("\n\n                             "
                     "    NS   IFY   ILY   NYR\n"
                     " Total series read in:           58  1570  1990   421\n"),
              std::string::npos)
        << s;
    EXPECT_EQ(report_name_, "gp_out_v45_v2b.txt");
    EXPECT_EQ(file("gp_out_v45_v2b.txt"),
              "\n THE OFFICIAL SIGNAL FREE PROGRAM OUTPUT FILE\n\n DATA FILE TO PROCESS: gp.rwl\n\n"
              "                                 NS   IFY   ILY   NYR\n"
              " TOTAL SERIES READ IN:           58  1570  1990   421  SERIES, FIRST YEAR, LAST YEAR, TOTAL "
              "YEARS\n");
}

TEST_F(RunStartTest, StopEmptyAnswerAndNotFound) {
    auto stop = run("/work/main/gp.rwl\n");
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->kind(), StopKind::Normal);
    EXPECT_STREQ(stop->what(), "");

    out_.str("");
    fs::create_directory("adir");
    stop = run("\n\nabcdefghijklmnopqrstuvwxyz0123.rwl\n\nadir\n\n/\n");
    ASSERT_TRUE(stop);
    const std::string s = shown();
    EXPECT_NE(s.find("==> \n There was an error reading your entry.\n"
                     " Hit return to enter a new file name or / to exit program.\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("==> \n File > abcdefghijklmnopqrstuvwxy < not found\n\n"
                     " Hit return to enter a new file name or / exit program.\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find(" File > adir                      < not found\n"), std::string::npos);  // a directory

    // End of input at the prompt stops with its own status.
    out_.str("");
    stop = run("");
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->kind(), StopKind::EndOfInput);
}

// An answer starting with "/" stops, unless it is an absolute path naming an existing file.
TEST_F(RunStartTest, AbsolutePathNamingAFileIsTakenAsThatFile) {
    // A short absolute name for the test's directory (its own path is longer than a name keeps).
    const fs::path link = fs::temp_directory_path() / ("kv" + std::to_string(::getpid()));
    fs::create_directory_symlink(fs::current_path(), link);
    const std::string absolute = (link / "gp.rwl").string();
    const auto loaded = run(absolute + "\n1\n");
    fs::remove(link);
    ASSERT_FALSE(loaded) << shown();
    EXPECT_EQ(ns_, 58);
    for (const std::string& stop :
         {std::string("/\n"), absolute + "\n", fs::current_path().string() + "\n"}) {
        const auto s = run(stop + "gp.rwl\n1\n");
        ASSERT_TRUE(s) << stop;
        EXPECT_EQ(s->kind(), StopKind::Normal);
    }
    // A path that names the file only beyond the 50 characters a name keeps is not found.
    const std::string long_path = fs::absolute("gp.rwl").string();
    ASSERT_GT(long_path.size(), 50u);
    out_.str("");
    EXPECT_TRUE(run(long_path + "\n/\n"));
    EXPECT_NE(shown().find(" < not found\n"), std::string::npos) << shown();
}

TEST_F(RunStartTest, BaseNamesOfReportFiles) {
    fs::copy_file("gp.rwl", "my site.rwl");
    fs::copy_file("gp.rwl", "site.old.rwl");
    fs::create_directory("sub");
    fs::copy_file("gp.rwl", "sub/gp.v2.rwl");
    // A blank in the name: the report keeps the whole base, so that it cannot replace the
    // report of "mysite.rwl".
    ASSERT_FALSE(run("my site.rwl\n1\n"));
    EXPECT_TRUE(fs::exists("my site_out_v45_v2b.txt"));
    EXPECT_FALSE(fs::exists("mysite_out_v45_v2b.txt"));
    ASSERT_FALSE(run("site.old.rwl\n1\n"));
    EXPECT_TRUE(fs::exists("site_out_v45_v2b.txt"));
    ASSERT_FALSE(run("./sub/gp.v2.rwl\n1\n"));
    EXPECT_TRUE(fs::exists("sub/gp_out_v45_v2b.txt"));
    EXPECT_NE(file("sub/gp_out_v45_v2b.txt").find(" DATA FILE TO PROCESS: ./sub/gp.v2.rwl\n"),
              std::string::npos);
}

TEST_F(RunStartTest, FailedReadRetryAndQuit) {
    { std::ofstream("bad.txt") << "nothing here to read\n"; }
    // A failed read, "T", then a good file: no second banner, a new report.
    ASSERT_FALSE(run("bad.txt\n1\n\nt\ngp.rwl\n1\n"));
    const std::string s = shown();
    EXPECT_NE(s.find("\n [T]ry again or [Q]uit the program now?          ==> "), std::string::npos) << s;
    EXPECT_EQ(s.find("Program  Kestrovan"), s.rfind("Program  Kestrovan"));
    EXPECT_EQ(ns_, 58);
    // A report is created only once data have been read.
    EXPECT_FALSE(fs::exists("bad_out_v45_v2b.txt"));
    EXPECT_TRUE(fs::exists("gp_out_v45_v2b.txt"));

    // A bare RETURN or another answer asks again (no default); Q quits.
    out_.str("");
    auto stop = run("bad.txt\n1\n\n\nmaybe\nq\n");
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->kind(), StopKind::Normal);
    EXPECT_NE(shown().find("==> \n Program Terminating\n"), std::string::npos);
    const std::string prompts = shown();
    std::size_t n = 0;
    for (std::size_t at = 0; (at = prompts.find("[T]ry again or [Q]uit", at)) != std::string::npos; ++at) ++n;
    EXPECT_EQ(n, 3u);
    EXPECT_NE(prompts.find("\n Enter T to try again or Q to quit.\n"), std::string::npos);
}

TEST_F(RunStartTest, NegativeValuesEndTheRunAbnormally) {
    {
        std::ofstream f("neg.rwl");
        f << "AAA     1900   100     0   200   999\n"
             "BBB     1900   100   -50   200   -20   999\n";
    }
    auto stop = run("neg.rwl\n1\n\n");
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->kind(), StopKind::Abnormal);
    const std::string s = shown();
    EXPECT_EQ(s.find("Series AAA"), std::string::npos);  // zero is not missing
    EXPECT_NE(s.find(" Series BBB      has   2 missing (negative) values\n"
                     "\n Missing (negative) values encountered:         2\n"
                     " Series BBB has a missing ring in 1901, the first of 2: fill the gaps inside the "
                     "series by linear interpolation with --fill-gaps (run file: fill_gaps = true); "
                     "missing rings at the ends are then cut off.\n"
                     "\n Abnormal termination of program Kestrovan_Version 45_v2b \n"
                     "\n Hit RETURN to Quit"),
              std::string::npos)
        << s;
}

// The run's checksum of its data file is of the bytes it read, taken as it read them: a file
// replaced later in the run does not change it.
TEST_F(RunStartTest, ChecksumIsOfTheDataAsRead) {
    ASSERT_FALSE(run("gp.rwl\n1\n"));
    std::ofstream("gp.rwl", std::ios::trunc) << "replaced\n";
    EXPECT_EQ(sha256_, "a3a62512c11e9a3e50166521b703626a467da91c2cf141e55733c40354a70d1f");
}
