#include "diag/stabilize.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

#include "console/format.hpp"
#include "console/freeform.hpp"
#include "console/run_answers.hpp"
#include "curves/smoothers.hpp"
#include "curves/spline.hpp"
#include "diag/chronology_stats.hpp"
#include "plot/plotter.hpp"
#include "stats/chronology_level.hpp"

namespace kestrovan {

namespace {

struct LevelSpread {
    double mean = 0.0;
    double sd = 0.0;
};

// Mean and standard deviation (divisor count − 1) of the values for which keep(t) is true.
template <typename Keep>
LevelSpread mean_sd(std::span<const float> v, Keep keep) {
    double s = 0.0;
    int n = 0;
    for (std::size_t t = 0; t < v.size(); ++t)
        if (keep(t)) {
            s += v[t];
            ++n;
        }
    LevelSpread out;
    if (n == 0) return out;
    out.mean = s / n;
    double ss = 0.0;
    for (std::size_t t = 0; t < v.size(); ++t)
        if (keep(t)) ss += (v[t] - out.mean) * (v[t] - out.mean);
    out.sd = n > 1 ? std::sqrt(ss / (n - 1)) : 0.0;
    return out;
}

// Rescales v (where keep(t)) from mean/sd `from` to mean/sd `to`; negatives become 0. Without
// spread in `from` the values are only shifted to the new mean.
template <typename Keep>
void rescale(std::span<float> v, LevelSpread from, LevelSpread to, Keep keep) {
    for (std::size_t t = 0; t < v.size(); ++t) {
        if (!keep(t)) continue;
        double x = v[t] - from.mean;
        if (from.sd > 0.0) x = x / from.sd * to.sd;
        x += to.mean;
        v[t] = static_cast<float>(x < 0.0 ? 0.0 : x);
    }
}

// Ratio of an absolute deviation to the fitted spread, with the deviation's sign; where the fit
// is 0 or below (or the spline failed) the deviation is kept unscaled.
float signed_ratio(float absdev, float fit, bool negative, bool fit_usable) {
    const float r = (fit_usable && fit > 0.0f) ? absdev / fit : absdev;
    return negative ? -r : r;
}

bool spline_failed(std::span<const float> fit) { return fit.empty() || curve_failed(fit); }

// Brings the chronology to mean 1.0 over the years after nss1 that have series by dividing it by
// that mean, so that its proportions are kept. Years without series are left as they are.
// Returns the mean.
double centre_on_one(std::span<float> c, std::span<const int> n, int nss1) {
    const ChronologyLevel level = chronology_level(c, n, nss1);
    if (level.years == 0 || !(level.mean > 0.0)) return level.mean;
    for (std::size_t t = 0; t < c.size(); ++t) {
        if (n[t] <= 0) continue;
        c[t] = static_cast<float>(c[t] / level.mean);
    }
    return level.mean;
}

double mean_after(std::span<const float> c, std::span<const int> n, int nss1) {
    return chronology_level(c, n, nss1).mean;
}

std::string window_label(int w) { return fmt_i(w, w < 100 ? 2 : 3); }

// For the plots: the values of the years that lie inside a window with a valid RBAR. The other
// years (before the first valid window, after the last, between valid windows) hold copied values
// in the tables; here they get the missing code, which the plots leave out.
std::vector<float> inside_valid_windows(std::span<const float> values, const RbarTables& tables,
                                        int first_year) {
    std::vector<float> out(values.size(), kMissing);
    const long long last = static_cast<long long>(values.size()) - 1;
    for (const RbarWindowRow& w : tables.windows) {
        const long long start = static_cast<long long>(w.middle_year) - tables.window / 2 - first_year;
        for (long long t = std::max(start, 0LL); t <= std::min(start + tables.window - 1, last); ++t)
            out[static_cast<std::size_t>(t)] = values[static_cast<std::size_t>(t)];
    }
    return out;
}

}  // namespace

RbarSummary summarize_rbar(const RbarTables& tables, int first_year, std::span<const int> sample_size) {
    RbarSummary out;
    if (!tables.defined || tables.windows.empty()) return out;
    out.defined = true;
    double sum = 0.0;
    for (const RbarWindowRow& w : tables.windows) sum += w.mean_r;
    out.mean_rbar = sum / static_cast<double>(tables.windows.size());
    const std::vector<float> inside = inside_valid_windows(tables.running_rbar, tables, first_year);
    for (std::size_t t = 0; t < inside.size() && t < sample_size.size(); ++t) {
        if (inside[t] == kMissing) continue;
        if (eps_value(inside[t], static_cast<float>(sample_size[t])) >= 0.85f) {
            out.first_eps_year = first_year + static_cast<int>(t);
            break;
        }
    }
    out.eps_085_from = eps_085_from(inside, sample_size, first_year);
    return out;
}

Moments moment1(std::span<const float> values, std::span<const int> sample_size) {
    std::vector<float> kept;
    kept.reserve(values.size());
    const std::size_t n = std::min(values.size(), sample_size.size());
    for (std::size_t t = 0; t < n; ++t)
        if (sample_size[t] > 0) kept.push_back(values[t]);
    return moment(kept, static_cast<int>(kept.size()));
}

void stabit(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
            std::span<const int> sample_size, Console& console) {
    const int ny = static_cast<int>(chronology.size());
    if (ny == 0) return;
    const std::span<const float> c(chronology.data(), chronology.size());
    const std::vector<float> original(c.begin(), c.end());
    if (ny < 4) {  // too short to smooth: nothing to stabilize
        std::copy(original.begin(), original.end(), stabilized.begin());
        std::fill(fitted.begin(), fitted.begin() + ny, 0.0f);
        return;
    }

    // Centre and spread: over the years with more than 4 series when there are more than a third
    // of the years of them, else over all years.
    int many = 0;
    for (int t = 0; t < ny; ++t)
        if (sample_size[t] > 4) ++many;
    const bool use_many = many > ny / 3;
    auto keep = [&](std::size_t t) { return !use_many || sample_size[t] > 4; };
    const LevelSpread centre = mean_sd(c, keep);

    // Absolute deviations with their signs.
    std::vector<char> negative(static_cast<std::size_t>(ny));
    for (int t = 0; t < ny; ++t) {
        const double d = chronology[t] - centre.mean;
        negative[t] = d < 0.0;
        chronology[t] = static_cast<float>(std::fabs(d));
    }

    // Super smoother of the absolute deviations, then the age-dependent spline from 50 years.
    std::vector<float> x(static_cast<std::size_t>(ny)), w(static_cast<std::size_t>(ny), 1.0f),
        smoothed(static_cast<std::size_t>(ny));
    for (int t = 0; t < ny; ++t) x[t] = static_cast<float>(t + 1);
    const float span = many < 40 ? 0.3f : 0.0f;
    supsmu(x, std::span<const float>(chronology.data(), chronology.size()), w, kNotPeriodic, span, 3.0f,
           smoothed);
    age_dependent_spline(ny, smoothed, fitted, 50, console);
    const bool usable = !spline_failed(fitted);

    std::vector<float> ratio(static_cast<std::size_t>(ny));
    for (int t = 0; t < ny; ++t) ratio[t] = signed_ratio(chronology[t], fitted[t], negative[t], usable);
    const LevelSpread ratio_stats = mean_sd(std::span<const float>(ratio), keep);
    rescale(std::span<float>(ratio), ratio_stats, centre, [](std::size_t) { return true; });
    for (int t = 0; t < ny; ++t) stabilized[t] = sample_size[t] > 0 ? ratio[t] : original[t];
}

void stabit1(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
             std::span<const int> sample_size, int& option, Console& console) {
    const int ny = static_cast<int>(chronology.size());
    if (ny == 0) return;
    const std::vector<float> original(chronology.begin(), chronology.end());
    const Moments m = moment1(original, sample_size);
    auto has_series = [&](std::size_t t) { return sample_size[t] > 0; };
    if (m.mean == kMomentUndefined) {  // no year with series: nothing to stabilize
        std::copy(original.begin(), original.end(), stabilized.begin());
        std::fill(fitted.begin(), fitted.begin() + ny, 0.0f);
        return;
    }

    // Absolute deviations from the mean; years without series get the mean absolute deviation
    // so that they neither pull the spline up nor down.
    std::vector<char> negative(static_cast<std::size_t>(ny), 0);
    double sum_abs = 0.0;
    int k = 0;
    for (int t = 0; t < ny; ++t) {
        if (!has_series(t)) continue;
        const double d = original[t] - m.mean;
        negative[t] = d < 0.0;
        chronology[t] = static_cast<float>(std::fabs(d));
        sum_abs += chronology[t];
        ++k;
    }
    for (int t = 0; t < ny; ++t)
        if (!has_series(t)) chronology[t] = static_cast<float>(sum_abs / k);

    if (option <= -10) option = static_cast<int>(std::fabs(option / 100.0f * static_cast<float>(ny)));
    spline(ny, std::span<const float>(chronology.data(), chronology.size()), fitted, option, console);
    const bool usable = !spline_failed(fitted);

    std::vector<float> ratio(original);
    for (int t = 0; t < ny; ++t)
        if (has_series(t)) ratio[t] = signed_ratio(chronology[t], fitted[t], negative[t], usable);
    const Moments rm = moment1(ratio, sample_size);
    LevelSpread from{rm.mean, rm.standard_deviation > 0.0f ? rm.standard_deviation : 0.0};
    LevelSpread to{m.mean, m.standard_deviation > 0.0f ? m.standard_deviation : 0.0};
    if (from.sd == 0.0 || to.sd == 0.0) {
        // No spread on one side: keep the ratios' shape, shift them to the chronology's mean.
        from.sd = 0.0;
    }
    rescale(std::span<float>(ratio), from, to, has_series);
    for (int t = 0; t < ny; ++t) stabilized[t] = has_series(t) ? ratio[t] : original[t];
}

namespace {

// Labels of the plots, the console line and the RBAR file of one pass.
struct PassLabels {
    const char* perform;
    const char* file_suffix;
    const char* rbar_title;
    const char* eps_title;
};

PassLabels labels_of(const StabilizationInput& in) {
    if (in.pass == RbarPass::SignalFree)
        return {"Perform signal free indices running rbar calculations", "_Ssf_RBAR.txt",
                "Signal Free Indices Running Correlations",
                "Signal Free Indices Expressed Population Signal"};
    if (in.raw_indices)
        return {"Perform raw data indices running rbar calculations", "_Raw_RBAR.txt",
                "Raw Data Indices Running Average Correlations",
                "Raw Data Indices Expressed Population Signal"};
    return {"Perform standard indices running rbar calculations", "_Std_RBAR.txt",
            "Standard Indices Running Average Correlations", "Standard Indices Expressed Population Signal"};
}

// The running RBAR of the pass (windows one year apart) and its file; signal-free rescaled
// chronologies are never negative.
RbarTables running_rbar_step(const StabilizationInput& in, int window, RunFiles& files, Console& console,
                             int threads) {
    console.line(labels_of(in).perform, 2);
    const int w = window;
    RbarTables tables = runbar(in.set, in.chronology, {w, w - 1, in.print_rbar_lines, threads}, console);
    if (!tables.defined) {
        console.line("Running RBAR undefined: no window has more than 2 positive correlations;", 2);
        console.line("the chronology is not rescaled by RBAR", 2);
        files.report.line("RUNNING RBAR UNDEFINED: NO WINDOW HAS MORE THAN 2 POSITIVE CORRELATIONS;");
        files.report.line("THE CHRONOLOGY IS NOT RESCALED BY RBAR");
    }
    write_rbar_file(files.base_name() + labels_of(in).file_suffix, tables, in.set.first_year,
                    in.chronology.sample_size);
    if (in.pass == RbarPass::SignalFree) {
        for (float& v : tables.stabilized_running) v = std::max(v, 0.0f);
        for (float& v : tables.stabilized_constant) v = std::max(v, 0.0f);
    }
    return tables;
}

// The RBAR and EPS plots, over the years inside a valid window only.
void rbar_plots(const StabilizationInput& in, const RbarTables& tables, Plotter& plotter) {
    const PassLabels l = labels_of(in);
    const int first_year = in.set.first_year;
    const std::span<const int> n = in.chronology.sample_size;
    const std::size_t ny = n.size();
    const std::string wl = window_label(tables.window);
    const std::vector<float> rbar1 = inside_valid_windows(tables.running_rbar, tables, first_year);
    const std::vector<float> rbar2 = inside_valid_windows(tables.constant_rbar, tables, first_year);
    const std::string rbar_legend = "Running RBAR (" + wl + " Yrs)";
    plotter.plot1({.y1 = rbar1,
                   .y2 = rbar2,
                   .first_year = first_year,
                   .x_label = "Year",
                   .y_label = "RBAR (mean correlation)",
                   .title = l.rbar_title,
                   .legend1 = rbar_legend,
                   .legend2 = "Constant Sample RBAR"});
    std::vector<float> eps1(ny), eps2(ny);
    for (std::size_t t = 0; t < ny; ++t) {
        eps1[t] = tables.defined ? eps_value(tables.running_rbar[t], static_cast<float>(n[t])) : 0.0f;
        eps2[t] = tables.defined ? eps_value(tables.constant_rbar[t], static_cast<float>(n[t])) : 0.0f;
    }
    eps1 = inside_valid_windows(eps1, tables, first_year);
    eps2 = inside_valid_windows(eps2, tables, first_year);
    const std::vector<float> reference(ny, 0.85f);
    const std::string eps_legend = " Running EPS (" + wl + " Yrs)";
    plotter.plot1({.y1 = eps1,
                   .y2 = eps2,
                   .first_year = first_year,
                   .x_label = "Year",
                   .y_label = "EPS",
                   .title = l.eps_title,
                   .legend1 = eps_legend,
                   .legend2 = "  Constant Sample EPS",
                   .reference = reference,
                   .reference_legend = "EPS 0.85"});
}

// The RBAR stage: the constant-sample version, both it and the chronology centred on 1.0, with
// their plot and the means before and after. Returns the centred constant-sample version.
std::vector<float> rbar_stage(const StabilizationInput& in, const RbarTables& tables, Console& console,
                              Plotter& plotter) {
    const std::span<const int> n = in.chronology.sample_size;
    std::vector<float> c(in.chronology.values.begin(), in.chronology.values.end());
    std::vector<float> s = tables.stabilized_constant;
    const double c_before = mean_after(c, n, in.nss1), s_before = mean_after(s, n, in.nss1);
    centre_on_one(c, n, in.nss1);
    centre_on_one(s, n, in.nss1);
    const double c_after = mean_after(c, n, in.nss1), s_after = mean_after(s, n, in.nss1);
    if (in.plots_on && plotter.enabled()) {
        const bool raw = in.raw_indices;
        if (in.pass == RbarPass::SignalFree)
            plotter.plot1({.y1 = c,
                           .y2 = s,
                           .first_year = in.set.first_year,
                           .x_label = "Year",
                           .y_label = "Index",
                           .title = "Original vs. Running RBAR Stabilized Signal Free Indices",
                           .legend1 = raw ? "Orig Mean-Adjust RAW" : "Orig Signal Free STD",
                           .legend2 = raw ? "Stab Mean-Adjust RAW" : "Stab Signal Free STD",
                           .unit_line = true});
        else
            plotter.plot1({.y1 = c,
                           .y2 = s,
                           .first_year = in.set.first_year,
                           .x_label = "Year",
                           .y_label = "Index",
                           .title = raw ? "Original Vs. Running RBAR Stabilized Raw Data Indices"
                                        : "Original Vs. Running RBAR Stabilized Standard Indices",
                           .legend1 = raw ? "Original RAW Chronology" : "Original STD Chronology",
                           .legend2 = raw ? "Stable RAW Chronology" : "Stable STD Chronology",
                           .unit_line = true});
    }
    if (in.plots_on) {
        console.line("Orig/Stab Means1: " + fmt_f(c_before, 8, 4) + fmt_f(s_before, 8, 4));
        console.line("Orig/Stab Means2: " + fmt_f(c_after, 8, 4) + fmt_f(s_after, 8, 4));
    }
    return s;
}

// One round of the spline stage on the RBAR-stabilized chronology s, with its two plots: the
// result, centred on 1.0 over the years after nss1. `option` (1 or a spline code) may be turned
// from a percentage into years.
std::vector<float> spline_stage(const StabilizationInput& in, std::span<const float> s, int& option,
                                Console& console, Plotter& plotter) {
    const std::span<const int> n = in.chronology.sample_size;
    const std::size_t ny = n.size();
    std::vector<float> work(s.begin(), s.end()), fitted(ny, 0.0f), result(ny, 0.0f);
    if (option == 1)
        stabit(work, fitted, result, n, console);
    else
        stabit1(work, fitted, result, n, option, console);
    centre_on_one(result, n, in.nss1);
    for (std::size_t t = 0; t < ny; ++t)
        if (n[t] <= 0) result[t] = std::max(result[t], 0.0f);

    if (in.plots_on && plotter.enabled()) {
        const bool sf = in.pass == RbarPass::SignalFree, raw = in.raw_indices;
        const std::string fit_label =
            option == 1 ? std::string("Age-Dependent Spline") : "Spline in Yrs:" + fmt_i(option, 5);
        plotter.plot1({.y1 = work,
                       .y2 = fitted,
                       .first_year = in.set.first_year,
                       .x_label = "Year",
                       .y_label = "Index",
                       .title = sf ? "Spline Detrending of RBAR Stabilized Signal Free Indices"
                                   : "Spline Detrending of Running RBAR Stabilized Indices",
                       .legend1 = "  Absolute Differences",
                       .legend2 = fit_label});
        const char* title = sf    ? "RBAR Only Vs. Detrended RBAR Stabilized Sig Free Indices"
                            : raw ? "RBAR Only Vs. Detrended RBAR Stabilized Raw Data Indices"
                                  : "RBAR Only Vs. Detrended RBAR Stabilized Standard Indices";
        const char* l1 = sf    ? "RBAR Stablized SSF Crn"
                         : raw ? "RBAR Stablized RAW Crn"
                               : "RBAR Stablized STD Crn";
        const char* l2 = sf    ? "DETR Stablized SSF Crn"
                         : raw ? "DETR Stablized RAW Crn"
                               : "DETR Stablized STD Crn";
        plotter.plot1({.y1 = s,
                       .y2 = result,
                       .first_year = in.set.first_year,
                       .x_label = "Year",
                       .y_label = "Index",
                       .title = title,
                       .legend1 = l1,
                       .legend2 = l2,
                       .unit_line = true});
    }
    return result;
}

}  // namespace

StabilizedChronology rbar_stabilization(const StabilizationInput& input, const StabilizationSettings& settings,
                                        RunIo& io, RbarTables* tables_out, int threads) {
    Console& console = io.console;
    Plotter& plotter = io.plotter;
    StabilizationInput in = input;
    const std::size_t ny = std::min(in.chronology.values.size(), in.chronology.sample_size.size());
    in.chronology = {in.chronology.values.first(ny), in.chronology.sample_size.first(ny)};

    const RbarTables tables = running_rbar_step(in, settings.rbar_window, io.files, console, threads);
    if (in.plots_on && plotter.enabled()) rbar_plots(in, tables, plotter);
    const std::vector<float> s = rbar_stage(in, tables, console, plotter);
    if (tables_out) *tables_out = tables;

    // The spline stage, repeated until the user accepts it.
    int option = settings.option;
    for (;;) {
        if (option == 0) return {s, option};
        std::vector<float> result = spline_stage(in, s, option, console, plotter);
        const bool signal_free = in.pass == RbarPass::SignalFree;
        if (io.answers.accept_stabilization(signal_free)) return {std::move(result), option};
        option = io.answers.stabilization_option(signal_free);
    }
}

}  // namespace kestrovan
