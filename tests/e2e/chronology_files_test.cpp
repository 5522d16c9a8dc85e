// The chronologies of a run in the files other programs read: one .crn file per chronology, the
// residual chronologies in Tucson index format, the CSV chronology table, and the table of every
// ring of the series, checked against the run's own text tables and the data as read.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "io/tucson.hpp"
#include "support/program_runner.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
using kestrovan::testing::read_file;
using kestrovan::testing::read_lines;
using kestrovan::testing::TempDir;

namespace {

bool is_integer(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    if (!text.empty() && text[0] == '-') text.erase(0, 1);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A reader of the data bank's chronology layout, written from the layout alone: three header
// records with the site code in columns 1-6 and nothing in columns 7-10 that reads as a number;
// then one record per decade: the site code, the decade's first year in columns 7-10 (a multiple
// of 10), ten pairs of a 4-column index x 1000 and a 3-column sample depth; 9990 with depth 0 is
// no value.
struct CrnFile {
    std::map<int, std::pair<int, int>> values;  // year -> index x 1000, depth
    std::set<int> no_value;                     // years of the decade records holding 9990
};

CrnFile read_crn(const std::string& path) {
    CrnFile crn;
    const auto lines = read_lines(path);
    EXPECT_GT(lines.size(), 3u) << path;
    if (lines.size() <= 3) return crn;
    const std::string site = lines[0].substr(0, 6);
    EXPECT_NE(site.find_first_not_of(' '), std::string::npos) << path;
    int expected_decade = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string& l = lines[k];
        EXPECT_LE(l.size(), 80u) << path << ": " << l;
        EXPECT_EQ(l.substr(0, 6), site) << path << ": " << l;
        const std::string year_field =
            l.size() >= 10 ? l.substr(6, 4) : l.substr(std::min<std::size_t>(6, l.size()));
        if (k < 3) {
            EXPECT_FALSE(is_integer(year_field) || year_field.find_first_not_of(' ') == std::string::npos)
                << path << ": a header record that reads as a decade: " << l;
            continue;
        }
        EXPECT_EQ(l.size(), 80u) << path << ": " << l;
        EXPECT_TRUE(is_integer(year_field)) << path << ": " << l;
        if (l.size() != 80 || !is_integer(year_field)) break;
        const int decade = std::stoi(year_field);
        EXPECT_EQ(((decade % 10) + 10) % 10, 0) << path << ": " << l;
        if (k > 3) {
            EXPECT_EQ(decade, expected_decade) << path << ": decades follow one another";
        }
        expected_decade = decade + 10;
        for (int slot = 0; slot < 10; ++slot) {
            const std::string index = l.substr(10 + 7 * static_cast<std::size_t>(slot), 4);
            const std::string depth = l.substr(14 + 7 * static_cast<std::size_t>(slot), 3);
            EXPECT_TRUE(is_integer(index) && is_integer(depth)) << path << ": " << l;
            if (std::stoi(index) == 9990) {
                EXPECT_EQ(std::stoi(depth), 0) << path << ": " << l;
                crn.no_value.insert(decade + slot);
            } else {
                crn.values[decade + slot] = {std::stoi(index), std::stoi(depth)};
            }
        }
    }
    return crn;
}

// A text table of the run: a header row of names, then rows of numbers by year.
struct Table {
    std::vector<int> years;
    std::map<std::string, std::vector<double>> columns;
};

Table read_table(const std::string& path) {
    Table t;
    const auto lines = read_lines(path);
    std::istringstream head(lines.at(0));
    std::vector<std::string> names;
    for (std::string name; head >> name;) names.push_back(name);
    for (std::size_t k = 1; k < lines.size(); ++k) {
        std::istringstream row(lines[k]);
        for (const std::string& name : names) {
            double v = 0;
            row >> v;
            if (name == "Year")
                t.years.push_back(static_cast<int>(v));
            else
                t.columns[name].push_back(v);
        }
    }
    return t;
}

std::vector<std::string> csv_cells(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, ',')) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.emplace_back();
    return cells;
}

