#pragma once
// A RunIo for tests: the run's files, a console, a plotter, and the console's answers to the
// questions asked during a run, with the run's observer of the engine over them.
// `TestIo(files, console, plotter).observer()` can be handed straight to a call; the object
// lives until the end of that statement.
#include "console/console.hpp"
#include "console/run_answers.hpp"
#include "io/run_io.hpp"
#include "run/run_observer.hpp"

namespace kestrovan::testing {

class TestIo {
public:
    TestIo(OutputFiles& files, Console& console, Plotter& plotter)
        : answers_(console), io_{files, console, plotter, answers_}, observer_(io_) {}
    RunIo& io() { return io_; }
    EngineObserver& observer() { return observer_; }

private:
    ConsoleAnswers answers_;
    RunIo io_;
    RunObserver observer_;
};

}  // namespace kestrovan::testing
