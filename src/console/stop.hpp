#pragma once
// The one way the program ends: every stop (normal, user's choice, abnormal, fatal, end of input)
// throws ProgramStop, which main catches; nothing deep inside calls exit. A stop whose message
// (what()) is not empty has main print that message before the program ends; routines that have
// already printed their own messages throw with an empty one. The numerical code never throws
// it: it throws NumericFailure (model/numeric_failure.hpp), which the run turns into this stop
// (console/numeric_stop.hpp).
#include <stdexcept>
#include <string>
#include <utility>

namespace kestrovan {

enum class StopKind {
    Normal,      // normal termination, or a stop the user chose ("/", Q, "Program Terminating")
    Abnormal,    // abnormal termination or a fatal error
    EndOfInput,  // standard input ended at a question
};

class ProgramStop : public std::runtime_error {
public:
    // `reason`: for a stop whose messages have been printed already (what() empty), the line
    // that says why, for the records of the run (its summary); main does not print it.
    explicit ProgramStop(StopKind kind, const std::string& why = {}, std::string reason = {})
        : std::runtime_error(why), kind_(kind), reason_(std::move(reason)) {}
    StopKind kind() const { return kind_; }
    const std::string& reason() const { return reason_; }
    int exit_code() const {
        switch (kind_) {
            case StopKind::Normal: return 0;
            case StopKind::Abnormal: return 1;
            case StopKind::EndOfInput: return 2;
        }
        return 1;
    }

private:
    StopKind kind_;
    std::string reason_;
};

}  // namespace kestrovan