// A chronology's .crn file holds a value at every year of depth above 0, that year's value and
// depth, and 9990 at every year of depth 0 between its first and last value.
void expect_crn(const std::string& path, const std::vector<int>& years, const std::vector<double>& values,
                const std::vector<int>& depth) {
    SCOPED_TRACE(path);
    const CrnFile crn = read_crn(path);
    std::size_t with_value = 0;
    int first = 0, last = 0;
    for (std::size_t k = 0; k < years.size(); ++k) {
        if (depth[k] <= 0) continue;
        if (with_value++ == 0) first = years[k];
        last = years[k];
    }
    EXPECT_EQ(crn.values.size(), with_value);
    for (std::size_t k = 0; k < years.size(); ++k) {
        const auto it = crn.values.find(years[k]);
        if (depth[k] > 0) {
            ASSERT_NE(it, crn.values.end()) << "year " << years[k];
            EXPECT_NEAR(it->second.first, values[k] * 1000.0, 1.0) << "year " << years[k];
            EXPECT_EQ(it->second.second, std::min(depth[k], 999)) << "year " << years[k];
        } else {
            EXPECT_EQ(it, crn.values.end()) << "year " << years[k];
            if (years[k] > first && years[k] < last) {
                EXPECT_TRUE(crn.no_value.count(years[k])) << years[k];
            }
        }
    }
}

std::vector<int> as_ints(const std::vector<double>& v) { return {v.begin(), v.end()}; }

// Residuals per year of each set of indices, from the per-series table: a series has residuals
// from its first year + the order of its model to its last year.
std::map<std::string, std::vector<int>> residual_depths(const std::string& base,
                                                        const std::vector<int>& years) {
    std::map<std::string, std::vector<int>> depth{{"ArStd", std::vector<int>(years.size(), 0)},
                                                  {"ArSsf", std::vector<int>(years.size(), 0)}};
    const auto lines = read_lines(base + "_series_stats.txt");
    for (std::size_t k = 1; k < lines.size(); ++k) {
        std::istringstream in(lines[k]);
        std::vector<std::string> f;
        for (std::string w; in >> w;) f.push_back(w);
        const int first = std::stoi(f.at(3)), last = std::stoi(f.at(4));
        const int orders[2] = {std::stoi(f[f.size() - 2]), std::stoi(f[f.size() - 1])};
        for (int m = 0; m < 2; ++m)
            for (std::size_t y = 0; y < years.size(); ++y)
                if (years[y] >= first + orders[m] && years[y] <= last) ++depth[m == 0 ? "ArStd" : "ArSsf"][y];
    }
    return depth;
}

struct RunCase {
    const char* name;
    const char* answers;
    std::vector<std::string> data;
};

class ChronologyFiles : public ::testing::TestWithParam<RunCase> {};

