#pragma once
// How the numerical code (curves/, stats/) reports a failure it cannot go on from: it throws
// NumericFailure and prints nothing itself. The code that runs the numerics turns the failure into
// the program's stop (see console/numeric_stop.hpp): it prints `lines()` in order, waits for
// RETURN when `pauses()`, and ends the run abnormally (exit status 1) with what() as the stop's
// message. A failure whose lines say everything has an empty what().
//
// The lines travel with the exception rather than being printed where the failure happens, so a
// failure met on a worker thread reaches the console after everything printed before it, at any
// thread count.
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kestrovan {

// One line of a failure's message: `text` from `column` (1 = no indent); empty text is a blank
// line.
struct FailureLine {
    std::string text;
    int column = 1;
};

class NumericFailure : public std::runtime_error {
public:
    // Every numeric failure ends the run as an abnormal stop.
    static constexpr int kExitStatus = 1;

    // A failure said in one message, printed by the stop.
    explicit NumericFailure(const std::string& message) : std::runtime_error(message) {}
    // A failure said in `lines` (then a wait for RETURN when `pause`); `message` is what() (empty:
    // the lines say it all).
    NumericFailure(std::vector<FailureLine> lines, bool pause, const std::string& message = {})
        : std::runtime_error(message), lines_(std::move(lines)), pause_(pause) {}

    const std::vector<FailureLine>& lines() const { return lines_; }
    bool pauses() const { return pause_; }
    int exit_code() const { return kExitStatus; }

private:
    std::vector<FailureLine> lines_;
    bool pause_ = false;
};

}  // namespace kestrovan
