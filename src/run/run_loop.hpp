#pragma once
// The program's attempts: the engine attempts of run_attempts with the program's own steps
// around them: the adaptive power transform when chosen, the console and report lines of the
// constant of each attempt, and the Regional-curve re-selection when the user asks for it.
#include "console/console.hpp"
#include "console/run_answers.hpp"
#include "engine/attempts.hpp"
#include "io/output_files.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "plot/plotter.hpp"

namespace kestrovan {

class AnswerSource;  // run/dialogue.hpp

// What the program's attempts talk to: the console, the run's files, the plots and the run's
// answers (the re-selection's and those of the questions asked during a run).
struct AttemptContext {
    Console& console;
    OutputFiles& files;
    Plotter& plotter;
    AnswerSource& answers;
};

class ProgramAttemptSteps : public AttemptSteps {
public:
    // `median_segment_length` serves curve option 9 when the re-selection goes back to question 3.
    ProgramAttemptSteps(const AttemptContext& context, int median_segment_length)
        : console_(context.console),
          files_(context.files),
          plotter_(context.plotter),
          answers_(context.answers),
          median_segment_length_(median_segment_length) {}
    SeriesTable prepare(const SeriesTable& raw, const RunOptions& params,
                        const AttemptState& attempt) override;
    bool reselect(RunOptions& params) override;

private:
    Console& console_;
    OutputFiles& files_;
    Plotter& plotter_;
    AnswerSource& answers_;
    int median_segment_length_;
    const SeriesTable* raw_ = nullptr;  // the selected raw copy of the run (for the re-selection)
};

}  // namespace kestrovan
