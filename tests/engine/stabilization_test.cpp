// Variance stabilization: moment1, the two spline stages, and the engine step with its RBAR
// file, console lines, plots and the "Happy with this spline stabilization?" loop.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "diag/ring_data.hpp"
#include "diag/stabilize.hpp"
#include "run/stabilization.hpp"
#include "model/notices.hpp"
#include "model/run_options.hpp"
#include "support/recording_plotter.hpp"
#include "support/temp_dir.hpp"
#include "support/test_io.hpp"

using namespace kestrovan;

namespace {

struct Session {
    std::istringstream in;
    std::ostringstream out;
    Console console;
    Notices notices;
    explicit Session(const std::string& answers) : in(answers), console(in, out) {}
};

// Eight series sharing a signal over 300 years, two of them shorter (sample size 6..8).
struct Fixture {
    YearMatrix indices{300, 8};
    std::vector<YearSpan> years;
    std::vector<int> n = std::vector<int>(300, 0);
    std::vector<float> chron = std::vector<float>(300, 0.0f);
    Fixture() {
        std::mt19937 rng(21);
        std::normal_distribution<float> g(0.0f, 0.25f), e(0.0f, 0.2f);
        std::vector<float> sig(300);
        for (float& v : sig) v = g(rng);
        for (int c = 0; c < 8; ++c) {
            const int from = c == 6 ? 40 : 0, to = c == 7 ? 259 : 299;
            years.push_back({1700 + from, 1700 + to, to - from + 1});
            for (int t = from; t <= to; ++t) {
                indices(t, c) = std::max(0.0f, 1.0f + sig[t] + e(rng));
                ++n[t];
                chron[t] += indices(t, c);
            }
        }
        for (int t = 0; t < 300; ++t) chron[t] /= static_cast<float>(n[t]);
    }
};

double mean_of(const std::vector<float>& v) {
    double s = 0.0;
    for (float x : v) s += x;
    return s / static_cast<double>(v.size());
}

}  // namespace

TEST(Moment1, OnlyYearsWithSeriesCount) {
    const std::vector<float> v{5.0f, 1.0f, 2.0f, 3.0f, 100.0f};
    const std::vector<int> n{0, 3, 3, 3, 0};
    const Moments m = moment1(v, n);
    EXPECT_FLOAT_EQ(m.mean, 2.0f);
    EXPECT_FLOAT_EQ(m.variance, 1.0f);
    const Moments none = moment1(v, std::vector<int>(5, 0));
    EXPECT_EQ(none.mean, kMomentUndefined);
    EXPECT_EQ(none.standard_deviation, kMomentUndefined);
    const Moments one = moment1(v, std::vector<int>{0, 0, 0, 0, 2});
    EXPECT_FLOAT_EQ(one.mean, 100.0f);
    EXPECT_EQ(one.standard_deviation, kMomentUndefined);
}

TEST(Stabit1, PercentOptionBecomesYearsAndEmptyYearsStayUnchanged) {
    std::vector<float> c(300), fitted(300), out(300);
    std::vector<int> n(300, 5);
    for (int t = 0; t < 300; ++t) c[t] = 1.0f + 0.3f * std::sin(0.4f * t) * (1.0f + t / 150.0f);
    n[10] = 0;
    c[10] = 0.0f;
    n[200] = 0;
    c[200] = 7.5f;
    const std::vector<float> original = c;
    Session s("");
    int option = -50;
    stabit1(c, fitted, out, n, option, s.notices);
    EXPECT_EQ(option, 150);
    EXPECT_EQ(out[10], 0.0f);
    EXPECT_EQ(out[200], 7.5f);
    for (int t = 0; t < 300; ++t) {
        ASSERT_TRUE(std::isfinite(out[t])) << t;
        EXPECT_GE(out[t], 0.0f);
        if (n[t] > 0) {
            EXPECT_FLOAT_EQ(c[t], std::fabs(original[t] - moment1(original, n).mean));
        }
    }
    // The spread grows with time in the input; the stabilized series keeps the mean and sd.
    const Moments in = moment1(original, n), res = moment1(out, n);
    EXPECT_NEAR(res.mean, in.mean, 1e-3);
    EXPECT_NEAR(res.standard_deviation, in.standard_deviation, 1e-3);
}

