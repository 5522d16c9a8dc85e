#pragma once
// Entry point shared by the run-file fuzz target and its regression test: the run-file parser on
// an arbitrary byte string, as a batch reads a run file (no data file checked). The parser must
// accept the text or refuse it with a RunFileError of one line, and the run file that
// run_file_text writes for a plan it accepts must be accepted too. (Written back, a relative pith
// name is taken relative to the data file, as --record writes it; a plan read without its data
// file keeps the pattern as given, so the two texts may differ there.)
#include <string>
#include <string_view>

#include "run/run_file.hpp"

namespace kestrovan::fuzzing {

inline std::string run_run_file(std::string_view data) {
    const RunFileRequest request{"fuzz.toml", "", false};
    RunPlan plan;
    try {
        plan = parse_run_file(std::string(data), "fuzz.toml", "", request);
    } catch (const RunFileError& e) {
        const std::string what = e.what();
        if (what.find('\n') != std::string::npos) return "a refusal of more than one line: " + what;
        return {};
    }
    const std::string written = run_file_text(plan, "");
    try {
        parse_run_file(written, "written.toml", "", request);
    } catch (const RunFileError& e) {
        return std::string("the run file written for an accepted plan is refused: ") + e.what();
    }
    return {};
}

}  // namespace kestrovan::fuzzing
