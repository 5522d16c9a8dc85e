#include "engine/attempts.hpp"

#include <algorithm>
#include <vector>

#include "curves/dispatch.hpp"

namespace kestrovan {

SeriesTable working_copy(const SeriesTable& raw, float constant) {
    SeriesTable working = raw;
    for (int i = 0; i < raw.count(); ++i) {
        const auto& y = raw.years[static_cast<std::size_t>(i)];
        const int n = std::min(y.last - y.first + 1, working.data.rows());
        for (int j = 0; j < n; ++j) working.data(j, i) = raw.data(j, i) + constant;
    }
    return working;
}

SeriesTable AttemptSteps::prepare(const SeriesTable& raw, RunParameters& params) {
    return working_copy(raw, params.constant);
}

AttemptOutcome AttemptSteps::engine(const SeriesTable& working, std::span<const float> curve_floor,
                                    RunParameters& params, RunFiles& files, Console& console, Plotter& plotter,
                                    EngineResults& results, EngineCarry& carry) {
    return sigfree(working, curve_floor, params, files, console, plotter, results, carry, threads);
}

bool AttemptSteps::reselect(RunParameters&) { return false; }

AttemptsSummary run_attempts(const SeriesTable& raw, RunParameters& params, RunFiles& files, Console& console,
                             Plotter& plotter, EngineResults& results, AttemptSteps& steps) {
    EngineCarry carry;
    AttemptsSummary summary;
    params.constant_counter = 0;
    for (;;) {
        params.constant = 0.1f * static_cast<float>(params.constant_counter);
        const SeriesTable working = steps.prepare(raw, params);
        const std::vector<float> curve_floor(static_cast<std::size_t>(raw.count()), kCurveFloor);
        const int remembered_option = params.curve_option;
        ++summary.attempts;
        summary.outcome = steps.engine(working, curve_floor, params, files, console, plotter, results, carry);
        switch (summary.outcome) {
        case AttemptOutcome::Retry:
            ++params.constant_counter;
            continue;
        case AttemptOutcome::RedoRegionalCurve:
            params.constant_counter = 0;
            params.curve_option = kCurveRcs;
            if (!steps.reselect(params)) return summary;
            continue;
        case AttemptOutcome::Completed:
        case AttemptOutcome::GaveUp:
            params.curve_option = remembered_option;
            return summary;
        }
    }
}

}  // namespace kestrovan
