#pragma once
// The whole program on a pair of streams, so that tests can run it in-process on a string of
// answers. Returns the exit status: 0 normal termination or a stop the user chose, 1 abnormal
// termination or a fatal error, 2 end of input at a question.
#include <istream>
#include <ostream>
#include <string>

namespace kestrovan {

struct ProgramOptions {
    bool plots = true;       // false with --no-plots: every plot and its menu are skipped
    std::string device;      // --device NAME: the screen device ("" = choose automatically)
    bool echo_answers = false;  // write each answer back (input from a file, not a terminal)
    // Standard input is a terminal: plot menus and plot pauses read answers. With an answer file
    // they read nothing, so that the same file serves runs with and without plots.
    bool interactive = true;
};

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options);

}  // namespace kestrovan
