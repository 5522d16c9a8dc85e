// Runs the built program on the bundled data and checks that its numbers are sound: standard
// results that do not depend on the constant added for convergence, no growth curve at or
// below the curve floor, a give-up run that publishes one iteration throughout, a power
// transform that keeps the order of the rings, and lowess windows in years or percent.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "engine/calind.hpp"
#include "io/tucson.hpp"
#include "model/year_matrix.hpp"
#include "stats/robust.hpp"
#include "support/program_runner.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
using kestrovan::testing::read_file;
using kestrovan::testing::read_lines;
using kestrovan::testing::TempDir;
namespace fs = std::filesystem;

namespace {

int run_in(const std::string& dir, const std::string& answers, const std::vector<std::string>& data) {
    return kestrovan::testing::run_kestrovan_in(dir, answers, data);
}

// Every series of a Tucson file (ring widths as read, engine files to their 0.001).
std::vector<TucsonSeries> read_series(const std::string& path) {
    std::ifstream in(path);
    TucsonReadState state;
    std::vector<TucsonSeries> all;
    for (;;) {
        TucsonSeries s;
        trrw(in, "mr", s, state);
        if (s.count == kEndOfFile || state.counter == kEndOfFile) break;
        if (s.count > 0) all.push_back(s);
    }
    return all;
}

struct Range {
    float lo = 1e30f, hi = -1e30f;
};
Range range_of(const std::string& path) {
    Range r;
    for (const auto& s : read_series(path))
        for (int j = 0; j < s.count; ++j) {
            r.lo = std::min(r.lo, s.values[static_cast<std::size_t>(j)]);
            r.hi = std::max(r.hi, s.values[static_cast<std::size_t>(j)]);
        }
    return r;
}

// The constant of the last attempt, from the report's last "CONSTANT ADDED" line.
float last_constant(const std::string& report) {
    const std::string key = "CONSTANT ADDED TO ALL MEASUREMENTS TO AID CONVERGENCE(?): ";
    const auto at = report.rfind(key);
    return at == std::string::npos ? 0.0f : std::stof(report.substr(at + key.size()));
}

// Smallest fitted Regional-curve value (fRC columns) of an "_RCScurves.txt", the empty cells
// (-999.00) left out.
float lowest_regional_curve(const std::string& path) {
    float lo = 1e30f;
    const auto lines = read_lines(path);
    for (std::size_t l = 1; l < lines.size(); ++l)
        for (std::size_t p = 8, col = 0; p + 8 <= lines[l].size(); p += 8, ++col) {
            const float v = std::stof(lines[l].substr(p, 8));
            if (col % 2 == 1 && v != -999.0f) lo = std::min(lo, v);
        }
    return lo;
}

// The lines of a file that end in one of the given labels.
std::vector<std::string> labelled(const std::string& path, const std::vector<std::string>& labels) {
    std::vector<std::string> out;
    for (const auto& line : read_lines(path))
        for (const auto& label : labels)
            if (line.size() >= label.size() &&
                line.compare(line.size() - label.size(), label.size(), label) == 0)
                out.push_back(line);
    return out;
}

const std::string kCa533Default = "ca533.rwl\n1\nR\n1\n\n\n\n\n\n\n\n\n";

}  // namespace

