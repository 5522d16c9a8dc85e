#include "console/numeric_stop.hpp"

namespace kestrovan {

ProgramStop stop_for(const NumericFailure& failure) {
    return ProgramStop(StopKind::Abnormal, failure.what());
}

void stop_on_failure(Console& console, const NumericFailure& failure) {
    for (const FailureLine& l : failure.lines()) console.line(l.text, l.column);
    if (failure.pauses()) console.pause();
    throw stop_for(failure);
}

}  // namespace kestrovan
