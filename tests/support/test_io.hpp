#pragma once
// A RunIo for tests: the run's files, a console, a plotter, and the console's answers to the
// questions asked during a run. `TestIo(files, console, plotter).io()` can be handed straight
// to a call; the object lives until the end of that statement.
#include "console/console.hpp"
#include "console/run_answers.hpp"
#include "io/run_io.hpp"

namespace kestrovan::testing {

class TestIo {
public:
    TestIo(OutputFiles& files, Console& console, Plotter& plotter)
        : answers_(console), io_{files, console, plotter, answers_} {}
    RunIo& io() { return io_; }

private:
    ConsoleAnswers answers_;
    RunIo io_;
};

}  // namespace kestrovan::testing
