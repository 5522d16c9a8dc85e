#include "run/program.hpp"

#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <utility>
#include <vector>

#include "console/console.hpp"
#include "console/numeric_stop.hpp"
#include "console/report.hpp"
#include "console/run_answers.hpp"
#include "engine/sigfree.hpp"
#include "plot/plot_device.hpp"
#include "plot/plotter.hpp"
#include "run/crossdating_output.hpp"
#include "run/run_observer.hpp"
#include "run/dialogue.hpp"
#include "run/final_output.hpp"
#include "run/recorder.hpp"
#include "run/run_file.hpp"
#include "run/run_loop.hpp"
#include "run/run_session.hpp"
#include "run/run_start.hpp"
#include "run/series_csv.hpp"
#include "run/statistics_output.hpp"
#include "run/summary.hpp"
#include "select/selection.hpp"

namespace kestrovan {

namespace {

FinalChronologies final_chronologies(const EngineResults& r, const ResidualChronologies& residuals,
                                     const RunStatistics& signal, const StatisticsSettings& settings) {
    FinalChronologies c;
    c.first_year = r.first_year;
    c.sample_size = r.sample_size;
    c.first = r.standard;
    c.first_sd = r.standard_scale;
    c.second = r.signal_free;
    c.second_sd = r.signal_free_scale;
    c.first_stb = r.stabilized_standard;
    c.second_stb = r.stabilized_signal_free;
    c.first_res = residuals.standard.residual;
    c.second_res = residuals.signal_free.residual;
    c.first_arm = residuals.standard.with_model;
    c.second_arm = residuals.signal_free.with_model;
    c.first_res_size = residuals.standard.sample_size;
    c.second_res_size = residuals.signal_free.sample_size;
    c.first_eps = signal.standard.eps_by_year;
    c.second_eps = signal.signal_free.eps_by_year;
    c.first_sss = signal.standard.sss_by_year;
    c.second_sss = signal.signal_free.sss_by_year;
    c.cut = crn_cut(settings, signal);
    return c;
}

// What the engine attempts gave, for the run summary.
void summarize_attempts(const AttemptsSummary& a, const EngineResults& r, const RunOptions& params,
                        RunSummary& s) {
    const PublishedIterate& p = r.published;
    s.attempts = a.attempts;
    s.constant_counter = p.attempt - 1;
    s.constant = p.constant;
    s.iterations = r.iterations;
    s.convergence = r.convergence;
    s.outcome = p.outcome();
    s.message = p.message();
    s.published = PublishedFigures{p.attempt,   p.constant,    p.iteration,  p.criterion,
                                   p.statistic, p.change_mean, p.change_max, p.near_zero_years};
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
    AnswerSource& answers;  // every answer of the run
    PlotSettings plots;
    bool greet;  // the banner and the gap warning (the dialogue)
    RunSummary& summary;
    StatisticsSettings statistics;
    std::function<RunPlan()> settings;  // the run file of the choices made so far (--record's)
    CrossdatingSettings crossdating;    // the crossdating checks of the selected series
};

// After the dialogue's echo lines and the engine's: every option of the run, as the run file
// that --record writes for it, so that the report names what the echo lines leave out (stiffness, pith file,
// RBAR window, criterion, curve names). The data file is named as in its own directory, so that
// the block reads the same wherever the run writes its files.
void report_run_settings(Report& report, const RunPlan& plan) {
    std::string dir, own;
    split_path(plan.data, dir, own);
    report.blank_line();
    report.line("RUN SETTINGS");
    std::istringstream text(run_file_text(plan, dir));
    for (std::string line; std::getline(text, line);) report.line(line);
}

// One whole run: start, dialogue, selection, engine attempts, final files.
void run_whole_program(Run& r) {
    Console& console = r.start.console;
    OutputFiles& files = r.start.files;
    set_plplot_lib();
    run_start(r.start, r.answers, r.greet);
    r.summary.site = r.start.site;
    r.summary.as_read = figures_of(r.start.table);
    r.summary.filled_rings = r.start.gaps.filled;

    dialogue_before_selection(r.answers, console, files, r.params);
    const SelectionOutcome selection =
        select_series(r.answers, console, files, r.start.table, r.summary.plan.save_selection);
    r.summary.selected = figures_of(r.start.table);
    const int median_length = selection.latest.median();
    dialogue_after_selection(r.answers, console, files, r.start.table, r.params, median_length);

    // The selected raw copy: every attempt starts again from these values.
    const SeriesTable raw = r.start.table;
    // The dating of the series is checked before any curve is fitted to them.
    r.summary.crossdating = run_crossdating(console, files, raw, r.crossdating);
    if (r.params.power_transform) r.plots.measurement_label = "Transformed width";
    auto plotter = make_plotter(r.plots, console);
    // The spans of the series analysed, with their pith offsets where a pith file gave them.
    if (plotter->enabled())
        plotter->segment_plot({.ids = r.start.table.ids,
                               .years = r.start.table.years,
                               .pith_offsets = r.params.pith_present
                                                   ? std::span<const int>(r.params.pith_offsets)
                                                   : std::span<const int>()});
    if (r.summary.crossdating) draw_crossdating(*plotter, *r.summary.crossdating);
    ProgramAttemptSteps steps({console, files, *plotter, r.answers}, median_length);
    RunIo io{files, console, *plotter, r.answers};
    RunObserver observer(io, r.statistics);
    EngineResults results;
    const AttemptsSummary attempts = run_attempts(raw, r.params, observer, results, steps);
    summarize_attempts(attempts, results, r.params, r.summary);
    // Once the attempts are over, so that the choices made during them (a truncated or another
    // Regional curve, tree-ring plots, another stabilization) are named too.
    report_run_settings(files.report, r.settings());

    const ResidualChronologies residuals = residual_chronologies(results, r.params);
    const StatisticsInput statistics{r.params, raw, results, residuals, r.statistics};
    RunStatistics signal = chronology_signal(statistics);
    write_final_output(console, files, r.params, final_chronologies(results, residuals, signal, r.statistics), *plotter);
    write_statistics(console, files, statistics, signal);
    r.summary.statistics = std::move(signal);
    write_series_csv(files, r.params, raw, results, r.statistics);
    // How the signal-free chronology was reached, said last.
    const std::string outcome = "Signal-free chronology " + results.published.message();
    console.blank_line();
    console.line(outcome, 2);
    files.report.blank_line();
    files.report.line(upper_case(outcome), 2);
    files.finished = true;
    normal_termination(console);
}

// The end of the report of a run that did not reach its normal termination: how it stopped and
// which files it wrote, so that nobody takes its files for those of a complete run. A report
// still held (the run stopped before its data were read) is dropped: the files on disk are
// then those of an earlier run, untouched.
void record_stop(OutputFiles& files, const ProgramStop* stop, const std::string& fatal) {
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
// run that stopped, and the summary's outcome. Returns the exit status. A failure of the
// numerical code becomes a stop here: its lines are printed after everything the run printed
// before it, as the numerics would have printed them, and the run stops abnormally.
int guarded(RunStart& run, RunSummary& summary, const std::function<void()>& body) {
    Console& console = run.console;
    int status = 0;
    try {
        try {
            body();
        } catch (const NumericFailure& failure) {
            stop_on_failure(console, failure);
        }
    } catch (const ProgramStop& stop) {
        console.set_stop_on_signal(false);  // the run is ending already: a signal now changes nothing
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
        console.set_stop_on_signal(false);
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

// True when `a` and `b` name the same file (for names that exist, also through links).
bool same_file(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec)) return true;
    const auto ca = fs::weakly_canonical(a, ec);
    if (ec) return false;
    const auto cb = fs::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

// Why the session's run file cannot go to `path` at its end ("" when it can): the data file, the
// pith file and every file the session wrote (report, results, summary) are never replaced by
// it, nor is any other file that is not a run file of this program.
std::string session_record_refusal(const std::string& path, const RunPlan& plan, const OutputFiles& files) {
    std::vector<std::pair<std::string, std::string>> own = {{files.data_name, "the data file"}};
    if (!plan.pith.empty()) own.emplace_back(plan.pith, "the pith-offset file");
    own.emplace_back(files.report_name(), "the report");
    own.emplace_back(files.summary_name(), "the run summary");
    if (!files.saved_selection.empty()) own.emplace_back(files.saved_selection, "the saved selection");
    for (const std::string& f : files.files_written()) own.emplace_back(f, "a result file");
    for (const auto& [name, what] : own)
        if (!name.empty() && same_file(path, name))
            return "it is " + what + " of this session (" + name + ")";
    return record_target_refusal(path);
}

void write_record(const std::string& path, const RunPlan& plan, const OutputFiles& files, Console& console) {
    if (const std::string why = session_record_refusal(path, plan, files); !why.empty())
        throw ProgramStop(StopKind::Abnormal,
                          "The run file of this session was not written to " + path + ": " + why + ".");
    std::string dir, own;
    split_path(path, dir, own);
    StagedOutputFile out(path);
    out.stream() << run_file_text(plan, dir);
    out.commit();
    console.line("Run file of this session written: " + path, 2);
}

}  // namespace

std::string record_target_refusal(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status)) return {};
    if (!fs::is_regular_file(status)) return "it exists and is not a file";
    std::ifstream in(path, std::ios::binary);
    std::string first;
    std::getline(in, first);
    if (first.rfind(kRunFileFirstLine, 0) == 0) return {};
    return "the file exists and is not a run file written by Kestrovan";
}

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options) {
    Console console(in, out);
    console.set_echo(options.echo_answers);
    console.set_stop_on_signal(true);
    RunStart run(console);
    run.fill_gaps = options.fill_gaps;
    RunOptions params;
    ConsoleDialogue at_console(console);
    SessionRecorder recorder(at_console, params);
    RunSummary summary;
    Run r{run,
          params,
          recorder,
          PlotSettings{.enabled = options.plots,
                       .device = options.device,
                       .directory = "",
                       .interactive = options.interactive,
                       .size = options.plot_size},
          true,
          summary,
          options.statistics,
          [&] {
              RunPlan plan = recorder.plan();
              plan.fill_gaps = options.fill_gaps;
              plan.statistics = options.statistics;
              // A run file draws on a file device only: the screen's plots are recorded as off.
              plan.plots = options.plots && run_file_device(options.device) ? options.device : "off";
              if (plan.plots != "off") plan.plot_size = options.plot_size;
              return plan;
          },
          CrossdatingSettings{}};
    int status = guarded(run, summary, [&] { run_whole_program(r); });
    summary.plan = r.settings();
    status = end_with_summary(run, summary, status);
    if (!options.record.empty() && run.files.finished) {
        try {
            write_record(options.record, summary.plan, run.files, console);
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
    console.set_stop_on_signal(true);
    RunStart run(console);
    run.fill_gaps = summary.plan.fill_gaps;
    run.files.output_dir = options.out_dir;
    RunOptions params;
    RunFileSession session(summary.plan, params);
    const bool plots = summary.plan.plots != "off";
    Run r{run,
          params,
          session,
          PlotSettings{.enabled = plots,
                       .device = plots ? summary.plan.plots : "",
                       .directory = options.out_dir,
                       .interactive = false,
                       .size = summary.plan.plot_size},
          false,
          summary,
          summary.plan.statistics,
          [&] { return summary.plan; },
          summary.plan.crossdating};
    int status = guarded(run, summary, [&] { run_whole_program(r); });
    const bool data_read = run.files.report.is_open();
    status = end_with_summary(run, summary, status);
    run.files.report.close();
    console.flush();
    write_status(options.status_file,
                 data_read ? summary_json(summary, run.files) : stopped_json(summary.message));
    if (status != 0) err << "kestrovan: " << one_line(summary.plan.data + ": " + summary.message) << "\n";
    return status;
}

}  // namespace kestrovan
