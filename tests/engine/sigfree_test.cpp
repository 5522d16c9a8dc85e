// The signal-free engine on synthetic data with a known answer, on awkward data and on the
// bundled real data sets.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numeric>
#include <sstream>

#include "console/console.hpp"
#include "engine/attempts.hpp"
#include "engine/calind.hpp"
#include "engine/engine_test_support.hpp"
#include "engine/sigfree.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"
#include "run/statistics_output.hpp"
#include "stats/robust.hpp"
#include "support/test_io.hpp"

namespace kestrovan {
namespace {

using test::CountingPlotter;
using test::TempDir;

struct EngineRun {
    EngineResults results;
    RunOptions params;
    std::string console;
    std::string report;
    int attempts = 0;
    AttemptOutcome outcome = AttemptOutcome::Completed;
    AttemptState last;  // the state of the last attempt
};

// Runs the engine the way the run loop does: one attempt per call, the constant of the attempt
// added to every value, until the engine completes.
EngineRun run_engine(const SeriesTable& table, RunOptions params, const std::string& answers,
                     const TempDir& dir, const std::string& name = "syn.rwl", Plotter* plotter = nullptr) {
    EngineRun run;
    std::istringstream in(answers);
    std::ostringstream out;
    Console console(in, out);
    OutputFiles files;
    files.data_name = dir.file(name);
    files.header = {"header line one", "header line two", "header line three"};
    files.report.open(dir.file("report.txt"));
    CountingPlotter quiet;
    Plotter& plot = plotter ? *plotter : quiet;
    AttemptSteps steps;
    const AttemptsSummary summary = run_attempts(
        table, params, kestrovan::testing::TestIo(files, console, plot).observer(), run.results, steps);
    run.last = summary.last;
    run.attempts = summary.attempts;
    run.outcome = summary.outcome;
    files.report.close();
    std::ifstream rep(dir.file("report.txt"));
    std::stringstream ss;
    ss << rep.rdbuf();
    run.report = ss.str();
    run.console = out.str();
    run.params = params;
    return run;
}

RunOptions spline_params() {
    RunOptions p;
    p.index_method = IndexMethod::Ratios;
    p.curve_option = 8;
    p.spline_stiffness = 50;
    p.mean_method = 2;
    p.rbar_window = 0;
    return p;
}

RunOptions rcs_params() {
    RunOptions p = spline_params();
    p.curve_option = -2;
    p.spline_stiffness = 10;
    return p;
}

SeriesTable load_rwl(const std::string& path);
std::pair<float, float> value_range(const std::string& path);

void expect_finite(const EngineResults& r) {
    for (const auto* v :
         {&r.standard, &r.signal_free, &r.final_chronology, &r.standard_scale, &r.signal_free_scale})
        for (float x : *v) ASSERT_TRUE(std::isfinite(x));
    for (int c = 0; c < r.indices.cols(); ++c)
        for (float x : r.indices.column(c)) ASSERT_TRUE(std::isfinite(x));
    for (int c = 0; c < r.history.cols(); ++c)
        for (float x : r.history.column(c)) ASSERT_TRUE(std::isfinite(x));
}

// Compares the first pass and the signal-free chronology with the true signal, after nss2.
void expect_signal_recovered(const EngineRun& run) {
    const EngineResults& r = run.results;
    std::vector<float> truth(static_cast<std::size_t>(r.years));
    std::vector<bool> use(static_cast<std::size_t>(r.years));
    for (int k = 0; k < r.years; ++k) {
        truth[k] = test::common_signal(r.first_year + k);
        use[k] = k >= r.nss2 && r.sample_size[k] > 0;
    }
    const double c_std = test::correlation(r.standard, truth, use);
    const double c_sf = test::correlation(r.signal_free, truth, use);
    std::printf("correlation with the true signal: standard %.4f, signal-free %.4f\n", c_std, c_sf);
    EXPECT_GT(c_sf, c_std);
    EXPECT_GT(c_sf, 0.8);
    EXPECT_NEAR(chronology_level(r.standard, r.sample_size, r.nss2).mean, 1.0, 1e-4);
    EXPECT_NEAR(chronology_level(r.signal_free, r.sample_size, r.nss2).mean, 1.0, 1e-4);
}

TEST(Sigfree, PerSeriesSplineRecoversTheCommonSignal) {
    TempDir dir("spline");
    const SeriesTable t = test::synthetic_table(40, 1600, 400, 120, 260, 7);
    const EngineRun run = run_engine(t, spline_params(), "", dir);
    expect_finite(run.results);
    EXPECT_TRUE(run.results.converged);
    EXPECT_EQ(run.outcome, AttemptOutcome::Completed);
    expect_signal_recovered(run);
    EXPECT_NE(run.console.find("Final iteration with convergence (<0.0001 change): "), std::string::npos);
    EXPECT_NE(run.report.find("FINAL ITERATION WITH CONVERGENCE (<0.0001 CHANGE): "), std::string::npos);
    EXPECT_NE(run.report.find(" Iter   1  Convergence Criteria: "), std::string::npos);
    std::printf("spline: %d iterations, %d attempts\n", run.results.iterations, run.attempts);

    // The series files of both passes, each starting with the first header line.
    for (const char* suffix : {"_STD_RAW_Data.txt", "_STD_RAW_Curves.txt", "_STD_RAW_Ratios.txt",
                               "_SSF_RAW_Data.txt", "_SSF_RAW_Curves.txt", "_SSF_RAW_Ratios.txt"}) {
        std::ifstream f(dir.file(std::string("syn") + suffix));
        std::string first;
        ASSERT_TRUE(std::getline(f, first)) << suffix;
        EXPECT_EQ(first, "header line one");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("syn_RCScurves.txt")));

