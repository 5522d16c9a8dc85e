#pragma once
// The running-RBAR and variance-stabilization step, run on the first-pass and on the final
// signal-free indices: the running RBAR and its file, the RBAR and EPS plots, the constant-sample
// RBAR version, and the spline stabilization the user accepts.
#include <span>
#include <string>

#include "diag/rbar.hpp"
#include "engine/stabilization.hpp"
#include "io/run_io.hpp"

namespace kestrovan {

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
// Throws ProgramStop on "/" at a question, at end of input, or when the file cannot be written.
StabilizedChronology rbar_stabilization(const StabilizationInput& input,
                                        const StabilizationSettings& settings, RunIo& io,
                                        RbarTables* tables = nullptr);

// The RBAR file: header " YEAR     NC   RBAR1    EPS1   NEFF1   RBAR2    EPS2   NEFF2" and one
// line per year (i5,i7,6f8.3). Created or replaced; throws ProgramStop when it cannot be written.
void write_rbar_file(const std::string& path, const RbarTables& tables, int first_year,
                     std::span<const int> sample_size);

}  // namespace kestrovan
