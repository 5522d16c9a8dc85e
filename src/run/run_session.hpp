#pragma once
// The answers of a run described by a run file: every question of the dialogue and every
// question asked during the run (the Regional-curve questions of each attempt, the tree-ring plot
// question, the stabilization loop) answered from the plan, through the same interfaces the
// console serves. A value the dialogue would ask for again ends the run (abnormal, status 1) with
// the key, the value and the dialogue's message.
#include <string>

#include "console/run_answers.hpp"
#include "run/dialogue.hpp"
#include "run/run_plan.hpp"

namespace kestrovan {

class RunFileSession : public AnswerSource {
public:
    // `params`: the options the run fills (read to see which Regional curve an attempt fits).
    RunFileSession(const RunPlan& plan, const RunOptions& params) : plan_(plan), params_(params) {}

    std::string data_file() override;
    LoadSettings load_settings(std::istream&) override;
    bool try_loading_again(const std::string& why) override;
    void data_file_unreadable(const std::string& name) override;
    QuestionAnswer answer(const Question& question) override;
    SelectionChoice selection_choice() override;
    void selection_refused(const std::string& reason) override;
    int curve_option() override;
    int alpha() override;
    int spline_stiffness(bool rcs) override;
    std::optional<std::string> pith_file(const OutputFiles&, const SeriesTable&) override;
    std::string another_pith_file(const OutputFiles&, const SeriesTable&) override;
    PithReading pith_reading() override;
    PithAfterError after_pith_read_error(const std::string& name, const std::string& reason) override;
    void pith_refused(const std::string& reason) override;
    int stabilization_choice() override;
    std::optional<RegionalChoice> regional_reselection() override;
    void ask_again(const std::string& reason) override;

    void attempt_begins() override;
    bool try_other_regional_curve() override;
    bool truncate_regional_curve() override;
    int truncation_age(int ages) override;
    bool tree_ring_plots() override;
    bool accept_stabilization(bool signal_free) override;
    int stabilization_option(bool signal_free) override;
    void regional_warning_pause() override {}
    void gave_up_pause() override {}

private:
    // Names the key whose value the next refusal concerns.
    void answering(const std::string& key, const std::string& value) { key_ = key, value_ = value; }
    [[noreturn]] void refused(const std::string& reason) const;
    const PlanAttempt& wanted() const { return plan_.attempt(accepted_); }

    const RunPlan& plan_;
    const RunOptions& params_;
    std::string key_, value_;
    std::size_t accepted_ = 0;        // attempts whose Regional curve was accepted before this one
    bool accepted_now_ = false;       // this attempt's curve has been accepted
    bool truncated_ = false;          // this attempt's curve has been truncated
    bool reselected_ = false;         // the attempt before this one re-selected the curve
    bool other_signal_free_ = false;  // the signal-free stabilization was switched to its own option
};

}  // namespace kestrovan
