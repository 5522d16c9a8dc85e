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

void SignalFreeRun::both(const std::string& text) {
    observer_.console_line(text, 2);
    observer_.report_line(upper_case(text), 2);
}

// The signal-free files of the published iterate, written once after the last iteration: its
// signal-free measurements again (from the chronology it started from), its curves and indices
// (the first pass's measurements, curves and indices when no iteration could be published).
// They are written under staged names that take the final names when every series is in, so a
// run stopped or failing on the way never leaves a half-written file under them (a failure
// stops the run with a message naming the file).
void SignalFreeRun::write_signal_free_files(const SeriesFilesRequest& request) {
    std::swap(iteration_.prev, best_.prev);
    std::swap(series_.residual_scale, best_.residual_scale);
    std::swap(series_.previous_curves, best_.previous_curves);
    observer_.begin_series_files(request);
    results_.curves.resize(0, 0);
    results_.curves.resize(ny(), nser());
    std::vector<float> sfv(static_cast<std::size_t>(facts_.max_len)),
        x(static_cast<std::size_t>(facts_.max_len));
    for (int i = 0; i < nser(); ++i) {
        const std::size_t is = static_cast<std::size_t>(i), len = static_cast<std::size_t>(length(i));
        if (len == 0) continue;
        const std::span<float> v = std::span<float>(sfv).first(len);
        if (best_.k == 0) {
            const auto meas = measurements(i);
            std::copy(meas.begin(), meas.end(), v.begin());
        } else {
            signal_free_series(i, v);
        }
        for (std::size_t j = 0; j < len; ++j) x[j] = index_(setup_.row0[is] + static_cast<int>(j), i);
        const std::span<const float> c(series_.iteration_curves.data() + series_.curve_from[is], len);
        for (std::size_t j = 0; j < len; ++j)
            results_.curves(setup_.row0[is] + static_cast<int>(j), i) = c[j] - in_.attempt.constant;
        observer_.series_file_row({in_.table.ids[is], setup_.spans[is].first, v, c,
                                   std::span<const float>(x).first(len), in_.attempt.constant});
    }
    observer_.end_series_files();
    std::swap(iteration_.prev, best_.prev);
    std::swap(series_.residual_scale, best_.residual_scale);
    // The curves are in the files: their memory goes back before the closing running RBAR.
    std::vector<float>().swap(series_.iteration_curves);
    std::vector<float>().swap(series_.previous_curves);
    std::vector<float>().swap(best_.previous_curves);
}

// The closing messages on the console and, in capitals, in the report: how the iteration ended,
// and which iterate is published when it is not the last one.
void SignalFreeRun::closing_messages(Step outcome, int k) {
    const std::string threshold = fmt_f(in_.params.convergence, 6, 4);
    const int last = static_cast<int>(iteration_.statistic.size());
    if (outcome == Step::Converged) {
        both("Final iteration with convergence (<" + threshold + " change): " + fmt_i(k, 2));
        return;
    }
    if (outcome == Step::IterationLimit) {
        both("Maximum iterations used without converging (<" + threshold + " change): " + fmt_i(last, 2));
        both(std::string("If you are not satisfied, try a simpler (more monotonic) curve ") +
             "fit like a negative");
        both(std::string("exponential curve, or if you were computing ") +
             "ratios, try computing power transformed");
        both(std::string("residuals instead with ") +
             "the same curvefit option that did not converge. Often works.");
    }
    if (k == 0) {
        both("No iteration gave a usable chronology: the first pass is kept");
        return;
    }
    both("Best iteration kept: " + fmt_i(k, 3) + " of" + fmt_i(last, 4) + ", statistic " +
         trim(fmt_f(best_.statistic, 12, 8)) + " against " + trim(fmt_f(in_.params.convergence, 12, 8)));
}

