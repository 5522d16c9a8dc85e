#pragma once
// What the running-RBAR and variance-stabilization step of a pass works on and returns. The engine
// asks for the step through its observer; the run layer runs it (run/stabilization.hpp) with its
// file, its plots and the questions that accept a stabilization.
#include <span>
#include <string>
#include <vector>

#include "diag/rbar.hpp"
#include "model/workers.hpp"

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
    int threads = kThreadsFromEnvironment;  // for the running RBAR (the results do not depend on it)
    float eps_threshold = 0.85f;             // the EPS plots' reference line
};

// The step's result: the accepted stabilized chronology, and the stabilization option it was made
// with, which the acceptance loop may have changed (the caller keeps it for the rest of the run).
struct StabilizedChronology {
    std::vector<float> values;
    int option = 0;
};

}  // namespace kestrovan
