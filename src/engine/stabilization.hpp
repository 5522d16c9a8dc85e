#pragma once
// The engine's running-RBAR and variance-stabilization step, run on the first-pass and on the
// final signal-free indices: the running RBAR and its file, the RBAR and EPS plots, the
// constant-sample RBAR version, and the spline stabilization the user accepts.
#include <span>
#include <string>
#include <vector>

#include "diag/rbar.hpp"
#include "io/run_io.hpp"

namespace kestrovan {

// Which chronology the running-RBAR step works on.
enum class RbarPass {
    FirstPass,   // first-pass indices ("_Std_RBAR.txt", or "_Raw_RBAR.txt" for raw indices)
    SignalFree,  // final signal-free indices ("_Ssf_RBAR.txt")
};

// What the running-RBAR and stabilization step works on.
//   raw_indices   the requested curve option is 0 (no detrending): "Raw" titles and file name
//   set           the indices (calendar rows × series) with the years of each series
//   chronology    the chronology of these indices and its series per year; not changed
//   nss1          leading years with sample size 1 (left out of the centring means)
//   plots_on      draw this step's plots and print its means (the caller knows the attempt rules)
struct StabilizationInput {
    RbarPass pass = RbarPass::FirstPass;
    bool raw_indices = false;
    IndexSet set;
    ChronologyView chronology;
    int nss1 = 0;
    bool plots_on = true;
    bool print_rbar_lines = true;  // the "Running RBAR window ..." lines (first attempt only)
};

// The settings of the running-RBAR and stabilization step: the running RBAR window and the spline
// stabilization option to start with (0 none, 1 age-dependent spline, <= -10 percent, >= 10 years).
struct StabilizationSettings {
    int rbar_window = 51;
    int option = 0;
};

// The step's result: the accepted stabilized chronology, and the stabilization option it was made
// with, which the acceptance loop may have changed (the caller keeps it for the rest of the run).
struct StabilizedChronology {
    std::vector<float> values;
    int option = 0;
};

// The engine's running-RBAR and stabilization step:
//   prints the "Perform ... running rbar calculations" line, runs runbar (window
//   settings.rbar_window, windows one year apart), writes the RBAR file beside the data
//   (files.base_name() + suffix), draws the RBAR and EPS plots, takes the constant-sample
//   RBAR version, centres it and the chronology on 1.0 over the years after nss1, runs the
//   spline stage for settings.option with the "Happy with this spline stabilization?"
//   loop (the option menu may choose another option) and returns the accepted stabilized
//   chronology (one value per year, never negative) with the option accepted.
//   io            the files, console and plots; the acceptance loop asks through io.answers
//   tables        optional: receives the RBAR tables
//   threads       threads for the running RBAR (the results do not depend on it)
// Throws ProgramStop on "/" at a question, at end of input, or when the file cannot be written.
StabilizedChronology rbar_stabilization(const StabilizationInput& input,
                                        const StabilizationSettings& settings, RunIo& io,
                                        RbarTables* tables = nullptr, int threads = kThreadsFromEnvironment);

// The RBAR file: header " YEAR     NC   RBAR1    EPS1   NEFF1   RBAR2    EPS2   NEFF2" and one
// line per year (i5,i7,6f8.3). Created or replaced; throws ProgramStop when it cannot be written.
void write_rbar_file(const std::string& path, const RbarTables& tables, int first_year,
                     std::span<const int> sample_size);

}  // namespace kestrovan
