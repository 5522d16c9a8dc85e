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

// The level of every series as read (its mean, the constant of the attempt taken off; the mean of
// all series for a series without any width), and whether the data hold zero rings.
void SignalFreeRun::measure_levels() {
    const std::size_t n = static_cast<std::size_t>(nser());
    facts_.level.assign(n, 0.0f);
    facts_.zero_rings = false;
    facts_.run_largest = 0.0f;
    double sum = 0.0;
    long long rings = 0;
    for (int i = 0; i < nser(); ++i) {
        const auto meas = measurements(i);
        if (meas.empty()) continue;
        const auto is = static_cast<std::size_t>(i);
        facts_.level[is] = span_mean(meas) - in_.attempt.constant;
        for (float v : meas) {
            sum += v;
            facts_.run_largest = std::max(facts_.run_largest, v);
            facts_.zero_rings = facts_.zero_rings || v <= in_.attempt.constant;
        }
        rings += static_cast<long long>(meas.size());
    }
    const double all = rings > 0 ? sum / static_cast<double>(rings) - in_.attempt.constant : 0.0;
    facts_.run_level = all > 0.0 ? static_cast<float>(all) : 1.0f;
    for (float& l : facts_.level)
        if (!(l > 0.0f)) l = facts_.run_level;
}

// Mean segment length and mean tree age by year, with their plot.
void SignalFreeRun::mean_segment_length() {
    for (int i = 0; i < nser(); ++i)
        for (int j = 0; j < length(i); ++j)
            index_(setup_.row0[static_cast<std::size_t>(i)] + j, i) = static_cast<float>(length(i));
    robsum(index_, {ny(), nser()}, kMeanArithmetic, work_.summary, work_.rws, in_.threads);
    work_.segment_length = work_.summary.location;
    for (int i = 0; i < nser(); ++i)
        for (int j = 0; j < length(i); ++j)
            index_(setup_.row0[static_cast<std::size_t>(i)] + j, i) = static_cast<float>(j + 1);
    robsum(index_, {ny(), nser()}, kMeanArithmetic, work_.summary, work_.rws, in_.threads);
    if (facts_.plots_on)
        observer_.plots().plot1({.y1 = work_.segment_length,
                                 .y2 = work_.summary.location,
                                 .first_year = setup_.first_year,
                                 .x_label = "Year",
                                 .y_label = "Length or age (years)",
                                 .title = "Mean Segment Length And Mean Tree Age",
                                 .legend1 = " Mean Segment Length",
                                 .legend2 = "Mean Approx Tree Age"});
    index_.fill(kMissing);

    // The per-year stiffness of the spline through the chronology differences (interior years).
    work_.wavelengths.assign(static_cast<std::size_t>(std::max(ny(), 1)), 2);
    for (int t = 1; t + 1 < ny(); ++t)
        work_.wavelengths[static_cast<std::size_t>(t - 1)] =
            std::max(2, static_cast<int>(work_.segment_length[static_cast<std::size_t>(t)]));
}

// The initial Regional curve with its dialogue, then the tree-ring plot question.
bool SignalFreeRun::regional_curve_questions() {
    regional_.fit.code = in_.params.regional_curve;
    regional_.fit.alpha = in_.params.alpha_real();
    regional_.fit.window = in_.params.smoothing_window;
    regional_.fit.stiffness = in_.params.spline_stiffness;
    regional_.fit.floor = kCurveFloor * facts_.run_level;
    regional_.fit.line_floor = in_.attempt.constant + regional_.fit.floor;
    if (observer_.regional_curve_dialogue(
            {in_.table.data, setup_.length, setup_.offset, in_.params.pith_present, in_.table}, regional_.fit,
            regional_.history, regional_.curve))
        return false;
    // The iteration's fits start from the code the accepted initial curve ended with.
    regional_.fit.code = regional_.curve.code;
    regional_.family = regional_.curve.code;
    report_regional_floor(regional_.curve, 0);
    plots_.tree_plots = observer_.tree_ring_plots();
    return true;
}

