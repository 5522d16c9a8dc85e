#pragma once
// The attempts of one run. The engine runs once per attempt, on working data rebuilt from the
// selected raw copy; each attempt ends in one of four ways, and run_attempts decides what
// follows: another attempt with the next constant added, another Regional curve, or the end.
#include <span>

#include "engine/sigfree.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "model/workers.hpp"

namespace kestrovan {

// The working data of an attempt: every value of the selected raw copy plus `constant`.
SeriesTable working_copy(const SeriesTable& raw, float constant);

// What differs around the engine calls between the program, its tests and the benchmarks.
class AttemptSteps {
public:
    virtual ~AttemptSteps() = default;
    // The working data of an attempt: by default working_copy with the attempt's constant. The
    // program adds the power transform and the console and report lines of the constant.
    virtual SeriesTable prepare(const SeriesTable& raw, const RunOptions& params,
                                const AttemptState& attempt);
    // One engine call: by default sigfree (its threads are `threads`).
    virtual AttemptOutcome engine(const EngineCall& call, EngineObserver& observer, EngineResults& results,
                                  EngineCarry& carry);
    // The user asked for another Regional curve: choose it in params (curve option and its
    // settings) and give true, or give false to end the attempts without results (the default).
    virtual bool reselect(RunOptions& params);

    int threads = kThreadsFromEnvironment;  // for the default engine call
};

struct AttemptsSummary {
    AttemptOutcome outcome = AttemptOutcome::Completed;  // how the last attempt ended
    int attempts = 0;                                    // engine calls made
    AttemptState last;                                   // the state of the last attempt
};

// Runs attempts until one ends with Completed (results filled), or with a redo request that
// steps.reselect declines. After GaveUp (no constant helped) the data as read are run once more
// without retries. The engine only reads the options; between attempts the loop changes them: a
// stabilization option chosen at an acceptance question is adopted before a re-selection (whose
// dialogue may ask for the option again), and the re-selection sets the Regional curve.
AttemptsSummary run_attempts(const SeriesTable& raw, RunOptions& params, EngineObserver& observer,
                             EngineResults& results, AttemptSteps& steps);

}  // namespace kestrovan
