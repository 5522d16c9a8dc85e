#pragma once
// The run loop: one or more engine attempts on the selected series, each rebuilt from the
// selected raw copy, with a constant added after failed convergence, the adaptive power
// transform when chosen, and the Regional-curve re-selection when the user asks for it.
#include "console/console.hpp"
#include "engine/sigfree.hpp"
#include "io/run_files.hpp"
#include "io/series_table.hpp"
#include "plot/plotter.hpp"
#include "run/run_parameters.hpp"

namespace kestrovan {

// The engine as the run loop sees it, so that tests can drive the loop with a stand-in.
class EngineRunner {
public:
    virtual ~EngineRunner() = default;
    virtual void run(const SeriesTable& working, std::span<const float> curve_floor,
                     RunParameters& params, RunFiles& files, Console& console, Plotter& plotter,
                     EngineResults& results, EngineCarry& carry) = 0;
};

// The real engine (sigfree).
class SigfreeRunner : public EngineRunner {
public:
    void run(const SeriesTable& working, std::span<const float> curve_floor, RunParameters& params,
             RunFiles& files, Console& console, Plotter& plotter, EngineResults& results,
             EngineCarry& carry) override;
};

// Builds the working data of one attempt: every value of the selected raw copy plus `constant`.
SeriesTable working_copy(const SeriesTable& raw, float constant);

// Runs attempts until the engine completes. `raw` is the selected raw copy (never changed).
// `median_segment_length` serves curve option 9 when the re-selection goes back to question 3.
void run_attempts(Console& console, RunFiles& files, const SeriesTable& raw, RunParameters& params,
                  Plotter& plotter, EngineRunner& engine, EngineResults& results,
                  int median_segment_length);

}  // namespace kestrovan
