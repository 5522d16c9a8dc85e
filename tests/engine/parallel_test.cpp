// Sharing the engine's work among threads changes nothing a user sees: the same numbers to the
// last bit, the same console transcript, report and series files for every thread count. Also the
// thread count setting and the series waves the sharing is built on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "curves/spline.hpp"
#include "engine/attempts.hpp"
#include "engine/engine_test_support.hpp"
#include "engine/series_waves.hpp"
#include "engine/sigfree.hpp"
#include "model/workers.hpp"
#include "stats/robust.hpp"
#include "support/test_io.hpp"

namespace kestrovan {
namespace {

using test::CountingPlotter;
using test::TempDir;

struct Outcome {
    EngineResults results;
    RunOptions params;
    std::string console;
    std::string stop;                          // what() of a ProgramStop, if one ended the run
    std::map<std::string, std::string> files;  // every file the run wrote, by name
    std::vector<std::string> plot_titles;
    int attempts = 0;
    AttemptOutcome outcome = AttemptOutcome::Completed;
    AttemptState last;
};

// Runs the engine as the run loop does (one attempt per call until it completes) with `threads`
// threads, in a directory of its own, and collects everything the run produced.
Outcome run_with(int threads, const SeriesTable& table, RunOptions params, const std::string& answers,
                 bool plots = false) {
    TempDir dir("parallel");
    Outcome o;
    std::istringstream in(answers);
    std::ostringstream out;
    Console console(in, out);
    OutputFiles files;
    files.data_name = dir.file("syn.rwl");
    files.header = {"header line one", "header line two", "header line three"};
    files.report.open(dir.file("report.txt"));
    CountingPlotter plotter(plots);
    AttemptSteps steps;
    steps.threads = threads;
    try {
        // A failure of the numerics becomes the stop it is in a run, its lines on the console.
        try {
            const AttemptsSummary summary = run_attempts(
                table, params, kestrovan::testing::TestIo(files, console, plotter).observer(), o.results, steps);
            o.last = summary.last;
            o.attempts = summary.attempts;
            o.outcome = summary.outcome;
        } catch (const NumericFailure& failure) {
            stop_on_failure(console, failure);
        }
    } catch (const ProgramStop& stop) {
        o.stop = std::string("stopped: ") + stop.what();
    }
    files.report.close();
    o.console = out.str();
    o.params = params;
    o.plot_titles = plotter.titles;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(dir.file("")))) {
        std::ifstream f(entry.path(), std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        o.files[entry.path().filename().string()] = ss.str();
    }
    return o;
}

// Bitwise equality of float vectors (== would let 0.0 and -0.0 pass as one).
void expect_same_bits(const std::vector<float>& a, const std::vector<float>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    if (!a.empty()) {
        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << what;
    }
}

void expect_same_matrix(const YearMatrix& a, const YearMatrix& b, const char* what) {
    ASSERT_EQ(a.rows(), b.rows()) << what;
    ASSERT_EQ(a.cols(), b.cols()) << what;
    for (int c = 0; c < a.cols(); ++c) {
        const auto x = a.column(c), y = b.column(c);
        if (x.empty()) continue;
        ASSERT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(float)), 0) << what << " column " << c;
    }
}

void expect_identical(const Outcome& one, const Outcome& many) {
    const EngineResults& a = one.results;
    const EngineResults& b = many.results;
    EXPECT_EQ(one.stop, many.stop);
    EXPECT_EQ(one.attempts, many.attempts);
    EXPECT_EQ(a.first_year, b.first_year);
    EXPECT_EQ(a.years, b.years);
    EXPECT_EQ(a.iterations, b.iterations);
    EXPECT_EQ(a.nss1, b.nss1);
    EXPECT_EQ(a.nss2, b.nss2);
    EXPECT_EQ(a.converged, b.converged);
    EXPECT_EQ(a.sample_size, b.sample_size);
    expect_same_bits(a.standard, b.standard, "standard");
    expect_same_bits(a.standard_scale, b.standard_scale, "standard scale");
    expect_same_bits(a.signal_free, b.signal_free, "signal-free");
    expect_same_bits(a.signal_free_scale, b.signal_free_scale, "signal-free scale");
    expect_same_bits(a.final_chronology, b.final_chronology, "final chronology");
    expect_same_bits(a.stabilized_standard, b.stabilized_standard, "stabilized standard");
    expect_same_bits(a.stabilized_signal_free, b.stabilized_signal_free, "stabilized signal-free");
    expect_same_matrix(a.indices, b.indices, "indices");
    expect_same_matrix(a.history, b.history, "history");
    EXPECT_EQ(one.last.constant_counter, many.last.constant_counter);
    EXPECT_EQ(one.outcome, many.outcome);
    EXPECT_EQ(one.console, many.console);
    EXPECT_EQ(one.plot_titles, many.plot_titles);
    ASSERT_EQ(one.files.size(), many.files.size());
    for (const auto& [name, text] : one.files) {
        const auto it = many.files.find(name);
        ASSERT_NE(it, many.files.end()) << name;
        EXPECT_TRUE(text == it->second) << name << " differs";
    }
}