    // Whatever constant the last attempt added, the measurement file holds the data's own
    // values (to the 0.001 mm of the file; the writer stores 0.999 mm as 1.000, away from the
    // end marker).
    const SeriesTable back = load_rwl(dir.file("syn_STD_RAW_Data.txt"));
    ASSERT_EQ(back.count(), t.count());
    for (int i = 0; i < t.count(); ++i) {
        ASSERT_EQ(back.years[i].first, t.years[i].first);
        for (int j = 0; j < t.years[i].length; ++j) ASSERT_NEAR(back.data(j, i), t.data(j, i), 0.0016f);
    }
}

TEST(Sigfree, RunningRbarStepOnBothPasses) {
    TempDir dir("rbar");
    const SeriesTable t = test::synthetic_table(30, 1600, 300, 120, 200, 21);
    RunOptions p = spline_params();
    p.rbar_window = 50;
    p.stabilization = 0;
    const EngineRun run = run_engine(t, p, "", dir);
    expect_finite(run.results);
    ASSERT_EQ(static_cast<int>(run.results.stabilized_standard.size()), run.results.years);
    ASSERT_EQ(static_cast<int>(run.results.stabilized_signal_free.size()), run.results.years);
    for (float v : run.results.stabilized_signal_free) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, 0.0f);
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("syn_Std_RBAR.txt")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("syn_Ssf_RBAR.txt")));
}

TEST(Sigfree, RegionalCurveRecoversTheCommonSignal) {
    TempDir dir("rcs");
    // Nearly even-aged: starts within 60 years, so age and calendar year are confounded and
    // the first-pass Regional curve takes up part of the common signal.
    const SeriesTable t = test::synthetic_table(60, 1500, 320, 200, 260, 11, true, 60);
    CountingPlotter plots(true);
    const EngineRun run = run_engine(t, rcs_params(), "f\nf\nf\n", dir, "syn.rwl", &plots);
    expect_finite(run.results);
    EXPECT_TRUE(run.results.converged);
    expect_signal_recovered(run);
    std::printf("rcs: %d iterations, %d attempts\n", run.results.iterations, run.attempts);

    // One curve pair per iteration plus the initial curve (the age-dependent spline never falls
    // back), in the file and in the plot.
    std::ifstream f(dir.file("syn_RCScurves.txt"));
    std::string head;
    ASSERT_TRUE(std::getline(f, head));
    EXPECT_EQ(head.size(), 10u + 16u * static_cast<std::size_t>(run.results.iterations + 1));
    EXPECT_EQ(plots.plt4_curves, run.results.iterations + 1);
    EXPECT_NE(run.console.find("Make lots of tree-ring plots [T]rue or [F]alse"), std::string::npos);
}