// The results of a finished attempt, but the stabilized signal-free chronology.
void SignalFreeRun::store_results(Step outcome, int k, std::span<const float> standard,
                                  std::span<const float> signal_free) {
    results_.first_year = setup_.first_year;
    results_.years = ny();
    results_.standard.assign(standard.begin(), standard.end());
    results_.standard_scale = carry_.standard_scale;
    results_.signal_free.assign(signal_free.begin(), signal_free.end());
    results_.signal_free_scale = work_.summary.scale;
    results_.final_chronology.assign(signal_free.begin(), signal_free.end());
    results_.sample_size = depth_.counts;
    results_.sample_size_real.assign(depth_.counts.begin(), depth_.counts.end());
    results_.iterations = k;
    results_.nss1 = depth_.nss1;
    results_.nss2 = depth_.nss2;
    results_.converged = outcome == Step::Converged && k > 0;
    results_.history.resize(0, 0);
    results_.history.resize(ny(), static_cast<int>(iteration_.history.size()));
    for (std::size_t j = 0; j < iteration_.history.size(); ++j)
        std::copy(iteration_.history[j].begin(), iteration_.history[j].end(),
                  results_.history.column(static_cast<int>(j)).begin());
    results_.stabilized_standard = carry_.stabilized_standard;
    results_.standard_indices = carry_.standard_indices;
    results_.standard_curves = carry_.standard_curves;
    results_.standard_rbar = carry_.standard_rbar;
    results_.convergence = iteration_.trace.all();
}

// The final chronology, the closing messages, the final scaling, the running RBAR of the final
// indices and the results.
void SignalFreeRun::finish(Step outcome, int k) {
    robsum(index_, {ny(), nser()}, in_.params.mean_method, work_.summary, work_.rws, in_.threads);
    std::vector<float> signal_free = work_.summary.location;
    clip_chronology(signal_free, depth_.counts);

    if (setup_.rcs) {
        observer_.regional_curves_file(regional_.history);
        // Curves fitted up to the published iterate that a full history dropped.
        const int missing = best_.curves_kept - regional_.history.size();
        if (missing > 0)
            observer_.report_line(
                fmt_i(missing, 5) +
                " INTERMEDIATE REGIONAL CURVES NOT KEPT: THE HISTORY HOLDS THE INITIAL AND THE LATEST " +
                std::to_string(regional_.history.size() - 1) + " UP TO THE PUBLISHED ITERATION");
    }
    curve_plots(outcome, signal_free);
    closing_messages(outcome, k);
    closing_report(k);

    // The standard chronology is the first attempt's, scaled as in a run without retries; the
    // signal-free one takes its spread after retries.
    std::vector<float> standard(static_cast<std::size_t>(ny()), 0.0f);
    for (const std::string& note : final_scaling(carry_.original_chronology, standard, signal_free,
                                                 depth_.counts, depth_.nss2, facts_.shifted))
        observer_.report_line(note, 2);
    assert(all_finite(standard) && all_finite(signal_free));
    chronology_plot(standard, signal_free, k);

    store_results(outcome, k, standard, signal_free);
    results_.stabilized_signal_free.clear();
    if (in_.params.rbar_window > 0)
        results_.stabilized_signal_free = stabilize({RbarPass::SignalFree,
                                                     setup_.raw,
                                                     {index_, setup_.spans, setup_.first_year},
                                                     {results_.final_chronology, depth_.counts},
                                                     depth_.nss1,
                                                     true,
                                                     facts_.first_attempt},
                                                    &results_.signal_free_rbar);
    results_.stabilized_standard.resize(static_cast<std::size_t>(ny()), 0.0f);
    results_.stabilized_signal_free.resize(static_cast<std::size_t>(ny()), 0.0f);

    run_plots(k);
}

// The report lines of the published iterate: its change, and the years near 0 in which its
// signal-free step leaned on the curves.
void SignalFreeRun::closing_report(int k) {
    const PublishedIterate& published = results_.published;
    if (k > 0)
        observer_.report_line(
            "CHANGE OF THE CHRONOLOGY IN THE PUBLISHED ITERATION, YEARS WITH 5 OR MORE SERIES: MEAN " +
                trim(fmt_f(published.change_mean, 12, 6)) + ", LARGEST " +
                trim(fmt_f(published.change_max, 12, 6)),
            2);
    if (published.near_zero_years > 0)
        observer_.report_line(std::to_string(published.near_zero_years) + " YEARS OF THE CHRONOLOGY BELOW " +
                                  trim(fmt_f(kNearZeroChronology, 6, 2)) +
                                  ": THE SIGNAL-FREE STEP LEANED ON THE SERIES' CURVES THERE",
                              2);
}