RunOptions per_series(int option, int index_method, int mean_method) {
    RunOptions p;
    p.index_method = index_method == 0 ? IndexMethod::Ratios : IndexMethod::Residuals;
    p.curve_option = option;
    p.spline_stiffness = 50;
    p.mean_method = mean_method;
    p.rbar_window = 0;
    return p;
}

TEST(ParallelEngine, PerSeriesFitsGiveTheSameRunOnOneAndManyThreads) {
    // Lengths from 12 rings up: the short series print the exponential's message in every pass,
    // scattered through the table, so the transcript shows whether the order is kept.
    const SeriesTable t = test::synthetic_table(150, 1500, 500, 12, 400, 31);
    struct Case {
        RunOptions params;
        bool plots;
    };
    // The first case also computes the running RBAR (window 51) of both chronologies, its
    // windows shared out over the threads too; "0" answers the stabilization menu each time.
    RunOptions with_rbar = per_series(8, 0, kMeanBiweight);
    with_rbar.rbar_window = 51;
    std::string rbar_answers;
    for (int a = 0; a < 40; ++a) rbar_answers += "0\n";
    const std::vector<Case> cases = {
        {with_rbar, true},                           // age-dependent spline, ratios, closing plots kept
        {per_series(1, 1, kMeanArithmetic), false},  // negative exponential with fallbacks, residuals
        {per_series(-67, 0, kMeanBiweight), false},  // percent-of-length spline
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("curve option " + std::to_string(c.params.curve_option));
        const std::string answers = c.params.rbar_window > 0 ? rbar_answers : "";
        const Outcome one = run_with(1, t, c.params, answers, c.plots);
        if (c.params.rbar_window > 0) {
            ASSERT_NE(one.console.find("Running RBAR segments calculated:"), std::string::npos)
                << one.console;
            ASSERT_TRUE(std::any_of(one.files.begin(), one.files.end(), [](const auto& f) {
                return f.first.find("_Ssf_RBAR.txt") != std::string::npos;
            }));
        }
        ASSERT_TRUE(one.stop.empty()) << one.stop;
        ASSERT_GT(one.results.iterations, 0);
        if (c.params.curve_option == 1) {
            ASSERT_NE(one.console.find("no exponential curve fit"), std::string::npos);
        }
        for (int threads : {2, 4, 7}) {
            SCOPED_TRACE("threads " + std::to_string(threads));
            expect_identical(one, run_with(threads, t, c.params, answers, c.plots));
        }
    }
}

TEST(ParallelEngine, RegionalCurveRunIsTheSameOnOneAndManyThreads) {
    const SeriesTable t = test::synthetic_table(90, 1700, 300, 60, 250, 5, true);
    RunOptions p = per_series(-2, 0, kMeanBiweight);
    p.spline_stiffness = 10;
    std::string answers;
    for (int a = 0; a < 12; ++a) answers += "f\nf\nf\n";
    const Outcome one = run_with(1, t, p, answers);
    ASSERT_TRUE(one.stop.empty()) << one.stop;
    expect_identical(one, run_with(4, t, p, answers));
}

