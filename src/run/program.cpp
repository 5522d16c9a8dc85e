#include "run/program.hpp"

#include "console/console.hpp"

namespace kestrovan {

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options) {
    (void)options;
    Console console(in, out);
    try {
        console.line("Kestrovan");
        throw ProgramStop(StopKind::Normal);
    } catch (const ProgramStop& stop) {
        if (stop.what() && *stop.what()) console.line(stop.what(), 2);
        console.flush();
        return stop.exit_code();
    }
}

}  // namespace kestrovan
