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

SeriesTable AttemptSteps::prepare(const SeriesTable& raw, const RunOptions&, const AttemptState& attempt) {
    return working_copy(raw, attempt.constant);
}

AttemptOutcome AttemptSteps::engine(const EngineCall& call, EngineObserver& observer, EngineResults& results,
                                    EngineCarry& carry) {
    return sigfree(call, observer, results, carry);
}

bool AttemptSteps::reselect(RunOptions&) { return false; }

AttemptsSummary run_attempts(const SeriesTable& raw, RunOptions& params, EngineObserver& observer,
                             EngineResults& results, AttemptSteps& steps) {
    EngineCarry carry;
    AttemptsSummary summary;
    AttemptState& attempt = summary.last;
    for (;;) {
        attempt.constant = 0.1f * static_cast<float>(attempt.constant_counter);
        const SeriesTable working = steps.prepare(raw, params, attempt);
        const std::vector<float> curve_floor(static_cast<std::size_t>(raw.count()), kCurveFloor);
        ++summary.attempts;
        summary.outcome =
            steps.engine({working, curve_floor, params, attempt, steps.threads}, observer, results, carry);
        switch (summary.outcome) {
            case AttemptOutcome::Retry: ++attempt.constant_counter; continue;
            case AttemptOutcome::GaveUp:
                // No constant helped: the data as read once more, publishing its best iterate.
                attempt.constant_counter = 0;
                attempt.allow_retry = false;
                continue;
            case AttemptOutcome::RedoRegionalCurve:
                attempt.constant_counter = 0;
                attempt.allow_retry = true;
                // The re-selection starts from the options as the run has them now; going back
                // to the curve-fit question asks for the stabilization option again.
                if (carry.stabilization) params.stabilization = *carry.stabilization;
                carry.stabilization.reset();
                if (!steps.reselect(params)) return summary;
                continue;
            case AttemptOutcome::Completed: return summary;
        }
    }
}

}  // namespace kestrovan
