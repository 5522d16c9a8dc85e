#pragma once
// The whole program on a pair of streams, so that tests can run it in-process on a string of
// answers. Returns the exit status: 0 normal termination or a stop the user chose, 1 abnormal
// termination or a fatal error, 2 end of input at a question.
#include <istream>
#include <ostream>
#include <string>

#include "plot/plot_device.hpp"
#include "run/statistics_output.hpp"

namespace kestrovan {

struct ProgramOptions {
    bool plots = true;          // false with --no-plots: every plot and its menu are skipped
    std::string device;         // --device NAME: the screen device ("" = choose automatically)
    PlotSize plot_size;         // --plot-size: the size of file plots (the defaults when not given)
    bool echo_answers = false;  // write each answer back (input from a file, not a terminal)
    // Standard input is a terminal: plot menus and plot pauses read answers. With an answer file
    // they read nothing, so that the same file serves runs with and without plots.
    bool interactive = true;
    std::string record;  // --record FILE: the run file of the session, written at its end
    bool fill_gaps = false;  // --fill-gaps: missing rings inside series are filled, not a stop
    // --tree-id: how identifiers split into trees for the chronology statistics (the dialogue
    // asks nothing about it).
    StatisticsSettings statistics;
};

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options);

// Why --record may not write its run file at `path` ("" when it may): an existing file that is not
// a run file this program wrote (its first line says so), or something that is not a file. The
// dialogue checks it before its first question, and again, with the session's own files, at the
// end.
std::string record_target_refusal(const std::string& path);

// One run described by a run file (kestrovan run FILE.toml): no question is asked and no pause
// waits. The run file is read and checked first: a refused run file gives its message on `err`
// and status 1, and no file is created or touched.
struct RunFileOptions {
    std::string run_file;
    std::string data;     // --data FILE: the data file in place of the run file's
    std::string out_dir;  // --out DIR: the output files go into DIR (created once the data are read)
    // For batch runs: a file that receives the run's summary (or, for a run that stopped before
    // its data were read, its outcome and message) whatever happens.
    std::string status_file;
};
int run_from_file(const RunFileOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kestrovan