// A year in which every ring is nearly 0 puts the chronology near 0 there: the ratio
// signal-free step leans on the series' curves there, so no ring is blown up to a width the
// series never had, and the report and the results count the year.
TEST(Sigfree, NearZeroChronologyYearsAreNotDividedBy) {
    TempDir dir("nearzero");
    SeriesTable t = test::synthetic_table(30, 1600, 300, 150, 220, 5);
    float widest = 0.0f;
    for (int i = 0; i < t.count(); ++i) {
        const YearSpan& y = t.years[static_cast<std::size_t>(i)];
        for (int j = 0; j < y.length; ++j) widest = std::max(widest, t.data(j, i));
        if (y.first <= 1750 && 1750 <= y.last) t.data(1750 - y.first, i) *= 0.0005f;
    }
    const EngineRun run = run_engine(t, spline_params(), "", dir);
    EXPECT_GE(run.results.published.near_zero_years, 1);
    EXPECT_NE(run.report.find("YEARS OF THE CHRONOLOGY BELOW 0.10"), std::string::npos);
    EXPECT_LT(value_range(dir.file("syn") + "_SSF_RAW_Data.txt").second, 2.0f * widest);
    EXPECT_NE(run.report.find("CHANGE OF THE CHRONOLOGY IN THE PUBLISHED ITERATION"), std::string::npos);
}

TEST(Sigfree, RedoRequestReturnsAtOnce) {
    TempDir dir("redo");
    const SeriesTable t = test::synthetic_table(10, 1700, 200, 80, 150, 3, true);
    const EngineRun run = run_engine(t, rcs_params(), "t\n", dir);
    EXPECT_EQ(run.outcome, AttemptOutcome::RedoRegionalCurve);
    EXPECT_EQ(run.attempts, 1);
    EXPECT_EQ(run.results.years, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("syn_SSF_RAW_Data.txt")));
}