// The standard and the signal-free chronology, with the signal-free one smoothed by a 20-year
// spline for the eye.
void SignalFreeRun::chronology_plot(std::span<const float> standard, std::span<const float> signal_free,
                                    int k) {
    if (!observer_.plots().enabled()) return;
    std::vector<float> smooth;
    if (ny() >= 4) {
        smooth.assign(static_cast<std::size_t>(ny()), 0.0f);
        with_notices(observer_,
                     [&](Notices& notices) { spline1(ny(), signal_free, smooth, 20, notices, &work_.sws); });
        if (curve_failed(smooth)) smooth.clear();
    }
    const std::string smooth_legend =
        std::string(setup_.raw ? "Mean Adjust RAW Chron" : "Signal Free STD Chron") + ", 20-yr spline";
    const std::string title =
        (in_.params.mean_method == kMeanBiweight ? "Robust Original & Signal Free Chronology, Iter ="
                                                 : "Original & Signal Free Chronology, Iter =") +
        fmt_i(k, 3);
    const LinePlot plot{.y1 = standard,
                        .y2 = signal_free,
                        .first_year = setup_.first_year,
                        .x_label = "Year",
                        .y_label = "Index",
                        .title = title,
                        .legend1 = setup_.raw ? "Original RAW Chronology" : "Original STD Chronology",
                        .legend2 = setup_.raw ? "Mean Adjust RAW Chron" : "Signal Free STD Chron",
                        .sample_size = depth_.counts,
                        .unit_line = true,
                        .smooth = smooth,
                        .smooth_legend = smooth_legend};
    observer_.chronology_plot({plot, index_, in_.table.ids});
}

std::vector<float> SignalFreeRun::stabilize(const StabilizationInput& input, RbarTables* tables) {
    const int option = carry_.stabilization.value_or(in_.params.stabilization);
    StabilizedChronology s =
        observer_.stabilize(input, {in_.params.rbar_window, option, in_.threads}, tables);
    if (s.option != option) carry_.stabilization = s.option;
    return std::move(s.values);
}

// The curve plots after the iteration: the Regional-curve history, or the per-series overview,
// the biweight summary and the first-versus-final plots.
void SignalFreeRun::curve_plots(Step outcome, std::span<const float> signal_free) {
    if (!observer_.plots().enabled()) return;
    if (setup_.rcs) {
        // Rows are ages from 1; ages below the youngest one present hold the fill value.
        const YearMatrix curves = regional_.history.as_matrix();
        const int offset = regional_.history.size() > 0 ? regional_.history[0].min_offset : 0;
        observer_.plots().plt4(curves, regional_.history.ages(), regional_.history.size(), offset, kMissing,
                               regional_.curve.series);
        observer_.plots().plt5(curves, regional_.history.ages(), regional_.history.size(), offset, kMissing,
                               regional_.curve.series);
        return;
    }
    const std::vector<float> no_mean;
    const YearSpan all{setup_.first_year, setup_.first_year + ny() - 1, ny()};
    const char* measured = in_.params.power_transform ? "Transformed width" : "Width (mm)";
    observer_.plots().linguine2({.initial = &plots_.final_sf,
                                 .final = &plots_.final_curves,
                                 .mean = no_mean,
                                 .years = setup_.spans,
                                 .summary = all,
                                 .x_label = "Year",
                                 .y_label = measured,
                                 .title = outcome == Step::Converged
                                              ? "Convergent Curvefits For Signal Free Chronology"
                                              : "Non-Convergent Curvefits For Signal Free Chronology",
                                 .legend1 = "Signal Free Data",
                                 .legend2 = "Final Curves"});
    if (in_.params.mean_method == kMeanBiweight)
        observer_.plots().spaghetti(biweight_plot(weight_lines(work_.summary), ny(), setup_.first_year,
                                                  "Biweights For Signal Free Chronology",
                                                  "Iteration: " + fmt_i(best_.k, 3)));
    // The final lines in the units of the data as read: the constant of the attempt taken off.
    if (in_.attempt.constant != 0.0f)
        for (int i = 0; i < nser(); ++i)
            for (int j = 0; j < length(i); ++j) {
                plots_.final_sf(j, i) -= in_.attempt.constant;
                plots_.final_curves(j, i) -= in_.attempt.constant;
            }
    // The three first-versus-final plots: series over their own years, first pass and final iteration.
    const auto first_and_final = [&](const YearMatrix& first, const YearMatrix& final,
                                     std::span<const float> mean, std::string_view y_label,
                                     std::string_view title) {
        observer_.plots().linguine2({.initial = &first,
                                     .final = &final,
                                     .mean = mean,
                                     .years = setup_.spans,
                                     .summary = all,
                                     .x_label = "Year",
                                     .y_label = y_label,
                                     .title = title,
                                     .legend1 = "Original",
                                     .legend2 = "Final",
                                     .unit_line = y_label == "Index"});
    };
    // "Original" is the first pass of the data as read (the first attempt's).
    first_and_final(carry_.first_data, plots_.final_sf, no_mean, measured,
                    "Original and Final Signal Free Raw Data");
    first_and_final(carry_.first_curves, plots_.final_curves, no_mean, measured,
                    "Original and Final Signal Free Curvefits");
    first_and_final(carry_.first_indices, plots_.final_indices, signal_free, "Index",
                    "Original and Final Signal Free Indices");
}

