#pragma once
// Batch runs: the analysis of one run file on many data files (kestrovan batch FILE.toml
// DATA...). Each site runs in a process of its own (the program itself, "kestrovan run"), with
// one thread unless KESTROVAN_THREADS says otherwise, so that a failure in one site cannot stop
// or corrupt another and N jobs do not oversubscribe the cores. The batch writes one row per
// site to batch_summary.csv.
#include <ostream>
#include <string>
#include <vector>

namespace kestrovan {

struct BatchOptions {
    std::string run_file;
    std::vector<std::string> data;  // the data files, in the order of the rows
    int jobs = 0;                   // sites at a time (0: the number of cores)
    std::string out_dir;            // "" = every site writes beside its data file
    std::string program;            // the program to start for each site
    double site_timeout = 0.0;      // seconds a site may run before it is stopped (0 = no limit)
};

// One row of batch_summary.csv.
struct BatchRow {
    std::string file;
    std::string series, first_year, last_year, span, mean_segment_length;  // "" where unknown
    std::string outcome;  // "converged", "iteration limit", "gave up" or "stopped: why"
    std::string iterations, constant, mean_rbar, first_year_eps;
    double seconds = 0.0;
    std::string output_dir;  // where the site wrote its files
    // The signal strength of the signal-free indices over all years ("" where undefined).
    std::string n_trees, n_cores, rbar_tot, rbar_eff, eps, snr, eps_085_from;
    std::string site_code, site_name, species;  // from the data file's header lines ("" unknown)
    // The crossdating checks: the series intercorrelation, the segments flagged A or B and the
    // series with a flag ("" when the checks were off or the run stopped before them).
    std::string series_intercorrelation, flagged_segments, flagged_series;
    bool completed = false;
};

// The row of a site from its status (the run summary JSON, or the outcome of a run that never
// read its data); `status_json` empty when the process left none (it was killed).
BatchRow batch_row(const std::string& file, const std::string& status_json,
                   const std::string& fallback_message);

// The CSV text of the rows, with its header line.
std::string batch_csv(const std::vector<BatchRow>& rows);

// Runs the batch; progress on `err` when it is a terminal. Returns 0 when every site completed,
// 1 otherwise (a refused run file or command: message on `err`, nothing run). A stop signal
// (SIGINT, SIGTERM; see console/signals.hpp) is passed on to the running sites; the batch waits
// for them and writes its summary, each site that did not complete as "stopped: signal".
int run_batch(const BatchOptions& options, std::ostream& err);

}  // namespace kestrovan
