// Kestrovan: signal-free standardization of tree-ring width series.
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "console/signals.hpp"
#include "io/output_files.hpp"
#include "io/text_fields.hpp"
#include "plot/plot_device.hpp"
#include "run/batch.hpp"
#include "run/check_command.hpp"
#include "run/program.hpp"
#include "select/tree_ids.hpp"

namespace {

const char* const kFooter =
    "Without a subcommand Kestrovan asks its questions on standard input; an answer file can be\n"
    "given with\n"
    "  kestrovan --no-plots < answers.txt\n"
    "When standard input is not a terminal (an answer file), the plots are drawn but their menus\n"
    "and pauses read nothing, so one answer file serves runs with and without plots.\n"
    "An answer starting with / stops the program; at the first question, the data file, an\n"
    "absolute path that names an existing file is taken as that file.\n"
    "\n"
    "Environment:\n"
    "  KESTROVAN_THREADS  threads for the curve fits and the year-by-year means (default: every\n"
    "                     core; a batch gives each site one); the results are the same for every number\n"
    "\n"
    "Exit status: 0 normal termination or a stop you chose (/ or Q); 1 abnormal termination, a\n"
    "fatal error, a refused option, run file or command line, or a batch with a site that did not\n"
    "complete; 2 standard input ended at a question.";

// The path of this program, for the batch's site processes.
std::string own_program(const char* argv0) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(argv0) : self.string();
}

// A name on the command line that starts with "-" and names an existing file: taken for an
// option when it stands before "--". "" when there is none.
std::string file_taken_for_option(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") break;
        std::error_code ec;
        if (a.size() > 1 && a[0] == '-' && std::filesystem::exists(a, ec)) return a;
    }
    return {};
}

// Why a --site-timeout value is refused ("" when it is a number of seconds: finite, above 0).
// The value is quoted shortened (one_line, at most 24 characters), never echoed whole.
std::string site_timeout_problem(const std::string& text) {
    std::string shown = kestrovan::one_line(text.substr(0, 24));
    if (text.size() > 24) shown += "...";
    shown = "\"" + shown + "\"";
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') ++begin;
    double seconds = 0.0;
    const auto [stop, ec] = std::from_chars(begin, end, seconds);
    if (stop != end || begin == end || ec == std::errc::invalid_argument) return shown + " is not a number";
    if (ec == std::errc::result_out_of_range || !std::isfinite(seconds))
        return shown +
               (ec == std::errc::result_out_of_range ? " is out of range" : " is not a finite number");
    if (!(seconds > 0.0)) return shown + " is not more than 0 seconds";
    return {};
}

// The options of the dialogue (no subcommand), bound to `options`.
struct DialogueFlags {
    bool no_plots = false;
    std::string plot_size;
    std::vector<CLI::Option*> given;  // any of them given: the dialogue is meant
};

void add_dialogue_options(CLI::App& app, kestrovan::ProgramOptions& options, DialogueFlags& flags) {
    flags.given.push_back(app.add_flag("--no-plots", flags.no_plots,
                                       "skip every plot and its menu (every question is still asked)"));
    flags.given.push_back(
        app.add_option("--device", options.device,
                       "PLplot device for the plots (for example xcairo, or a file device such as "
                       "pngcairo, svg or svgcairo: each plot then goes to a numbered file, without a menu)")
            ->type_name("NAME"));
    flags.given.push_back(
        app.add_option("--plot-size", flags.plot_size,
                       "size of the plot files: WIDTHxHEIGHT in pixels (default 2400x1800 for PNG) or "
                       "inches at a resolution, such as 8x6in@300 (vector drawings take the inches)")
            ->type_name("SIZE")
            ->check([](const std::string& text) {
                return kestrovan::parse_plot_size(text) ? std::string()
                                                        : std::string(
                                                              "WIDTHxHEIGHT (pixels, 100 to 20000) or "
                                                              "WxHin@DPI, such as 8x6in@300");
            }));
    flags.given.push_back(
        app.add_flag("--fill-gaps", options.fill_gaps,
                     "fill missing rings inside series by linear interpolation (each filled "
                     "ring is listed in the report; missing rings at the ends are cut off)"));
    flags.given.push_back(
        app.add_option("--record", options.record,
                       "write the run file of the session's answers to FILE.toml at its end")
            ->type_name("FILE.toml"));
    flags.given.push_back(
        app.add_option("--tree-id", options.statistics.tree_id,
                       "how identifiers split into site, tree and core for the chronology statistics: "
                       "\"auto\", or S,T (characters of site and of tree; the rest is the core)")
            ->type_name("LAYOUT")
            ->check([](const std::string& text) {
                kestrovan::TreeIdLayout layout;
                return kestrovan::parse_tree_id_layout(text, layout)
                           ? std::string()
                           : std::string("\"auto\" or S,T (for example 3,2)");
            }));
    flags.given.push_back(
        app.add_option("--eps-threshold", options.statistics.eps_threshold,
                       "the EPS (and subsample signal strength) from which a chronology is trusted "
                       "(default 0.85)")
            ->check(CLI::Range(0.01f, 0.999f))
            ->type_name("EPS"));
}

CLI::App* add_run_command(CLI::App& app, kestrovan::RunFileOptions& o) {
    CLI::App* run = app.add_subcommand("run", "one analysis described by a run file (no question is asked)");
    run->add_option("file", o.run_file, "the run file (TOML)")->required()->type_name("FILE.toml");
    run->add_option("--data", o.data, "the data file, in place of the run file's data key")
        ->type_name("FILE");
    run->add_option("--out", o.out_dir, "write the output files (and plot files) into DIR")->type_name("DIR");
    run->add_option("--status-file", o.status_file)->group("");  // for the batch's sites
    return run;
}

