// Runs the built program on the bundled real data sets with answer files, in a temporary
// directory, and checks the files it writes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "console/console.hpp"
#include "io/tucson.hpp"
#include "support/program_runner.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
using kestrovan::testing::read_file;
using kestrovan::testing::read_lines;
using kestrovan::testing::TempDir;
namespace fs = std::filesystem;

namespace {

int run_program(const std::string& answers, const std::string& extra_args = "--no-plots") {
    return kestrovan::testing::run_kestrovan(answers, extra_args);
}

void copy_data(const std::string& name) { kestrovan::testing::copy_example_data(name); }

std::string answers_file(const std::string& name) { return kestrovan::testing::example_answers(name); }

// Checks the chronology table against the Tucson chronology file written beside it, and the
// table's shape: one row per year of the span, finite values.
void check_chronology_files(const std::string& base, int first_year, int span, bool stabilized) {
    const auto col = read_lines(base + "_crns_col.txt");
    ASSERT_EQ(col.size(), static_cast<std::size_t>(span) + 1);
    const std::size_t fields = stabilized ? 8 : 6;
    std::vector<float> first(static_cast<std::size_t>(span)), second(first.size());
    std::vector<float> first_stb(first.size()), second_stb(first.size());
    std::vector<int> counts(first.size());
    for (int k = 0; k < span; ++k) {
        const std::string& row = col[static_cast<std::size_t>(k) + 1];
        ASSERT_EQ(row.size(), 13 + 8 * fields) << row;
        EXPECT_EQ(std::stoi(row.substr(0, 6)), first_year + k);
        counts[static_cast<std::size_t>(k)] = std::stoi(row.substr(6, 6));
        EXPECT_EQ(row.find('*'), std::string::npos) << row;
        EXPECT_EQ(row.find("nan"), std::string::npos) << row;
        first[static_cast<std::size_t>(k)] = std::stof(row.substr(13, 8));
        second[static_cast<std::size_t>(k)] = std::stof(row.substr(21, 8));
        if (stabilized) {
            first_stb[static_cast<std::size_t>(k)] = std::stof(row.substr(61, 8));
            second_stb[static_cast<std::size_t>(k)] = std::stof(row.substr(69, 8));
        }
    }
    std::ifstream tuc(base + "_crns_tuc.txt");
    TucsonReadState state;
    TucsonSeries s;
    std::vector<const std::vector<float>*> chronologies{&first, &second};
    if (stabilized) {
        chronologies.push_back(&first_stb);
        chronologies.push_back(&second_stb);
    }
    for (const auto* expected : chronologies) {
        trrw(tuc, "ir", s, state);
        ASSERT_EQ(s.count, span);
        EXPECT_EQ(s.first_year, first_year);
        for (int k = 0; k < span; ++k) {
            const auto i = static_cast<std::size_t>(k);
            ASSERT_NEAR(s.values[i], (*expected)[i], 0.0011) << "year " << first_year + k;
            ASSERT_EQ(s.samples[i], counts[i]);
        }
    }
    trrw(tuc, "ir", s, state);
    EXPECT_EQ(s.count, kEndOfFile);
}

int data_rows(const std::string& path) { return static_cast<int>(read_lines(path).size()) - 1; }

}  // namespace

