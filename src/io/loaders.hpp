#pragma once
// Loading a data file into the Series table in the dialogue: the input-format menu (loaddat), the
// multiple-column questions (rdmcol), the help menu with its examples (dathlp) and the file
// viewer (snoop), and the printing of what a read had to say. The readers themselves never talk
// (io/formats.hpp, io/column_readers.hpp): loaders.cpp prints their notes (read_data, loaddat);
// the format menu and its questions are in format_menu.cpp, the help in format_help.cpp, the
// viewer in file_viewer.cpp.
#include <array>
#include <istream>
#include <string>

#include "io/column_readers.hpp"
#include "io/formats.hpp"
#include "io/series_input.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

class Console;

// Prints what a read noted, in order: each line at its column, each pause as a wait for RETURN.
void print_load_notes(Console& console, const LoadNotes& notes);

// The format menu (with its help) and the questions of the chosen kind: header lines for the
// column kinds, the number of columns and the sentinel for multiple columns (a number of
// columns beyond the table's limit is not followed by the sentinel question: the read refuses
// it). Q or "/" at the menu stops the program (the user's choice, no message); H or ? shows the
// help; other answers are refused with a reason and the menu comes again.
LoadSettings ask_load_settings(Console& console, std::istream& file);

// read_series_file (io/formats.hpp) with its notes printed on the console: "Input data read
// successfully", or the messages naming the line and the pause of a read that failed. With
// FileKind::Recognised the kind found is said first. `notes`, when given, receives the notes
// (the kind found and the names given to series whose names do not fit 8 characters among them).
// When the stream throws part way, what the read had noted is printed before the exception goes on.
bool read_data(Console& console, std::istream& file, const LoadSettings& settings, SeriesTable& table,
               std::array<std::string, 3>& header, LoadNotes* notes = nullptr);

// The loading dialogue: ask_load_settings, then read_data. `chosen` receives the settings.
bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header,
             LoadSettings* chosen = nullptr);

// Multiple columns: asks for the number of columns and the sentinel (the sentinel question is left
// out when the columns would hold more than kMaxSeries series), then reads a naming line and one
// line per year (detail::read_columns) and prints its notes. Values that are not finite or are
// 100 mm or more are refused. True when read; false after its message naming the line.
bool rdmcol(Console& console, std::istream& file, SeriesTable& table, int lines_before = 0);

// The help menu: an example of each file kind, and paging through the data file. Returns when
// the user enters 0; the file is left at its start if it was paged.
void dathlp(Console& console, std::istream& file);

// Pages through the data file five lines at a time, each shown with its line number; leaves it
// rewound to its start. "/" at its questions stops the program.
void snoop(Console& console, std::istream& file);

}  // namespace kestrovan
