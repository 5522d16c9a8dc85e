#include "run/program.hpp"

#include <exception>
#include <filesystem>
#include <functional>
#include <sstream>

#include "console/console.hpp"
#include "console/report.hpp"
#include "console/run_answers.hpp"
#include "engine/sigfree.hpp"
#include "plot/plot_device.hpp"
#include "plot/plotter.hpp"
#include "run/dialogue.hpp"
#include "run/final_output.hpp"
#include "run/recorder.hpp"
#include "run/run_file.hpp"
#include "run/run_loop.hpp"
#include "run/run_session.hpp"
#include "run/run_start.hpp"
#include "run/summary.hpp"
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

// What the engine attempts gave, for the run summary.
void summarize_attempts(const AttemptsSummary& a, const EngineResults& r, const RunOptions& params,
                        RunSummary& s) {
    s.attempts = a.attempts;
    s.constant_counter = a.last.constant_counter;
    s.constant = a.last.constant;
    s.iterations = r.iterations;
    s.convergence = r.convergence;
    s.outcome = a.outcome == AttemptOutcome::GaveUp ? "gave up"
                : r.converged                       ? "converged"
                                                    : "iteration limit";
    if (params.rbar_window > 0) {
        s.standard_rbar = summarize_rbar(r.standard_rbar, r.first_year, r.sample_size);
        s.signal_free_rbar = summarize_rbar(r.signal_free_rbar, r.first_year, r.sample_size);
    }
}

// What one run works with: its start (console, files, table), its options, where its answers
// come from, how it plots, and what it records for its summary.
struct Run {
    RunStart& start;
    RunOptions& params;
    DialogueAnswers& dialogue;
    RunAnswers& answers;
    PlotSettings plots;
    bool greet;  // the banner and the gap warning (the dialogue)
    RunSummary& summary;
};

// One whole run: start, dialogue, selection, engine attempts, final files.
void run_whole_program(Run& r) {
    Console& console = r.start.console;
    RunFiles& files = r.start.files;
    set_plplot_lib();
    run_start(r.start, r.dialogue, r.greet);
    r.summary.as_read = figures_of(r.start.table);

    dialogue_before_selection(r.dialogue, console, files, r.params);
    const SelectionOutcome selection =
        select_series(r.dialogue, console, files, r.start.table, r.summary.plan.save_selection);
    r.summary.selected = figures_of(r.start.table);
    const int median_length = selection.latest.median();
    dialogue_after_selection(r.dialogue, console, files, r.start.table, r.params, median_length);

    // The selected raw copy: every attempt starts again from these values.
    const SeriesTable raw = r.start.table;
    if (r.params.power_transform) r.plots.measurement_label = "Transformed width";
    auto plotter = make_plotter(r.plots, console);
    ProgramAttemptSteps steps({console, files, *plotter, r.dialogue, r.answers}, median_length);
    RunIo io{files, console, *plotter, r.answers};
    EngineResults results;
    const AttemptsSummary attempts = run_attempts(raw, r.params, io, results, steps);
    summarize_attempts(attempts, results, r.params, r.summary);

    write_final_output(console, files, r.params, final_chronologies(results), *plotter);
    files.finished = true;
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
    if (!stop)
        how = "THE RUN ENDED ON A FATAL ERROR: " + fatal;
    else if (stop->kind() == StopKind::Normal)
        how = "THE RUN WAS STOPPED BY THE USER.";
    else if (stop->kind() == StopKind::EndOfInput)
        how = "THE RUN STOPPED: THE INPUT ENDED AT A QUESTION.";
    else
        how = std::string("THE RUN STOPPED ABNORMALLY") +
              (*stop->what() ? std::string(": ") + stop->what() : ".");
    try {
        Report& r = files.report;
        r.blank_line();
        r.line(how, 2);
        const auto written = files.files_written();
        r.line(
            written.empty() ? "IT WROTE NO FILE BESIDE THIS REPORT." : "FILES IT WROTE BESIDE THIS REPORT:",
            2);
        for (const std::string& f : written) r.line(f, 4);
    } catch (const ProgramStop&) {
        // The report cannot take these lines (a full disk): what it holds stays as written.
    }
}

