#include "run/program.hpp"

#include <exception>

#include "console/console.hpp"
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

    RunParameters params;
    dialogue_before_selection(console, run.files, params);
    const SelectionOutcome selection = select_series(console, run.files, run.table);
    const int median_length = selection.latest.median();
    dialogue_after_selection(console, run.files, run.table, params, median_length);

    // The selected raw copy: every attempt starts again from these values.
    const SeriesTable raw = run.table;
    PlotSettings plots{options.plots, options.device, "", options.interactive};
    if (params.power_transform != 0) plots.measurement_label = "Transformed width";
    auto plotter = make_plotter(plots, console);
    SigfreeRunner engine;
    EngineResults results;
    run_attempts(console, run.files, raw, params, *plotter, engine, results, median_length);

    write_final_output(console, run.files, params, final_chronologies(results), *plotter);
    normal_termination(console);
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
    } catch (const std::exception& e) {
        // Nothing should get here; if it does, the run still ends cleanly with its report closed.
        console.line(std::string("Fatal error: ") + e.what(), 2);
        status = 1;
    }
    run.files.report.close();
    console.flush();
    return status;
}

}  // namespace kestrovan
