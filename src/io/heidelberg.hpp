#pragma once
// Heidelberg files (.fh): per series a HEADER: block of Key=Value lines (KeyCode, DateBegin,
// DateEnd, Length, Unit, DataFormat, ...) followed by a DATA: block of values.
#include <istream>
#include <string_view>
#include <vector>

#include "io/series_input.hpp"

namespace kestrovan {

// Reads every series of a Heidelberg file: tree (single-series) data, DATA:Tree. The name is
// KeyCode; the years come from DateBegin, DateEnd and Length (two of them at least; all that
// are given must agree); the unit from Unit (refused when missing or not one of unit_parts'
// units). The values are whole numbers separated by blanks; a block must hold exactly Length of
// them, followed at most by zeros that fill its last line. Negative values are kept as they
// stand (the missing-value screen names them). Anything else, and the other data formats
// (chronologies), are refused with a message naming the line. False after the refusal (in
// `notes`).
bool read_heidelberg(std::istream& file, std::vector<InputSeries>& series, LoadNotes& notes);

// True when a line of the file is the start of a Heidelberg header block ("HEADER:").
bool is_heidelberg_header(std::string_view line);

}  // namespace kestrovan
