#include "run/run_loop.hpp"

#include <algorithm>
#include <vector>

#include "console/format.hpp"
#include "run/dialogue.hpp"
#include "select/power_transform.hpp"

namespace kestrovan {

void SigfreeRunner::run(const SeriesTable& working, std::span<const float> curve_floor,
                        RunParameters& params, RunFiles& files, Console& console, Plotter& plotter,
                        EngineResults& results, EngineCarry& carry) {
    sigfree(working, curve_floor, params, files, console, plotter, results, carry);
}

SeriesTable working_copy(const SeriesTable& raw, float constant) {
    SeriesTable working = raw;
    for (int i = 0; i < raw.count(); ++i) {
        const auto& y = raw.years[static_cast<std::size_t>(i)];
        const int n = std::min(y.last - y.first + 1, working.data.rows());
        for (int j = 0; j < n; ++j) working.data(j, i) = raw.data(j, i) + constant;
    }
    return working;
}

void run_attempts(Console& console, RunFiles& files, const SeriesTable& raw, RunParameters& params,
                  Plotter& plotter, EngineRunner& engine, EngineResults& results,
                  int median_segment_length) {
    EngineCarry carry;
    for (;;) {
        params.constant = 0.1f * static_cast<float>(params.constant_counter);
        SeriesTable working = working_copy(raw, params.constant);
        std::vector<float> curve_floor(static_cast<std::size_t>(raw.count()), kCurveFloor);

        float mean_power = 0.0f;
        if (params.power_transform == 1) {
            if (params.constant_counter == 0) {
                files.report.blank_line();
                files.report.line("THE SERIES HAVE HAD ADAPTIVE POWER TRANSFORMATIONS APPLIED");
            }
            mean_power = slpt1(working.data, working.years, params.constant_counter, plotter);
        }

        Columns constant_line;
        constant_line.at(1, "CONSTANT ADDED TO ALL MEASUREMENTS TO AID CONVERGENCE(?): ")
            .at(63, fmt_f(params.constant, 8, 3));
        Columns power_line;
        power_line.at(1, "THE MEAN ADAPTIVE POWER TRANSFORM POWER APPLIED IS: ")
            .at(63, fmt_f(mean_power, 8, 3));
        if (params.constant_counter == 0) {
            console.blank_line();
            console.line(constant_line.str());
            files.report.blank_line();
            files.report.line(constant_line.str());
            if (params.power_transform == 1) files.report.line(power_line.str());
            console.blank_line();
            console.line("OKAY, LET US BEGIN:");
        } else {
            console.line(constant_line.str());
            files.report.line(constant_line.str());
            if (params.power_transform == 1) files.report.line(power_line.str());
        }

        // The end of the curve-fitting span: the series' last year, or the cap year when the
        // (fixed, never set) last-year cap switch is on.
        if (params.last_year_cap == 'y')
            for (auto& y : working.years) y.last = std::min(y.last, params.last_year_cap_year);

        const int remembered_option = params.curve_option;
        params.redo_request = 0;
        engine.run(working, curve_floor, params, files, console, plotter, results, carry);

        if (params.redo_request != 0) {
            params.constant_counter = 0;
            params.curve_option = -2;
            rcs_reselection(console, files, raw, params, median_segment_length);
            continue;
        }
        if (params.constant_counter >= 1 && params.constant_counter <= 10) continue;
        params.curve_option = remembered_option;
        return;
    }
}

}  // namespace kestrovan
