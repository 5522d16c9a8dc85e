#pragma once
// The compact format of some data-bank files: per series a header line with the number of
// values, the first year, the identifier and the read format, then the values packed in fixed
// fields, for example
//       93=N    1898=I ZOC01A                                          -2(26F3.0)~
//   280234187226177190170135184166128151159175216189174178154159163189145186264165
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/series_input.hpp"

namespace kestrovan {

// A header line of the compact format: "<count>=N <first year>=I <identifier> <e>(<r>F<w>.<d>)~",
// where the values are in units of 10^e mm (e from -3 to 0) and each value line holds r fields of
// w columns (d implied decimals; I<w> reads whole numbers).
struct CompactHeader {
    long long count = 0;
    long long first_year = 0;
    std::string id;
    int exponent = 0;
    int per_line = 0;
    int width = 0;
    int decimals = 0;
};
std::optional<CompactHeader> parse_compact_header(std::string_view line);

// Reads every series of a compact file. Each value line holds r fields (the last line of a
// series what remains), right-aligned in their columns; a blank field, a field that is not a
// number, a line with more or fewer fields, a unit other than 10^-3 to 10^0 mm, a width of
// 100 mm or more, a series cut short, or a line that is neither a header nor values is refused
// with a message naming the line. Negative values are kept as they stand (the missing-value
// screen names them). Blank lines between series are passed over. False after the refusal (in
// `notes`).
bool read_compact(std::istream& file, std::vector<InputSeries>& series, LoadNotes& notes);

}  // namespace kestrovan
