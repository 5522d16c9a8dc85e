#pragma once
// Loading a Tucson decade file, ring widths or chronologies, into the Series table. Internal to
// the io folder: read_series_file (io/formats.hpp) is the way in.
#include <array>
#include <istream>
#include <string>

#include "io/load_notes.hpp"
#include "model/series_table.hpp"

namespace kestrovan::detail {

// Ring widths (mode "mr") or chronologies (mode "ir") read series by series into `table`, with
// the three header lines of the file (for ring widths, a header line blank in its first six
// columns is marked as missing). Ring widths that end in 9990 padding without an end marker take
// the unit the file's other series declare. True after "Input data read successfully" (in
// `notes`); false after the messages and the pause of a read that failed. What the read has to
// say is appended to `notes`, also when the stream throws part way.
bool load_tucson(std::istream& file, bool rings, SeriesTable& table, std::array<std::string, 3>& header,
                 LoadNotes& notes);

}  // namespace kestrovan::detail