// Runs `body` and ends the run on every path: the stop's message, the end of the report of a
// run that stopped, and the summary's outcome. Returns the exit status.
int guarded(RunStart& run, RunSummary& summary, const std::function<void()>& body) {
    Console& console = run.console;
    int status = 0;
    try {
        body();
    } catch (const ProgramStop& stop) {
        if (stop.what() && *stop.what()) console.line(stop.what(), 2);
        status = stop.exit_code();
        record_stop(run.files, &stop, {});
        if (!run.files.finished) {
            summary.outcome = "stopped";
            if (stop.kind() == StopKind::Normal)
                summary.message = "stopped by the user";
            else if (stop.kind() == StopKind::EndOfInput)
                summary.message = "the input ended at a question";
            else
                summary.message = *stop.what()             ? stop.what()
                                  : !stop.reason().empty() ? stop.reason()
                                                           : console.last_line();
        }
    } catch (const std::exception& e) {
        // Nothing should get here; if it does, the run still ends cleanly with its report closed.
        console.line(std::string("Fatal error: ") + e.what(), 2);
        status = 1;
        record_stop(run.files, nullptr, e.what());
        summary.outcome = "stopped";
        summary.message = std::string("Fatal error: ") + e.what();
    }
    return status;
}

// The summary of a run that read its data (its report is open); a failure to write it makes the
// run fail.
int end_with_summary(RunStart& run, const RunSummary& summary, int status) {
    if (!run.files.report.is_open()) return status;
    try {
        write_summary(summary, run.files);
    } catch (const ProgramStop& stop) {
        run.console.line(stop.what(), 2);
        return 1;
    }
    return status;
}

void write_record(const std::string& path, const RunPlan& plan, Console& console) {
    std::string dir, own;
    split_path(path, dir, own);
    std::ofstream out = create_output_file(path);
    out << run_file_text(plan, dir);
    out.flush();
    check_written(out, path);
    console.line("Run file of this session written: " + path, 2);
}

}  // namespace

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options) {
    Console console(in, out);
    console.set_echo(options.echo_answers);
    RunStart run(console);
    RunOptions params;
    SessionRecorder recorder(console, params);
    RunSummary summary;
    Run r{run,
          params,
          recorder,
          recorder,
          PlotSettings{options.plots, options.device, "", options.interactive},
          true,
          summary};
    int status = guarded(run, summary, [&] { run_whole_program(r); });
    summary.plan = recorder.plan();
    // A run file draws on a file device only: the screen's plots are recorded as off.
    summary.plan.plots = options.plots && is_file_device(options.device) ? options.device : "off";
    status = end_with_summary(run, summary, status);
    if (!options.record.empty() && run.files.finished) {
        try {
            write_record(options.record, summary.plan, console);
        } catch (const ProgramStop& stop) {
            console.line(stop.what(), 2);
            status = 1;
        }
    }
    run.files.report.close();
    console.flush();
    return status;
}

namespace {

// The status file of a batch site: the summary, or the outcome of a run that never read its data.
void write_status(const std::string& path, const std::string& json) {
    if (path.empty()) return;
    std::ofstream out(path, std::ios::trunc);
    out << json;
}

}  // namespace

int run_from_file(const RunFileOptions& options, std::ostream& out, std::ostream& err) {
    RunSummary summary;
    try {
        summary.plan = read_run_file({options.run_file, options.data, true});
    } catch (const RunFileError& e) {
        err << "kestrovan: " << e.what() << "\n";
        write_status(options.status_file, stopped_json(e.what()));
        return 1;
    }
    std::istringstream no_input;
    Console console(no_input, out);
    console.set_unattended(true);
    RunStart run(console);
    run.files.output_dir = options.out_dir;
    RunOptions params;
    RunFileSession session(summary.plan, params);
    const bool plots = summary.plan.plots != "off";
    Run r{run,
          params,
          session,
          session,
          PlotSettings{plots, plots ? summary.plan.plots : "", options.out_dir, false},
          false,
          summary};
    int status = guarded(run, summary, [&] { run_whole_program(r); });
    const bool data_read = run.files.report.is_open();
    status = end_with_summary(run, summary, status);
    run.files.report.close();
    console.flush();
    write_status(options.status_file,
                 data_read ? summary_json(summary, run.files) : stopped_json(summary.message));
    if (status != 0) err << "kestrovan: " << summary.plan.data << ": " << summary.message << "\n";
    return status;
}

}  // namespace kestrovan
