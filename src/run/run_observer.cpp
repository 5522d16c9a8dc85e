#include "run/run_observer.hpp"

#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "console/report.hpp"
#include "console/run_answers.hpp"
#include "diag/comint.hpp"
#include "io/output_table.hpp"
#include "model/format.hpp"
#include "run/stabilization.hpp"

namespace kestrovan {

void RunObserver::console_line(std::string_view text, int column) { io_.console.line(text, column); }

void RunObserver::report_line(std::string_view text, int column) { io_.files.report.line(text, column); }

void RunObserver::notices(Notices& notices) { print_notices(io_.console, notices); }

// The years from which the signal-free chronology's EPS and SSS stay at or above the run's
// threshold, each a dashed line on the chronology plot; the statistics written after the run
// find the same years. A year that does not exist is not marked.
void RunObserver::chronology_plot(const ChronologyPlot& chronology) {
    const SignalCutoffs cutoffs =
        signal_cutoffs(chronology.indices, chronology.plot.first_year, chronology.ids, statistics_);
    const std::string at = " " + trim(fmt_f(statistics_.eps_threshold, 6, 2)) + " from ";
    std::vector<YearMark> marks;
    if (cutoffs.eps_from)
        marks.push_back({*cutoffs.eps_from, "EPS" + at + std::to_string(*cutoffs.eps_from)});
    if (cutoffs.sss_from)
        marks.push_back({*cutoffs.sss_from, "SSS" + at + std::to_string(*cutoffs.sss_from)});
    LinePlot plot = chronology.plot;
    plot.year_marks = marks;
    io_.plotter.plot1(plot);
}

// The first-pass files take their final names when closed; the signal-free ones are staged and
// take them on commit, once every series of the published iterate is in.
void RunObserver::begin_series_files(const SeriesFilesRequest& request) {
    pass_ = request.pass;
    files_.open(series_file_names(io_.files.base_name(), request.pass, request.index_method,
                                  request.power_transformed),
                request.with_indices, io_.files.header, request.pass, request.pass == EnginePass::SignalFree);
}

void RunObserver::series_file_row(const SeriesFileRow& row) {
    files_.write(row.id, row.first_year, row.measurements, row.curve, row.indices, row.constant, io_.console);
}

void RunObserver::end_series_files() {
    if (pass_ == EnginePass::SignalFree)
        files_.commit();
    else
        files_.close();
}

void RunObserver::regional_curves_file(const RegionalCurveHistory& history) {
    write_rcs_curves(io_.files.base_name() + output_suffix(OutputFile::RegionalCurves), history);
}

bool RunObserver::regional_curve_dialogue(const RegionalData& data, RegionalFit& fit,
                                          RegionalCurveHistory& history, RegionalCurve& curve) {
    return kestrovan::regional_curve_dialogue(data, fit, io_, history, curve);
}

bool RunObserver::tree_ring_plots() { return io_.answers.tree_ring_plots(); }

StabilizedChronology RunObserver::stabilize(const StabilizationInput& input,
                                            const StabilizationSettings& settings, RbarTables* tables) {
    StabilizationSettings s = settings;
    s.eps_threshold = statistics_.eps_threshold;
    return rbar_stabilization(input, s, io_, tables);
}

void RunObserver::gave_up_pause() { io_.answers.gave_up_pause(); }

bool regional_curve_dialogue(const RegionalData& data, RegionalFit& fit, RunIo& io,
                             RegionalCurveHistory& history, RegionalCurve& curve) {
    Console& console = io.console;
    fit.truncation_age = 0;
    for (;;) {
        with_notices(console, [&](Notices& notices) {
            curve = rcurve({data.values, data.lengths, data.pith_offsets, data.pith_present}, fit, notices);
        });
        io.plotter.plt1(curve.raw, curve.smoothed, 1, curve.ages - curve.min_offset, kMissing,
                        "Initial RC and MVF fit", curve.min_offset, curve.series);
        history.set_initial(curve);

        if (regional_curve_goes_negative(curve)) {
            console.line("**************** WARNING ****************", 4);
            console.line("    Regional Curve goes south (negative) ", 4);
            console.line(" Suggest choosing another RCS configuration.", 4);
            console.line("**************** WARNING ****************", 4);
            io.answers.regional_warning_pause();
        }
        if (io.answers.try_other_regional_curve()) return true;
        if (!io.answers.truncate_regional_curve()) return false;

        std::vector<int> firsts, lens;
        for (int i = 0; i < data.table.count(); ++i) {
            firsts.push_back(data.table.years[static_cast<std::size_t>(i)].first);
            lens.push_back(data.table.years[static_cast<std::size_t>(i)].length);
        }
        CommonInterval common = comint(firsts, data.table.ids, lens);
        print_notices(console, common.report);
        fit.truncation_age = io.answers.truncation_age(curve.ages - curve.min_offset);
    }
}

}  // namespace kestrovan
