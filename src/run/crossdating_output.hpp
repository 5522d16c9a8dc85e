#pragma once
// The crossdating checks of a run: run on the selected series before any curve is fitted, their
// file <base>_xdate.txt, their summary on the console and in the report, and their JSON for the
// run summary and for `kestrovan check`.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/plots.hpp"
#include "model/series_table.hpp"
#include "xdate/crossdating.hpp"

namespace kestrovan {

// Runs the checks on `table` (the selected series as read), writes <base>_xdate.txt and says
// the summary on the console and in the report. Nothing when the checks are off.
std::optional<CrossdatingReport> run_crossdating(Console& console, OutputFiles& files,
                                                 const SeriesTable& table,
                                                 const CrossdatingSettings& settings);

// Draws the checks: every series' years and its segments coloured by their flags.
void draw_crossdating(Plotter& plotter, const CrossdatingReport& report);

// The `crossdating` object of the run summary and of <base>_xdate.json.
nlohmann::ordered_json crossdating_json(const CrossdatingReport& report);

}  // namespace kestrovan
