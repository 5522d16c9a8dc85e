#pragma once
// What the stages of a run talk to: the run's files, the console, the plots and the questions
// asked while the run is under way. Built once by the program (or a test) and handed down.
#include "io/output_files.hpp"

namespace kestrovan {

class Console;
class Plotter;     // plot/plotter.hpp
class RunAnswers;  // console/run_answers.hpp

struct RunIo {
    OutputFiles& files;
    Console& console;
    Plotter& plotter;
    RunAnswers& answers;
};

}  // namespace kestrovan
