#pragma once
// What the readers of the exchange formats (CSV/TSV tables, Heidelberg, the compact format,
// TRiDaS) share: one series as a file gives it, the units of ring widths, the 8-character names
// the program's files can carry, and the step that turns the series read into the Series table.
// What they have to say goes into the read's notes (io/load_notes.hpp).
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/load_notes.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

// One series as read: its full name, its first year, the widths in millimetres year by year
// (kMissing for a ring the file marks as missing inside the series) and the line of the file
// that begins it (named in messages).
struct InputSeries {
    std::string name;
    int first_year = 0;
    std::vector<float> values;
    int line = 0;
};

// A unit of ring widths as a number of parts of a millimetre (1 = millimetres, 100 =
// hundredths, 1000 = thousandths); nullopt for a text that names no unit this program knows.
// Accepts "mm", "1/10 mm", "1/20 mm", "1/50 mm", "1/100 mm", "1/1000 mm" (blanks optional) and
// "0.1 mm", "0.01 mm", "0.001 mm".
std::optional<int> unit_parts(std::string_view text);
// The unit as the run file and the messages write it ("mm", "1/100 mm", ...).
std::string unit_name(int parts);

// A reader's refusal: a blank line and the message in the notes; false, for the reader to
// return.
bool refuse_reading(LoadNotes& notes, const std::string& what);

// A value in `parts` of a millimetre as a width in millimetres. Hundredths and thousandths are
// scaled as the Tucson reader scales them (x 0.01, then x 0.1 for thousandths, in single
// precision), so that the same integers give the same widths in every format.
float width_in_mm(double value, int parts);

// Unique names of at most 8 characters for `names`, in order: a name of 8 characters or fewer
// that no other name shares keeps itself; any other gets its first 8 characters, or, when those
// are taken, its first characters followed by a number. Names are compared as the 8-column
// identifier fields of the program's files hold them, trailing blanks ignored, and no name is
// left blank in those columns.
std::vector<std::string> short_names(const std::vector<std::string>& names);

// A series given twice (the same name, trailing blanks ignored, the same first year and the same
// values) would count twice in every mean: false after a refusal naming both places, `place(i)`
// describing where series i stands in the file ("the HEADER: block of line 12").
bool refuse_repeated_series(LoadNotes& notes, const std::vector<InputSeries>& series,
                            const std::function<std::string(std::size_t)>& place);

// Moves the series into `table` (replacing what it held), with the table's limits checked where
// they enter (refusal naming the series and its line; false) and names of at most 8 characters
// (the renamed ones listed in notes.renamed).
bool build_series_table(std::vector<InputSeries>& series, SeriesTable& table, LoadNotes& notes);

// The table of renamed series, its lines to be printed at column 2 (none when no series was
// renamed).
std::vector<std::string> renamed_lines(const LoadNotes& notes);

}  // namespace kestrovan