TEST(Sigfree, NoDetrendingUsesRawLabelsAndFiles) {
    TempDir dir("raw");
    const SeriesTable t = test::synthetic_table(12, 1800, 150, 60, 120, 5);
    RunOptions p = spline_params();
    p.curve_option = 0;
    p.index_method = IndexMethod::Residuals;  // residuals, power transformed: PTR names
    p.power_transform = true;
    p.mean_method = 1;
    CountingPlotter plots(true);
    const EngineRun run = run_engine(t, p, "", dir, "syn.rwl", &plots);
    expect_finite(run.results);
    EXPECT_TRUE(std::filesystem::exists(dir.file("syn_STD_PTR_Data.txt")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("syn_STD_PTR_Curves.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("syn_STD_PTR_Resids.txt")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("syn_SSF_PTR_Resids.txt")));
    bool raw_title = false;
    for (const auto& title : plots.titles)
        raw_title |= title == "Original Non-Variance Stabilized Raw Data Indices";
    EXPECT_TRUE(raw_title);
    // The first detrending of all series is drawn once, right after the first-pass indices
    // and before the first chronology's plots.
    const auto first_detrending = std::find(plots.titles.begin(), plots.titles.end(), "plt2");
    ASSERT_NE(first_detrending, plots.titles.end());
    EXPECT_EQ(std::count(plots.titles.begin(), plots.titles.end(), "plt2"), 1);
    EXPECT_EQ(*std::next(first_detrending), "Original Non-Variance Stabilized Raw Data Indices");
}

// Awkward data: nothing that is not a finite number may come out, and years no series covers
// stay out of everything.
TEST(Sigfree, AwkwardData) {
    TempDir dir("awkward");
    auto table = [](std::vector<std::vector<float>> values, std::vector<int> first) {
        SeriesTable t;
        int rows = 1;
        for (const auto& v : values) rows = std::max(rows, static_cast<int>(v.size()));
        t.data.resize(rows, static_cast<int>(values.size()));
        for (std::size_t i = 0; i < values.size(); ++i) {
            for (std::size_t j = 0; j < values[i].size(); ++j)
                t.data(static_cast<int>(j), static_cast<int>(i)) = values[i][j];
            const int n = static_cast<int>(values[i].size());
            t.years.push_back({first[i], first[i] + n - 1, n});
            t.ids.push_back("AWK" + std::to_string(i) + std::string(4, ' '));
        }
        t.update_summary();
        return t;
    };
    std::vector<float> wavy(80), zeros(80, 0.0f), constant(80, 1.25f);
    for (int j = 0; j < 80; ++j) wavy[j] = 1.0f + 0.3f * std::sin(j * 0.4f) + 1.0f / (j + 1);
    for (int j = 0; j < 80; j += 7) zeros[j] = 0.001f * j;

    for (int method : {0, 1}) {
        for (int code : {8, 2, -2}) {
            RunOptions p = code == -2 ? rcs_params() : spline_params();
            if (code != -2) p.curve_option = code;
            p.index_method = method == 0 ? IndexMethod::Ratios : IndexMethod::Residuals;
            // The Regional-curve questions come again on every attempt (at most twelve: the data
            // as read, ten constants, and the data as read once more).
            std::string answers;
            for (int a = 0; code == -2 && a < 13; ++a) answers += "f\nf\nf\n";
            SCOPED_TRACE("method " + std::to_string(method) + " code " + std::to_string(code));
            {  // A constant series, a series of zeros and small values, and a normal one.
                const EngineRun run =
                    run_engine(table({constant, zeros, wavy}, {1900, 1910, 1905}), p, answers, dir);
                expect_finite(run.results);
                EXPECT_GT(run.results.iterations, 0);
            }
            {  // One single series.
                const EngineRun run = run_engine(table({wavy}, {1900}), p, answers, dir);
                expect_finite(run.results);
                EXPECT_EQ(run.results.nss1, 80);
            }
            {  // Two series that do not overlap: a gap of ten years between them.
                const EngineRun run = run_engine(table({wavy, wavy}, {1900, 1990}), p, answers, dir);
                expect_finite(run.results);
                ASSERT_EQ(run.results.years, 170);
                for (int k = 80; k < 90; ++k) {
                    EXPECT_EQ(run.results.sample_size[k], 0);
                    EXPECT_EQ(run.results.signal_free[k], 0.0f);
                    EXPECT_EQ(run.results.standard[k], 0.0f);
                }
            }
            {  // A series too short for any spline.
                const EngineRun run =
                    run_engine(table({{1.0f, 2.0f, 1.5f}, wavy}, {1900, 1900}), p, answers, dir);
                expect_finite(run.results);
            }
        }
    }
}

// Reads a bundled Tucson ring-width file into a Series table.
SeriesTable load_rwl(const std::string& path) {
    std::ifstream in(path);
    TucsonReadState state;
    SeriesTable t;
    std::vector<TucsonSeries> all;
    int rows = 1;
    for (;;) {
        TucsonSeries s;
        trrw(in, "mr", s, state);
        if (s.count == kEndOfFile || state.counter == kEndOfFile) break;
        if (s.count <= 0) continue;
        rows = std::max(rows, s.count);
        all.push_back(s);
    }
    t.data.resize(rows, static_cast<int>(all.size()));
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (int j = 0; j < all[i].count; ++j) t.data(j, static_cast<int>(i)) = all[i].values[j];
        t.years.push_back({all[i].first_year, all[i].first_year + all[i].count - 1, all[i].count});
        t.ids.push_back(all[i].id);
    }
    t.update_summary();
    return t;
}

TEST(SigfreeRealData, Ca533PerSeriesSpline) {
    TempDir dir("ca533");
    const SeriesTable t = load_rwl(std::string(KESTROVAN_DATA_DIR) + "/ca533.rwl");
    ASSERT_EQ(t.count(), 34);
    const EngineRun run = run_engine(t, spline_params(), "", dir, "ca533.rwl");
    expect_finite(run.results);
    EXPECT_EQ(run.results.years, 1358);
    std::printf("ca533: converged %d after %d iterations, %d retries (counter %d)\n", run.results.converged,
                run.results.iterations, run.attempts - 1, run.last.constant_counter);
}

// The chronology plot, drawn while the engine closes, marks the years from which the EPS and SSS
// of the signal-free indices stay at or above the threshold: those the statistics written after
// the run find (ca533 starts with one series).
TEST(SigfreeRealData, Ca533ChronologyPlotMarksTheCutoffYearsOfTheStatistics) {
    TempDir dir("ca533_cutoffs");
    const SeriesTable t = load_rwl(std::string(KESTROVAN_DATA_DIR) + "/ca533.rwl");
    CountingPlotter plots(true);
    const EngineRun run = run_engine(t, spline_params(), "", dir, "ca533.rwl", &plots);
    const ResidualChronologies residuals;
    const StatisticsSettings settings;
    const RunStatistics st = chronology_signal({run.params, t, run.results, residuals, settings});
    ASSERT_TRUE(st.signal_free.eps_from && st.signal_free.sss_from);
    EXPECT_GT(*st.signal_free.eps_from, run.results.first_year);
    EXPECT_EQ(plots.year_marks,
              (std::vector<std::string>{"EPS 0.85 from " + std::to_string(*st.signal_free.eps_from),
                                        "SSS 0.85 from " + std::to_string(*st.signal_free.sss_from)}));
}

TEST(SigfreeRealData, GpRegionalCurveWithPithOffsets) {
    TempDir dir("gp");
    const SeriesTable t = load_rwl(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl");
    ASSERT_EQ(t.count(), 58);
    std::ifstream pith(std::string(KESTROVAN_DATA_DIR) + "/gp_pith.txt");
    RunOptions p = rcs_params();
    for (int v; pith >> v;) p.pith_offsets.push_back(v);
    ASSERT_EQ(p.pith_offsets.size(), 58u);
    p.pith_present = true;
    std::string answers;
    for (int a = 0; a < 12; ++a) answers += "f\nf\nf\n";
    const EngineRun run = run_engine(t, p, answers, dir, "gp.rwl");
    expect_finite(run.results);
    EXPECT_EQ(run.results.years, 421);
    EXPECT_TRUE(std::filesystem::exists(dir.file("gp_RCScurves.txt")));
    std::printf("gp: converged %d after %d iterations, %d retries (counter %d)\n", run.results.converged,
                run.results.iterations, run.attempts - 1, run.last.constant_counter);
}

// One engine call as the attempt with constant counter `counter` of a run whose first attempt
// this is (a fresh carry record): 0.1 × counter is added to every value first. With counter 10
// the engine gives up at the first rise of the criterion, so one call always completes.
EngineRun run_at_constant(const SeriesTable& table, RunOptions params, int counter,
                          const std::string& answers, const TempDir& dir, const std::string& name) {
    EngineRun run;
    std::istringstream in(answers);
    std::ostringstream out;
    Console console(in, out);
    OutputFiles files;
    files.data_name = dir.file(name);
    files.header = {"header line one", "header line two", "header line three"};
    files.report.open(dir.file("report.txt"));
    CountingPlotter quiet;
    EngineCarry carry;
    AttemptState attempt;
    attempt.constant_counter = counter;
    attempt.constant = 0.1f * static_cast<float>(counter);
    SeriesTable working = table;
    for (int i = 0; i < table.count(); ++i)
        for (int j = 0; j < table.years[i].length; ++j) working.data(j, i) += attempt.constant;
    const std::vector<float> floors(static_cast<std::size_t>(table.count()), kCurveFloor);
    run.outcome = sigfree({working, floors, params, attempt},
                          kestrovan::testing::TestIo(files, console, quiet).observer(), run.results, carry);
    run.last = attempt;
    files.report.close();
    std::ifstream rep(dir.file("report.txt"));
    std::stringstream ss;
    ss << rep.rdbuf();
    run.report = ss.str();
    run.console = out.str();
    run.params = params;
    run.attempts = 1;
    return run;
}

// Smallest and largest value of the series in an engine file.
std::pair<float, float> value_range(const std::string& path) {
    const SeriesTable t = load_rwl(path);
    float lo = 1e30f, hi = -1e30f;
    for (int i = 0; i < t.count(); ++i)
        for (int j = 0; j < t.years[i].length; ++j) {
            lo = std::min(lo, t.data(j, i));
            hi = std::max(hi, t.data(j, i));
        }
    return {lo, hi};
}

TEST(SigfreeRealData, StalledRunPublishesItsBestIterateOfTheDataAsRead) {
    // gp with negative exponentials: the criterion stops falling; no constant is added, and the
    // iterate with the lowest statistic is published.
    TempDir dir("giveup");
    const SeriesTable t = load_rwl(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl");
    RunOptions p = spline_params();
    p.curve_option = 1;
    const EngineRun run = run_engine(t, p, "", dir, "gp.rwl");
    ASSERT_EQ(run.outcome, AttemptOutcome::Completed);
    ASSERT_EQ(run.last.constant_counter, 0);
    const EngineResults& r = run.results;
    const int k = r.iterations;
    ASSERT_GE(k, 1);
    const PublishedIterate& pub = r.published;
    EXPECT_EQ(pub.iteration, k);
    EXPECT_EQ(pub.attempt, 1);
    EXPECT_EQ(pub.outcome(), r.converged ? "converged" : "stopped at its best iterate");
    // The published statistic is the lowest of the attempt.
    const Criterion crit = choose_criterion(2, p.median_differences, p.curve_option);
    for (int j = 2; j <= static_cast<int>(r.convergence.size()); ++j)
        EXPECT_LE(pub.statistic, r.convergence[j - 1].at(static_cast<int>(crit))) << j;
    if (!r.converged) {
        EXPECT_NE(run.report.find("BEST ITERATION KEPT: " + fmt_i(k, 3)), std::string::npos) << run.report;
    }

    // History, indices and files are those of iteration k: the chronology of the published
    // indices is the last history column, and the index file holds those indices.
    ASSERT_EQ(r.history.cols(), k + 1);
    ChronologySummary again = robsum(r.indices, p.mean_method);
    set_mean_one(again.location, r.sample_size, r.nss1);
    const auto last = r.history.column(k);
    for (int y = 0; y < r.years; ++y) ASSERT_FLOAT_EQ(again.location[y], last[y]) << y;
    // (The file holds indices to 0.001; the writer stores 0.999 as 1.000.)
    const SeriesTable file = load_rwl(dir.file("gp_SSF_RAW_Ratios.txt"));
    for (int i = 0; i < file.count(); ++i) {
        const int row0 = file.years[i].first - r.first_year;
        for (int j = 0; j < file.years[i].length; ++j)
            ASSERT_NEAR(file.data(j, i), r.indices(row0 + j, i), 0.0016f) << file.ids[i] << " " << j;
    }
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(dir.file("x")).parent_path()))
        EXPECT_NE(entry.path().extension(), ".part") << entry.path();
}

// Lines and exponentials of every family, per series and Regional, fitted to data with a
// constant of 1.0 added: no curve written is at or below the floor in the units of the data
// (the spline that per-series code 1 falls back to keeps the spline floor, 0.02 above the
// shifted data), and no index reaches 50.
TEST(SigfreeRealData, LinesWithAConstantStayAboveTheFloor) {
    struct Case {
        const char* set;
        int code;
        bool rcs;
    };
    std::vector<Case> cases;
    for (const char* set : {"ca533", "co021", "gp"})
        for (int code : {1, 2, 3, 4}) cases.push_back({set, code, false});
    for (int code : {1, 2, 4, 5}) cases.push_back({"gp", code, true});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.set) + (c.rcs ? " regional " : " per series ") + std::to_string(c.code));
        TempDir dir(std::string("floor_") + c.set);
        const SeriesTable t = load_rwl(std::string(KESTROVAN_DATA_DIR) + "/" + c.set + ".rwl");
        RunOptions p = c.rcs ? rcs_params() : spline_params();
        (c.rcs ? p.regional_curve : p.curve_option) = c.code;
        if (c.rcs) {
            std::ifstream pith(std::string(KESTROVAN_DATA_DIR) + "/gp_pith.txt");
            for (int v; pith >> v;) p.pith_offsets.push_back(v);
            p.pith_present = true;
        }
        const EngineRun run = run_at_constant(t, p, 10, "f\nf\nf\n", dir, std::string(c.set) + ".rwl");
        const std::string base = dir.file(c.set);
        // The floor is a fraction of each series' mean as read (of all rings for the Regional
        // curve): no curve is below that fraction of the lowest series mean.
        float lowest_mean = std::numeric_limits<float>::max();
        for (int i = 0; i < t.count(); ++i) {
            const auto col =
                t.data.column(i).first(static_cast<std::size_t>(t.years[static_cast<std::size_t>(i)].length));
            lowest_mean = std::min(lowest_mean, std::accumulate(col.begin(), col.end(), 0.0f) / col.size());
        }
        const float floor = kCurveFloor * lowest_mean;
        const float spline_floor = c.code == 1 && !c.rcs ? floor - 1.0f : floor;
        EXPECT_GE(value_range(base + "_STD_RAW_Curves.txt").first, floor - 0.0005f);
        EXPECT_GE(value_range(base + "_SSF_RAW_Curves.txt").first, spline_floor - 0.0005f);
        EXPECT_LT(value_range(base + "_STD_RAW_Ratios.txt").second, 50.0f);
        EXPECT_LT(value_range(base + "_SSF_RAW_Ratios.txt").second, 50.0f);
        float highest = 0.0f;
        for (int col = 0; col < run.results.indices.cols(); ++col)
            for (float v : run.results.indices.column(col)) highest = std::max(highest, v);
        EXPECT_LT(highest, 50.0f);
    }
}

}  // namespace
}  // namespace kestrovan
