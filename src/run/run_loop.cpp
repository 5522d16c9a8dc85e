#include "run/run_loop.hpp"

#include <algorithm>

#include "model/format.hpp"
#include "run/dialogue.hpp"
#include "select/power_transform.hpp"

namespace kestrovan {

SeriesTable ProgramAttemptSteps::prepare(const SeriesTable& raw, const RunOptions& params,
                                         const AttemptState& attempt) {
    raw_ = &raw;
    answers_.attempt_begins();
    SeriesTable working = working_copy(raw, attempt.constant);

    float mean_power = 0.0f;
    if (params.power_transform) {
        if (attempt.constant_counter == 0) {
            files_.report.blank_line();
            files_.report.line("THE SERIES HAVE HAD ADAPTIVE POWER TRANSFORMATIONS APPLIED");
        }
        mean_power = slpt1(working.data, working.years, attempt.constant_counter, plotter_);
    }

    Columns constant_line;
    constant_line.at(1, "CONSTANT ADDED TO ALL MEASUREMENTS TO AID CONVERGENCE(?): ")
        .at(63, fmt_f(attempt.constant, 8, 3));
    Columns power_line;
    power_line.at(1, "THE MEAN ADAPTIVE POWER TRANSFORM POWER APPLIED IS: ").at(63, fmt_f(mean_power, 8, 3));
    if (attempt.constant_counter == 0) {
        console_.blank_line();
        console_.line(constant_line.str());
        files_.report.blank_line();
        files_.report.line(constant_line.str());
        if (params.power_transform) files_.report.line(power_line.str());
        console_.blank_line();
        console_.line("OKAY, LET US BEGIN:");
    } else {
        console_.line(constant_line.str());
        files_.report.line(constant_line.str());
        if (params.power_transform) files_.report.line(power_line.str());
    }
    return working;
}

bool ProgramAttemptSteps::reselect(RunOptions& params) {
    rcs_reselection(answers_, console_, files_, *raw_, params, median_segment_length_);
    return true;
}

}  // namespace kestrovan
