#include "console/run_answers.hpp"

#include <algorithm>
#include <string>

#include "console/ask.hpp"
#include "model/format.hpp"

namespace kestrovan {

bool ConsoleAnswers::try_other_regional_curve() {
    return ask_true_false(console_, "Try different RCS detrending [T]rue or [F]alse");
}

bool ConsoleAnswers::truncate_regional_curve() {
    return ask_true_false(console_, "Truncate the Regional Curve? [T]rue or [F]alse");
}

// "Enter Biological Year beyond which not to use" / "in the estimation of the Regional model":
// an integer; 0 or less means no truncation, one above the number of ages means all ages.
int ConsoleAnswers::truncation_age(int ages) {
    for (;;) {
        console_.blank_line();
        console_.line("Enter Biological Year beyond which not to use", 2);
        console_.prompt("in the estimation of the Regional model");
        const NumberAnswer a = ask_integer_answer(console_);
        if (a.kind == NumberAnswer::Kind::Empty)
            refuse(console_, "Enter a biological year, or 0 for no truncation.");
        if (a.kind != NumberAnswer::Kind::Value) continue;
        return regional_truncation_age(a.value, ages);
    }
}

int regional_truncation_age(long long answer, int ages) {
    if (answer <= 0) return 0;
    return static_cast<int>(std::min<long long>(answer, std::max(ages, 1)));
}

bool ConsoleAnswers::tree_ring_plots() {
    return ask_true_false(console_, "Make lots of tree-ring plots [T]rue or [F]alse");
}

bool ConsoleAnswers::accept_stabilization(bool) {
    for (;;) {
        console_.blank_line();
        console_.prompt("Happy with this spline stabilization? <Y>/N");
        const std::string answer = trim(ask_or_stop(console_));
        const char a = first_char(answer);
        if (answer.empty() || a == 'Y' || a == 'y') return true;
        if (a == 'N' || a == 'n') return false;
        console_.line("Y or <RET> for Yes or N for no, okay?", 2);
    }
}

int ConsoleAnswers::stabilization_option(bool) { return ask_stabilization_option(console_); }

void ConsoleAnswers::regional_warning_pause() { console_.pause("Hit RETURN to Continue"); }

void ConsoleAnswers::gave_up_pause() { console_.pause_inline(" Hit return to continue ..."); }

int ask_stabilization_option(Console& console) {
    for (;;) {
        console.blank_line();
        console.line("Additional spline variance stabilization?", 2);
        console.line(Columns().at(2, "No additional spline stabilization").at(39, "<0>").str());
        console.line(Columns().at(2, "Age-dependent spline stabilization").at(39, " 1").str());
        console.line(Columns().at(2, "Smoothing spline (percent N cutoff)").at(39, "<-9").str());
        console.prompt(Columns().at(1, "Smoothing spline (fixed Yrs cutoff)").at(38, ">+9").str());
        const NumberAnswer a = ask_integer_answer(console);
        if (a.kind == NumberAnswer::Kind::Refused) continue;
        const int v = a.kind == NumberAnswer::Kind::Empty ? 0 : a.value;
        if (v != 0 && v != 1 && v > -10 && v < 10) {
            refuse(console,
                   "Enter 0, 1, a percent code of -10 or below, or a wavelength of 10 years or more.");
            continue;
        }
        if (check_spline_code(console, v)) return v;
    }
}

}  // namespace kestrovan
