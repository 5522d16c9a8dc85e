#pragma once
// The attempts of one run. The engine runs once per attempt, on working data rebuilt from the
// selected raw copy; each attempt ends in one of four ways, and run_attempts decides what
// follows: another attempt with the next constant added, another Regional curve, or the end.
#include <span>

#include "console/console.hpp"
#include "console/parallel.hpp"
#include "engine/sigfree.hpp"
#include "io/run_files.hpp"
#include "io/series_table.hpp"
#include "plot/plotter.hpp"
#include "run/run_parameters.hpp"

namespace kestrovan {

// The working data of an attempt: every value of the selected raw copy plus `constant`.
SeriesTable working_copy(const SeriesTable& raw, float constant);

// What differs around the engine calls between the program, its tests and the benchmarks.
class AttemptSteps {
public:
    virtual ~AttemptSteps() = default;
    // The working data of an attempt (params.constant is set): by default working_copy. The
    // program adds the power transform and the console and report lines of the constant.
    virtual SeriesTable prepare(const SeriesTable& raw, RunParameters& params);
    // One engine call: by default sigfree with `threads`.
    virtual AttemptOutcome engine(const SeriesTable& working, std::span<const float> curve_floor,
                                  RunParameters& params, RunFiles& files, Console& console, Plotter& plotter,
                                  EngineResults& results, EngineCarry& carry);
    // The user asked for another Regional curve: choose it in params (curve option and its
    // settings) and give true, or give false to end the attempts without results (the default).
    virtual bool reselect(RunParameters& params);

    int threads = kThreadsFromEnvironment;  // for the default engine call
};

struct AttemptsSummary {
    AttemptOutcome outcome = AttemptOutcome::Completed;  // how the last attempt ended
    int attempts = 0;                                    // engine calls made
};

// Runs attempts until one ends with Completed or GaveUp (results filled), or with a redo request
// that steps.reselect declines. params.constant_counter and params.constant are set for each
// attempt; the curve option the engine started the last attempt with is restored at the end.
AttemptsSummary run_attempts(const SeriesTable& raw, RunParameters& params, RunFiles& files, Console& console,
                             Plotter& plotter, EngineResults& results, AttemptSteps& steps);

}  // namespace kestrovan
