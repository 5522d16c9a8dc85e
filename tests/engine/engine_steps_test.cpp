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
    const std::vector<float> widths{1.0f, 2.0f, 0.5f, 1.5f};
    const std::vector<int> counts{1, 3, 3, 3};
    const std::vector<float> chronology{1.0f, 0.0002f, 2.0f, 1.0f};
    std::vector<float> once(4), twice(4);
    std::vector<float> doubled;
    for (float w : widths) doubled.push_back(2.0f * w);
    for (bool ratios : {true, false}) {
        signal_free_step({widths, 0, 0.8f, 1.25f, 0}, {chronology, counts, ratios, 2.0f}, once);
        signal_free_step({doubled, 0, 1.6f, 2.5f, 0}, {chronology, counts, ratios, 4.0f}, twice);
        for (std::size_t j = 0; j < once.size(); ++j) {
            EXPECT_FLOAT_EQ(twice[j], 2.0f * once[j]) << ratios << " ring " << j;
            EXPECT_GE(once[j], 0.0f);
        }
    }
    // Ratios: a near-zero year divides by 0.1 at most, and no value passes the data's largest
    // before the series is brought back to its mean; a year with one series keeps its ring.
    std::vector<float> sf(4);
    signal_free_step({widths, 0, 0.0f, 1.25f, 0}, {chronology, counts, true, 2.0f}, sf);
    EXPECT_FLOAT_EQ(sf[1] / sf[0], 2.0f);  // 2 / 0.1 = 20, capped at the largest measurement
    EXPECT_FLOAT_EQ(sf[2] / sf[0], 0.25f);
    EXPECT_FLOAT_EQ((sf[0] + sf[1] + sf[2] + sf[3]) / 4.0f, 1.25f);
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