// Curves and indices of every series from its measurements, and the first-pass files. The
// files belong to the standard results, which come from the data as read: they are written on
// the first attempt only, never from measurements with a constant added.
void SignalFreeRun::first_pass() {
    if (facts_.first_attempt)
        observer_.begin_series_files({.pass = EnginePass::FirstPass,
                                      .index_method = in_.params.index_method,
                                      .power_transformed = in_.params.power_transform,
                                      .with_indices = !setup_.raw});
    const std::size_t n = static_cast<std::size_t>(nser());
    series_.mean.assign(n, 0.0f);
    series_.residual_scale.assign(n, 0.0f);
    series_.switched.clear();
    series_.code_prev.assign(n, setup_.requested_code);
    series_.code_now.assign(n, setup_.requested_code);
    series_.floored_line.assign(n, 0);
    series_.floored_reported.assign(n, 0);
    regional_.one_series_curve.assign(static_cast<std::size_t>(facts_.max_len), 0.0f);
    regional_.one_series_indices.assign(static_cast<std::size_t>(facts_.max_len), 0.0f);
    if (facts_.first_attempt) {
        carry_.standard_curves.resize(0, 0);
        carry_.standard_curves.resize(ny(), nser());
    }
    if (plots_.keep_data)
        for (YearMatrix* m : {&plots_.first_curves, &plots_.first_indices, &plots_.final_sf,
                              &plots_.final_curves, &plots_.final_indices})
            m->resize(facts_.max_len, nser());

    // Each worker fits its series (it writes only that series' entries of the per-series vectors);
    // the files, the index matrix and the carry record are written in series order afterwards.
    for_each_series([&](int i, SeriesWaves::Buffers b, Notices& notices,
                        SplineWorkspace& ws) { first_pass_series(i, b, notices, ws); },
                    [&](int i, SeriesWaves::Buffers b) { keep_first_pass(i, b); });
    if (facts_.first_attempt) observer_.end_series_files();
    // The first-versus-final plots draw the first pass of the data as read as "original".
    if (plots_.keep_data && facts_.first_attempt) {
        carry_.first_data.resize(facts_.max_len, nser());
        for (int i = 0; i < nser(); ++i) {
            const auto meas = measurements(i);
            std::copy(meas.begin(), meas.end(), carry_.first_data.column(i).begin());
        }
        carry_.first_curves = plots_.first_curves;
        carry_.first_indices = plots_.first_indices;
    }
}

// The first curve and indices of series i (on a worker: only series i's entries are written).
void SignalFreeRun::first_pass_series(int i, SeriesWaves::Buffers b, Notices& notices, SplineWorkspace& ws) {
    const std::size_t is = static_cast<std::size_t>(i);
    const auto meas = measurements(i);
    series_.mean[is] = span_mean(meas);
    if (setup_.rcs) {
        regional_slice_of(i, b.curve);
        series_.code_prev[is] = regional_.curve.code;
    } else {
        const SeriesFit fit =
            fit_series(meas, b.curve, {setup_.fit_length[is], setup_.requested_code, line_floor_of(i)},
                       in_.params, notices, ws);
        series_.code_prev[is] = fit.code;
        series_.floored_line[is] = fit.floored_line;
        apply_floor(b.curve, floor_of(i));
        apply_relative_floor(meas, b.curve);
    }
    if (setup_.raw)
        std::copy(meas.begin(), meas.end(), b.indices.begin());  // no detrending: the values themselves
    else
        calind(meas, b.curve, b.indices, setup_.index_mode);
    if (setup_.index_mode == kResidualIndices) series_.residual_scale[is] = residual_scale(meas, b.curve);
}

// Series i's first pass into its file, the index matrix, the carry record and the plot data (on
// the calling thread, in series order).
void SignalFreeRun::keep_first_pass(int i, SeriesWaves::Buffers b) {
    const std::size_t is = static_cast<std::size_t>(i);
    const int len = length(i);
    const auto meas = measurements(i);
    const std::span<const float> c = b.curve, x = b.indices;
    assert(all_finite(c) && all_finite(x));
    report_floored_line(i, 0);
    if (facts_.first_attempt)
        observer_.series_file_row(
            {in_.table.ids[is], setup_.spans[is].first, meas, c, x, in_.attempt.constant});
    for (int j = 0; j < len; ++j) index_(setup_.row0[is] + j, i) = x[static_cast<std::size_t>(j)];
    if (facts_.first_attempt)
        for (int j = 0; j < len; ++j)
            carry_.standard_curves(setup_.row0[is] + j, i) =
                c[static_cast<std::size_t>(j)] - in_.attempt.constant;
    std::copy(c.begin(), c.end(),
              series_.iteration_curves.begin() + static_cast<std::ptrdiff_t>(series_.curve_from[is]));
    if (plots_.keep_data)
        for (int j = 0; j < len; ++j) {
            plots_.first_curves(j, i) = c[static_cast<std::size_t>(j)];
            plots_.first_indices(j, i) = x[static_cast<std::size_t>(j)];
            plots_.final_sf(j, i) = meas[static_cast<std::size_t>(j)];
            plots_.final_curves(j, i) = c[static_cast<std::size_t>(j)];
            plots_.final_indices(j, i) = x[static_cast<std::size_t>(j)];
        }
}

