#pragma once
// <base>_series.csv: every ring of every series of the run, one row each, for scripts.
#include "io/output_files.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

struct EngineResults;       // engine/sigfree.hpp
struct RunOptions;          // model/run_options.hpp
struct StatisticsSettings;  // run/statistics_output.hpp

// Writes <base>_series.csv: a header row, then per series (in the order of the run) and ring:
//   Series, Tree, Core  the identifier and its tree and core as the statistics split it (every
//                       series its own tree, no core, without tree identifiers)
//   Year, Age           the calendar year; the age from the pith (pith offset + ring number) when
//                       pith offsets were given
//   Width               the width as read, to six significant digits
//   StdCurve, StdIndex  the first pass's curve and index (of the data as read)
//   SsfCurve, SsfIndex  the same of the published signal-free iterate (the constant of its
//                       attempt taken off the curve)
// Without detrending (curve option 0) the four read Raw and Adj. Empty cells where a value is
// undefined (no pith offsets). Identifiers holding a comma or a quote are quoted.
void write_series_csv(OutputFiles& files, const RunOptions& params, const SeriesTable& raw,
                      const EngineResults& results, const StatisticsSettings& settings);

}  // namespace kestrovan
