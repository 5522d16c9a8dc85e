#pragma once
// Missing rings inside series (negative values: -999 in a Tucson series, an empty cell of a
// table) filled on request: each gap by linear interpolation between the values on either side;
// missing rings at either end of a series are cut off, never filled.
#include <string>
#include <vector>

#include "model/series_table.hpp"

namespace kestrovan {

struct FilledRing {
    std::string id;  // the series' identifier (8 characters, blank padded)
    int year = 0;
    float value = 0.0f;  // millimetres
};

struct TrimmedEnd {
    std::string id;
    int first = 0, last = 0;  // the years cut off
    bool at_start = true;
};

struct GapFilling {
    std::vector<FilledRing> filled;
    std::vector<TrimmedEnd> trimmed;
    std::vector<std::string> empty;  // series without a single value (nothing to keep)
};

// Fills every inner gap of every series and cuts missing rings off the ends of the series (the
// year table and summary slot follow). A series with no value at all is left as it is and
// named in `empty`; the table is then unusable and the caller stops. Returns what was done.
GapFilling fill_gaps(SeriesTable& table);

}  // namespace kestrovan
