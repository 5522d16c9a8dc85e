// Whole runs on the exchange formats and with missing rings: gp.rwl written as a CSV table, a
// Heidelberg file, a compact file and a TRiDaS document gives the same measurement series file
// as the Tucson original (its header lines aside), and a file with missing rings stops the run
// naming the option, or with fill_gaps has them filled, listed in the report and in the summary.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>

#include "io/reader_files.hpp"
#include "support/program_runner.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan::testing;

namespace {

int run_file(const std::string& toml) {
    std::ofstream("run.toml") << toml;
    const int raw = std::system((std::string(KESTROVAN_BINARY) + " run run.toml > out.txt 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The series lines of an engine file: its header lines (the data file's own) left out.
std::vector<std::string> series_lines(const std::string& path) {
    std::vector<std::string> lines = read_lines(path);
    std::erase_if(lines, [](const std::string& l) { return l.find("stdraw") == std::string::npos; });
    return lines;
}

}  // namespace

TEST(ExchangeFormatRuns, EveryFormatGivesTheSameMeasurementFile) {
    TempDir dir("formats");
    copy_example_data("gp.rwl");
    ASSERT_EQ(run_file("data = \"gp.rwl\"\ncurve = \"horizontal-line\"\n"), 0) << read_file("out.txt");
    const auto want = series_lines("gp_STD_RAW_Data.txt");
    ASSERT_GT(want.size(), 100u);
    const kestrovan::SeriesTable gp = tucson_original("gp.rwl");
    const std::pair<std::string, std::string> files[] = {{"gpcsv.csv", csv_table(gp, ',')},
                                                         {"gpfh.fh", heidelberg_file(gp)},
                                                         {"gpcompact.txt", compact_file(gp)},
                                                         {"gptridas.xml", tridas_file(gp)}};
    const char* formats[] = {"csv", "heidelberg", "compact", "tridas"};
    for (std::size_t i = 0; i < 4; ++i) {
        std::ofstream(files[i].first) << files[i].second;
        const std::string base = files[i].first.substr(0, files[i].first.find('.'));
        for (const std::string format : {std::string(formats[i]), std::string("auto")}) {
            ASSERT_EQ(run_file("data = \"" + files[i].first + "\"\nformat = \"" + format +
                               "\"\ncurve = \"horizontal-line\"\n"),
                      0)
                << format << "\n" << read_file("out.txt");
            EXPECT_EQ(series_lines(base + "_STD_RAW_Data.txt"), want) << format;
        }
    }
}

TEST(ExchangeFormatRuns, MissingRingsStopOrAreFilledOnRequest) {
    TempDir dir("gaps");
    // gp.rwl with the rings of 01A for 1642 and 1643 missing (-999), and 01A's first ring too.
    std::string text = read_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl");
    const std::string line = "01A     1640    67    74    72    67";
    const std::size_t at = text.find(line);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, line.size(), "01A     1640  -999    74  -999  -999");
    std::ofstream("gaps.rwl") << text;

    ASSERT_EQ(run_file("data = \"gaps.rwl\"\ncurve = \"horizontal-line\"\n"), 1);
    EXPECT_NE(read_file("out.txt").find("Fill the gaps inside the series by linear interpolation with --fill-gaps"),
              std::string::npos);

    ASSERT_EQ(run_file("data = \"gaps.rwl\"\ncurve = \"horizontal-line\"\nfill_gaps = true\n"), 0)
        << read_file("out.txt");
    const std::string report = read_file("gaps_out_v45_v2b.txt");
    EXPECT_NE(report.find(" SERIES 01A      YEARS   1640 TO   1640 AT ITS START HAVE NO VALUE: CUT OFF\n"),
              std::string::npos)
        << report;
    // 0.74 mm in 1641, 0.84 mm in 1644: a third and two thirds of the way.
    EXPECT_NE(report.find(" FILLED RING (LINEAR INTERPOLATION): SERIES 01A      YEAR   1642 VALUE    0.773\n"
                          " FILLED RING (LINEAR INTERPOLATION): SERIES 01A      YEAR   1643 VALUE    0.807\n"),
              std::string::npos)
        << report;
    const auto summary = nlohmann::json::parse(read_file("gaps_summary.json"));
    ASSERT_EQ(summary["filled_rings"].size(), 2u);
    EXPECT_EQ(summary["filled_rings"][0]["series"], "01A");
    EXPECT_EQ(summary["filled_rings"][1]["year"], 1643);
    EXPECT_EQ(summary["run"]["fill_gaps"], true);
    EXPECT_NE(read_lines("gaps_STD_RAW_Data.txt")[1].find("01A     1641   740   773   807   840"), std::string::npos);
}
