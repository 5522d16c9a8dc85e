#pragma once
// The questions asked while a run is under way: the Regional-curve dialogue, the tree-ring plot
// question, the acceptance loop of the spline stabilization and the pauses of the engine. The
// engine asks them through RunAnswers only; ConsoleAnswers asks the user at the console, and a
// run file answers them from its keys, so that the two cannot drift apart.
#include <string_view>

#include "console/console.hpp"

namespace kestrovan {

class RunAnswers {
public:
    virtual ~RunAnswers() = default;
    // A new engine attempt begins (the run loop says so before each engine call).
    virtual void attempt_begins() {}
    // "Try different RCS detrending [T]rue or [F]alse"
    virtual bool try_other_regional_curve() = 0;
    // "Truncate the Regional Curve? [T]rue or [F]alse"
    virtual bool truncate_regional_curve() = 0;
    // "Enter Biological Year beyond which not to use": 0 = none, else 1 .. ages.
    virtual int truncation_age(int ages) = 0;
    // "Make lots of tree-ring plots [T]rue or [F]alse"
    virtual bool tree_ring_plots() = 0;
    // "Happy with this spline stabilization? <Y>/N", for the first-pass (standard) chronology or
    // the signal-free one.
    virtual bool accept_stabilization(bool signal_free) = 0;
    // The stabilization menu after an answer N: the next option to try.
    virtual int stabilization_option(bool signal_free) = 0;
    // The pause after the warning that the Regional curve goes negative.
    virtual void regional_warning_pause() = 0;
    // The pause after the engine gave up adding constants.
    virtual void gave_up_pause() = 0;
};

// The questions asked at the console; "/" stops the program at each of them.
class ConsoleAnswers : public RunAnswers {
public:
    explicit ConsoleAnswers(Console& console) : console_(console) {}
    bool try_other_regional_curve() override;
    bool truncate_regional_curve() override;
    int truncation_age(int ages) override;
    bool tree_ring_plots() override;
    bool accept_stabilization(bool signal_free) override;
    int stabilization_option(bool signal_free) override;
    void regional_warning_pause() override;
    void gave_up_pause() override;

private:
    Console& console_;
};

// The truncation age an answer gives for a Regional curve of `ages` ages: 0 or less is none (0),
// more than the ages is all of them.
int regional_truncation_age(long long answer, int ages);

// The stabilization option menu ("Additional spline variance stabilization?") of the dialogue
// and of the acceptance loop: asks until the answer is 0 (also an empty answer), 1, a percent
// code from -10 to -1000 or a wavelength from 10 to 100000 years; other answers get a one-line
// reason. "/" stops the program.
int ask_stabilization_option(Console& console);

}  // namespace kestrovan