TEST(Stabit1, FlatChronologyGivesNoDivisionByZero) {
    std::vector<float> c(120, 1.0f), fitted(120), out(120);
    std::vector<int> n(120, 4);
    Session s("");
    int option = 30;
    stabit1(c, fitted, out, n, option, s.notices);
    for (float v : out) {
        ASSERT_TRUE(std::isfinite(v));
        EXPECT_FLOAT_EQ(v, 1.0f);
    }
}

TEST(Stabit, FewLargeSamplesUseTheAllYearsCentre) {
    std::vector<float> c(200), fitted(200), out(200);
    std::vector<int> n(200, 3);
    for (int t = 0; t < 200; ++t) c[t] = 1.0f + 0.2f * std::sin(0.5f * t) + (t > 100 ? 0.1f : 0.0f);
    for (int t = 0; t < 50; ++t) n[t] = 9;  // 50 years with n > 4: not more than a third
    const std::vector<float> original = c;
    Session s("");
    stabit(c, fitted, out, n, s.notices);
    EXPECT_NEAR(mean_of(out), mean_of(original), 1e-3);
    for (float v : out) ASSERT_TRUE(std::isfinite(v));

    // With most years above 4 series the centre comes from those years only.
    std::vector<int> many(200, 9);
    for (int t = 150; t < 200; ++t) many[t] = 2;
    std::vector<float> c2 = original, out2(200);
    stabit(c2, fitted, out2, many, s.notices);
    double m = 0.0;
    for (int t = 0; t < 150; ++t) m += original[t];
    m /= 150.0;
    double r = 0.0;
    for (int t = 0; t < 150; ++t) r += out2[t];
    EXPECT_NEAR(r / 150.0, m, 1e-3);
}