TEST(SoundNumbers, StandardResultsDoNotDependOnTheIteration) {
    TempDir tmp;
    // The default criterion and 0.003 end the iteration at different iterates; the standard
    // results are the same.
    ASSERT_EQ(run_in("default", kCa533Default, {"ca533.rwl"}), 0);
    ASSERT_EQ(run_in("once", "ca533.rwl\n1\nR\n1\n\n\n\n\n\n3\n0.003\n\n\n", {"ca533.rwl"}), 0);

    for (const char* f : {"ca533_STD_RAW_Data.txt", "ca533_STD_RAW_Curves.txt", "ca533_STD_RAW_Ratios.txt",
                          "ca533_Std_RBAR.txt"})
        EXPECT_TRUE(read_file(std::string("default/") + f) == read_file(std::string("once/") + f)) << f;

    // The standard columns of the table: chronology, its deviation, standard error, stabilized.
    const auto a = read_lines("default/ca533_crns_col.txt"), b = read_lines("once/ca533_crns_col.txt");
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 1; k < a.size(); ++k)
        for (std::size_t at : {13u, 29u, 45u, 61u}) ASSERT_EQ(a[k].substr(at, 8), b[k].substr(at, 8)) << a[k];
    EXPECT_TRUE(labelled("default/ca533_crns_tuc.txt", {"stdcrn", "stdstb"}) ==
                labelled("once/ca533_crns_tuc.txt", {"stdcrn", "stdstb"}));
    const auto sa = read_lines("default/ca533_spectra.txt"), sb = read_lines("once/ca533_spectra.txt");
    ASSERT_EQ(sa.size(), sb.size());
    for (std::size_t k = 0; k < sa.size(); ++k) ASSERT_EQ(sa[k].substr(0, 23), sb[k].substr(0, 23));

    // Each standard index is its measurement over its curve, to the
    // precision of the files (0.001, and 0.999 is written as 1.000).
    const auto data = read_series("default/ca533_STD_RAW_Data.txt");
    const auto curves = read_series("default/ca533_STD_RAW_Curves.txt");
    const auto ratios = read_series("default/ca533_STD_RAW_Ratios.txt");
    ASSERT_EQ(data.size(), 34u);
    ASSERT_EQ(curves.size(), data.size());
    ASSERT_EQ(ratios.size(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i)
        for (int j = 0; j < data[i].count; ++j) {
            const auto u = static_cast<std::size_t>(j);
            const float d = data[i].values[u], c = curves[i].values[u], r = ratios[i].values[u];
            ASSERT_NEAR(r, d / c, 0.0016f + 0.0006f * (1.0f + r) / c) << data[i].id << " ring " << j;
        }
}

TEST(SoundNumbers, PowerTransformedResidualsKeepTheOrderOfTheRings) {
    TempDir tmp;
    // gp: residuals of power-transformed series.
    ASSERT_EQ(run_in("ptr", "gp.rwl\n1\nS\nT\n1\n8\n\n\n0\n\n\n", {"gp.rwl"}), 0);
    const auto raw = read_series("ptr/gp.rwl");
    const auto data = read_series("ptr/gp_STD_PTR_Data.txt");
    const auto curves = read_series("ptr/gp_STD_PTR_Curves.txt");
    const auto resids = read_series("ptr/gp_STD_PTR_Resids.txt");
    ASSERT_EQ(raw.size(), 58u);
    ASSERT_EQ(data.size(), raw.size());
    int zeros_beside_small_rings = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        ASSERT_EQ(data[i].count, raw[i].count);
        // A ring never ends up below a narrower one (the transform is non-decreasing; the
        // rounding of the file keeps that).
        std::vector<int> order(static_cast<std::size_t>(raw[i].count));
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int x, int y) { return raw[i].values[x] < raw[i].values[y]; });
        for (std::size_t k = 1; k < order.size(); ++k)
            ASSERT_LE(data[i].values[order[k - 1]], data[i].values[order[k]]) << raw[i].id;
        const auto& v = raw[i].values;
        if (std::count(v.begin(), v.begin() + raw[i].count, 0.0f) > 0 &&
            std::any_of(v.begin(), v.begin() + raw[i].count, [](float x) { return x > 0.0f && x < 0.05f; }))
            ++zeros_beside_small_rings;

        // The residual indices are those of the measurements and curves in the files.
        std::vector<float> x(static_cast<std::size_t>(data[i].count));
        calind(std::span<const float>(data[i].values).first(x.size()), curves[i].values, x, kResidualIndices);
        for (std::size_t j = 0; j < x.size(); ++j) ASSERT_NEAR(resids[i].values[j], x[j], 0.01f) << raw[i].id;
    }
    EXPECT_GT(zeros_beside_small_rings, 0);  // the case the order rule is about
}

