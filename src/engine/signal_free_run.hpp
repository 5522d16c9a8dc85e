#pragma once
// The state of one engine call and its steps, shared by the files of the engine (sigfree.cpp: the
// attempt and the best iterate; first_pass.cpp; iteration.cpp; closing.cpp). Nothing survives the
// call except what goes into the results and the carry record. Not part of the engine's interface.
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_steps.hpp"
#include "engine/series_waves.hpp"
#include "engine/sigfree.hpp"
#include "stats/robust.hpp"

namespace kestrovan {

// How the iteration stands after a step.
enum class Step { Continue, Converged, IterationLimit, Stalled, Diverged };

// What an attempt learns of its data before the first pass.
struct AttemptFacts {
    bool first_attempt = false;  // the standard results are computed in this attempt
    bool shifted = false;        // this attempt's data have a constant added
    bool zero_rings = false;     // the data as read hold zero rings: only they may take a constant
    bool plots_on = false;       // first-pass plots: first attempt only
    std::vector<float> level;    // per series: the mean of its measurements as read (its floor's unit)
    float run_level = 1.0f;      // the mean of all measurements as read
    float run_largest = 0.0f;    // the largest measurement of all series (the constant included)
    int max_len = 1;             // rings of the longest series
};

// The work buffers of the call.
struct EngineWork {
    RobustWorkspace rws;
    SplineWorkspace sws;
    ChronologySummary summary;
    std::optional<SeriesWaves> waves;   // the per-series work on the threads (first pass on)
    std::vector<float> segment_length;  // mean segment length by year
    std::vector<int> wavelengths;       // per year: the stiffness of the spline through the differences
};

// Per series: its first-pass mean, the codes and floor events of its fits, its current curve.
struct PerSeries {
    std::vector<float> mean;  // first-pass mean of each series' measurements
    // Residual indices: how many measurement units one index unit of the series stands for
    // (the spread of its residuals over that of its ratios).
    std::vector<float> residual_scale;
    std::vector<int> code_prev, code_now;  // codes the fits ended with, previous and this iteration
    std::vector<char> floored_line;        // per series: this pass gave up a line or exponential at the floor
    std::vector<char> floored_reported;    // per series: that has been reported in this call
    std::vector<char> switched;            // per iteration (index k - 1): a curve family changed
    // The curves of the iteration being computed, series after series (curve_from[i] is
    // series i's first).
    std::vector<float> iteration_curves;
    std::vector<std::size_t> curve_from;
    // The curves of the iteration before, laid out alike (the first pass's before the first
    // iteration): the ratio signal-free step leans on them in years near 0.
    std::vector<float> previous_curves;
};

// Regional-curve mode: the fit settings, the current curve and its history, the signal-free rings.
struct RegionalState {
    RegionalFit fit;
    RegionalCurveHistory history;
    RegionalCurve curve;
    YearMatrix sf_rings;                                      // signal-free measurements by ring
    std::vector<float> one_series_curve, one_series_indices;  // one series' slice and indices
    bool raise_reported = false;  // the first Regional curve raised to the floor was reported
    int family = 0;               // the code of the last Regional curve reported
};

// What the plots draw: their switches, and each series in the first pass and in the latest iteration.
struct PlotData {
    bool keep_data = false;   // per-series curves and indices kept for the closing plots
    bool tree_plots = false;  // Regional-curve mode: each series against the curve, every iteration
    YearMatrix first_curves, first_indices, final_sf, final_curves, final_indices;
};

// The best iterate so far: its indices, curves and plot data, and where it stands.
struct BestIterate {
    // The iteration being computed writes the index matrix (and the plot data) while these
    // hold the best iterate so far (the one with the lowest criterion statistic, or the
    // converged one); a new best is swapped in, so the older buffers are overwritten by the
    // next iteration.
    YearMatrix indices, sf, curves, plot_indices;
    // Its curves, laid out as the iteration's, and the chronology it started from: the
    // signal-free files are written once, from the published iterate, after the last iteration.
    std::vector<float> iteration_curves, prev;
    std::vector<float> residual_scale;   // the series' residual scales it started from
    std::vector<float> previous_curves;  // the curves it started from
    int k = 0;                          // the best iterate (0: the first pass, before any iteration)
    float statistic = 0.0f;
    int curves_kept = 0;  // Regional curves fitted up to the best iterate (RegionalCurveHistory::added)
};

// The chronologies of the iteration, their differences and the record of the convergence test.
struct IterationHistory {
    std::vector<float> first_chron, first_scale, prev, chron;
    std::vector<std::vector<float>> history, differences;
    std::vector<float> year_differences, difference_trend, sftest_scratch;
    ConvergenceTrace trace;
    std::vector<float> statistic;  // the criterion statistic of every iteration (index k - 1)
    // The mean and largest change of the chronology in every iteration (index k - 1), over
    // the years with five or more series, before the slow part is taken out.
    std::vector<std::pair<float, float>> change;
    std::vector<float> change_means;  // the first of each, for the stop rule
    // The mean absolute change over two iterations (0 before iteration 3), for the stop rule.
    std::vector<float> net_changes;
};

// The number of series in every year and the thinly covered years at the start.
struct SampleDepth {
    std::vector<int> counts;
    int nss1 = 0, nss2 = 0;
    int noted = -1;  // the series that starts the run alone (nss1 > 0)
};

// One engine call: the first pass, the iteration and the closing steps, sharing the state of
// the call.
class SignalFreeRun {
public:
    SignalFreeRun(const EngineCall& call, EngineObserver& observer, EngineResults& results,
                  EngineCarry& carry)
        : in_(call),
          observer_(observer),
          results_(results),
          carry_(carry),
          setup_(make_setup(call.table, call.params)),
          index_(results.indices) {
        in_.threads = resolve_threads(call.threads);
    }

