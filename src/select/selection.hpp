#pragma once
// The selection stage: segment-length statistics of the data as read, the series processing menu
// with its one choice (censoring, truncation or keep all), saving the selected set and the
// statistics of the censored set.
#include <string>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/series_table.hpp"
#include "select/segment_stats.hpp"

namespace kestrovan {

// One choice of the series processing menu with its numbers.
struct SelectionChoice {
    int choice = 1;  // menu choice 1..7 (1 = all series as read)
    int value1 = 0;  // the length or year entered (start year for 7)
    int value2 = 0;  // end year for 7, else 0
};

struct SelectionOutcome {
    int choice = 1;          // menu choice 1..7
    int value1 = 0;          // censor values: the length or year entered (start year for 7)
    int value2 = 0;          // end year for 7, else 0
    SegmentStats latest;     // statistics of the table as it now stands (MED serves curve option 9)
    std::string saved_file;  // name of the saved selection ("" for choice 1, or when not saved)
};

// Where the choice comes from: the menu at the console, or a run file.
class SelectionAnswers {
public:
    virtual ~SelectionAnswers() = default;
    // The menu choice with the numbers it asks for.
    virtual SelectionChoice selection_choice() = 0;
    // The choice finds no series or leaves none; the warning has been printed. The console pauses
    // and the menu comes again; a run file ends the run (`reason` is the warning's first line).
    virtual void selection_refused(const std::string& reason) = 0;
};

// The menu and its questions: a choice 1..7 with its numbers (asked until they are numbers; a
// common end year before the start year asks both again). "/" stops the program.
SelectionChoice ask_selection_choice(Console& console);
// The pause after a refused choice ("Hit Return to continue").
void selection_refused_pause(Console& console);

// Runs the whole stage on `table` (changed in place) with the choices `answers` give. The
// selected set is saved after every choice but 1 unless `save` is false.
SelectionOutcome select_series(SelectionAnswers& answers, Console& console, OutputFiles& files,
                               SeriesTable& table, bool save = true);
// The stage at the console. "/" at the menu stops the program.
SelectionOutcome select_series(Console& console, OutputFiles& files, SeriesTable& table);

}  // namespace kestrovan