// The plots of the whole run: convergence statistics, differences and the smoothed chronology
// of every iteration.
void SignalFreeRun::run_plots(int k) {
    if (!observer_.plots().enabled() || k <= 0) return;
    std::vector<float> wt_mean, wt_median;
    for (const auto& st : iteration_.trace.all()) {
        wt_mean.push_back(st.wt_mean);
        wt_median.push_back(st.wt_median);
    }
    observer_.plots().plot1({.y1 = wt_mean,
                             .y2 = wt_median,
                             .first_year = 1,
                             .x_label = "Iteration",
                             .y_label = "Absolute difference (index)",
                             .title = "Iteration Convergence Statistics, Iter =" + fmt_i(k, 3),
                             .legend1 = "   Mean ABS Diff Test",
                             .legend2 = "Median ABS Diff Test"});
    YearMatrix diffs(ny(), static_cast<int>(iteration_.differences.size()));
    for (std::size_t j = 0; j < iteration_.differences.size(); ++j)
        std::copy(iteration_.differences[j].begin(), iteration_.differences[j].end(),
                  diffs.column(static_cast<int>(j)).begin());
    observer_.plots().spaghetti({.lines = &diffs,
                                 .n = ny(),
                                 .m = diffs.cols(),
                                 .first_year = setup_.first_year,
                                 .x_label = "Year",
                                 .y_label = "Difference (index)",
                                 .title = "Signal Free Chronology Iteration Differences",
                                 .legend1 = "First Iteration",
                                 .legend2 = "   Final Iteration"});

    // On data with a constant added the chronologies of the iterations are first scaled to the
    // mean of the original chronology.
    const int wavelength = ny() <= 100 ? 10 : ny() <= 500 ? 30 : ny() <= 2000 ? 50 : 100;
    YearMatrix smooth(ny(), static_cast<int>(iteration_.history.size()));
    const ChronologyLevel base_level = chronology_level(iteration_.history[0], depth_.counts, depth_.nss2);
    for (std::size_t j = 0; j < iteration_.history.size(); ++j) {
        std::vector<float> col = iteration_.history[j];
        if (facts_.shifted && j >= 1) {
            const ChronologyLevel l = chronology_level(col, depth_.counts, depth_.nss2);
            if (l.mean > 0.0)
                for (float& v : col) v = static_cast<float>(v / l.mean * base_level.mean);
        }
        auto out = smooth.column(static_cast<int>(j));
        std::copy(col.begin(), col.end(), out.begin());
        if (ny() >= 4) {
            with_notices(observer_,
                         [&](Notices& notices) { spline1(ny(), col, out, wavelength, notices, &work_.sws); });
            if (curve_failed(out)) std::copy(col.begin(), col.end(), out.begin());
        }
    }
    observer_.plots().spaghetti(
        {.lines = &smooth,
         .n = ny(),
         .m = smooth.cols(),
         .first_year = setup_.first_year,
         .x_label = "Year",
         .y_label = "Index",
         .title = "Signal Free Chronology Iterations: " + std::to_string(wavelength) + "-Yr Splines",
         .legend1 = "Original Chronology",
         .legend2 = "   Final Iteration",
         .unit_line = true});
}

}  // namespace kestrovan
