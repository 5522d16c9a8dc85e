#pragma once
// The option dialogue that fills the Run parameters: index method and power transform before the
// series are selected; curve fit, mean method, running-RBAR window, additional stabilization,
// convergence criterion and convergence tweaks after it; and the Regional-curve re-selection menu
// that the run loop enters when the user asks for another RCS curve.
#include "console/console.hpp"
#include "io/run_files.hpp"
#include "io/series_table.hpp"
#include "run/run_options.hpp"

namespace kestrovan {

// Questions 1 (ratios or residuals) and 2 (power transform, residuals only).
void dialogue_before_selection(Console& console, RunFiles& files, RunOptions& params);

// Questions 3 to 8. `median_segment_length` is the MED value of the latest segment-length
// statistics (curve option 9). For RCS the pith-offset dialogue runs for the current table.
void dialogue_after_selection(Console& console, RunFiles& files, const SeriesTable& table,
                              RunOptions& params, int median_segment_length);

// The RCS re-selection menu: sets a new regional curve option (with its alpha, window or
// stiffness). An unreadable answer ("x") goes back to question 3 and runs questions 3 to 8 again.
void rcs_reselection(Console& console, RunFiles& files, const SeriesTable& table,
                     RunOptions& params, int median_segment_length);

}  // namespace kestrovan
