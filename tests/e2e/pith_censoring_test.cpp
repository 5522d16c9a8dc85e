// Whole runs of the built program where data enter: pith offsets after censoring, and a data
// file that cannot be read.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

using kestrovan::testing::read_file;
using kestrovan::testing::read_lines;
using kestrovan::testing::TempDir;
namespace fs = std::filesystem;

namespace {

// Runs the program in directory `dir` on `answers`; the console goes to dir/out.txt.
int run_in(const fs::path& dir, const std::string& answers) {
    std::ofstream(dir / "answers.txt") << answers;
    const std::string cmd =
        "cd '" + dir.string() + "' && " + KESTROVAN_BINARY + " --no-plots < answers.txt > out.txt 2>&1";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// An RCS run (Regional curve by the age-dependent spline, stiffness 10) on `data` with the
// series processing answer `selection` and the offsets of `offsets`, otherwise the defaults.
std::string rcs_answers(const std::string& data, const std::string& selection, const std::string& offsets) {
    return data + "\n1\nR\n" + selection + "-2\n\nT\n" + offsets + "\n1\n0\n\n\n\n\n\nF\nF\nF\n\n";
}

// The chronology tables of two runs, line by line (same years, sample sizes and values).
void expect_same_chronologies(const fs::path& a, const fs::path& b) {
    const auto x = read_lines(a.string()), y = read_lines(b.string());
    ASSERT_GT(x.size(), 100u) << a;
    EXPECT_EQ(x, y) << a << " " << b;
}

}  // namespace

// gp.rwl censored to the series that start in 1700 or later, run as RCS with gp_pith.txt (one
// offset per series of gp.rwl), gives the chronologies of RCS on the saved censored set with its
// own offsets; so does the censored run given those offsets in the order of the kept series.
TEST(PithOffsetsAfterCensoring, SameChronologiesAsTheSavedSetWithItsOwnOffsets) {
    TempDir tmp;
    const fs::path data = KESTROVAN_DATA_DIR;
    for (const char* d : {"censored", "saved", "subset"}) {
        fs::create_directory(d);
        fs::copy_file(data / "gp.rwl", fs::path(d) / "gp.rwl");
        fs::copy_file(data / "gp_pith.txt", fs::path(d) / "gp_pith.txt");
    }
    ASSERT_EQ(run_in("censored", rcs_answers("gp.rwl", "4\n1700\n", "gp_pith.txt")), 0)
        << read_file("censored/out.txt");
    const std::string shown = read_file("censored/out.txt");
    EXPECT_NE(shown.find("The 33 selected series take the offsets of their places in gp.rwl."),
              std::string::npos)
        << shown;

    // The kept series are those of the saved file; their own offsets are those of their places
    // in gp.rwl.
    std::vector<std::string> gp_first_lines;
    std::vector<int> offsets;
    {
        std::ifstream pith(data / "gp_pith.txt");
        for (int v; pith >> v;) offsets.push_back(v);
    }
    std::vector<std::string> ids;
    std::string previous;
    for (const auto& l : read_lines((data / "gp.rwl").string()))
        if (l.size() > 12 && l.substr(0, 4) != "GPNA" && l.substr(0, 8) != previous) {
            previous = l.substr(0, 8);
            ids.push_back(previous);
            gp_first_lines.push_back(l);
        }
    ASSERT_EQ(ids.size(), offsets.size());
    std::string own;
    int kept = 0;
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (std::stoi(gp_first_lines[i].substr(8, 4)) >= 1700) {
            own += std::to_string(offsets[i]) + "\n";
            ++kept;
        }
    ASSERT_EQ(kept, 33);
    fs::copy_file("censored/gp_mnsy=1700.txt", "saved/gp_mnsy=1700.txt");
    std::ofstream("saved/own.txt") << own;
    std::ofstream("subset/own.txt") << own;

    ASSERT_EQ(run_in("saved", rcs_answers("gp_mnsy=1700.txt", "1\n", "own.txt")), 0)
        << read_file("saved/out.txt");
    ASSERT_EQ(run_in("subset", rcs_answers("gp.rwl", "4\n1700\n", "own.txt")), 0)
        << read_file("subset/out.txt");
    expect_same_chronologies("censored/gp_crns_col.txt", "saved/gp_mnsy=1700_crns_col.txt");
    expect_same_chronologies("censored/gp_crns_col.txt", "subset/gp_crns_col.txt");
}

// A data file that opens but cannot be read gets its message and the prompt again.
TEST(DataFilePrompt, FileThatCannotBeReadAsksAgain) {
    TempDir tmp;
    if (!fs::exists("/proc/self/pagemap")) GTEST_SKIP() << "no /proc/self/pagemap here";
    fs::create_symlink("/proc/self/pagemap", "pm.rwl");
    fs::copy_file(fs::path(KESTROVAN_DATA_DIR) / "gp.rwl", "gp.rwl");
    EXPECT_EQ(run_in(".", "pm.rwl\n\ngp.rwl\n/\n"), 0);
    const std::string shown = read_file("out.txt");
    EXPECT_NE(shown.find(" File > pm.rwl                    < cannot be read\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Fatal error"), std::string::npos);
    EXPECT_NE(shown.find("Input Data Format Menu"), std::string::npos);  // gp.rwl was taken next
}