TEST(ParallelEngine, FitThatStopsTheRunStopsItAtTheSameSeries) {
    // Series 23 of 40 is longer than a spline can take: its fit prints the limit and stops the
    // program. The series before it must be in the first-pass files, none after it, and nothing
    // printed by the fits of later series may appear, however many threads fitted them.
    SeriesTable t = test::synthetic_table(40, 1000, 300, 150, 300, 9);
    const int longest = kMaxSplineLength + 1;
    YearMatrix data(longest, t.count());
    for (int i = 0; i < t.count(); ++i) {
        const auto from = t.data.column(i);
        std::copy(from.begin(), from.end(), data.column(i).begin());
    }
    for (int j = 0; j < longest; ++j) data(j, 23) = 1.0f + 0.1f * static_cast<float>(j % 7);
    t.data = data;
    t.years[23] = {100, 100 + longest - 1, longest};
    t.update_summary();
    const RunOptions p = per_series(8, 0, kMeanBiweight);
    const Outcome one = run_with(1, t, p, "");
    ASSERT_FALSE(one.stop.empty());
    ASSERT_NE(one.console.find("series too long for spline"), std::string::npos);
    for (int threads : {2, 4, 40}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        expect_identical(one, run_with(threads, t, p, ""));
    }
}

TEST(ParallelHelpers, ThreadCountSetting) {
    EXPECT_EQ(worker_threads_from("1"), 1);
    EXPECT_EQ(worker_threads_from(" 3 "), 3);
    EXPECT_EQ(worker_threads_from("100000"), kMaxWorkerThreads);
    EXPECT_EQ(worker_threads_from("99999999999999999999"), kMaxWorkerThreads);
    const int hardware = worker_threads_from(nullptr);
    EXPECT_GE(hardware, 1);
    for (const char* ignored : {"", "0", "-2", "two", "2x", "1.5"})
        EXPECT_EQ(worker_threads_from(ignored), hardware) << ignored;
    EXPECT_EQ(resolve_threads(5), 5);
    EXPECT_GE(resolve_threads(kThreadsFromEnvironment), 1);
}

// The waves print what each series' fit said just before that series is written, waits included,
// and a fit that fails stops the pass after the series before it: the transcript is the same for
// every thread count, also when the buffers hold only part of the series at a time.
TEST(SeriesWaves, NoticesAndFailuresComeOutInSeriesOrder) {
    std::vector<int> lengths;
    for (int i = 0; i < 40; ++i) lengths.push_back(i % 9 == 4 ? 0 : 200000 + 1000 * i);
    auto transcript = [&](int threads) {
        std::istringstream in("one\ntwo\n");
        std::ostringstream out;
        Console console(in, out);
        console.set_echo(true);
        SeriesWaves waves(lengths, threads);
        OutputFiles files;
        CountingPlotter plotter;
        kestrovan::testing::TestIo io(files, console, plotter);
        try {
            waves.for_each(
                io.observer(),
                [](int i, SeriesWaves::Buffers b, Notices& notices, SplineWorkspace&) {
                    b.curve[0] = static_cast<float>(i);
                    if (i % 5 == 0) notices.line("fit " + std::to_string(i));
                    if (i == 11 || i == 24) notices.pause("wait at " + std::to_string(i));
                    if (i == 32) throw NumericFailure("failed at 32");
                },
                [&](int i, SeriesWaves::Buffers b) {
                    console.line("emit " + std::to_string(i) + " " +
                                 std::to_string(static_cast<int>(b.curve[0])));
                });
        } catch (const NumericFailure& failure) {
            console.line(failure.what());
        }
        return out.str();
    };
    const std::string one = transcript(1);
    EXPECT_NE(one.find("fit 10\nemit 10 10\nwait at 11\none\nemit 11 11\n"), std::string::npos) << one;
    EXPECT_NE(one.find("emit 23 23\nwait at 24\ntwo\nemit 24 24\n"), std::string::npos) << one;
    EXPECT_NE(one.find("fit 30\nemit 30 30\nfailed at 32\n"), std::string::npos) << one;  // 31: no rings
    EXPECT_EQ(one.find("emit 32"), std::string::npos);
    EXPECT_EQ(one.find("emit 4 "), std::string::npos);
    for (int threads : {2, 3, 7}) EXPECT_EQ(transcript(threads), one) << threads << " threads";
}

}  // namespace
}  // namespace kestrovan
