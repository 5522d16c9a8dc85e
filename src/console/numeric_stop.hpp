#pragma once
// What the numerical code says, said on the console. The numerics print nothing: they record
// notices (model/notices.hpp) and throw NumericFailure (model/numeric_failure.hpp). The code that
// runs them prints the notices with `print_notices` (or runs a fit through `with_notices`), and
// hands a failure to `stop_on_failure`, which says on the console what the numerics would have
// said, where they failed, and throws the ProgramStop that ends the run.
#include <utility>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "model/notices.hpp"
#include "model/numeric_failure.hpp"

namespace kestrovan {

// The ProgramStop a failure ends the run with: abnormal (exit status NumericFailure::kExitStatus),
// message what().
ProgramStop stop_for(const NumericFailure& failure);

// Prints the failure's lines in order on `console`, waits for RETURN when the failure asks for it,
// then throws stop_for(failure).
[[noreturn]] void stop_on_failure(Console& console, const NumericFailure& failure);

// Prints the notices in order (a pause waits for RETURN, as the console's pauses do); they are
// taken out first, so a pause that ends the program leaves none to print again.
void print_notices(Console& console, Notices& notices);

// Runs fit(notices) with notices of its own and prints them on `console` when it returns or
// throws, so what a fit said before a failure is said before the failure's stop.
template <class Fit>
void with_notices(Console& console, Fit&& fit) {
    Notices notices;
    try {
        fit(notices);
    } catch (...) {
        print_notices(console, notices);
        throw;
    }
    print_notices(console, notices);
}

}  // namespace kestrovan
