#include "run/program.hpp"

#include <exception>

#include "console/console.hpp"
#include "run/run_start.hpp"

namespace kestrovan {

int run_program(std::istream& in, std::ostream& out, const ProgramOptions& options) {
    Console console(in, out);
    console.set_echo(options.echo_answers);
    RunStart run(console);
    int status = 0;
    try {
        run_start(run);
        throw ProgramStop(StopKind::Normal);
    } catch (const ProgramStop& stop) {
        if (stop.what() && *stop.what()) console.line(stop.what(), 2);
        status = stop.exit_code();
    } catch (const std::exception& e) {
        // Nothing should get here; if it does, the run still ends cleanly with its report closed.
        console.line(std::string("Fatal error: ") + e.what(), 2);
        status = 1;
    }
    run.files.report.close();
    console.flush();
    return status;
}

}  // namespace kestrovan
