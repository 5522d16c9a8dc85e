#include "run/stabilization.hpp"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <string>

#include "console/numeric_stop.hpp"
#include "console/report.hpp"
#include "console/run_answers.hpp"
#include "diag/stabilize.hpp"
#include "io/output_table.hpp"
#include "model/format.hpp"
#include "plot/plotter.hpp"
#include "stats/chronology_level.hpp"

namespace kestrovan {

namespace {

double mean_after(std::span<const float> c, std::span<const int> n, int nss1) {
    return chronology_level(c, n, nss1).mean;
}

std::string window_label(int w) { return fmt_i(w, w < 100 ? 2 : 3); }

// Labels of the plots, the console line and the RBAR file of one pass.
struct PassLabels {
    const char* perform;
    const char* pass;  // names the RBAR file (rbar_suffix)
    const char* rbar_title;
    const char* eps_title;
};

PassLabels labels_of(const StabilizationInput& in) {
    if (in.pass == RbarPass::SignalFree)
        return {"Perform signal free indices running rbar calculations", "Ssf",
                "Signal Free Indices Running Correlations",
                "Signal Free Indices Expressed Population Signal"};
    if (in.raw_indices)
        return {"Perform raw data indices running rbar calculations", "Raw",
                "Raw Data Indices Running Average Correlations",
                "Raw Data Indices Expressed Population Signal"};
    return {"Perform standard indices running rbar calculations", "Std",
            "Standard Indices Running Average Correlations", "Standard Indices Expressed Population Signal"};
}

// The running RBAR of the pass (windows one year apart) and its file; signal-free rescaled
// chronologies are never negative.
RbarTables running_rbar_step(const StabilizationInput& in, int window, OutputFiles& files, Console& console,
                             int threads) {
    console.line(labels_of(in).perform, 2);
    const int w = window;
    RbarTables tables = runbar(in.set, in.chronology, {.window = w, .overlap = w - 1, .threads = threads});
    if (in.print_rbar_lines) {
        console.line(Columns().at(2, "Running RBAR window length: ").at(37, fmt_i(tables.window, 5)).str());
        console.line(Columns().at(2, "Running RBAR window overlap: ").at(37, fmt_i(tables.overlap, 5)).str());
        console.line(Columns()
                         .at(2, "Running RBAR segments calculated: ")
                         .at(37, fmt_i(static_cast<long long>(tables.windows.size()), 5))
                         .str());
    }
    if (!tables.defined) {
        console.line("Running RBAR undefined: no window has more than 2 positive correlations;", 2);
        console.line("the chronology is not rescaled by RBAR", 2);
        files.report.line("RUNNING RBAR UNDEFINED: NO WINDOW HAS MORE THAN 2 POSITIVE CORRELATIONS;");
        files.report.line("THE CHRONOLOGY IS NOT RESCALED BY RBAR");
    }
    write_rbar_file(files.base_name() + rbar_suffix(labels_of(in).pass), tables, in.set.first_year,
                    in.chronology.sample_size);
    if (in.pass == RbarPass::SignalFree) {
        for (float& v : tables.stabilized_running) v = std::max(v, 0.0f);
        for (float& v : tables.stabilized_constant) v = std::max(v, 0.0f);
    }
    return tables;
}

// The RBAR and EPS plots, over the years inside a valid window only.
void rbar_plots(const StabilizationInput& in, const RbarTables& tables, Plotter& plotter,
                float eps_threshold) {
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
    const std::vector<float> reference(ny, eps_threshold);
    const std::string reference_legend = "EPS " + trim(fmt_f(eps_threshold, 6, 2));
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
                   .reference_legend = reference_legend,
                   .threshold_reference = true});
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
        with_notices(console, [&](Notices& notices) { stabit(work, fitted, result, n, notices); });
    else
        with_notices(console, [&](Notices& notices) { stabit1(work, fitted, result, n, option, notices); });
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

void write_rbar_file(const std::string& path, const RbarTables& tables, int first_year,
                     std::span<const int> sample_size) {
    StagedOutputFile staged(path);
    std::ofstream& file = staged.stream();
    file << " YEAR     NC   RBAR1    EPS1   NEFF1   RBAR2    EPS2   NEFF2\n";
    const std::size_t nyears = std::min(tables.running_rbar.size(), sample_size.size());
    for (std::size_t t = 0; t < nyears; ++t) {
        const int n = sample_size[t];
        const float r1 = tables.running_rbar[t], r2 = tables.constant_rbar[t];
        const float e1 = tables.defined ? eps_value(r1, static_cast<float>(n)) : 0.0f;
        const float e2 = tables.defined ? eps_value(r2, static_cast<float>(n)) : 0.0f;
        file << fmt_i(first_year + static_cast<int>(t), 5) << fmt_i(n, 7) << fmt_f(r1, 8, 3)
             << fmt_f(e1, 8, 3) << fmt_f(tables.neff1[t], 8, 3) << fmt_f(r2, 8, 3) << fmt_f(e2, 8, 3)
             << fmt_f(tables.neff2[t], 8, 3) << '\n';
    }
    staged.commit();
}

StabilizedChronology rbar_stabilization(const StabilizationInput& input,
                                        const StabilizationSettings& settings, RunIo& io,
                                        RbarTables* tables_out) {
    Console& console = io.console;
    Plotter& plotter = io.plotter;
    StabilizationInput in = input;
    const std::size_t ny = std::min(in.chronology.values.size(), in.chronology.sample_size.size());
    in.chronology = {in.chronology.values.first(ny), in.chronology.sample_size.first(ny)};

    const RbarTables tables =
        running_rbar_step(in, settings.rbar_window, io.files, console, settings.threads);
    if (in.plots_on && plotter.enabled()) rbar_plots(in, tables, plotter, settings.eps_threshold);
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