TEST(SoundNumbers, LinesAndExponentialsStayAboveTheCurveFloor) {
    TempDir tmp;
    std::string no_more;
    for (int i = 0; i < 40; ++i) no_more += "F\n";
    struct Run {
        std::string dir, answers;
        bool spline_fallback;  // per-series code 1 falls back to a spline, which keeps its floor
        std::vector<std::string> files;
    };
    std::vector<Run> runs;
    for (const std::string set : {"ca533", "co021", "gp"}) {
        for (int code = 1; code <= 4; ++code)
            runs.push_back({set + "_series" + std::to_string(code),
                            set + ".rwl\n1\nR\n1\n" + std::to_string(code) + "\n\n0\n\n\n\n",
                            code == 1,
                            {set + ".rwl"}});
        const std::string pith = set == "gp" ? "T\ngp_pith.txt\n1\n0\n" : "F\n";
        for (int code : {1, 2, 4, 5})
            runs.push_back({set + "_regional" + std::to_string(code),
                            set + ".rwl\n1\nR\n1\n-2\n\n" + pith + "\n0\n\n\nT\n" + std::to_string(code) +
                                "\n" + no_more,
                            false,
                            {set + ".rwl", "gp_pith.txt"}});
    }
    // gp's Regional line truncated at age 200 falls below 0 during the iteration.
    runs.push_back({"gp_regional4_truncated",
                    "gp.rwl\n1\nR\n1\n-2\n\nT\ngp_pith.txt\n1\n0\n\n0\n\n\nT\n4\nF\nT\n200\n" + no_more,
                    false,
                    {"gp.rwl", "gp_pith.txt"}});

    for (const Run& run : runs) {
        SCOPED_TRACE(run.dir);
        ASSERT_EQ(run_in(run.dir, run.answers, run.files), 0) << read_file(run.dir + "/out.txt");
        const std::string base = run.dir + "/" + run.files[0].substr(0, run.files[0].find('.'));
        const float c = last_constant(read_file(base + "_out_v45_v2b.txt"));
        // The files hold 0.001 mm: a value at the floor may read 0.0005 below it.
        EXPECT_GE(range_of(base + "_STD_RAW_Curves.txt").lo, 0.0195f);
        EXPECT_GE(range_of(base + "_SSF_RAW_Curves.txt").lo,
                  (run.spline_fallback ? 0.02f - c : 0.02f) - 0.0005f);
        for (const char* pass : {"_STD_RAW_Ratios.txt", "_SSF_RAW_Ratios.txt"}) {
            const Range r = range_of(base + pass);
            EXPECT_GE(r.lo, 0.0f) << pass;
            EXPECT_LT(r.hi, 50.0f) << pass;
        }
        if (fs::exists(base + "_RCScurves.txt")) {
            EXPECT_GE(lowest_regional_curve(base + "_RCScurves.txt"), 0.02f - 0.005f);  // f8.2 values
        }
    }
}

