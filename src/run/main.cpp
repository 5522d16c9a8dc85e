// Kestrovan: signal-free standardization of tree-ring width series.
#include <unistd.h>

#include <iostream>
#include <string>
#include <string_view>

#include "io/run_files.hpp"
#include "run/program.hpp"

namespace {

void usage(std::ostream& out) {
    out << "Usage: kestrovan [--no-plots] [--device NAME] [--help] [--version]\n"
           "\n"
           "Kestrovan asks its questions on standard input; an answer file can be given with\n"
           "  kestrovan --no-plots < answers.txt\n"
           "\n"
           "Options:\n"
           "  --no-plots     skip every plot and its menu (batch runs); every question is still asked\n"
           "  --device NAME  PLplot device for the screen plots (for example xcairo, or a file\n"
           "                 device such as pngcairo or svgcairo: each plot then goes to a numbered\n"
           "                 file named after the plot, without a menu)\n"
           "  --help         this text\n"
           "  --version      the version text\n"
           "\n"
           "When standard input is not a terminal (an answer file), the plots are drawn but their\n"
           "menus and pauses read nothing, so one answer file serves runs with and without plots.\n"
           "\n"
           "Environment:\n"
           "  KESTROVAN_THREADS  threads for the curve fits and the year-by-year means (default:\n"
           "                     every core); the results are the same for every number\n"
           "\n"
           "Exit status: 0 normal termination or a stop you chose (/ or Q); 1 abnormal termination\n"
           "or a fatal error; 2 standard input ended at a question.\n";
}

}  // namespace

int main(int argc, char** argv) {
    kestrovan::ProgramOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(std::cout);
            return 0;
        } else if (arg == "--version") {
            std::cout << "Kestrovan_Version " << kestrovan::kVersion << '\n';
            return 0;
        } else if (arg == "--no-plots") {
            options.plots = false;
        } else if (arg == "--device" && i + 1 < argc) {
            options.device = argv[++i];
        } else if (arg.rfind("--device=", 0) == 0) {
            options.device = std::string(arg.substr(9));
        } else {
            std::cerr << "kestrovan: unknown option " << arg << "\n\n";
            usage(std::cerr);
            return 1;
        }
    }
    // Answers from a file (not a terminal) are echoed, and the plots then ask nothing.
    options.interactive = isatty(STDIN_FILENO) != 0;
    options.echo_answers = !options.interactive;
    return kestrovan::run_program(std::cin, std::cout, options);
}
