#pragma once
// Pith offsets: the number of rings between the pith and the first measured ring of each series,
// read from a text file (one value per record) for Regional Curve Standardization.
#include <optional>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "io/run_files.hpp"
#include "io/series_table.hpp"
#include "io/year_matrix.hpp"
#include "run/run_options.hpp"

namespace kestrovan {

// Most offsets a file may hold.
inline constexpr int kMaxPithOffsets = kMaxSeries;

// Where a record format puts the one integer of a record: zero-based first column and width.
struct IntegerField {
    int column = 0;
    int width = 0;
};

// The field of an offset record format (a Fortran-style edit list, as parse_edit_list reads
// it) made of integer fields (iN, iN.M), skips (nX, X, Tn, TRn, TLn), repeat counts and nested
// parentheses, e.g. "(2x,i3)" or "(i4)": its first integer field. nullopt when the format cannot
// be read, holds real fields or "/", has no integer field, or reaches past 100000 columns or the
// walk's step budget before its first integer field.
std::optional<IntegerField> parse_record_format(std::string_view format);

// Reads an integer from a record at `field` the way a formatted integer read does: blanks are
// ignored, an all-blank field (or a record too short) is 0; anything else is nullopt.
std::optional<int> read_integer_field(std::string_view record, IntegerField field);

// The pith-offset dialogue and reader. Sets params.pith_present and params.pith_offsets: one
// offset per series of the current table. A file with one offset per series of the data file as
// read gives each series the offset of its place in that file (so after censoring the kept
// series keep their own offsets); a file with one offset per series of the current table is
// taken in table order. Any other count is refused, naming both counts, and the question comes
// again (another file, or none). All 0 and flag 0 when there is no offset file. One-per-line
// files (method 1) are read wherever the number stands on its line; with a format (method 2)
// digits outside its field are an error naming the line. An unreadable file lets the user try
// again, name another file or quit. More than 4500 values stop the program.
void pithy(Console& console, const RunFiles& files, const SeriesTable& table, RunOptions& params);

// Checks pith offsets against the series they belong to: an offset counts rings missing to the
// pith and cannot be negative, and a series' last ring (offset + length) must stay within the
// kMaxYears ages a Regional curve holds. Prints one message per offending series and returns
// false when any offset is refused.
bool check_pith_offsets(Console& console, const SeriesTable& table, const RunOptions& params);

}  // namespace kestrovan