CLI::App* add_batch_command(CLI::App& app, kestrovan::BatchOptions& o) {
    CLI::App* batch =
        app.add_subcommand("batch", "the same analysis on many data files, one process per site");
    batch->add_option("file", o.run_file, "the run file (TOML); its data key is not used")
        ->required()
        ->type_name("FILE.toml");
    batch->add_option("data", o.data, "the data files")->required()->type_name("DATA");
    batch->add_option("--jobs", o.jobs, "sites at a time (default: the number of cores)")
        ->check(CLI::Range(1, INT_MAX))
        ->type_name("N");
    batch
        ->add_option("--out", o.out_dir,
                     "each site writes into DIR/<base>/ (when two data files share a base name, "
                     "DIR/<path from their common folder>/); batch_summary.csv in DIR")
        ->type_name("DIR");
    batch
        ->add_option("--site-timeout", o.site_timeout,
                     "stop a site that runs longer than SECONDS (recorded as \"stopped: time limit\"; "
                     "default: no limit)")
        ->check(site_timeout_problem)
        ->type_name("SECONDS");
    return batch;
}

CLI::App* add_check_command(CLI::App& app, kestrovan::CheckOptions& o) {
    CLI::App* check = app.add_subcommand("check", "the crossdating checks of every series of a data file");
    check->add_option("file", o.data, "the data file")->required()->type_name("FILE");
    check->add_option("--format", o.format, "its format, as a run file names it (default: auto)")
        ->type_name("KIND");
    check->add_option("--out", o.out_dir, "write the files into DIR")->type_name("DIR");
    return check;
}

// The dialogue after the command line was read: checks the --record target, then runs.
int run_dialogue(kestrovan::ProgramOptions& options, const DialogueFlags& flags) {
    // The record is written at the end of the session: a directory that is not there is said now.
    std::error_code ec;
    const auto record_dir = std::filesystem::path(options.record).parent_path();
    if (!options.record.empty() && !record_dir.empty() && !std::filesystem::is_directory(record_dir, ec)) {
        std::cerr << "kestrovan: --record " << kestrovan::one_line(options.record) << ": the directory "
                  << kestrovan::one_line(record_dir.string()) << " does not exist\n";
        return 1;
    }
    // Nothing but a run file of this program is ever replaced by the record: the data file, a
    // pith file or a result given by mistake is refused before the first question.
    if (!options.record.empty()) {
        if (const std::string why = kestrovan::record_target_refusal(options.record); !why.empty()) {
            std::cerr << "kestrovan: --record " << kestrovan::one_line(options.record) << ": " << why
                      << "; it is left as it is (give another name)\n";
            return 1;
        }
    }
    options.plots = !flags.no_plots;
    if (!flags.plot_size.empty()) options.plot_size = *kestrovan::parse_plot_size(flags.plot_size);
    // Answers from a file (not a terminal) are echoed, and the plots then ask nothing.
    options.interactive = isatty(STDIN_FILENO) != 0;
    options.echo_answers = !options.interactive;
    return kestrovan::run_program(std::cin, std::cout, options);
}

// A refused command line: its message, or the advice for a file name read as an option.
int refuse_command_line(const CLI::ParseError& e, int argc, char** argv) {
    if (const std::string name = file_taken_for_option(argc, argv); !name.empty()) {
        std::cerr << "kestrovan: " << kestrovan::one_line(name)
                  << ": a file name that starts with \"-\" is read as an option; put -- before the "
                     "file names, or write it as ./"
                  << kestrovan::one_line(name) << "\n";
        return 1;
    }
    std::cerr << "kestrovan: " << e.what() << "\nRun kestrovan --help for the commands and options.\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Kestrovan: signal-free standardization of tree-ring width series", "kestrovan"};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("Kestrovan_Version ") + kestrovan::kVersion);
    kestrovan::ProgramOptions options;
    DialogueFlags flags;
    add_dialogue_options(app, options, flags);
    kestrovan::RunFileOptions run_options;
    CLI::App* run = add_run_command(app, run_options);
    kestrovan::BatchOptions batch_options;
    CLI::App* batch = add_batch_command(app, batch_options);
    kestrovan::CheckOptions check_options;
    CLI::App* check = add_check_command(app, check_options);
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
        std::size_t given = 0;
        for (const CLI::Option* o : flags.given) given += o->count();
        if (given > 0 && app.get_subcommands().size() > 0)
            throw CLI::ValidationError(
                "--no-plots, --device, --plot-size, --record, --tree-id, --eps-threshold and --fill-gaps",
                "belong to the dialogue, not to a subcommand");
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        return refuse_command_line(e, argc, argv);
    }

    // SIGINT and SIGTERM end a run at its next safe point, with its report closed and its
    // partial files removed; a batch passes them on to its sites.
    kestrovan::catch_stop_signals();
    if (run->parsed()) return kestrovan::run_from_file(run_options, std::cout, std::cerr);
    if (check->parsed()) return kestrovan::run_check(check_options, std::cout, std::cerr);
    if (batch->parsed()) {
        batch_options.program = own_program(argv[0]);
        return kestrovan::run_batch(batch_options, std::cerr);
    }
    return run_dialogue(options, flags);
}
