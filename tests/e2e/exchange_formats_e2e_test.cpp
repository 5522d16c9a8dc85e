// Whole runs on the exchange formats and with missing rings: gp.rwl written as a CSV table, a
// Heidelberg file, a compact file and a TRiDaS document gives the same measurement series file
// as the Tucson original (its header lines aside), and a file with missing rings stops the run
// naming the option, or with fill_gaps has them filled, listed in the report and in the summary.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <sstream>

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
    // The TRiDaS document also in UTF-16 (little-endian, with its byte-order mark).
    std::string xml = tridas_file(gp), wide = "\xFF\xFE";
    xml.replace(xml.find("UTF-8"), 5, "UTF-16");
    for (char ch : xml) wide += std::string{ch, '\0'};
    const std::pair<std::string, std::string> files[] = {{"gpcsv.csv", csv_table(gp, ',')},
                                                         {"gpfh.fh", heidelberg_file(gp)},
                                                         {"gpcompact.txt", compact_file(gp)},
                                                         {"gptridas.xml", tridas_file(gp)},
                                                         {"gpwide.xml", wide}};
    const char* formats[] = {"csv", "heidelberg", "compact", "tridas", "tridas"};
    for (std::size_t i = 0; i < 5; ++i) {
        std::ofstream(files[i].first) << files[i].second;
        const std::string base = files[i].first.substr(0, files[i].first.find('.'));
        for (const std::string& format : {std::string(formats[i]), std::string("auto")}) {
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
    EXPECT_NE(read_file("out.txt").find(" Series 01A has a missing ring in 1640, the first of 3: fill the gaps inside the series by "
                                     "linear interpolation with --fill-gaps (run file: fill_gaps = true)"),
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
    EXPECT_NE(read_lines("gaps_STD_RAW_Data.txt")[3].find("01A     1641   740   773   807   840"), std::string::npos);
}

namespace {

// A reader of ring-width files as partner programs write them: exactly three header lines, then
// decade lines (identifier in columns 1-8, year in 9-12, six-column values) up to a series' end
// marker (999: hundredths of a millimetre, -9999: thousandths). Series by identifier: first year
// and values in millimetres.
std::map<std::string, std::pair<int, std::vector<double>>> three_header_reader(const std::string& path) {
    std::map<std::string, std::pair<int, std::vector<double>>> series;
    const auto lines = read_lines(path);
    std::vector<long> pending;
    for (std::size_t k = 3; k < lines.size(); ++k) {
        const std::string& l = lines[k];
        const std::string id = l.substr(0, 8);
        const int year = std::stoi(l.substr(8, 4));
        if (pending.empty()) series[id].first = year;
        for (std::size_t at = 12; at + 6 <= l.size() && at < 72; at += 6) {
            const std::string field = l.substr(at, 6);
            if (field.find_first_not_of(' ') == std::string::npos) break;
            const long v = std::stol(field);
            if (v == 999 || v == -9999) {
                for (long x : pending) series[id].second.push_back(static_cast<double>(x) / (v == 999 ? 100 : 1000));
                pending.clear();
                break;
            }
            pending.push_back(v);
        }
    }
    EXPECT_TRUE(pending.empty()) << path << ": a series without its end marker";
    return series;
}

}  // namespace

// Every series file carries three header lines, the data file's own or the customary ones, so
// that a reader expecting three loses nothing; the chronology table also comes as CSV.
TEST(ExchangeFormatRuns, SeriesFilesReadWholeByAReaderOfThreeHeaderLines) {
    TempDir dir("partners");
    copy_example_data("gp.rwl");
    std::ofstream("gpcsv.csv") << csv_table(tucson_original("gp.rwl"), ',');
    for (const std::string& base : {std::string("gp"), std::string("gpcsv")}) {
        const std::string data = base == "gp" ? "gp.rwl" : "gpcsv.csv";
        ASSERT_EQ(run_file("data = \"" + data + "\"\nformat = \"auto\"\n"), 0) << read_file("out.txt");
        for (const char* pass : {"_STD_RAW_", "_SSF_RAW_"})
            for (const char* kind : {"Data.txt", "Curves.txt", "Ratios.txt"}) {
                const std::string path = base + pass + kind;
                SCOPED_TRACE(path);
                const auto lines = read_lines(path);
                ASSERT_GT(lines.size(), 3u);
                for (std::size_t k = 0; k < 3; ++k) {
                    EXPECT_NE(lines[k].substr(0, 6).find_first_not_of(' '), std::string::npos);
                    EXPECT_EQ(lines[k][8], static_cast<char>('1' + k)) << lines[k];
                }
                const auto theirs = three_header_reader(path);
                const Loaded read = load(read_file(path), "1\n");
                ASSERT_TRUE(read.ok) << read.shown;
                const kestrovan::SeriesTable& ours = read.table;
                ASSERT_EQ(theirs.size(), static_cast<std::size_t>(ours.count()));
                for (int i = 0; i < ours.count(); ++i) {
                    const auto& [first, values] = theirs.at(ours.ids[static_cast<std::size_t>(i)]);
                    EXPECT_EQ(first, ours.years[static_cast<std::size_t>(i)].first);
                    ASSERT_EQ(static_cast<int>(values.size()), ours.years[static_cast<std::size_t>(i)].length);
                    for (std::size_t t = 0; t < values.size(); ++t)
                        ASSERT_NEAR(values[t], ours.data(static_cast<int>(t), i), 1e-6 * std::max(1.0, values[t]));
                }
            }
        // The CSV table: the text table's rows and values, empty cells where no series is and
        // for the spread of one series; the residual, EPS and SSS columns follow (checked in
        // chronology_files_test.cpp).
        const auto text = read_lines(base + "_crns_col.txt");
        const auto csv = read_lines(base + "_crns.csv");
        ASSERT_EQ(csv.size(), text.size());
        EXPECT_EQ(csv[0], "Year,SSize,StdCrn,SsfCrn,StdSig,SsfSig,StdSee,SsfSee,StdStb,SsfStb,"
                          "StdRes,SsfRes,StdArm,SsfArm,StdEps,SsfEps,StdSss,SsfSss");
        for (std::size_t k = 1; k < csv.size(); ++k) {
            std::istringstream t(text[k]), c(csv[k]);
            std::string cell;
            double want = 0;
            std::getline(c, cell, ',');
            t >> want;
            EXPECT_EQ(std::stod(cell), want);
            std::getline(c, cell, ',');
            t >> want;
            EXPECT_EQ(std::stod(cell), want);
            const int n = static_cast<int>(want);
            for (int column = 2; column < 10 && std::getline(c, cell, ','); ++column) {
                t >> want;
                const bool spread = column >= 4 && column < 8;
                if (n > 1 || (n == 1 && !spread))
                    EXPECT_NEAR(std::stod(cell), want, 0.00051) << csv[k];
                else
                    EXPECT_TRUE(cell.empty()) << csv[k];
            }
        }
    }
}