// The first chronology, its level, nss1/nss2, the original chronology and the running RBAR of
// the first-pass indices.
void SignalFreeRun::first_chronology() {
    robsum(index_, {ny(), nser()}, in_.params.mean_method, work_.summary, work_.rws, in_.threads);
    depth_.counts = work_.summary.count;
    if (in_.params.mean_method == kMeanBiweight && facts_.plots_on)
        observer_.plots().spaghetti(biweight_plot(
            weight_lines(work_.summary), ny(), setup_.first_year,
            setup_.raw ? "Biweights For Raw Data Chronology" : "Biweights For Standard Chronology",
            "Iteration: " + fmt_i(0, 3)));
    iteration_.first_chron = work_.summary.location;
    iteration_.first_scale = work_.summary.scale;
    set_mean_one(iteration_.first_chron, depth_.counts, 0);

    first_chronology_depth();
    iteration_.prev = iteration_.first_chron;
    if (in_.params.rescale_to_one) set_mean_one(iteration_.prev, depth_.counts, depth_.nss1);
    if (facts_.plots_on)
        observer_.plots().plot1({.y1 = iteration_.prev,
                                 .first_year = setup_.first_year,
                                 .x_label = "Year",
                                 .y_label = "Index",
                                 .title = setup_.raw ? "Original Non-Variance Stabilized Raw Data Indices"
                                                     : "Original Non-Variance Stabilized Standard Indices",
                                 .legend1 = setup_.raw ? "Raw Data Chronology" : "Standard Chronology",
                                 .legend2 = "     ",
                                 .unit_line = true});
    // The running RBAR and stabilization of the standard indices belong to the standard results:
    // computed once, on the first attempt, from the data as read.
    if (in_.params.rbar_window > 0 && facts_.first_attempt)
        carry_.stabilized_standard = stabilize({RbarPass::FirstPass,
                                                setup_.raw,
                                                {index_, setup_.spans, setup_.first_year},
                                                {iteration_.first_chron, depth_.counts},
                                                depth_.nss1,
                                                facts_.plots_on,
                                                in_.attempt.constant_counter == 0},
                                               &carry_.standard_rbar);

    iteration_.year_differences.assign(static_cast<std::size_t>(ny()), 0.0f);
    iteration_.difference_trend.assign(static_cast<std::size_t>(ny()), 0.0f);
    if (setup_.rcs) regional_.sf_rings.resize(facts_.max_len, nser());
}

// nss1 and nss2 of the first chronology; on the first attempt the standard results into the
// carry record; the first-pass mean of the series that starts the run alone.
void SignalFreeRun::first_chronology_depth() {
    while (depth_.nss1 < ny() && depth_.counts[static_cast<std::size_t>(depth_.nss1)] == 1) ++depth_.nss1;
    while (depth_.nss2 < ny() && depth_.counts[static_cast<std::size_t>(depth_.nss2)] <= 5) ++depth_.nss2;
    if (ny() - depth_.nss2 < 20) depth_.nss2 = depth_.nss1;
    if (facts_.first_attempt) {
        observer_.console_line(
            "nss1,nss2 skip first number of years: " + fmt_i(depth_.nss1, 3) + "  " + fmt_i(depth_.nss2, 3),
            2);
        carry_.original_chronology = iteration_.first_chron;
        set_mean_one(carry_.original_chronology, depth_.counts, depth_.nss1);
        carry_.standard_scale = iteration_.first_scale;
        carry_.standard_indices = index_;
        carry_.stabilized_standard.clear();
        carry_.first_attempt_done = true;
    }
    carry_.original_chronology.resize(static_cast<std::size_t>(ny()), 0.0f);
    carry_.standard_scale.resize(static_cast<std::size_t>(ny()), 0.0f);
    iteration_.history.assign(1, carry_.original_chronology);

    // The series that starts the run alone: its first-pass mean over its rings after nss1.
    if (depth_.nss1 > 0) {
        for (int i = 0; i < nser(); ++i) {
            if (setup_.row0[static_cast<std::size_t>(i)] != 0) continue;
            const auto meas = measurements(i);
            if (static_cast<int>(meas.size()) > depth_.nss1)
                series_.mean[static_cast<std::size_t>(i)] =
                    span_mean(meas.subspan(static_cast<std::size_t>(depth_.nss1)));
            depth_.noted = i;
        }
    }
}

}  // namespace kestrovan
