#pragma once
// Loading a Tucson decade file, ring widths or chronologies, into the Series table. Internal to
// the io folder: read_data (loaders.hpp) is the way in.
#include <array>
#include <istream>
#include <string>

#include "model/series_table.hpp"

namespace kestrovan {

class Console;

namespace detail {

// Ring widths (mode "mr") or chronologies (mode "ir") read series by series into `table`, with
// the three header lines of the file (for ring widths, a header line blank in its first six
// columns is marked as missing). Ring widths that end in 9990 padding without an end marker take
// the unit the file's other series declare. True after "Input data read successfully"; false
// after the messages and the pause of a read that failed.
bool load_tucson(Console& console, std::istream& file, bool rings, SeriesTable& table,
                 std::array<std::string, 3>& header);

}  // namespace detail
}  // namespace kestrovan