TEST(SoundNumbers, StalledRunPublishesItsBestIterate) {
    TempDir tmp;
    // ca533 with a fixed 32-year spline: the criterion stops falling; no constant is added and
    // the iterate with the lowest statistic is published, and said to be.
    ASSERT_EQ(run_in("give_up", "ca533.rwl\n1\nR\n1\n32\n\n\n\n\n\n", {"ca533.rwl"}), 0);
    const std::string report = read_file("give_up/ca533_out_v45_v2b.txt");
    EXPECT_FLOAT_EQ(last_constant(report), 0.0f);
    const std::string named = "BEST ITERATION KEPT: ";
    const auto at = report.find(named);
    ASSERT_NE(at, std::string::npos) << report;
    const int k = std::stoi(report.substr(at + named.size()));
    const int last = std::stoi(report.substr(at + named.size() + 6));
    EXPECT_LT(k, last);
    EXPECT_NE(report.find("WARNING: THE CONVERGENCE STATISTIC HAS STOPPED FALLING"), std::string::npos);
    EXPECT_NE(report.find("SIGNAL-FREE CHRONOLOGY STOPPED AT ITS BEST ITERATE"), std::string::npos);
    const std::string summary = read_file("give_up/ca533_summary.json");
    EXPECT_NE(summary.find("\"outcome\": \"stopped at its best iterate\""), std::string::npos);
    EXPECT_NE(summary.find("\"iteration\": " + std::to_string(k)), std::string::npos) << summary;

    // SsfCrn is the robust mean of the index file, up to the final scaling.
    const auto series = read_series("give_up/ca533_SSF_RAW_Ratios.txt");
    const auto table = read_lines("give_up/ca533_crns_col.txt");
    const int first_year = std::stoi(table[1].substr(0, 6));
    const int years = static_cast<int>(table.size()) - 1;
    YearMatrix m(years, static_cast<int>(series.size()));
    for (std::size_t i = 0; i < series.size(); ++i)
        for (int j = 0; j < series[i].count; ++j)
            m(series[i].first_year - first_year + j, static_cast<int>(i)) =
                series[i].values[static_cast<std::size_t>(j)];
    const ChronologySummary mean = robsum(m, kMeanBiweight);
    std::vector<double> x, y;
    for (int t = 0; t < years; ++t) {
        const float ssf = std::stof(table[static_cast<std::size_t>(t) + 1].substr(21, 8));
        if (mean.count[static_cast<std::size_t>(t)] > 0 && ssf > 0.0f) {
            x.push_back(mean.location[static_cast<std::size_t>(t)]);
            y.push_back(ssf);
        }
    }
    const double n = static_cast<double>(x.size());
    const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n,
                 my = std::accumulate(y.begin(), y.end(), 0.0) / n;
    double sxx = 0.0, sxy = 0.0;
    for (std::size_t t = 0; t < x.size(); ++t) {
        sxx += (x[t] - mx) * (x[t] - mx);
        sxy += (x[t] - mx) * (y[t] - my);
    }
    const double slope = sxy / sxx;
    double worst = 0.0;
    for (std::size_t t = 0; t < x.size(); ++t)
        worst = std::max(worst, std::fabs(y[t] - (my + slope * (x[t] - mx))));
    EXPECT_LT(worst, 0.003);
    for (const auto& entry : fs::directory_iterator("give_up")) EXPECT_NE(entry.path().extension(), ".part");
}

TEST(SoundNumbers, LowessWindowInYearsDiffersFromThePercentage) {
    TempDir tmp;
    std::string no_more;
    for (int i = 0; i < 40; ++i) no_more += "F\n";
    for (const std::string w : {"30", "-30"})
        ASSERT_EQ(run_in("lowess" + w,
                         "gp.rwl\n1\nR\n1\n-2\n\nT\ngp_pith.txt\n1\n0\n\n0\n\n\nT\n-4\n" + w + "\n" + no_more,
                         {"gp.rwl", "gp_pith.txt"}),
                  0);
    const auto years = read_lines("lowess30/gp_RCScurves.txt"),
               percent = read_lines("lowess-30/gp_RCScurves.txt");
    // The initial curves (first fRC column): a window of 30 ages against one of 30 % of the ages.
    double widest = 0.0;
    for (std::size_t l = 1; l < std::min(years.size(), percent.size()); ++l) {
        const float a = std::stof(years[l].substr(16, 8)), b = std::stof(percent[l].substr(16, 8));
        if (a != -999.0f && b != -999.0f) widest = std::max(widest, std::fabs(static_cast<double>(a) - b));
    }
    EXPECT_GT(widest, 0.1);
}

