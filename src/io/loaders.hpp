#pragma once
// Loading a data file into the Series table: the input-format menu (loaddat) with the Tucson
// ring-width and chronology loaders, the single-column (rd1col) and multiple-column (rdmcol)
// readers, the help menu with its examples (dathlp) and the file viewer (snoop).
#include <array>
#include <istream>
#include <string>

#include "io/series_table.hpp"

namespace kestrovan {

class Console;

// Asks for the kind of file and reads every series of `file` into `table` (replacing what it
// held; the matrix is sized to the data) and the three 88-character header lines. Returns true
// when the data were read; false (after its messages and a pause) when the read failed: a
// damaged file, no series at all, or more than kMaxSeries series, kMaxYears values in a series
// or a span of kMaxYears years. A non-numeric answer to the menu stops the program (the user's
// choice, no message).
bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header);

// Single-column blocks: identifier, first year, one value per line. True when read (the table
// holds at least one series); false after the message naming the series.
bool rd1col(Console& console, std::istream& file, SeriesTable& table);

// Multiple columns: asks for the number of columns and the sentinel, then reads a naming line
// and one line per year. True when read; false after its message.
bool rdmcol(Console& console, std::istream& file, SeriesTable& table);

// The help menu: an example of each file kind, and paging through the data file. Returns when
// the user enters 0; the file is left at its start if it was paged.
void dathlp(Console& console, std::istream& file);

// Pages through the data file five lines at a time; leaves it rewound to its start.
void snoop(Console& console, std::istream& file);

}  // namespace kestrovan
