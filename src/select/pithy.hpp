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
#include "run/run_parameters.hpp"

namespace kestrovan {

// Most offsets a file may hold.
inline constexpr int kMaxPithOffsets = kMaxSeries;

// Where a record format puts the one integer of a record: zero-based first column and width.
struct IntegerField {
    int column = 0;
    int width = 0;
};

// Understands a parenthesised record format made of integer fields (iN, iN.M), skips (nX, X,
// Tn, TRn, TLn), repeat counts and nested parentheses, e.g. "(2x,i3)" or "(i4)". Returns the
// first integer field, or nullopt when the format holds anything else or no integer field.
std::optional<IntegerField> parse_record_format(std::string_view format);

// Reads an integer from a record at `field` the way a formatted integer read does: blanks are
// ignored, an all-blank field (or a record too short) is 0; anything else is nullopt.
std::optional<int> read_integer_field(std::string_view record, IntegerField field);

// The pith-offset dialogue and reader. Sets params.pith_present and params.pith_offsets: one
// offset per series of the current table (series_count values, matched by position; series past
// the last value read get 0). All 0 and flag 0 when there is no offset file. Warns when the number
// of values read differs from series_count; more than 4500 values stop the program.
void pithy(Console& console, const RunFiles& files, int series_count, RunParameters& params);

// Checks pith offsets against the series they belong to: an offset counts rings missing to the
// pith and cannot be negative, and a series' last ring (offset + length) must stay within the
// kMaxYears ages a Regional curve holds. Prints one message per offending series and returns
// false when any offset is refused.
bool check_pith_offsets(Console& console, const SeriesTable& table, const RunParameters& params);

}  // namespace kestrovan
