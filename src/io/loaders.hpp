#pragma once
// Loading a data file into the Series table: the input-format menu (loaddat) with the Tucson
// ring-width and chronology loaders, the single-column (rd1col) and multiple-column (rdmcol)
// readers, the help menu with its examples (dathlp) and the file viewer (snoop).
// loaders.cpp reads a file by its kind (read_data, recognise_kind, loaddat); the format menu and
// its questions are in format_menu.cpp, the help in format_help.cpp, the viewer in
// file_viewer.cpp, the column readers in column_readers.cpp and the Tucson loading in
// tucson_loader.cpp.
#include <array>
#include <istream>
#include <string>

#include "io/series_input.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

class Console;

// The kinds of data file of the format menu, by their menu numbers.
enum class FileKind {
    RingWidths = 1,       // Tucson ring widths (decade lines)
    Chronologies = 2,     // Tucson chronologies (index decade lines)
    SingleColumn = 3,     // blocks of identifier, first year and one value per line
    MultipleColumns = 4,  // a naming line and one line per year
    Csv = 5,              // a table: header row of names, one row per year (commas, semicolons or tabs)
    Heidelberg = 6,       // HEADER: and DATA: blocks (.fh)
    Compact = 7,          // a header line per series ("=N", "=I", read format, "~") and packed values
    Tridas = 8,           // TRiDaS XML measurement series
    Recognised = 9,       // any of 1, 2 and 5 to 8, recognised from the file's content
};
inline constexpr int kLastFileKind = 9;

// How a data file is read: what the format menu and the column questions answer.
struct LoadSettings {
    FileKind kind = FileKind::RingWidths;
    int header_lines = 0;  // lines passed over before a column file's data (single or multiple columns)
    int columns = 0;       // multiple columns: the number of columns, years included
    std::string sentinel;  // multiple columns: the padding text as typed (a run of asterisks is "*")
    int unit_parts = 1;    // CSV tables: the values' unit in parts of a millimetre (1 = millimetres)
};

// True for the kinds that are asked for header lines to pass over (single and multiple columns,
// CSV tables).
bool takes_header_lines(FileKind kind);

// The format menu (with its help) and the questions of the chosen kind: header lines for the
// column kinds, the number of columns and the sentinel for multiple columns (a number of
// columns beyond the table's limit is not followed by the sentinel question: the read refuses
// it). Q or "/" at the menu stops the program (the user's choice, no message); H or ? shows the
// help; other answers are refused with a reason and the menu comes again.
LoadSettings ask_load_settings(Console& console, std::istream& file);

// Reads every series of `file` as `settings` say into `table` (replacing what it held; the
// matrix is sized to the data; each series' place in the file is recorded) and the three
// 88-character header lines. The file is read from its start, past a UTF-8 byte-order mark.
// Returns true when the data were read ("Input data read successfully"); false (after its
// messages and a pause) when the read failed: a damaged file, no series at all, a series without
// values or with years outside kEarliestYear..kLatestYear, or more than kMaxSeries series,
// kMaxYears values in a series or a span of kMaxYears years. The messages name the line of the
// file.
// With FileKind::Recognised the kind is taken from the content (and said on the console); a
// content that fits none of the kinds is refused. `notes`, when given, receives the kind found
// and the names given to series whose names do not fit 8 characters.
bool read_data(Console& console, std::istream& file, const LoadSettings& settings, SeriesTable& table,
               std::array<std::string, 3>& header, LoadNotes* notes = nullptr);

// The kind of a file as its content shows it, with the reason ("" reason: not recognised); for
// Tucson decade files both decade layouts are tried, and exactly one must read the whole file.
FileKind recognise_kind(std::istream& file, std::string& reason);
// The name of a file kind for messages ("Tucson ring widths", "CSV table", ...).
std::string file_kind_title(FileKind kind);

// The loading dialogue: ask_load_settings, then read_data. `chosen` receives the settings.
bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header,
             LoadSettings* chosen = nullptr);

// Single-column blocks: identifier, first year, one value per line. An identifier made of digits
// only is recognised inside a block whose values carry decimal points (with a warning); a value
// that is not finite or is 100 mm or more is refused. True when read (the table holds at least
// one series); false after the message naming the line. `lines_before` is the number of lines
// of the file passed over before `file`'s position (for the line numbers of the messages).
bool rd1col(Console& console, std::istream& file, SeriesTable& table, int lines_before = 0);

// Multiple columns: asks for the number of columns and the sentinel (the sentinel question is left
// out when the columns would hold more than kMaxSeries series), then reads a naming line and one
// line per year. Values that are not finite or are 100 mm or more are refused. True when
// read; false after its message naming the line.
bool rdmcol(Console& console, std::istream& file, SeriesTable& table, int lines_before = 0);

// The help menu: an example of each file kind, and paging through the data file. Returns when
// the user enters 0; the file is left at its start if it was paged.
void dathlp(Console& console, std::istream& file);

// Pages through the data file five lines at a time, each shown with its line number; leaves it
// rewound to its start. "/" at its questions stops the program.
void snoop(Console& console, std::istream& file);

}  // namespace kestrovan