TEST(EndToEnd, PerSeriesSplineRunOnBristleconePine) {
    TempDir dir;
    copy_data("ca533.rwl");
    ASSERT_EQ(run_program(answers_file("ca533_spline.txt")), 0) << read_file("out.txt");
    const std::string out = read_file("out.txt");
    EXPECT_NE(out.find("Normal termination of program Kestrovan_Version 45_v2b"), std::string::npos);
    EXPECT_NE(out.find("Total series read in:           34   626  1983  1358"), std::string::npos);

    for (const char* suffix :
         {"_STD_RAW_Data.txt", "_STD_RAW_Curves.txt", "_STD_RAW_Ratios.txt", "_SSF_RAW_Data.txt",
          "_SSF_RAW_Curves.txt", "_SSF_RAW_Ratios.txt", "_out_v45_v2b.txt"})
        EXPECT_TRUE(fs::exists(std::string("ca533") + suffix)) << suffix;
    EXPECT_FALSE(fs::exists("ca533_RCScurves.txt"));

    // The summary names the site of the data file's header lines.
    const auto site = nlohmann::json::parse(read_file("ca533_summary.json"))["site"];
    EXPECT_EQ(site["code"], "CA533");
    EXPECT_EQ(site["name"], "Campito Mountain California USA");
    EXPECT_EQ(site["species"], "PILO Pinus longaeva raw ring widths (mm)");

    check_chronology_files("ca533", 626, 1358, true);
    EXPECT_EQ(read_lines("ca533_crns_col.txt")[0],
              "  Year  SSize  StdCrn  SsfCrn  StdSig  SsfSig  StdSee  SsfSee  StdStb  SsfStb");
    for (const char* rbar : {"ca533_Std_RBAR.txt", "ca533_Ssf_RBAR.txt"}) {
        const auto lines = read_lines(rbar);
        ASSERT_EQ(lines.size(), 1359u) << rbar;
        EXPECT_EQ(lines[0], " YEAR     NC   RBAR1    EPS1   NEFF1   RBAR2    EPS2   NEFF2");
    }

    // The spectra (of the stabilized chronologies) cover the years with five or more series:
    // M = N / 5 above 1000 values.
    int n = 0;
    for (const auto& row : read_lines("ca533_crns_col.txt"))
        if (row.size() > 12 && row[2] != 'Y' && std::stoi(row.substr(6, 6)) >= 5) ++n;
    const int m = n > 1000 ? n / 5 : n / 3;
    EXPECT_EQ(data_rows("ca533_spectra.txt"), m + 1);

    // The bristlecone pines converge after one retry with 0.1 added; the retry's ratio indices,
    // stretched back to their first-pass spread, are never negative.
    EXPECT_NE(read_file("ca533_out_v45_v2b.txt").find("FINAL ITERATION WITH CONVERGENCE"), std::string::npos);
    {
        std::ifstream ratios("ca533_SSF_RAW_Ratios.txt");
        TucsonReadState state;
        TucsonSeries s;
        int series = 0;
        for (trrw(ratios, "mr", s, state); s.count != kEndOfFile;
             trrw(ratios, "mr", s, state)) {
            ++series;
            for (int j = 0; j < s.count; ++j) ASSERT_GE(s.values[static_cast<std::size_t>(j)], 0.0f) << s.id;
        }
        EXPECT_EQ(series, 34);
    }

    // The first-pass measurement file holds the data in the units of the data file: the first
    // line of the first series as read (hundredths of a millimetre written as thousandths).
    const auto data = read_lines("ca533_STD_RAW_Data.txt");
    ASSERT_GT(data.size(), 4u);
    // Its three header lines are those of the data file.
    const auto original = read_lines("ca533.rwl");
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(rtrim(data[k]), rtrim(original[k]));
    EXPECT_EQ(data[3].substr(0, 72),
              "CAM011  1530  1040   890  1030   700   690  1150  1010  1090   770  1360");
}

TEST(EndToEnd, RegionalCurveRunWithPithOffsets) {
    TempDir dir;
    copy_data("gp.rwl");
    copy_data("gp_pith.txt");
    ASSERT_EQ(run_program(answers_file("gp_rcs.txt")), 0) << read_file("out.txt");
    const std::string out = read_file("out.txt");
    EXPECT_NE(out.find("Normal termination of program Kestrovan_Version 45_v2b"), std::string::npos);
    EXPECT_TRUE(fs::exists("gp_RCScurves.txt"));
    for (const char* suffix : {"_STD_RAW_Data.txt", "_SSF_RAW_Ratios.txt"})
        EXPECT_TRUE(fs::exists(std::string("gp") + suffix)) << suffix;
    check_chronology_files("gp", 1570, 421, true);
    const std::string report = read_file("gp_out_v45_v2b.txt");
    EXPECT_NE(report.find("REGIONAL CURVE STANDARDIZATION (RCS):"), std::string::npos);
    EXPECT_NE(report.find("FINAL ITERATION WITH CONVERGENCE"), std::string::npos);

    // After the engine's lines, the run file of the session's choices, those of the attempts too.
    const std::size_t settings = report.find("\nRUN SETTINGS\n");
    ASSERT_NE(settings, std::string::npos) << report;
    const std::string block = report.substr(settings);
    EXPECT_LT(report.find("FINAL ITERATION WITH CONVERGENCE"), settings);
    EXPECT_NE(block.find("\ntruncation_age = "), std::string::npos) << block;
    for (const char* line :
         {"\ncurve = \"rcs\"\n", "\nstiffness = 10\n", "\npith = \"gp_pith.txt\"\n", "\nrbar_window = 51\n",
          "\nconvergence = 0.0001\n", "\nregional_curve = \"age-dependent-spline\"\n"})
        EXPECT_NE(block.find(line), std::string::npos) << line << block;
}

TEST(EndToEnd, EndOfInputAtAQuestionStopsWithStatusTwo) {
    TempDir dir;
    copy_data("gp.rwl");
    EXPECT_EQ(run_program("gp.rwl\n1\nR\n"), 2);
    EXPECT_TRUE(fs::exists("gp_out_v45_v2b.txt"));
    EXPECT_EQ(run_program("/\n"), 0);
    EXPECT_EQ(run_program("", "--bogus"), 1);
}
