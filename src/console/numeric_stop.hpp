#pragma once
// The program's stop for a failure of the numerical code: the numerics throw NumericFailure
// (model/numeric_failure.hpp) and print nothing; the code that runs them hands the failure to
// `stop_on_failure`, which says on the console what the numerics would have said, where they
// failed, and throws the ProgramStop that ends the run.
#include "console/console.hpp"
#include "console/stop.hpp"
#include "model/numeric_failure.hpp"

namespace kestrovan {

// The ProgramStop a failure ends the run with: abnormal (exit status NumericFailure::kExitStatus),
// message what().
ProgramStop stop_for(const NumericFailure& failure);

// Prints the failure's lines in order on `console`, waits for RETURN when the failure asks for it,
// then throws stop_for(failure).
[[noreturn]] void stop_on_failure(Console& console, const NumericFailure& failure);

}  // namespace kestrovan
