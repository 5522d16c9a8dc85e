#pragma once
// Adaptive power transform: per series, a power chosen from the regression of log spread
// (year-to-year change) on log level, applied and mapped back onto the series' own range.
#include <span>
#include <vector>

#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

class Plotter;  // src/plot/plotter.hpp

// Transforms every series of `values` (positions × series, series i from position 0 to
// years[i].last − years[i].first) in place and returns the mean power over all series.
//   first_attempt_flag  0 on the first run attempt: only then the scatter plot is drawn
//   powers              optional: receives the power of each series
// A series with fewer than two usable (level, spread) pairs, or whose transformed values are
// all equal, stays untransformed with power 1. Every transformed series keeps exactly its
// untransformed minimum and maximum and the order of its rings: under the log (power 0) a ring
// of 0 or below becomes ln(min(0.05, the smallest positive ring)), positive rings ln v.
float slpt1(YearMatrix& values, std::span<const YearSpan> years, int first_attempt_flag, Plotter& plotter,
            std::vector<float>* powers = nullptr);

}  // namespace kestrovan
