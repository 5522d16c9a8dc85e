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
// held; the matrix is sized to the data; each series' place in the file is recorded) and the
// three 88-character header lines. Every try reads the file from its start, past a UTF-8
// byte-order mark. Returns true when the data were read; false (after its messages and a pause)
// when the read failed: a damaged file, no series at all, a series without values or with years
// outside kEarliestYear..kLatestYear, or more than kMaxSeries series, kMaxYears values in a
// series or a span of kMaxYears years. The messages name the line of the file. Q or "/" at the
// menu stops the program (the user's choice, no message); H or ? shows the help; other answers
// are refused with a reason and the menu comes again.
bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header);

// Single-column blocks: identifier, first year, one value per line. An identifier made of digits
// only is recognised inside a block whose values carry decimal points (with a warning); a value
// that is not finite or is 100 mm or more is refused. True when read (the table holds at least
// one series); false after the message naming the line. `lines_before` is the number of lines
// of the file passed over before `file`'s position (for the line numbers of the messages).
bool rd1col(Console& console, std::istream& file, SeriesTable& table, int lines_before = 0);

// Multiple columns: asks for the number of columns and the sentinel, then reads a naming line
// and one line per year. Values that are not finite or are 100 mm or more are refused. True when
// read; false after its message naming the line.
bool rdmcol(Console& console, std::istream& file, SeriesTable& table, int lines_before = 0);

// The help menu: an example of each file kind, and paging through the data file. Returns when
// the user enters 0; the file is left at its start if it was paged.
void dathlp(Console& console, std::istream& file);

// Pages through the data file five lines at a time, each shown with its line number; leaves it
// rewound to its start. "/" at its questions stops the program.
void snoop(Console& console, std::istream& file);

}  // namespace kestrovan
