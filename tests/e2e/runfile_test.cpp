// Run files against the dialogue: a run file and the answer file of the same choices give the
// same output files, byte for byte (the report and the summary included where the answers hold
// no start over); a session recorded with --record runs again to the same files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

using namespace kestrovan::testing;
namespace fs = std::filesystem;

namespace {

const std::string kRunFileMark = "# Kestrovan run file";

struct Case {
    const char* name;
    std::vector<std::string> data;
    std::string answers;       // the dialogue
    std::string run_file;      // the same choices by name
    std::string columns = {};  // a multiple-column data file "columns.txt" written for the case
};

// Six series over 120 years in multiple columns, padded with -9.9, after one header line.
std::string column_file() {
    std::string text = "six series in columns\nyear A B C D E F\n";
    unsigned state = 12345;
    const int first[] = {1801, 1805, 1810, 1801, 1820, 1815}, last[] = {1920, 1915, 1920, 1900, 1920, 1918};
    for (int y = 1801; y <= 1920; ++y) {
        text += std::to_string(y);
        for (int s = 0; s < 6; ++s) {
            state = state * 1103515245u + 12345u;
            const double width = 0.4 + static_cast<double>(state >> 16 & 0x7fff) / 16384.0;
            text += y < first[s] || y > last[s] ? " -9.9" : " " + std::to_string(width).substr(0, 5);
        }
        text += "\n";
    }
    return text;
}

// The files a run left in `dir`, but the test's own (answers, transcript, run file).
std::set<std::string> outputs(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if (n != "answers.txt" && n != "out.txt" && n != "run.toml" && n != "rec.toml" && n != "columns.txt")
            names.insert(n);
    }
    return names;
}

// Every output of `a` and `b` that differs, or stands in only one of them.
std::vector<std::string> differing(const std::string& a, const std::string& b) {
    std::vector<std::string> out;
    const auto in_a = outputs(a), in_b = outputs(b);
    for (const std::string& n : in_a)
        if (!in_b.count(n) || read_file(a + "/" + n) != read_file(b + "/" + n)) out.push_back(n);
    for (const std::string& n : in_b)
        if (!in_a.count(n)) out.push_back(n + " (only in " + b + ")");
    return out;
}

int run_file_in(const std::string& dir, const std::string& text, const std::vector<std::string>& data,
                const std::string& args = "run run.toml") {
    fs::create_directories(dir);
    std::ofstream(dir + "/run.toml") << text;
    return run_kestrovan_in(dir, "", data, args);
}

const std::vector<Case>& cases() {
    static const std::vector<Case> all{
        {"ca533_spline", {"ca533.rwl"}, example_answers("ca533_spline.txt"), "data = \"ca533.rwl\"\n"},
        {"gp_rcs",
         {"gp.rwl", "gp_pith.txt"},
         example_answers("gp_rcs.txt"),
         "data = \"gp.rwl\"\ncurve = \"rcs\"\npith = \"gp_pith.txt\"\n"},
        {"residuals_power",
         {"gp.rwl"},
         "gp.rwl\n1\nS\nT\n1\n8\n\n\n0\n\n\n",
         "data = \"gp.rwl\"\nindices = \"residuals\"\npower_transform = true\nrbar_window = 0\n"},
        {"censored_fixed_spline",
         {"co021.rwl"},
         "co021.rwl\n1\nS\nF\n7\n1600\n1900\n100\n1\n\n\n\n\n\n",
         "data = \"co021.rwl\"\nindices = \"residuals\"\ncommon_period = [1600, 1900]\ncurve = "
         "\"fixed-spline\"\n"
         "wavelength = 100\nmean = \"arithmetic\"\n"},
        {"min_length_raw",
         {"ca533.rwl"},
         "ca533.rwl\n1\nS\nT\n2\n400\n0\n\n\n0\n\n\n\n",
         "data = \"ca533.rwl\"\nindices = \"residuals\"\npower_transform = true\nmin_segment_length = 400\n"
         "curve = \"no-detrending\"\n"},
        {"fixed_spline_gives_up",
         {"ca533.rwl"},
         "ca533.rwl\n1\nR\n1\n32\n\n\n\n\n\n",
         "data = \"ca533.rwl\"\ncurve = \"fixed-spline\"\nwavelength = 32\n"},
        {"super_smoother",
         {"co021.rwl"},
         "co021.rwl\n1\nR\n1\n-5\n5\n1\n0\n1\nn\n\n",
         "data = \"co021.rwl\"\ncurve = \"super-smoother\"\nalpha = 5\nmean = \"arithmetic\"\nrbar_window = "
         "0\n"
         "convergence = 0.0005\ntweaks = false\n"},
        {"rcs_reselected_truncated",
         {"gp.rwl", "gp_pith.txt"},
         "gp.rwl\n1\nR\n1\n-2\n\nT\ngp_pith.txt\n1\n0\n\n\n\n\n\nT\n4\nF\nT\n200\nF\nF\nF\n\n",
         "data = \"gp.rwl\"\ncurve = \"rcs\"\npith = \"gp_pith.txt\"\nregional_curve = "
         "\"line\"\ntruncation_age = 200\n"},
        {"stabilization_spline",
         {"gp.rwl"},
         "gp.rwl\n1\nR\n1\n6\n\n\n1\n\n\ny\ny\n\n",
         "data = \"gp.rwl\"\ncurve = \"horizontal-line\"\nstabilization = \"age-dependent-spline\"\n"},
        {"rcs_median",
         {"co021.rwl"},
         "co021.rwl\n1\nR\n1\n-2\n\nF\n\n0\n\n\nT\n-3\n5\nF\nT\n150\nF\nF\nF\n\n",
         "data = \"co021.rwl\"\ncurve = \"rcs\"\nregional_curve = \"median\"\nwindow = 5\nrbar_window = 0\n"
         "truncation_age = 150\n"},
        {"multiple_columns",
         {},
         "columns.txt\n4\n1\n7\n-9.9\nR\n1\n\n\n\n31\n\n\n\n\n",
         "data = \"columns.txt\"\nformat = \"multiple-columns\"\nheader_lines = 1\ncolumns = 7\nsentinel = "
         "\"-9.9\"\n"
         "rbar_window = 31\n",
         column_file()},
    };
    return all;
}

}  // namespace