TEST_P(ChronologyFiles, CrnFilesResidualTucsonCsvAndSeriesTable) {
    const RunCase& run = GetParam();
    TempDir dir(run.name);
    const std::string base = run.name;
    ASSERT_EQ(
        kestrovan::testing::run_kestrovan_in(".", kestrovan::testing::example_answers(run.answers), run.data),
        0)
        << read_file("out.txt");

    // The chronologies of the column table, each in its .crn file.
    const Table col = read_table(base + "_crns_col.txt");
    const std::vector<int> ssize = as_ints(col.columns.at("SSize"));
    for (const char* name : {"StdCrn", "SsfCrn", "StdStb", "SsfStb"}) {
        std::string code = name;
        for (char& ch : code) ch = static_cast<char>(std::tolower(ch));
        expect_crn(base + "_" + code + ".crn", col.years, col.columns.at(name), ssize);
    }

    // The residual chronologies: each with its own residuals per year, in its .crn file and in
    // the Tucson index file; the standard ones' depth is the SSize of _crns_res.txt.
    const Table res = read_table(base + "_crns_res.txt");
    auto depth = residual_depths(base, res.years);
    ASSERT_EQ(depth["ArStd"], as_ints(res.columns.at("SSize")));
    const std::map<std::string, std::string> model_of{
        {"StdRes", "ArStd"}, {"SsfRes", "ArSsf"}, {"StdArm", "ArStd"}, {"SsfArm", "ArSsf"}};
    std::ifstream tuc(base + "_crns_res_tuc.txt");
    TucsonReadState state;
    for (const char* name : {"StdRes", "SsfRes", "StdArm", "SsfArm"}) {
        SCOPED_TRACE(name);
        const std::vector<int>& n = depth[model_of.at(name)];
        const std::vector<double>& v = res.columns.at(name);
        std::string code = name;
        for (char& ch : code) ch = static_cast<char>(std::tolower(ch));
        expect_crn(base + "_" + code + ".crn", res.years, v, n);

        TucsonSeries s;
        trrw(tuc, "ir", s, state);
        std::size_t from = 0, to = n.size();
        while (from < to && n[from] == 0) ++from;
        while (to > from && n[to - 1] == 0) --to;
        ASSERT_EQ(s.count, static_cast<int>(to - from));
        EXPECT_EQ(s.first_year, res.years[from]);
        for (std::size_t k = from; k < to; ++k) {
            EXPECT_EQ(s.samples[k - from], n[k]) << "year " << res.years[k];
            EXPECT_NEAR(s.values[k - from], n[k] > 0 ? v[k] : 0.0, 0.0011) << "year " << res.years[k];
        }
    }

    // The CSV table: the residual columns beside the others, empty where a year has none; the
    // spread and standard error of a year with one series empty.
    const auto csv = read_lines(base + "_crns.csv");
    ASSERT_EQ(csv.size(), res.years.size() + 1);
    EXPECT_EQ(csv[0],
              "Year,SSize,StdCrn,SsfCrn,StdSig,SsfSig,StdSee,SsfSee,StdStb,SsfStb,StdRes,SsfRes,StdArm,SsfArm,"
              "StdEps,SsfEps,StdSss,SsfSss");
    const std::vector<std::string> names = csv_cells(csv[0]);
    for (std::size_t k = 0; k < res.years.size(); ++k) {
        const auto cells = csv_cells(csv[k + 1]);
        ASSERT_EQ(cells.size(), names.size()) << csv[k + 1];
        for (std::size_t c = 4; c < 8; ++c) EXPECT_EQ(cells[c].empty(), ssize[k] <= 1) << csv[k + 1];
        // EPS and SSS of a year: a fraction where the year has series, empty where it has none.
        for (std::size_t c = 14; c < cells.size(); ++c) {
            EXPECT_EQ(cells[c].empty(), ssize[k] == 0) << names[c] << ": " << csv[k + 1];
            if (!cells[c].empty()) {
                EXPECT_LE(std::stod(cells[c]), 1.000001) << names[c] << ": " << csv[k + 1];
            }
        }
        for (std::size_t c = 10; c < 14; ++c) {
            const int n = depth[model_of.at(names[c])][k];
            EXPECT_EQ(cells[c].empty(), n == 0) << names[c] << ": " << csv[k + 1];
            if (n > 0) {
                EXPECT_NEAR(std::stod(cells[c]), res.columns.at(names[c])[k], 0.00051) << csv[k + 1];
            }
        }
    }

    // The table of the series: every ring of the data as read, in order, with its curves and
    // indices (ratios: width = curve x index) and, with pith offsets, its age.
    std::vector<int> offsets;
    if (run.data.size() > 1)
        for (const std::string& line : read_lines(run.data[1])) offsets.push_back(std::stoi(line));
    std::ifstream data(run.data[0]);
    TucsonReadState data_state;
    const auto rows = read_lines(base + "_series.csv");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "Series,Tree,Core,Year,Age,Width,StdCurve,StdIndex,SsfCurve,SsfIndex");
    std::size_t row = 1;
    for (std::size_t series = 0;; ++series) {
        TucsonSeries s;
        trrw(data, "mr", s, data_state);
        if (s.count == kEndOfFile) break;
        ASSERT_FALSE(data_state.failed);
        const std::string id = s.id.substr(0, s.id.find_last_not_of(' ') + 1);
        for (int j = 0; j < s.count; ++j, ++row) {
            ASSERT_LT(row, rows.size());
            const auto cells = csv_cells(rows[row]);
            ASSERT_EQ(cells.size(), 10u) << rows[row];
            ASSERT_EQ(cells[0], id) << rows[row];
            EXPECT_EQ(cells[1], id);
            EXPECT_EQ(cells[2], "");
            ASSERT_EQ(std::stoi(cells[3]), s.first_year + j) << rows[row];
            if (offsets.empty())
                EXPECT_EQ(cells[4], "");
            else
                EXPECT_EQ(cells[4], std::to_string(offsets.at(series) + j + 1)) << rows[row];
            const double width = s.values[static_cast<std::size_t>(j)];
            EXPECT_NEAR(std::stod(cells[5]), width, 5e-6) << rows[row];
            for (std::size_t c : {6u, 8u}) {
                const double curve = std::stod(cells[c]), index = std::stod(cells[c + 1]);
                EXPECT_NEAR(curve * index, width, 0.0005 * index + 1e-5) << rows[row];
            }
        }
    }
    EXPECT_EQ(row, rows.size());
}

INSTANTIATE_TEST_SUITE_P(ExampleRuns, ChronologyFiles,
                         ::testing::Values(RunCase{"ca533", "ca533_spline.txt", {"ca533.rwl"}},
                                           RunCase{"gp", "gp_rcs.txt", {"gp.rwl", "gp_pith.txt"}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
