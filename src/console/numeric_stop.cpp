#include "console/numeric_stop.hpp"

namespace kestrovan {

ProgramStop stop_for(const NumericFailure& failure) {
    return ProgramStop(StopKind::Abnormal, failure.what());
}

void print_notices(Console& console, Notices& notices) {
    const std::vector<Notice> items = notices.take();
    for (const Notice& n : items) {
        if (n.kind == Notice::Kind::Pause)
            console.pause(n.text);
        else
            console.line(n.text, n.column);
    }
}

void stop_on_failure(Console& console, const NumericFailure& failure) {
    for (const FailureLine& l : failure.lines()) console.line(l.text, l.column);
    if (failure.pauses()) console.pause();
    throw stop_for(failure);
}

}  // namespace kestrovan
