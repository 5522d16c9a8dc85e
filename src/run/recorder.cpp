#include "run/recorder.hpp"

namespace kestrovan {

RunPlan SessionRecorder::plan() const {
    RunPlan p = plan_;
    if (!attempts_.empty()) {
        p.first = attempts_.front();
        p.retries.assign(attempts_.begin() + 1, attempts_.end());
    } else if (p.rcs()) {
        p.first.curve = {kCurveRcs, p.options.alpha, 0, p.options.spline_stiffness};
    }
    return p;
}

std::string SessionRecorder::data_file() { return plan_.data = source_.data_file(); }

LoadSettings SessionRecorder::load_settings(std::istream& file) {
    return plan_.load = source_.load_settings(file);
}

// Questions 3 to 8 come again after a start over: the run begins anew from them.
int SessionRecorder::curve_option() {
    plan_.options.curve_option = source_.curve_option();
    plan_.options.spline_stiffness = plan_.rcs() ? 10 : 50;
    plan_.pith.clear();
    plan_.pith_reading = {};
    plan_.signal_free_stabilization.reset();
    attempts_.clear();
    accepted_now_ = false;
    return plan_.options.curve_option;
}

std::optional<std::string> SessionRecorder::pith_file(const OutputFiles& f, const SeriesTable& t) {
    const auto name = source_.pith_file(f, t);
    plan_.pith = name.value_or("");
    plan_.pith_reading = {};
    return name;
}

std::string SessionRecorder::another_pith_file(const OutputFiles& f, const SeriesTable& t) {
    return plan_.pith = source_.another_pith_file(f, t);
}

std::optional<RegionalChoice> SessionRecorder::regional_reselection() {
    return source_.regional_reselection();
}

void SessionRecorder::attempt_begins() { accepted_now_ = false; }

bool SessionRecorder::try_other_regional_curve() {
    const bool other = source_.try_other_regional_curve();
    // Another curve after a truncation: this attempt is a re-selection after all.
    if (other && accepted_now_) {
        attempts_.pop_back();
        accepted_now_ = false;
    }
    if (!other && !accepted_now_) {
        accepted_now_ = true;
        PlanAttempt a;
        a.curve = regional_choice_of(params_);
        attempts_.push_back(a);
    }
    return other;
}

int SessionRecorder::truncation_age(int ages) {
    const int age = source_.truncation_age(ages);
    if (!attempts_.empty()) attempts_.back().truncation_age = age;
    return age;
}

bool SessionRecorder::tree_ring_plots() {
    const bool plots = source_.tree_ring_plots();
    if (!attempts_.empty()) attempts_.back().tree_ring_plots = plots;
    return plots;
}

int SessionRecorder::stabilization_option(bool signal_free) {
    const int option = source_.stabilization_option(signal_free);
    if (signal_free)
        plan_.signal_free_stabilization = option;
    else
        plan_.options.stabilization = option;
    return option;
}

}  // namespace kestrovan