namespace {
// Runs `kestrovan run` on a run file in `dir` with copies of the bundled `data`.
int run_toml(const std::string& dir, const std::string& toml, const std::vector<std::string>& data) {
    fs::create_directories(dir);
    std::ofstream(dir + "/r.toml") << toml;
    return kestrovan::testing::run_kestrovan_in(dir, "", data, "run r.toml");
}

// Year, sample size and the two chronology columns of a "_crns_col.txt".
struct TableRow {
    int year = 0, n = 0;
    float std_crn = 0, ssf_crn = 0;
};
std::vector<TableRow> chronology_table(const std::string& path) {
    std::vector<TableRow> rows;
    const auto lines = read_lines(path);
    for (std::size_t k = 1; k < lines.size(); ++k) {
        std::istringstream in(lines[k]);
        TableRow r;
        in >> r.year >> r.n >> r.std_crn >> r.ssf_crn;
        rows.push_back(r);
    }
    return rows;
}

// Mean ring width per calendar year of a Tucson file (0 where no series covers the year).
std::map<int, double> mean_width(const std::string& path) {
    std::map<int, std::pair<double, int>> sums;
    for (const auto& s : read_series(path))
        for (int j = 0; j < s.count; ++j) {
            auto& [sum, n] = sums[s.first_year + j];
            sum += s.values[static_cast<std::size_t>(j)];
            ++n;
        }
    std::map<int, double> out;
    for (const auto& [year, sn] : sums) out[year] = sn.first / sn.second;
    return out;
}

// The years in which at least half the indices of an index file are 0: there the robust mean
// may rightly be 0 (a year of missing rings).
std::set<int> all_zero_years(const std::string& path) {
    std::map<int, std::pair<int, int>> zeros;  // zero indices, all indices
    for (const auto& s : read_series(path))
        for (int j = 0; j < s.count; ++j) {
            auto& [z, n] = zeros[s.first_year + j];
            z += s.values[static_cast<std::size_t>(j)] <= 0.0f;
            ++n;
        }
    std::set<int> out;
    for (const auto& [year, zn] : zeros)
        if (2 * zn.first >= zn.second) out.insert(year);
    return out;
}

// Smallest and largest ratio of a chronology column to the mean width over the covered years
// with a mean width of at least 0.05 mm.
std::pair<double, double> ratio_range(const std::vector<TableRow>& rows, const std::map<int, double>& width,
                                      bool signal_free) {
    double lo = 1e30, hi = 0;
    for (const auto& r : rows) {
        const auto w = width.find(r.year);
        if (r.n == 0 || w == width.end() || w->second < 0.05) continue;
        const double q = (signal_free ? r.ssf_crn : r.std_crn) / w->second;
        lo = std::min(lo, q);
        hi = std::max(hi, q);
    }
    return {lo, hi};
}
}  // namespace

// The splines of the bundled sets: no first-pass index reaches 10 (the curves keep above a
// quarter of the level of the rings), and no covered year of either chronology reads 0.
TEST(ChronologyLevels, SplinesGiveNoAbsurdIndices) {
    TempDir tmp;
    const std::vector<std::string> curves = {
        "curve = \"age-dependent-spline\"",          "curve = \"fixed-spline\"\nwavelength = 32",
        "curve = \"fixed-spline\"\nwavelength = 100", "curve = \"fixed-spline\"\nwavelength = 300",
        "curve = \"percent-spline\"\npercent = 33",  "curve = \"percent-spline\"\npercent = 67"};
    for (const char* set : {"ca533", "co021", "gp"})
        for (std::size_t c = 0; c < curves.size(); ++c) {
            const std::string dir = std::string(set) + std::to_string(c);
            SCOPED_TRACE(dir + " " + curves[c]);
            ASSERT_EQ(run_toml(dir, "data = \"" + std::string(set) + ".rwl\"\n" + curves[c] + "\nrbar_window = 0\n",
                               {std::string(set) + ".rwl"}),
                      0);
            const std::string base = dir + "/" + set;
            const Range r = range_of(base + "_STD_RAW_Ratios.txt");
            EXPECT_LE(r.hi, 10.0f);
            EXPECT_GE(r.lo, 0.0f);
            const auto std_zero = all_zero_years(base + "_STD_RAW_Ratios.txt"),
                       ssf_zero = all_zero_years(base + "_SSF_RAW_Ratios.txt");
            for (const auto& row : chronology_table(base + "_crns_col.txt"))
                if (row.n > 0) {
                    EXPECT_TRUE(row.std_crn > 0.0f || std_zero.count(row.year)) << row.year;
                    EXPECT_TRUE(row.ssf_crn > 0.0f || ssf_zero.count(row.year)) << row.year;
                }
        }
}

