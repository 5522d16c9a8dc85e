#pragma once
// Censoring: keeping whole series by minimum segment length, by maximum or minimum start year,
// or over a common period (which also cuts every kept series to that period). Each operation
// changes the table in place, keeps the input order of the kept series, prints the new summary
// line on the console and returns the new series count.
//
// When no series passes the test, the table is left exactly as it was and 0 is returned (the
// start-year forms also set `year` to 0): a run never goes on with an empty table.
#include "console/console.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

// Keeps the series with at least `min_length` values.
int cenbyseg(SeriesTable& table, int min_length, Console& console);
// Keeps the series that start in or before `year`.
int cenbyify(SeriesTable& table, int& year, Console& console);
// Keeps the series that start in or after `year`.
int cenayify(SeriesTable& table, int& year, Console& console);
// Keeps the series that cover start..end and cuts each to exactly that period
// (end >= start is the caller's check).
int cenbycom(SeriesTable& table, int start, int end, Console& console);

}  // namespace kestrovan