TEST(RunFile, GivesTheFilesOfTheSameChoicesAnsweredInTheDialogue) {
    TempDir dir("runfile");
    for (const Case& c : cases()) {
        const std::string a = dir.file(std::string(c.name) + "_dialogue"),
                          b = dir.file(std::string(c.name) + "_file");
        for (const std::string& d : {a, b})
            if (!c.columns.empty()) fs::create_directories(d), std::ofstream(d + "/columns.txt") << c.columns;
        ASSERT_EQ(run_kestrovan_in(a, c.answers, c.data), 0) << c.name << "\n" << read_file(a + "/out.txt");
        EXPECT_EQ(run_file_in(b, c.run_file, c.data), 0) << c.name << "\n" << read_file(b + "/out.txt");
        EXPECT_GE(outputs(a).size(), 10u) << c.name;
        EXPECT_EQ(differing(a, b), std::vector<std::string>{}) << c.name;
    }
}

TEST(RunFile, RecordedSessionRunsAgainToTheSameFiles) {
    TempDir dir("record");
    // A Regional curve re-selected, then truncated; and a signal-free stabilization changed from
    // the standard one's (N, then a 30-year spline).
    const std::vector<std::pair<Case, std::string>> sessions{
        {cases()[cases().size() - 2], "truncation_age = 150"},
        {{"stabilization_changed", {"gp.rwl"}, "gp.rwl\n1\nR\n1\n6\n\n\n1\n\n\ny\nn\n30\ny\n\n", ""},
         "signal_free_stabilization = \"fixed-spline\"\nsignal_free_stabilization_wavelength = 30"},
    };
    for (const auto& [c, expected] : sessions) {
        const std::string a = dir.file(std::string(c.name) + "_session"),
                          b = dir.file(std::string(c.name) + "_again");
        ASSERT_EQ(run_kestrovan_in(a, c.answers, c.data, "--no-plots --record rec.toml"), 0)
            << c.name << "\n"
            << read_file(a + "/out.txt");
        const std::string record = read_file(a + "/rec.toml");
        fs::create_directories(b);
        fs::copy_file(a + "/rec.toml", b + "/rec.toml");
        EXPECT_EQ(run_kestrovan_in(b, "", c.data, "run rec.toml"), 0) << record << read_file(b + "/out.txt");
        EXPECT_NE(record.find(expected), std::string::npos) << record;
        EXPECT_EQ(differing(a, b), std::vector<std::string>{}) << c.name << "\n" << record;
    }
}

