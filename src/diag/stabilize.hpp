#pragma once
// Variance stabilization of a chronology: the running-RBAR step the engine runs on the
// first-pass and on the final signal-free indices, and the optional spline stage that removes
// the remaining slow change of the chronology's spread.
#include <optional>
#include <span>
#include <vector>

#include "console/console.hpp"
#include "curves/growth.hpp"
#include "diag/rbar.hpp"
#include "io/run_files.hpp"
#include "io/run_io.hpp"
#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

class Plotter;  // src/plot/plotter.hpp

// The statistics of `moment` (mean, average deviation, sd, variance, skewness, kurtosis, mean
// sensitivity, first-order autocorrelation) over the years with sample_size > 0, in year order. No such
// year: every output −99.0; one: the mean is that value and the rest −99.0.
Moments moment1(std::span<const float> values, std::span<const int> sample_size);

// Age-dependent spline stabilization. chronology is overwritten with its absolute deviations
// from the centre; fitted receives the spline through them; stabilized the rescaled ratios.
// All spans have one entry per year. Where the fitted spline is 0 or below, a year keeps its
// deviation unscaled.
// Years with sample size 0 keep their chronology value. Spline messages go to the console.
void stabit(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
            std::span<const int> sample_size, Console& console);

// Fixed-wavelength spline stabilization. option: 10 or more = wavelength in years; −10 or less =
// percentage of the number of years, replaced here by the number of years it gives. Years with
// sample size 0 are copied unchanged to stabilized.
// Where the fitted spline is 0 or below, a year keeps its deviation unscaled.
void stabit1(std::span<float> chronology, std::span<float> fitted, std::span<float> stabilized,
             std::span<const int> sample_size, int& option, Console& console);

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

// The figures of a running-RBAR table for a run's summary: the mean RBAR of its valid windows
// and the first year inside a valid window whose EPS (from the running RBAR and the series of the
// year) reaches 0.85. `defined` false when no window was valid.
struct RbarSummary {
    bool defined = false;
    double mean_rbar = 0.0;
    std::optional<int> first_eps_year;
    std::optional<int> eps_085_from;  // the year from which the running EPS stays at or above 0.85
};
RbarSummary summarize_rbar(const RbarTables& tables, int first_year, std::span<const int> sample_size);

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
StabilizedChronology rbar_stabilization(const StabilizationInput& input, const StabilizationSettings& settings,
                                        RunIo& io, RbarTables* tables = nullptr,
                                        int threads = kThreadsFromEnvironment);

}  // namespace kestrovan
