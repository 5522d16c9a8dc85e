// The engine's steps alone, without a console, a plotter or files: the signal-free step of one
// series, the change measures, and a whole attempt seen through an observer that only records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine_steps.hpp"
#include "engine/engine_test_support.hpp"
#include "engine/sigfree.hpp"

namespace kestrovan {
namespace {

// Records what the engine hands over; answers every question with "no"; plots are off.
class RecordingObserver : public EngineObserver {
public:
    void console_line(std::string_view text, int) override { console.emplace_back(text); }
    void report_line(std::string_view text, int) override { report.emplace_back(text); }
    void notices(Notices& n) override { n.take(); }
    Plotter& plots() override { return plotter; }
    void begin_series_files(const SeriesFilesRequest& r) override { passes.push_back(r.pass); }
    void series_file_row(const SeriesFileRow& row) override {
        ++rows;
        EXPECT_EQ(row.measurements.size(), row.curve.size());
        EXPECT_EQ(row.indices.size(), row.curve.size());
    }
    void end_series_files() override { ++ended; }
    void regional_curves_file(const RegionalCurveHistory&) override {}
    bool regional_curve_dialogue(const RegionalData&, RegionalFit&, RegionalCurveHistory&,
                                 RegionalCurve&) override {
        return true;
    }
    bool tree_ring_plots() override { return false; }
    StabilizedChronology stabilize(const StabilizationInput&, const StabilizationSettings& s,
                                   RbarTables*) override {
        return {{}, s.option};
    }
    void gave_up_pause() override {}

    std::vector<std::string> console, report;
    std::vector<EnginePass> passes;
    int rows = 0, ended = 0;
    test::CountingPlotter plotter;
};

TEST(EngineSteps, SignalFreeStepKeepsTheUnitsAndItsBounds) {
    const std::vector<float> widths{1.0f, 2.0f, 0.5f, 1.5f}, curve{1.0f, 0.8f, 1.0f, 1.0f};
    const std::vector<int> counts{1, 3, 3, 3};
    const std::vector<float> chronology{1.0f, 0.0002f, 2.0f, 1.0f};
    std::vector<float> once(4), twice(4);
    std::vector<float> doubled, doubled_curve;
    for (float w : widths) doubled.push_back(2.0f * w);
    for (float c : curve) doubled_curve.push_back(2.0f * c);
    for (bool ratios : {true, false}) {
        signal_free_step({widths, 0, 0.8f, 1.25f, 0, curve}, {chronology, counts, ratios, 2.0f}, once);
        signal_free_step({doubled, 0, 1.6f, 2.5f, 0, doubled_curve}, {chronology, counts, ratios, 4.0f}, twice);
        for (std::size_t j = 0; j < once.size(); ++j) {
            EXPECT_FLOAT_EQ(twice[j], 2.0f * once[j]) << ratios << " ring " << j;
            EXPECT_GE(once[j], 0.0f);
        }
    }
    // Ratios: a year near 0 takes (nearly all of) the curve instead of a quotient blown up to
    // the data's largest; a year with one series keeps its ring; the series comes back to its mean.
    std::vector<float> sf(4);
    signal_free_step({widths, 0, 0.0f, 1.25f, 0, curve}, {chronology, counts, true, 2.0f}, sf);
    EXPECT_NEAR(sf[1] / sf[0], 0.8f, 0.01f);
    EXPECT_FLOAT_EQ(sf[2] / sf[0], 0.25f);
    EXPECT_FLOAT_EQ((sf[0] + sf[1] + sf[2] + sf[3]) / 4.0f, 1.25f);
}

// In a drought year (chronology 0.05, the mean of indices 0 and 0.1) a zero ring and a ring at
// a tenth of its curve give back their curves on average: a one-sided bound there would bring
// them back too low in every iteration, and the iteration would drift around such years.
TEST(EngineSteps, SignalFreeStepIsUnbiasedInYearsNearZero) {
    const std::vector<int> counts{2, 2};
    const std::vector<float> chronology{1.0f, 0.05f}, curve{1.0f, 1.0f};
    const std::vector<float> dry{1.0f, 0.0f}, wet{1.0f, 0.1f};
    std::vector<float> a(2), b(2);
    signal_free_step({dry, 0, 0.0f, 1.0f, 0, curve}, {chronology, counts, true, 2.0f}, a);
    signal_free_step({wet, 0, 0.0f, 1.0f, 0, curve}, {chronology, counts, true, 2.0f}, b);
    EXPECT_NEAR(a[1] / a[0] + b[1] / b[0], 2.0f, 1e-5f);
}

TEST(EngineSteps, ChangeMeasuresCountOnlyCoveredYears) {
    const std::vector<float> a{1.0f, 1.0f, 1.0f, 0.05f}, b{2.0f, 1.5f, 1.0f, 0.05f};
    EXPECT_FLOAT_EQ(net_change(a, b, std::vector<int>{4, 5, 9, 9}), 0.5f / 3.0f);
    EXPECT_FLOAT_EQ(net_change(a, b, std::vector<int>{1, 1, 1, 1}), 0.0f);
    EXPECT_EQ(near_zero_years(a, std::vector<int>{2, 2, 2, 2}), 1);
    EXPECT_EQ(near_zero_years(a, std::vector<int>{2, 2, 2, 1}), 0);
}

// A whole attempt needs no console and no plotter: the observer sees both passes' series files
// in order and the report's convergence lines.
TEST(EngineSteps, AnAttemptTalksOnlyToItsObserver) {
    const SeriesTable table = test::synthetic_table(12, 1700, 250, 120, 220, 7);
    RunOptions params;
    params.curve_option = 2;
    params.rbar_window = 0;
    const std::vector<float> floors(static_cast<std::size_t>(table.count()), kCurveFloor);
    const AttemptState attempt;
    RecordingObserver observer;
    EngineResults results;
    EngineCarry carry;
    ASSERT_EQ(sigfree({table, floors, params, attempt, 1}, observer, results, carry),
              AttemptOutcome::Completed);
    EXPECT_EQ(observer.passes, (std::vector<EnginePass>{EnginePass::FirstPass, EnginePass::SignalFree}));
    EXPECT_EQ(observer.rows, 2 * table.count());
    EXPECT_EQ(observer.ended, 2);
    EXPECT_GT(observer.report.size(), static_cast<std::size_t>(results.iterations));
    EXPECT_EQ(results.years, table.summary.length);
}

}  // namespace
}  // namespace kestrovan
