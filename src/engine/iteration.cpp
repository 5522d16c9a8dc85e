#include "engine/signal_free_run.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "curves/spline.hpp"
#include "diag/stabilize.hpp"
#include "engine/calind.hpp"
#include "engine/sftest.hpp"
#include "model/format.hpp"
#include "stats/robust.hpp"

namespace kestrovan {

// Signal-free measurements of series i by ring (signal_free_step), from the chronology the
// iteration starts from.
void SignalFreeRun::signal_free_series(int i, std::span<float> out) const {
    const std::size_t is = static_cast<std::size_t>(i);
    signal_free_step({.measurements = measurements(i),
                      .row0 = setup_.row0[is],
                      .residual_scale = series_.residual_scale[is],
                      .mean = series_.mean[is],
                      .skip = i == depth_.noted ? depth_.nss1 : 0,
                      .curve = std::span<const float>(series_.previous_curves)
                                   .subspan(series_.curve_from[is], static_cast<std::size_t>(length(i)))},
                     {.chronology = iteration_.prev,
                      .counts = depth_.counts,
                      .ratios = setup_.index_mode == kRatioIndices,
                      .largest = facts_.run_largest},
                     out);
}

// Per-series mode: a new curve for every series, fitted to its signal-free measurements.
// The fits run on the workers (each writes only its series' entries of series_.code_now and
// series_.floored_line); the files and the index matrix are written in series order afterwards.
void SignalFreeRun::per_series_curves(int k) {
    auto compute = [&](int i, SeriesWaves::Buffers b, Notices& notices, SplineWorkspace& ws) {
        const std::size_t is = static_cast<std::size_t>(i);
        const auto sfv = b.values;
        const auto c = b.curve;
        signal_free_series(i, sfv);
        SeriesFit fit = fit_series(sfv, c, {setup_.fit_length[is], setup_.requested_code, line_floor_of(i)},
                                   in_.params, notices, ws);
        series_.code_now[is] = fit.code;
        series_.floored_line[is] = fit.floored_line;
        if (fallback_due(i, k)) {
            fit = fit_series(sfv, c, {setup_.fit_length[is], fallback_code(), line_floor_of(i)}, in_.params,
                             notices, ws);
            series_.code_now[is] = fit.code;
            series_.floored_line[is] = series_.floored_line[is] || fit.floored_line;
        }
        apply_floor(c, floor_of(i));
        apply_relative_floor(measurements(i), c);
        series_indices(i, c, b.indices);
    };
    auto emit = [&](int i, SeriesWaves::Buffers b) {
        report_floored_line(i, k);
        report_family_change(i, k);
        store_series(i, b.values, b.curve, b.indices);
    };
    series_.switched.resize(static_cast<std::size_t>(k), 0);
    for_each_series(compute, emit);
    series_.code_prev = series_.code_now;
}

// Regional-curve mode: one new curve from the signal-free measurements of all series by age.
void SignalFreeRun::regional_curves(int k) {
    for (int i = 0; i < nser(); ++i)
        if (length(i) > 0)
            signal_free_series(i, regional_.sf_rings.column(i).first(static_cast<std::size_t>(length(i))));
    const bool offsets = in_.params.pith_present;
    with_notices(observer_, [&](Notices& notices) {
        regional_.curve =
            rcurve({regional_.sf_rings, setup_.length, setup_.offset, offsets}, regional_.fit, notices);
    });
    // A fit that fell back starts the next fit of the Regional curve from its fallback code.
    regional_.fit.code = regional_.curve.code;
    report_regional_floor(regional_.curve, k);

    // The fallback rule on the codes stored for each series: a failing check refits the Regional
    // curve with the fallback code. Refits of the same data with the same code give the same
    // curve, so it is computed once, and the series all read the curve of the iteration.
    bool fall_back = false;
    for (int i = 0; i < nser(); ++i) {
        series_.code_now[static_cast<std::size_t>(i)] = regional_.curve.code;
        fall_back = fall_back || fallback_due(i, k);
    }
    if (fall_back) {
        RegionalFit f = regional_.fit;
        f.code = fallback_code();
        with_notices(observer_, [&](Notices& notices) {
            regional_.curve = rcurve({regional_.sf_rings, setup_.length, setup_.offset, offsets}, f, notices);
        });
        report_regional_floor(regional_.curve, k);
        std::fill(series_.code_now.begin(), series_.code_now.end(), regional_.curve.code);
    }
    // One curve per iteration in the history: the one the series read. The best iterate's curve
    // is never dropped from a full history: the published history ends with it.
    regional_.history.add(regional_.curve, best_.curves_kept - 1);
    report_regional_family(regional_.curve.code, k);
    if (plots_.tree_plots)
        observer_.plots().plt1(regional_.curve.raw, regional_.curve.smoothed, 1,
                               regional_.curve.ages - regional_.curve.min_offset, kMissing,
                               "Iteration       Regional Curve MVF", regional_.curve.min_offset,
                               regional_.curve.series);
    series_.code_prev = series_.code_now;
    regional_series(k);
}

// Regional-curve mode: every series' slice of the iteration's curve, its indices, and its
// tree-ring plot when those are asked for.
void SignalFreeRun::regional_series(int k) {
    for (int i = 0; i < nser(); ++i) {
        const std::size_t is = static_cast<std::size_t>(i);
        const int len = length(i);
        if (len <= 0) continue;
        const auto c = std::span<float>(regional_.one_series_curve).first(static_cast<std::size_t>(len));
        regional_slice_of(i, c);
        const auto sfv = regional_.sf_rings.column(i).first(static_cast<std::size_t>(len));
        if (plots_.tree_plots)
            plots_.tree_plots =
                observer_.plots().plt3({.by_year = measurements(i),
                                        .by_age = sfv,
                                        .curve = regional_.curve.smoothed,
                                        .first_year = setup_.spans[is].first,
                                        .last_year = setup_.spans[is].last,
                                        .missing = kMissing,
                                        .curve_ages = regional_.curve.ages - regional_.curve.min_offset,
                                        .id = in_.table.ids[is],
                                        .title = "Signal Free Series And RC",
                                        .age_before = setup_.offset[is],
                                        .age_offset = regional_.curve.min_offset,
                                        .iteration = k});
        const auto x = std::span<float>(regional_.one_series_indices).first(static_cast<std::size_t>(len));
        series_indices(i, c, x);
        store_series(i, sfv, c, x);
    }
}

// Series i's slice of the current Regional curve, with the series' floor as for per-series curves
// (the Regional curve itself is already held at the floor).
void SignalFreeRun::regional_slice_of(int i, std::span<float> c) const {
    regional_slice(regional_.curve, setup_.offset[static_cast<std::size_t>(i)], c);
    apply_floor(c, floor_of(i));
}

// One report line the first time in this call that series i's line or exponential reached the
// curve floor and gave way to the mean (k = 0: the first pass).
void SignalFreeRun::report_floored_line(int i, int k) {
    const std::size_t is = static_cast<std::size_t>(i);
    if (!series_.floored_line[is] || series_.floored_reported[is]) return;
    series_.floored_reported[is] = 1;
    observer_.report_line("CURVE OF SERIES " + upper_case(trim(in_.table.ids[is])) +
                              " REACHES THE CURVE FLOOR IN ITERATION" + fmt_i(k, 4) +
                              ": HORIZONTAL MEAN USED (CODE 6)",
                          2);
}

// Report lines for a new Regional curve: a line or exponential that gave way to the mean (every
// time), and values raised to the floor (the first time in this call).
void SignalFreeRun::report_regional_floor(const RegionalCurve& rc, int k) {
    if (rc.replaced_by_mean)
        observer_.report_line("REGIONAL CURVE REACHES THE CURVE FLOOR IN ITERATION" + fmt_i(k, 4) +
                                  ": HORIZONTAL MEAN USED (CODE 6)",
                              2);
    if (rc.raised > 0 && !regional_.raise_reported) {
        regional_.raise_reported = true;
        observer_.report_line("REGIONAL CURVE BELOW THE CURVE FLOOR IN ITERATION" + fmt_i(k, 4) + ":" +
                                  fmt_i(rc.raised, 5) + " VALUES RAISED TO THE FLOOR",
                              2);
    }
}

// A report line when the Regional curve of iteration k is of another family (code) than the one
// before it: the standard and the signal-free results then rest on different curves.
void SignalFreeRun::report_regional_family(int code, int k) {
    series_.switched.resize(static_cast<std::size_t>(k), 0);
    if (code == regional_.family) return;
    series_.switched[static_cast<std::size_t>(k - 1)] = 1;
    observer_.report_line("REGIONAL CURVE CHANGES FROM CODE" + fmt_i(regional_.family, 4) + " TO CODE" +
                              fmt_i(code, 4) + " IN ITERATION" + fmt_i(k, 4),
                          2);
    regional_.family = code;
}

// A report line when the curve of series i in iteration k is of another family (code) than in
// the iteration before: the jump of the chronology that follows is the program's doing, and the
// stop rule is told so.
void SignalFreeRun::report_family_change(int i, int k) {
    const std::size_t is = static_cast<std::size_t>(i);
    if (series_.code_now[is] == series_.code_prev[is]) return;
    series_.switched[static_cast<std::size_t>(k - 1)] = 1;
    observer_.report_line("CURVE OF SERIES " + upper_case(trim(in_.table.ids[is])) + " CHANGES FROM CODE" +
                              fmt_i(series_.code_prev[is], 4) + " TO CODE" + fmt_i(series_.code_now[is], 4) +
                              " IN ITERATION" + fmt_i(k, 4),
                          2);
}

// Indices of series i from its measurements and its new curve; with residual indices also the
// scale between its residuals and its indices, for the next signal-free step.
void SignalFreeRun::series_indices(int i, std::span<const float> c, std::span<float> x) {
    calind(measurements(i), c, x, setup_.index_mode);
    if (setup_.index_mode == kResidualIndices)
        series_.residual_scale[static_cast<std::size_t>(i)] = residual_scale(measurements(i), c);
}

// Series i's indices into the index matrix, its curve into the iteration's curves (and the
// closing plots).
void SignalFreeRun::store_series(int i, std::span<const float> sfv, std::span<const float> c,
                                 std::span<const float> x) {
    const std::size_t is = static_cast<std::size_t>(i);
    assert(all_finite(c) && all_finite(x) && all_finite(sfv));
    for (std::size_t j = 0; j < x.size(); ++j) index_(setup_.row0[is] + static_cast<int>(j), i) = x[j];
    std::copy(c.begin(), c.end(),
              series_.iteration_curves.begin() + static_cast<std::ptrdiff_t>(series_.curve_from[is]));
    if (plots_.keep_data)
        for (std::size_t j = 0; j < x.size(); ++j) {
            plots_.final_sf(static_cast<int>(j), i) = sfv[j];
            plots_.final_curves(static_cast<int>(j), i) = c[j];
            plots_.final_indices(static_cast<int>(j), i) = x[j];
        }
}

// The chronology of iteration k into the history, and its differences from the one before:
// their size over the well covered years as they are, then with their slow change removed by a
// spline as stiff as the mean segment length of each year.
void SignalFreeRun::chronology_change(int k) {
    robsum(index_, {ny(), nser()}, in_.params.mean_method, work_.summary, work_.rws, in_.threads);
    iteration_.chron = work_.summary.location;
    if (in_.params.rescale_to_one)
        set_mean_one(iteration_.chron, depth_.counts, depth_.nss1);
    else
        clip_chronology(iteration_.chron, depth_.counts);
    assert(all_finite(iteration_.chron));
    iteration_.history.push_back(iteration_.chron);

    // Differences, and their size over the well covered years as they are; then their slow
    // change is removed by a spline as stiff as the mean segment length of each year.
    double change_sum = 0.0;
    float change_max = 0.0f;
    int change_years = 0;
    for (std::size_t t = 0; t < iteration_.year_differences.size(); ++t) {
        const float d = iteration_.prev[t] - iteration_.chron[t];
        iteration_.year_differences[t] = d;
        if (depth_.counts[t] >= 5) {
            change_sum += std::fabs(d);
            change_max = std::max(change_max, std::fabs(d));
            ++change_years;
        }
    }
    iteration_.change.resize(static_cast<std::size_t>(k));
    iteration_.change[static_cast<std::size_t>(k - 1)] = {
        change_years > 0 ? static_cast<float>(change_sum / change_years) : 0.0f, change_max};
    iteration_.differences.push_back(iteration_.year_differences);
    if (ny() >= 4) {
        with_notices(observer_, [&](Notices& notices) {
            spline2(ny(), iteration_.year_differences, iteration_.difference_trend, work_.wavelengths,
                    notices, &work_.sws);
        });
        if (!curve_failed(iteration_.difference_trend) && all_finite(iteration_.difference_trend))
            for (std::size_t t = 0; t < iteration_.year_differences.size(); ++t)
                iteration_.year_differences[t] -= iteration_.difference_trend[t];
    }
}

// The new chronology, its differences from the previous one, the convergence test and the
// decision of the stop rule (stop_decision): converged, the iteration limit, stalled, diverged or
// on. A rise alone is no failure: the iteration goes on, and the best iterate is what gets
// published.
Step SignalFreeRun::convergence_step(int k) {
    chronology_change(k);
    // Statistics over the chosen years (after nss2 with the tweak), or over all years when
    // none of those has data.
    const std::size_t skip = in_.params.tweaks ? static_cast<std::size_t>(std::min(depth_.nss2, ny())) : 0;
    for (float& v : iteration_.year_differences) v = std::fabs(v);
    ConvergenceStats stats =
        sftest(std::span<const float>(iteration_.year_differences).subspan(skip),
               std::span<const int>(depth_.counts).subspan(skip), iteration_.sftest_scratch);
    if (stats.years == 0)
        stats = sftest(iteration_.year_differences, depth_.counts, iteration_.sftest_scratch);
    if (stats.years == 0)
        observer_.report_line("NO YEAR WITH DATA FOR THE CONVERGENCE TEST: CRITERION TAKEN AS 0", 2);
    const auto marks = iteration_.trace.add(stats);
    observer_.report_line(convergence_line(k, stats, marks));

    const Criterion crit = choose_criterion(k, in_.params.median_differences, in_.params.curve_option);
    iteration_.statistic.resize(static_cast<std::size_t>(k));
    iteration_.statistic[static_cast<std::size_t>(k - 1)] = stats.at(static_cast<int>(crit));
    iteration_.prev = iteration_.chron;
    series_.switched.resize(static_cast<std::size_t>(k), 0);
    iteration_.change_means.push_back(iteration_.change.back().first);
    iteration_.net_changes.push_back(k >= 3 ? net_change(iteration_.history[static_cast<std::size_t>(k - 2)],
                                                         iteration_.chron, depth_.counts)
                                            : 0.0f);
    const StopDecision decision = stop_decision(
        {iteration_.statistic, iteration_.change_means, iteration_.net_changes, series_.switched},
        StopRule{.threshold = in_.params.convergence, .max_iterations = kMaxIterations});
    const auto warn = [&](const char* text) {
        const std::string warning = Columns().at(1, text).at(67, fmt_i(k, 3)).str();
        observer_.console_line(warning);
        observer_.report_line(warning);
    };
    switch (decision) {
        case StopDecision::Converged: return Step::Converged;
        case StopDecision::IterationLimit: return Step::IterationLimit;
        case StopDecision::Diverged:
            warn("WARNING: THE CONVERGENCE STATISTIC KEEPS GROWING, ITER:");
            return Step::Diverged;
        case StopDecision::Stalled:
            warn("WARNING: THE CONVERGENCE STATISTIC HAS STOPPED FALLING, ITER:");
            return Step::Stalled;
        case StopDecision::Continue: break;
    }
    return Step::Continue;
}

}  // namespace kestrovan
