#include "run/run_session.hpp"

#include "console/stop.hpp"
#include "run/run_file.hpp"

namespace kestrovan {

void RunFileSession::refused(const std::string& reason) const {
    throw ProgramStop(StopKind::Abnormal,
                      (key_.empty() ? std::string() : key_ + " = " + value_ + ": ") + reason);
}

std::string RunFileSession::data_file() {
    answering("data", toml_string(plan_.data));
    return plan_.data;
}

LoadSettings RunFileSession::load_settings(std::istream&) {
    answering("format", toml_string(file_kind_name(plan_.load.kind)));
    return plan_.load;
}

bool RunFileSession::try_loading_again(const std::string& why) {
    answering("data", toml_string(plan_.data));
    refused("the data could not be read: " + why);
}

void RunFileSession::data_file_unreadable(const std::string&) {
    answering("data", toml_string(plan_.data));
    refused("the data file cannot be read");
}

// The plan's value, named as the run file spells it for a refusal that follows (a running-RBAR
// window the data cannot hold).
QuestionAnswer RunFileSession::answer(const Question& question) {
    answering(question.key, toml_text(question_value(question, plan_.options)));
    return answer_in(question, plan_.options);
}

SelectionChoice RunFileSession::selection_choice() {
    const SelectionChoice& c = plan_.selection;
    answering(selection_key(c.choice),
              c.choice == 7 ? "[" + std::to_string(c.value1) + ", " + std::to_string(c.value2) + "]"
                            : std::to_string(c.value1));
    return c;
}

void RunFileSession::selection_refused(const std::string& reason) { refused(reason); }

int RunFileSession::curve_option() { return plan_.options.curve_option; }
int RunFileSession::alpha() { return plan_.options.alpha; }
int RunFileSession::spline_stiffness(bool) { return plan_.options.spline_stiffness; }

std::optional<std::string> RunFileSession::pith_file(const OutputFiles&, const SeriesTable&) {
    answering("pith", toml_string(plan_.pith));
    if (plan_.pith.empty()) return std::nullopt;
    return plan_.pith;
}

std::string RunFileSession::another_pith_file(const OutputFiles&, const SeriesTable&) {
    refused("no other pith file");
}

PithReading RunFileSession::pith_reading() { return plan_.pith_reading; }

PithAfterError RunFileSession::after_pith_read_error(const std::string&, const std::string& reason) {
    answering("pith", toml_string(plan_.pith));
    refused(reason);
}

void RunFileSession::pith_refused(const std::string& reason) {
    answering("pith", toml_string(plan_.pith));
    refused(reason);
}

int RunFileSession::stabilization_choice() { return plan_.options.stabilization; }

std::optional<RegionalChoice> RunFileSession::regional_reselection() {
    const RegionalChoice& c = wanted().curve;
    answering("regional_curve", toml_string(regional_name(c.code)) +
                                    (setting_of(CurveList::Regional, c.code) == CurveSetting::Window
                                         ? ", window = " + std::to_string(c.window)
                                         : ""));
    return c;
}

void RunFileSession::ask_again(const std::string& reason) { refused(reason); }

void RunFileSession::attempt_begins() {
    if (accepted_now_) ++accepted_;
    accepted_now_ = truncated_ = false;
}

// The attempt fits the curve the plan wants for it: another one is re-selected first (as the
// dialogue's first attempt always fits the age-dependent spline).
bool RunFileSession::try_other_regional_curve() {
    if (!same_regional_curve(regional_choice_of(params_), wanted().curve)) {
        // One re-selection gives the curve; a second in a row would never end.
        if (reselected_) {
            answering("regional_curve", toml_string(regional_name(wanted().curve.code)));
            refused("the Regional curve cannot be chosen");
        }
        reselected_ = true;
        return true;
    }
    accepted_now_ = true;
    reselected_ = false;
    return false;
}

bool RunFileSession::truncate_regional_curve() {
    if (truncated_ || wanted().truncation_age == 0) return false;
    truncated_ = true;
    return true;
}

int RunFileSession::truncation_age(int ages) {
    return regional_truncation_age(wanted().truncation_age, ages);
}

bool RunFileSession::tree_ring_plots() { return wanted().tree_ring_plots; }

// The standard chronology takes the plan's option as it is; the signal-free one its own option
// when the plan names one (the first stage, with the option held, is declined).
bool RunFileSession::accept_stabilization(bool signal_free) {
    return !signal_free || !plan_.signal_free_stabilization || other_signal_free_;
}

int RunFileSession::stabilization_option(bool) {
    other_signal_free_ = true;
    return plan_.signal_free_stabilization.value_or(plan_.options.stabilization);
}

}  // namespace kestrovan
