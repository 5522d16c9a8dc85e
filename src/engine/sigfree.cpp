#include "engine/signal_free_run.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "engine/sftest.hpp"
#include "model/format.hpp"

namespace kestrovan {

AttemptOutcome SignalFreeRun::run() {
    if (nser() == 0 || ny() <= 0) {
        results_ = EngineResults{};
        return AttemptOutcome::Completed;
    }
    begin_attempt();
    mean_segment_length();
    if (setup_.rcs && !regional_curve_questions()) return AttemptOutcome::RedoRegionalCurve;
    series_.curve_from.assign(static_cast<std::size_t>(nser()) + 1, 0);
    for (int i = 0; i < nser(); ++i)
        series_.curve_from[static_cast<std::size_t>(i) + 1] =
            series_.curve_from[static_cast<std::size_t>(i)] + static_cast<std::size_t>(length(i));
    series_.iteration_curves.assign(series_.curve_from.back(), 0.0f);
    first_pass();
    best_.iteration_curves = series_.iteration_curves;  // the first pass's curves
    series_.previous_curves = series_.iteration_curves;
    // The first detrending of every series, drawn once (first attempt) in per-series mode.
    if (plots_.keep_data && facts_.plots_on)
        observer_.plots().plt2(plots_.first_indices, setup_.spans, kMissing);
    first_chronology();

    const Step step = iterate();
    // A constant is for data whose zero rings keep the iteration from settling; other data, and
    // the data as read once every constant failed, publish their best iterate.
    if (step == Step::Diverged && in_.attempt.allow_retry && facts_.zero_rings) {
        if (in_.attempt.constant_counter < kMaxConstantSteps) return AttemptOutcome::Retry;
        observer_.console_line("OKAY, ADDING A CONSTANT TO THE DATA USUALLY RESULTS IN CONVERGENCE", 2);
        observer_.console_line("EVENTUALLY WHEN USING FLEXIBLE DATA-ADAPTIVE CURVE FITS LIKE THE", 2);
        observer_.console_line("SPLINE OR FRIEDMAN SMOOTHER. BUT NOT THIS TIME. THE DATA AS READ ARE", 2);
        observer_.console_line("ITERATED ONCE MORE AND THEIR BEST ITERATE IS KEPT.", 2);
        observer_.report_line("NO CONSTANT LET THE ITERATION CONVERGE: THE DATA AS READ ARE ITERATED AGAIN",
                              2);
        observer_.gave_up_pause();
        return AttemptOutcome::GaveUp;
    }
    publish(step);
    take_best();
    write_signal_free_files({.pass = EnginePass::SignalFree,
                             .index_method = in_.params.index_method,
                             .power_transformed = in_.params.power_transform});
    finish(step, best_.k);
    return AttemptOutcome::Completed;
}

// What the attempt knows before its first pass: whether it computes the standard results, and
// the levels of its data.
void SignalFreeRun::begin_attempt() {
    // The first attempt of a run (or of a new Regional curve) computes the standard results; the
    // rerun of the data as read after every constant failed does not repeat them.
    facts_.first_attempt =
        (in_.attempt.constant_counter == 0 && in_.attempt.allow_retry) || !carry_.first_attempt_done;
    facts_.shifted = in_.attempt.constant > 0.0f;
    facts_.plots_on = facts_.first_attempt;
    plots_.keep_data = observer_.plots().enabled() && !setup_.rcs;
    facts_.max_len = std::max(1, *std::max_element(setup_.length.begin(), setup_.length.end()));
    index_.resize(0, 0);
    index_.resize(ny(), nser());
    measure_levels();
}

// The iteration: each iteration writes its indices into the index matrix and keeps its curves;
// the best iterate so far is kept aside, and the published one is written once, after the last
// iteration. Before any iteration the first pass is the best there is. Returns how it ended.
Step SignalFreeRun::iterate() {
    for (const auto& head : convergence_heads()) observer_.report_line(head);
    best_.indices = index_;
    best_.prev = iteration_.prev;
    best_.residual_scale = series_.residual_scale;
    best_.previous_curves = series_.previous_curves;
    if (plots_.keep_data) {
        best_.sf = plots_.final_sf;
        best_.curves = plots_.final_curves;
        best_.plot_indices = plots_.final_indices;
    }
    best_.curves_kept = regional_.history.added();
    int k = 0;
    Step step = Step::Continue;
    while (step == Step::Continue) {
        ++k;
        // The chronology this iteration starts from.
        const std::vector<float> iteration_prev = iteration_.prev;
        const std::vector<float> iteration_scale = series_.residual_scale;
        if (setup_.rcs)
            regional_curves(k);
        else
            per_series_curves(k);
        step = convergence_step(k);
        // This iteration's curves are the next one's previous curves (taken before keep_best
        // may swap the working curves with the best iterate's).
        const std::vector<float> iteration_curves_from =
            std::exchange(series_.previous_curves, series_.iteration_curves);
        keep_best(k, step, iteration_prev, iteration_scale, iteration_curves_from, regional_.history.added());
    }
    return step;
}

// After iteration k: when it is the best iterate so far (the converged one always is), its index
// matrix, curves and plot data are swapped into the best buffers; the older best ones are then
// overwritten by the next iteration (every series writes the same cells in every pass).
void SignalFreeRun::keep_best(int k, Step step, const std::vector<float>& started_from,
                              const std::vector<float>& scale_from, const std::vector<float>& curves_from,
                              int curves_after) {
    const float stat = iteration_.statistic[static_cast<std::size_t>(k - 1)];
    const bool usable = std::isfinite(stat) && step != Step::Diverged;
    if (!(step == Step::Converged || (usable && (best_.k == 0 || stat < best_.statistic)))) return;
    best_.k = k;
    best_.statistic = stat;
    best_.curves_kept = curves_after;
    best_.prev = started_from;
    best_.residual_scale = scale_from;
    best_.previous_curves = curves_from;
    swap_best();
}

// Exchanges the working buffers of the iteration (indices, curves, plot data) with the best
// iterate's.
void SignalFreeRun::swap_best() {
    std::swap(index_, best_.indices);
    std::swap(series_.iteration_curves, best_.iteration_curves);
    if (plots_.keep_data) {
        std::swap(plots_.final_sf, best_.sf);
        std::swap(plots_.final_curves, best_.curves);
        std::swap(plots_.final_indices, best_.plot_indices);
    }
}

// The best iterate back into the working buffers, and the histories cut after it.
void SignalFreeRun::take_best() {
    swap_best();
    iteration_.history.resize(static_cast<std::size_t>(best_.k) + 1);
    iteration_.differences.resize(static_cast<std::size_t>(best_.k));
    regional_.history.truncate(best_.curves_kept);
    std::vector<float>().swap(best_.iteration_curves);
    best_.indices = YearMatrix();
}

// What the results say of the published iterate.
void SignalFreeRun::publish(Step step) {
    PublishedIterate& p = results_.published;
    p = PublishedIterate{};
    p.attempt = in_.attempt.constant_counter + 1;
    p.constant = in_.attempt.constant;
    p.iteration = best_.k;
    p.threshold = in_.params.convergence;
    if (best_.k > 0) {
        p.criterion = criterion_name(static_cast<int>(
            choose_criterion(best_.k, in_.params.median_differences, in_.params.curve_option)));
        p.statistic = best_.statistic;
        const auto& change = iteration_.change[static_cast<std::size_t>(best_.k - 1)];
        p.change_mean = change.first;
        p.change_max = change.second;
        if (setup_.index_mode == kRatioIndices)
            p.near_zero_years = near_zero_years(best_.prev, depth_.counts);
    }
    p.end = best_.k == 0                   ? IterationEnd::NoIterate
            : step == Step::Converged      ? IterationEnd::Converged
            : step == Step::IterationLimit ? IterationEnd::IterationLimit
            : step == Step::Stalled        ? IterationEnd::Stalled
                                           : IterationEnd::Diverged;
}

std::string criterion_name(int criterion) {
    static const char* const names[] = {"unweighted mean", "unweighted median", "weighted mean",
                                        "weighted median"};
    return criterion >= 0 && criterion < 4 ? names[criterion] : "unweighted mean";
}

std::string PublishedIterate::outcome() const {
    switch (end) {
        case IterationEnd::Converged: return "converged";
        case IterationEnd::NoIterate: return "could not iterate";
        default: return "stopped at its best iterate";
    }
}

std::string PublishedIterate::message() const {
    const auto number = [](float v) { return trim(fmt_f(v, 14, 8)); };
    const std::string where = "iteration " + std::to_string(iteration) + " of attempt " +
                              std::to_string(attempt) + " (constant " + trim(fmt_f(constant, 6, 1)) + ")";
    switch (end) {
        case IterationEnd::Converged:
            return "converged: " + where + ", " + criterion + " " + number(statistic) +
                   " against criterion " + number(threshold);
        case IterationEnd::NoIterate:
            return "could not iterate: the first pass is published as the signal-free chronology";
        default: break;
    }
    const char* why = end == IterationEnd::IterationLimit ? "the iteration limit was reached"
                      : end == IterationEnd::Stalled      ? "the statistic stopped falling"
                                                          : "the statistic kept growing";
    return "stopped at its best iterate (statistic " + number(statistic) + " against criterion " +
           number(threshold) + "): " + where + ", " + criterion + "; " + why;
}

AttemptOutcome sigfree(const EngineCall& call, EngineObserver& observer, EngineResults& results,
                       EngineCarry& carry) {
    return SignalFreeRun(call, observer, results, carry).run();
}

}  // namespace kestrovan