// Without detrending, and with a horizontal Regional curve, every index is the width over a
// constant: with the arithmetic mean the chronologies are proportional to the mean width.
TEST(ChronologyLevels, ChronologiesOfWidthsKeepTheirProportions) {
    TempDir tmp;
    ASSERT_EQ(run_toml("raw", "data = \"ca533.rwl\"\ncurve = \"no-detrending\"\nmean = \"arithmetic\"\n",
                       {"ca533.rwl"}),
              0);
    const auto width = mean_width("raw/ca533.rwl");
    const auto rows = chronology_table("raw/ca533_crns_col.txt");
    const auto [lo, hi] = ratio_range(rows, width, false);
    EXPECT_NEAR(lo / hi, 1.0, 0.01);  // values of the table hold 3 decimals
    for (const auto& r : rows)
        if (r.n > 0 && width.at(r.year) > 0.0) {
            EXPECT_GT(r.std_crn, 0.0f) << r.year;  // positive where the widths are
        }

    ASSERT_EQ(run_toml("flat",
                       "data = \"gp.rwl\"\ncurve = \"rcs\"\npith = \"gp_pith.txt\"\nregional_curve = "
                       "\"horizontal-line\"\ntruncation_age = 200\nmean = \"arithmetic\"\n",
                       {"gp.rwl", "gp_pith.txt"}),
              0);
    const auto gp_width = mean_width("flat/gp.rwl");
    const auto gp_rows = chronology_table("flat/gp_crns_col.txt");
    const auto [glo, ghi] = ratio_range(gp_rows, gp_width, false);
    EXPECT_NEAR(glo / ghi, 1.0, 0.02);
    // One Regional curve per iteration beside the initial one, also when the curve is horizontal.
    const std::string summary = read_file("flat/gp_summary.json");
    const auto at = summary.find("\"iterations\": ");
    ASSERT_NE(at, std::string::npos);
    const int iterations = std::stoi(summary.substr(at + 14));
    const auto header = read_lines("flat/gp_RCScurves.txt")[0];
    std::size_t pairs = 0;
    for (std::size_t p = header.find("RC"); p != std::string::npos; p = header.find("RC", p + 3))
        if (header.compare(p - 1, 3, "fRC") != 0) ++pairs;
    EXPECT_EQ(pairs, static_cast<std::size_t>(iterations) + 1);
}

// A period that no series covers has no effective number of cores and no signal-to-noise ratio:
// the report says NA, not the -10.00 that the undefined marker looks like in two decimals.
TEST(ChronologyLevels, UndefinedStatisticsReadNA) {
    TempDir dir;
    ASSERT_EQ(run_toml("na", "data = \"gp.rwl\"\nstatistics_period = [1000, 1100]\nrbar_window = 0\n", {"gp.rwl"}),
              0);
    const std::string report = read_file("na/gp_out_v45_v2b.txt");
    const std::size_t row = report.find("STANDARD 1000-1100");
    ASSERT_NE(row, std::string::npos);
    const std::string line = report.substr(row, report.find('\n', row) - row);
    EXPECT_EQ(line.find("-10.00"), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 38), "  NA   -9.999 -9.999       NA       NA") << line;
}