// --record never replaces the data file, a file the session wrote, or any file that is not a run
// file of the program; a run file it wrote before is replaced.
TEST(RunFile, RecordRefusesEveryFileButItsOwnRunFiles) {
    TempDir dir("record_target");
    const std::string answers = "gp.rwl\n1\nR\n1\n6\n\n\n0\n\n\n";
    const std::string data = read_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl");
    EXPECT_EQ(run_kestrovan_in(dir.str(), answers, {"gp.rwl"}, "--no-plots --record gp.rwl"), 1);
    EXPECT_NE(read_file("out.txt").find("kestrovan: --record gp.rwl: the file exists and is not a run file"),
              std::string::npos)
        << read_file("out.txt");
    EXPECT_EQ(read_file("gp.rwl"), data);
    EXPECT_FALSE(fs::exists("gp_crns_col.txt"));  // refused before the first question

    // A result file that the session itself writes is refused at its end.
    EXPECT_EQ(run_kestrovan_in(dir.str(), answers, {}, "--no-plots --record gp_crns_col.txt"), 1);
    EXPECT_NE(
        read_file("out.txt").find("The run file of this session was not written to gp_crns_col.txt: it is "
                                  "a result file of this session"),
        std::string::npos)
        << read_file("out.txt");
    EXPECT_EQ(read_file("gp_crns_col.txt").find(kRunFileMark), std::string::npos);

    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(run_kestrovan_in(dir.str(), answers, {}, "--no-plots --record rec.toml"), 0)
            << read_file("out.txt");
        EXPECT_EQ(read_file("rec.toml").rfind(kRunFileMark, 0), 0u);
    }
    EXPECT_EQ(read_file("gp.rwl"), data);
}

TEST(RunFile, CommandLineHelpAndRefusedOptions) {
    TempDir dir("cli");
    EXPECT_EQ(run_kestrovan("", "--help"), 0);
    const std::string help = read_file("out.txt");
    for (const char* word : {"run", "batch", "--record", "--no-plots", "Exit status"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
    for (const char* bad : {"--bogus", "run", "batch only.toml", "run a.toml --jobs 2",
                            "--no-plots run a.toml", "batch a.toml x.rwl --jobs 0"}) {
        EXPECT_EQ(run_kestrovan("", bad), 1) << bad;
        EXPECT_NE(read_file("out.txt").find("kestrovan: "), std::string::npos) << bad;
    }
}

TEST(RunFile, SummaryNamesTheRunTheDataAndTheOutcome) {
    TempDir dir("summary");
    ASSERT_EQ(run_file_in(dir.str(), "data = \"gp.rwl\"\ncurve = \"rcs\"\npith = \"gp_pith.txt\"\n",
                          {"gp.rwl", "gp_pith.txt"}),
              0);
    const auto s = nlohmann::json::parse(read_file("gp_summary.json"));
    EXPECT_EQ(s["version"], "45_v2b");
    EXPECT_EQ(s["run"]["curve"], "rcs");
    EXPECT_EQ(s["run"]["stiffness"], 10);  // a key left out, resolved to its default
    EXPECT_TRUE(s["run"]["wavelength"].is_null());
    EXPECT_EQ(s["data_file"]["sha256"], "a3a62512c11e9a3e50166521b703626a467da91c2cf141e55733c40354a70d1f");
    EXPECT_EQ(s["series_as_read"]["series"], 58);
    EXPECT_EQ(s["outcome"], "converged");
    EXPECT_EQ(s["iterations"], 5);
    EXPECT_EQ(s["convergence"].size(), 5u);
    EXPECT_EQ(s["published"]["iteration"], 5);
    EXPECT_EQ(s["published"]["attempt"], 1);
    EXPECT_EQ(s["published"]["criterion"], "unweighted median");
    EXPECT_LE(s["published"]["statistic"].get<double>(), 0.0001);
    // How far the chronology moved in that iteration, and the years too low to divide by (one
    // on gp, in its zero rings).
    EXPECT_GT(s["published"]["change"]["max"].get<double>(), s["published"]["change"]["mean"].get<double>());
    EXPECT_EQ(s["published"]["near_zero_years"], 1);
    EXPECT_EQ(s["rbar_signal_free"]["first_year_eps_085"].is_number(), true);
    EXPECT_EQ(s["files"][0], "gp_out_v45_v2b.txt");
    for (const auto& f : s["files"]) EXPECT_TRUE(fs::exists(f.get<std::string>())) << f;
}

// Every curve the key reference lists is accepted: the median-length spline becomes the spline of
// the median segment length of the selected series (276 years for gp).
TEST(RunFile, MedianLengthSplineIsAccepted) {
    TempDir dir("median_length");
    ASSERT_EQ(run_file_in(dir.str(), "data = \"gp.rwl\"\ncurve = \"median-length-spline\"\n", {"gp.rwl"}), 0)
        << read_file("out.txt");
    EXPECT_NE(read_file("gp_out_v45_v2b.txt").find("OPT  276"), std::string::npos);
}
