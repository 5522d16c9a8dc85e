#pragma once
// The record of a session: the answers of a source (the console's, for --record), passed on as
// they are given and written down as a run plan (the questions asked during the run included, attempt by attempt),
// so that the session's run file (--record) and its summary name what was chosen.
#include "console/run_answers.hpp"
#include "run/dialogue.hpp"
#include "run/run_plan.hpp"

namespace kestrovan {

class SessionRecorder : public AnswerSource {
public:
    // `source`: where the answers come from; `params`: the options the run fills (read for the
    // Regional curve each attempt accepts).
    SessionRecorder(AnswerSource& source, const RunOptions& params) : source_(source), params_(params) {}

    // The plan of the answers so far.
    RunPlan plan() const;

    std::string data_file() override;
    LoadSettings load_settings(std::istream& file) override;
    bool try_loading_again(const std::string& why) override { return source_.try_loading_again(why); }
    void data_file_unreadable(const std::string& name) override { source_.data_file_unreadable(name); }
    QuestionAnswer answer(const Question& question) override {
        const QuestionAnswer a = source_.answer(question);
        store(question, a, plan_.options);
        return a;
    }
    SelectionChoice selection_choice() override { return plan_.selection = source_.selection_choice(); }
    void selection_refused(const std::string& reason) override { source_.selection_refused(reason); }
    int curve_option() override;
    int alpha() override { return plan_.options.alpha = source_.alpha(); }
    int spline_stiffness(bool rcs) override { return plan_.options.spline_stiffness = source_.spline_stiffness(rcs); }
    std::optional<std::string> pith_file(const OutputFiles& f, const SeriesTable& t) override;
    std::string another_pith_file(const OutputFiles& f, const SeriesTable& t) override;
    PithReading pith_reading() override { return plan_.pith_reading = source_.pith_reading(); }
    PithAfterError after_pith_read_error(const std::string& n, const std::string& r) override {
        return source_.after_pith_read_error(n, r);
    }
    void pith_refused(const std::string& reason) override { source_.pith_refused(reason); }
    int stabilization_choice() override {
        return plan_.options.stabilization = source_.stabilization_choice();
    }
    std::optional<RegionalChoice> regional_reselection() override;
    void ask_again(const std::string& reason) override { source_.ask_again(reason); }

    void attempt_begins() override;
    bool try_other_regional_curve() override;
    bool truncate_regional_curve() override { return source_.truncate_regional_curve(); }
    int truncation_age(int ages) override;
    bool tree_ring_plots() override;
    bool accept_stabilization(bool signal_free) override {
        return source_.accept_stabilization(signal_free);
    }
    int stabilization_option(bool signal_free) override;
    void regional_warning_pause() override { source_.regional_warning_pause(); }
    void gave_up_pause() override { source_.gave_up_pause(); }

private:
    AnswerSource& source_;
    const RunOptions& params_;
    RunPlan plan_;
    std::vector<PlanAttempt> attempts_;  // the attempts whose Regional curve was accepted
    bool accepted_now_ = false;          // the present attempt's curve has been accepted
};

}  // namespace kestrovan
