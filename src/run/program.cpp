#include "run/program.hpp"

#include <exception>

#include "console/console.hpp"
#include "console/run_answers.hpp"
#include "engine/sigfree.hpp"
#include "plot/plotter.hpp"
#include "run/dialogue.hpp"
#include "run/final_output.hpp"
#include "run/run_loop.hpp"
#include "run/run_start.hpp"
#include "select/selection.hpp"

namespace kestrovan {

namespace {

FinalChronologies final_chronologies(const EngineResults& r) {
    FinalChronologies c;
    c.first_year = r.first_year;
    c.sample_size = r.sample_size;
    c.first = r.standard;
    c.first_sd = r.standard_scale;
    c.second = r.signal_free;
    c.second_sd = r.signal_free_scale;
    c.first_stb = r.stabilized_standard;
    c.second_stb = r.stabilized_signal_free;
    return c;
}

// One whole run: start, dialogue, selection, engine attempts, final files.
void run_whole_program(RunStart& run, const ProgramOptions& options) {
    Console& console = run.console;
    set_plplot_lib();
    run_start(run);

    RunOptions params;
    dialogue_before_selection(console, run.files, params);
    const SelectionOutcome selection = select_series(console, run.files, run.table);
    const int median_length = selection.latest.median();
    dialogue_after_selection(console, run.files, run.table, params, median_length);

    // The selected raw copy: every attempt starts again from these values.
    const SeriesTable raw = run.table;
    PlotSettings plots{options.plots, options.device, "", options.interactive};
    if (params.power_transform) plots.measurement_label = "Transformed width";
    auto plotter = make_plotter(plots, console);
    ProgramAttemptSteps steps(console, run.files, *plotter, median_length);
    ConsoleAnswers answers(console);
    RunIo io{run.files, console, *plotter, answers};
    EngineResults results;
    run_attempts(raw, params, io, results, steps);

    write_final_output(console, run.files, params, final_chronologies(results), *plotter);
    run.files.finished = true;
    normal_termination(console);
}

// The end of the report of a run that did not reach its normal termination: how it stopped and
// which files it wrote, so that nobody takes its files for those of a complete run. A report
// still held (the run stopped before its data were read) is dropped: the files on disk are
// then those of an earlier run, untouched.
void record_stop(RunFiles& files, const ProgramStop* stop, const std::string& fatal) {
    if (files.finished) return;
    if (files.report.is_held()) {
        files.report.discard();
        return;
    }
    if (!files.report.is_open()) return;
    std::string how;
    if (!stop) how = "THE RUN ENDED ON A FATAL ERROR: " + fatal;
    else if (stop->kind() == StopKind::Normal) how = "THE RUN WAS STOPPED BY THE USER.";
    else if (stop->kind() == StopKind::EndOfInput) how = "THE RUN STOPPED: THE INPUT ENDED AT A QUESTION.";
    else how = std::string("THE RUN STOPPED ABNORMALLY") + (*stop->what() ? std::string(": ") + stop->what() : ".");
    try {
        Report& r = files.report;
        r.blank_line();
        r.line(how, 2);
        const auto written = files.files_written();
        r.line(written.empty() ? "IT WROTE NO FILE BESIDE THIS REPORT." : "FILES IT WROTE BESIDE THIS REPORT:", 2);
        for (const std::string& f : written) r.line(f, 4);
    } catch (const ProgramStop&) {
        // The report cannot take these lines (a full disk): what it holds stays as written.
    }
}

}  // namespace

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options) {
    Console console(in, out);
    console.set_echo(options.echo_answers);
    RunStart run(console);
    int status = 0;
    try {
        run_whole_program(run, options);
    } catch (const ProgramStop& stop) {
        if (stop.what() && *stop.what()) console.line(stop.what(), 2);
        status = stop.exit_code();
        record_stop(run.files, &stop, {});
    } catch (const std::exception& e) {
        // Nothing should get here; if it does, the run still ends cleanly with its report closed.
        console.line(std::string("Fatal error: ") + e.what(), 2);
        status = 1;
        record_stop(run.files, nullptr, e.what());
    }
    run.files.report.close();
    console.flush();
    return status;
}

}  // namespace kestrovan