TEST(RbarStabilization, OptionZeroAsksNothingAndWritesTheFile) {
    Fixture f;
    const kestrovan::testing::TempDir dir("stab0");
    OutputFiles files;
    files.data_name = dir.file("site.rwl");
    RunOptions p;
    p.rbar_window = 51;
    p.stabilization = 0;
    Session s("");  // any question would meet the end of input and stop
    testdata::RecordingPlotter plotter;
    RbarTables tables;
    const std::vector<float> out =
        rbar_stabilization({RbarPass::FirstPass, false, {f.indices, f.years, 1700}, {f.chron, f.n}, 0, true},
                           {p.rbar_window, p.stabilization},
                           kestrovan::testing::TestIo(files, s.console, plotter).io(), &tables)
            .values;
    ASSERT_EQ(out.size(), 300u);
    EXPECT_TRUE(std::filesystem::exists(dir.file("site_Std_RBAR.txt")));
    EXPECT_NEAR(mean_of(out), 1.0, 1e-5);  // centred on 1.0
    // The result is the constant-sample RBAR version, scaled to mean 1.
    const double m = mean_of(tables.stabilized_constant);
    for (int t = 0; t < 300; ++t) EXPECT_NEAR(out[t], tables.stabilized_constant[t] / m, 1e-5);
    const std::string text = s.out.str();
    EXPECT_NE(text.find(" Perform standard indices running rbar calculations\n"), std::string::npos);
    EXPECT_NE(text.find(" Running RBAR window length:           51\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" Running RBAR window overlap:          50\n"), std::string::npos);
    EXPECT_NE(text.find(" Running RBAR segments calculated: "), std::string::npos);
    EXPECT_NE(text.find("Orig/Stab Means1: "), std::string::npos);
    EXPECT_NE(text.find("Orig/Stab Means2:   1.0000  1.0000\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Happy"), std::string::npos);
    ASSERT_EQ(plotter.titles.size(), 3u);
    EXPECT_EQ(plotter.titles[0], "Standard Indices Running Average Correlations");
    EXPECT_EQ(plotter.legends[0], "Running RBAR (51 Yrs)");
    EXPECT_EQ(plotter.legends[2], " Running EPS (51 Yrs)");
    EXPECT_EQ(plotter.titles[2], "Original Vs. Running RBAR Stabilized Standard Indices");
}

// The RBAR and EPS plots leave out the years that lie in no valid window, where the tables (and
// the file) carry copied values; the EPS plot has a title of its own.
TEST(RbarStabilization, PlotsLeaveOutTheYearsOutsideValidWindows) {
    Fixture f;
    // Series 1..7 start in 1780: the first 80 years have one series and no valid window.
    for (int c = 1; c < 8; ++c) {
        for (int t = 0; t < 80; ++t)
            if (f.indices(t, c) != kMissing) {
                f.indices(t, c) = kMissing;
                --f.n[t];
            }
        f.years[c].first = std::max(f.years[c].first, 1780);
        f.years[c].length = f.years[c].last - f.years[c].first + 1;
    }
    const kestrovan::testing::TempDir dir("stab_plot");
    OutputFiles files;
    files.data_name = dir.file("site.rwl");
    RunOptions p;
    p.rbar_window = 51;
    p.stabilization = 0;
    Session s("");
    testdata::RecordingPlotter plotter;
    RbarTables tables;
    rbar_stabilization({RbarPass::FirstPass, false, {f.indices, f.years, 1700}, {f.chron, f.n}, 0, true},
                       {p.rbar_window, p.stabilization},
                       kestrovan::testing::TestIo(files, s.console, plotter).io(), &tables);
    ASSERT_GE(plotter.first_lines.size(), 2u);
    EXPECT_EQ(plotter.titles[1], "Standard Indices Expressed Population Signal");
    ASSERT_FALSE(tables.windows.empty());
    EXPECT_EQ(tables.windows.front().middle_year, 1780 + 25);
    for (std::size_t plot : {0u, 1u})
        for (const auto* line : {&plotter.first_lines[plot], &plotter.second_lines[plot]}) {
            ASSERT_EQ(line->size(), 300u);
            for (int t = 0; t < 80; ++t) EXPECT_EQ((*line)[t], kMissing) << plot << " " << t;
            for (int t = 80; t < 300; ++t) EXPECT_NE((*line)[t], kMissing) << plot << " " << t;
        }
    EXPECT_EQ(plotter.first_lines[0][80], tables.running_rbar[80]);
    EXPECT_EQ(tables.running_rbar[0], tables.running_rbar[105]);  // the tables keep the copies
}

TEST(RbarStabilization, HappyLoopMenuAndPercentOption) {
    Fixture f;
    const kestrovan::testing::TempDir dir("stab1");
    OutputFiles files;
    files.data_name = dir.file("site.rwl");
    RunOptions p;
    p.rbar_window = 51;
    p.stabilization = 1;
    // Age-dependent spline shown; "maybe" is refused; N opens the menu where 5 and −5 are refused
    // silently and −50 taken; the 150-year spline is then accepted with an empty answer.
    Session s("maybe\nN\n5\n-5\n-50\n\n");
    testdata::RecordingPlotter plotter;
    const StabilizedChronology result = rbar_stabilization(
        {RbarPass::SignalFree, false, {f.indices, f.years, 1700}, {f.chron, f.n}, 0, false},
        {p.rbar_window, p.stabilization}, kestrovan::testing::TestIo(files, s.console, plotter).io());
    const std::vector<float>& out = result.values;
    EXPECT_EQ(result.option, 150);  // the option chosen at the question comes back with the result
    EXPECT_TRUE(std::filesystem::exists(dir.file("site_Ssf_RBAR.txt")));
    const std::string text = s.out.str();
    EXPECT_NE(text.find(" Y or <RET> for Yes or N for no, okay?\n"), std::string::npos);
    EXPECT_NE(text.find(" Happy with this spline stabilization? <Y>/N     ==> "), std::string::npos);
    // The menu came back after each refused option.
    std::size_t menus = 0;
    for (std::size_t at = text.find("Additional spline variance stabilization?"); at != std::string::npos;
         at = text.find("Additional spline variance stabilization?", at + 1))
        ++menus;
    EXPECT_EQ(menus, 3u);
    EXPECT_NE(text.find(" Smoothing spline (fixed Yrs cutoff)  >+9        ==> "), std::string::npos);
    EXPECT_TRUE(plotter.titles.empty());  // plots off for this step
    for (float v : out) {
        ASSERT_TRUE(std::isfinite(v));
        EXPECT_GE(v, 0.0f);
    }
    EXPECT_NEAR(mean_of(out), 1.0, 1e-4);
}

TEST(RbarStabilization, SlashAtTheMenuStopsAndRawFileName) {
    Fixture f;
    const kestrovan::testing::TempDir dir("stab2");
    OutputFiles files;
    files.data_name = dir.file("site.rwl");
    RunOptions p;
    p.rbar_window = 51;
    p.stabilization = 20;
    Session s("n\n/\n");
    testdata::RecordingPlotter plotter;
    try {
        rbar_stabilization({RbarPass::FirstPass, true, {f.indices, f.years, 1700}, {f.chron, f.n}, 0, true},
                           {p.rbar_window, p.stabilization},
                           kestrovan::testing::TestIo(files, s.console, plotter).io());
        FAIL() << "expected a stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Normal);
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("site_Raw_RBAR.txt")));
    EXPECT_NE(s.out.str().find(" Perform raw data indices running rbar calculations"), std::string::npos);
    ASSERT_GE(plotter.titles.size(), 5u);
    EXPECT_EQ(plotter.titles[0], "Raw Data Indices Running Average Correlations");
    EXPECT_EQ(plotter.titles[3], "Spline Detrending of Running RBAR Stabilized Indices");
    EXPECT_EQ(plotter.legends[7], "Spline in Yrs:   20");
    EXPECT_EQ(plotter.titles[4], "RBAR Only Vs. Detrended RBAR Stabilized Raw Data Indices");
}

TEST(RbarStabilization, UndefinedRbarKeepsTheChronologyShape) {
    Fixture f;
    // Only two series: no window can have more than 2 positive correlations.
    YearMatrix two(300, 2);
    for (int t = 0; t < 300; ++t) {
        two(t, 0) = f.indices(t, 0);
        two(t, 1) = f.indices(t, 1);
    }
    std::vector<YearSpan> years{f.years[0], f.years[1]};
    std::vector<int> n(300, 2);
    std::vector<float> chron(300);
    for (int t = 0; t < 300; ++t) chron[t] = 0.5f * (two(t, 0) + two(t, 1));
    const kestrovan::testing::TempDir dir("stab3");
    OutputFiles files;
    files.data_name = dir.file("two.rwl");
    RunOptions p;
    p.rbar_window = 51;
    Session s("");
    testdata::RecordingPlotter plotter;
    const std::vector<float> out =
        rbar_stabilization({RbarPass::FirstPass, false, {two, years, 1700}, {chron, n}, 0, false},
                           {p.rbar_window, p.stabilization},
                           kestrovan::testing::TestIo(files, s.console, plotter).io())
            .values;
    EXPECT_NE(s.out.str().find("Running RBAR undefined"), std::string::npos);
    const double m = mean_of(chron);
    for (int t = 0; t < 300; ++t) EXPECT_NEAR(out[t], chron[t] / m, 1e-5);  // scaled, its shape kept
    std::ifstream in(dir.file("two_Std_RBAR.txt"));
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    EXPECT_EQ(line, " 1700      2   0.000   0.000   0.000   0.000   0.000   0.000");
}

TEST(Runbar, RbarFileHasHeaderAndOneRowPerYear) {
    const auto set = testdata::mean_ratio_indices(std::string(KESTROVAN_DATA_DIR) + "/ca533.rwl");
    const RbarTables t =
        runbar({set.indices, set.years, set.first_year}, {set.chronology, set.sample_size}, {51, 50});
    const kestrovan::testing::TempDir dir("rbar_file");
    const std::string path = dir.file("ca533_Std_RBAR.txt");
    write_rbar_file(path, t, set.first_year, set.sample_size);
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, " YEAR     NC   RBAR1    EPS1   NEFF1   RBAR2    EPS2   NEFF2");
    int rows = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.size(), 5u + 7u + 6u * 8u) << line;
        const int year = std::stoi(line.substr(0, 5));
        const int n = std::stoi(line.substr(5, 7));
        EXPECT_EQ(year, set.first_year + rows);
        EXPECT_EQ(n, set.sample_size[rows]);
        const float r1 = std::stof(line.substr(12, 8));
        const float e1 = std::stof(line.substr(20, 8));
        EXPECT_GE(r1, 0.0f);
        EXPECT_NEAR(e1, eps_value(t.running_rbar[rows], static_cast<float>(n)), 0.0006f);
        ++rows;
    }
    EXPECT_EQ(rows, set.nyears);
}
