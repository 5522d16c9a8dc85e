#pragma once
// Tables of ring widths as spreadsheets and measuring programs export them: a header row of
// series names after a year column, then one row per year; cells separated by commas,
// semicolons or tabs.
#include <istream>
#include <vector>

#include "io/series_input.hpp"

namespace kestrovan {

// Reads a table into `series` (one per column after the first). The separator is the tab when
// the header row holds one, else the semicolon when it holds one, else the comma; with tabs and
// semicolons a decimal comma is read as a decimal point. Names may be quoted ("..."). Rows must
// carry consecutive years, one row per year; an empty cell, NA or -999 is no value: before a
// series' first value and after its last it pads the column, inside the series it is a missing
// ring (kMissing). Values are in `unit_parts` of a millimetre. Anything else (a row with fewer
// cells than the header, a year out of step, a cell that is not a number, a
// width of 100 mm or more, an empty or repeated name, more columns or rows than the limits) is
// refused with a message naming the line (and column). `lines_before` lines of the file were
// passed over before `file`'s position. False after the refusal (in `notes`). The file is read in
// blocks to its end.
bool read_csv(std::istream& file, int unit_parts, int lines_before, std::vector<InputSeries>& series,
              LoadNotes& notes);

// True when `line` (the first line of a file that holds something) reads as the header row of
// such a table: a separator, and a first cell that names the year column ("year", any case).
bool looks_like_csv_header(std::string_view line);

}  // namespace kestrovan