    AttemptOutcome run();

private:
    // The first pass (first_pass.cpp).
    void measure_levels();
    void mean_segment_length();
    bool regional_curve_questions();  // false on a redo request
    void first_pass();
    void first_pass_series(int i, SeriesWaves::Buffers b, Notices& notices, SplineWorkspace& ws);
    void keep_first_pass(int i, SeriesWaves::Buffers b);
    void first_chronology();
    void first_chronology_depth();

    // One iteration (iteration.cpp).
    void signal_free_series(int i, std::span<float> out) const;
    void per_series_curves(int k);
    void regional_curves(int k);
    void regional_series(int k);
    void series_indices(int i, std::span<const float> c, std::span<float> x);
    void store_series(int i, std::span<const float> sfv, std::span<const float> c, std::span<const float> x);
    void report_floored_line(int i, int k);
    void report_regional_floor(const RegionalCurve& rc, int k);
    void report_regional_family(int code, int k);
    void report_family_change(int i, int k);
    void regional_slice_of(int i, std::span<float> c) const;
    void chronology_change(int k);
    Step convergence_step(int k);

    // The attempt and the best iterate (sigfree.cpp).
    void begin_attempt();
    Step iterate();
    void keep_best(int k, Step step, const std::vector<float>& started_from,
                   const std::vector<float>& scale_from, const std::vector<float>& curves_from,
                   int curves_after);
    void swap_best();
    void take_best();
    void publish(Step step);

    // The closing steps (closing.cpp).
    void write_signal_free_files(const SeriesFilesRequest& request);
    void finish(Step outcome, int k);
    void closing_messages(Step outcome, int k);
    void closing_report(int k);
    void chronology_plot(std::span<const float> standard, std::span<const float> signal_free, int k);
    void store_results(Step outcome, int k, std::span<const float> standard,
                       std::span<const float> signal_free);
    void curve_plots(Step outcome, std::span<const float> signal_free);
    void run_plots(int k);
    // The running RBAR and stabilization of a pass with the run's stabilization option; an
    // option the acceptance loop chose instead holds for the rest of the run.
    std::vector<float> stabilize(const StabilizationInput& input, RbarTables* tables);

    // Runs compute for every series on the threads and emit on the calling thread in series order
    // (SeriesWaves): the observer, the files and the results are those of one thread.
    template <class Compute, class Emit>
    void for_each_series(Compute&& compute, Emit&& emit) {
        if (!work_.waves) work_.waves.emplace(setup_.length, in_.threads);
        work_.waves->for_each(observer_, compute, emit);
    }

    int nser() const { return setup_.series; }
    int ny() const { return setup_.years; }
    std::span<const float> measurements(int i) const {
        return in_.table.data.column(i).first(static_cast<std::size_t>(length(i)));
    }
    int length(int i) const { return setup_.length[static_cast<std::size_t>(i)]; }
    // The curve floor of series i, in its units: no curve value is below it.
    float floor_of(int i) const {
        const std::size_t is = static_cast<std::size_t>(i);
        return (is < in_.curve_floor.size() ? in_.curve_floor[is] : kCurveFloor) * facts_.level[is];
    }
    // The floor in measurement units for the lines and exponentials: a curve fitted to x + c
    // must stay above c + the floor, or it gives way to the mean.
    float line_floor_of(int i) const { return floor_of(i) + in_.attempt.constant; }
    bool fallback_due(int i, int k) const {
        const std::size_t is = static_cast<std::size_t>(i);
        return k >= 5 && (series_.code_now[is] != series_.code_prev[is] ||
                          (series_.code_now[is] == kCurveMean && series_.code_prev[is] == kCurveMean));
    }
    int fallback_code() const { return setup_.requested_code == 1 ? kCurveFallbackSpline : kCurveMean; }
    // A line on the console and, in capitals, in the report.
    void both(const std::string& text);

    EngineCall in_;
    EngineObserver& observer_;
    EngineResults& results_;
    EngineCarry& carry_;
    const EngineSetup setup_;
    YearMatrix& index_;  // the current indices, calendar rows × series (the results' matrix)
    AttemptFacts facts_;
    EngineWork work_;
    PerSeries series_;
    RegionalState regional_;
    PlotData plots_;
    BestIterate best_;
    IterationHistory iteration_;
    SampleDepth depth_;
};

// Debug-build guard: nothing that is not a finite number may reach a chronology, an index
// matrix or a file.
[[maybe_unused]] inline bool all_finite(std::span<const float> v) {
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

}  // namespace kestrovan