// The chronology statistics of the summary against a computation of the test's own from the
// written standard indices: gp with its cores split into trees ("01A" is core A of tree 01).
TEST(ChronologyLevels, StatisticsWithTreesAgreeWithTheIndexFiles) {
    TempDir dir;
    ASSERT_EQ(run_toml("st", "data = \"gp.rwl\"\ntree_id = \"auto\"\nstatistics_period = [1800, 1950]\n", {"gp.rwl"}),
              0);
    const auto series = read_series("st/gp_STD_RAW_Ratios.txt");
    ASSERT_EQ(series.size(), 58u);
    double tot = 0, wt = 0, bt = 0;
    int n = 0, n_wt = 0, n_bt = 0;
    std::map<std::string, int> cores;
    const auto tree_of = [](const TucsonSeries& s) { return s.id.substr(0, 2); };
    for (const auto& s : series) ++cores[tree_of(s)];
    for (std::size_t i = 0; i < series.size(); ++i)
        for (std::size_t j = i + 1; j < series.size(); ++j) {
            const auto& a = series[i];
            const auto& b = series[j];
            const int lo = std::max(a.first_year, b.first_year);
            const int hi = std::min(a.first_year + a.count, b.first_year + b.count);
            if (hi - lo < 30) continue;
            double mx = 0, my = 0;
            for (int y = lo; y < hi; ++y) mx += a.values[y - a.first_year], my += b.values[y - b.first_year];
            mx /= hi - lo;
            my /= hi - lo;
            double sxy = 0, sxx = 0, syy = 0;
            for (int y = lo; y < hi; ++y) {
                const double dx = a.values[y - a.first_year] - mx, dy = b.values[y - b.first_year] - my;
                sxy += dx * dy;
                sxx += dx * dx;
                syy += dy * dy;
            }
            const double r = sxy / std::sqrt(sxx * syy);
            tot += r;
            ++n;
            if (tree_of(a) == tree_of(b)) {
                wt += r;
                ++n_wt;
            } else {
                bt += r;
                ++n_bt;
            }
        }
    double inverse = 0;
    for (const auto& [tree, c] : cores) inverse += 1.0 / c;
    const double t = static_cast<double>(cores.size()), c_eff = t / inverse;
    const double rbar_eff = (bt / n_bt) / (wt / n_wt + (1 - wt / n_wt) / c_eff);

    const auto j = nlohmann::json::parse(read_file("st/gp_summary.json"))["statistics"]["standard"];
    EXPECT_EQ(j["n_cores"], 58);
    EXPECT_EQ(j["n_trees"], static_cast<int>(cores.size()));
    EXPECT_EQ(j["n_pairs"], n);
    EXPECT_NEAR(j["rbar_tot"].get<double>(), tot / n, 0.002);
    EXPECT_NEAR(j["rbar_wt"].get<double>(), wt / n_wt, 0.002);
    EXPECT_NEAR(j["rbar_bt"].get<double>(), bt / n_bt, 0.002);
    EXPECT_NEAR(j["c_eff"].get<double>(), c_eff, 1e-4);
    EXPECT_NEAR(j["rbar_eff"].get<double>(), rbar_eff, 0.003);
    EXPECT_NEAR(j["eps"].get<double>(), t * rbar_eff / (t * rbar_eff + 1 - rbar_eff), 0.002);
    EXPECT_TRUE(j["period"].is_object());
    // EPS stays at or above 0.85 from a year no earlier than the first year that reaches it.
    const auto rbar = nlohmann::json::parse(read_file("st/gp_summary.json"))["rbar_standard"];
    EXPECT_GE(rbar["eps_085_from"].get<int>(), rbar["first_year_eps_085"].get<int>());
    // With trees the running EPS has its tree-aware form: one row per window of the running RBAR.
    const auto tree_eps = read_lines("st/gp_Std_TreeEPS.txt");
    ASSERT_GT(tree_eps.size(), 300u);
    EXPECT_TRUE(j["tree_eps_085_from"].is_number());

    // One row per series in the per-series table. The residual chronologies have mean 1 and,
    // prewhitened, almost no persistence left; the autoregressive-standard ones keep it.
    EXPECT_EQ(read_lines("st/gp_series_stats.txt").size(), 59u);
    const auto res = read_lines("st/gp_crns_res.txt");
    ASSERT_EQ(res.size(), 422u);
    std::vector<double> cols[4];
    for (std::size_t k = 1; k < res.size(); ++k) {
        std::istringstream in(res[k]);
        int year = 0, size = 0;
        double v[4] = {};
        in >> year >> size >> v[0] >> v[1] >> v[2] >> v[3];
        if (size >= 5)
            for (int c = 0; c < 4; ++c) cols[c].push_back(v[c]);
    }
    const auto lag1 = [](const std::vector<double>& x) {
        const double m = std::accumulate(x.begin(), x.end(), 0.0) / static_cast<double>(x.size());
        double num = 0, den = 0;
        for (std::size_t t = 0; t < x.size(); ++t) {
            den += (x[t] - m) * (x[t] - m);
            if (t > 0) num += (x[t] - m) * (x[t - 1] - m);
        }
        return std::pair{m, num / den};
    };
    for (int c = 0; c < 4; ++c) {
        const auto [mean, r1] = lag1(cols[c]);
        EXPECT_NEAR(mean, 1.0, 0.05) << c;
        if (c < 2) {
            EXPECT_LT(std::fabs(r1), 0.15) << c;
        } else {
            EXPECT_GT(r1, 0.2) << c;
        }
    }
    const std::string report = read_file("st/gp_out_v45_v2b.txt");
    EXPECT_NE(report.find("TREES AND THEIR CORES (TREE_ID auto):"), std::string::npos);
}
