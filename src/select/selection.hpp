#pragma once
// The selection stage: segment-length statistics of the data as read, the series processing menu
// with its one choice (censoring, truncation or keep all), saving the selected set and the
// statistics of the censored set.
#include <string>

#include "console/console.hpp"
#include "io/run_files.hpp"
#include "io/series_table.hpp"
#include "select/segment_stats.hpp"

namespace kestrovan {

struct SelectionOutcome {
    int choice = 1;        // menu choice 1..7
    int value1 = 0;        // censor values: the length or year entered (start year for 7)
    int value2 = 0;        // end year for 7, else 0
    SegmentStats latest;   // statistics of the table as it now stands (MED serves curve option 9)
    std::string saved_file;  // name of the saved selection ("" for choice 1)
};

// Runs the whole stage on `table` (changed in place). "/" at the menu stops the program.
SelectionOutcome select_series(Console& console, RunFiles& files, SeriesTable& table);

}  // namespace kestrovan
