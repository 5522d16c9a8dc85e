#pragma once
// Truncation of every series before a minimum start year or after a maximum end year.
#include "console/console.hpp"
#include "console/report.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

// Fewest values a series may keep after a truncation.
inline constexpr int kMinTruncatedLength = 20;

// Cuts every series that starts before `year` so that it starts in `year`. When any series would
// keep fewer than 20 values, lists every such series, prints the advice and stops the program
// (table unchanged). Otherwise writes the report echo line and updates the summary slot.
void truncate_before(SeriesTable& table, int year, Console& console, Report& report);

// Mirror image: cuts every series that ends after `year` so that it ends in `year`.
void truncate_after(SeriesTable& table, int year, Console& console, Report& report);

}  // namespace kestrovan
