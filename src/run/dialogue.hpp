#pragma once
// The option dialogue that fills the Run parameters: index method and power transform before the
// series are selected; curve fit, mean method, running-RBAR window, additional stabilization,
// convergence criterion and convergence tweaks after it; and the Regional-curve re-selection menu
// that the run loop enters when the user asks for another RCS curve.
//
// What is asked and what is done with the answer are kept apart: the stages below take their
// answers from DialogueAnswers, which the console (ConsoleDialogue) or a run file serves, and do
// the same with them in both cases: the same checks, messages and report lines.
#include <istream>
#include <optional>
#include <string>

#include "console/console.hpp"
#include "console/run_answers.hpp"
#include "io/loaders.hpp"
#include "io/output_files.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "run/dialogue_questions.hpp"
#include "select/pithy.hpp"
#include "select/selection.hpp"

namespace kestrovan {

// A Regional curve of the re-selection menu with the setting its code asks for.
struct RegionalChoice {
    int code = kCurveRcs;  // a code of the Regional list
    int alpha = 7;         // -5: super smoother alpha (also its smoothing window)
    int window = 0;        // -4, -3: lowess or median window (years, or -1..-100 percent)
    int stiffness = 10;    // -2: age-dependent spline stiffness
};

// The Regional curve the options hold now, as a re-selection would name it.
RegionalChoice regional_choice_of(const RunOptions& params);
// True when the two choices fit the same curve (the settings the code does not use differ freely).
bool same_regional_curve(const RegionalChoice& a, const RegionalChoice& b);

// Every answer of the dialogue. The console asks until an answer is acceptable on its own; the
// stages check what depends on the data and call ask_again when the dialogue would ask again.
class DialogueAnswers : public SelectionAnswers, public PithAnswers {
public:
    // The data file (an existing, readable file), and how to read it.
    virtual std::string data_file() = 0;
    virtual LoadSettings load_settings(std::istream& file) = 0;
    // The data could not be read (`why`: the reader's messages): true to name a file again.
    virtual bool try_loading_again(const std::string& why) = 0;
    // The data file could be opened but not read (message printed): the console waits and names
    // a file again; a run file ends the run.
    virtual void data_file_unreadable(const std::string& name) = 0;

    // A question of the table (dialogue_questions.hpp): the index method, the power transform,
    // the mean, the running-RBAR window (0, or a window as entered), the convergence criterion
    // and its tweaks. The answer has the type of the row's field.
    virtual QuestionAnswer answer(const Question& question) = 0;
    virtual int curve_option() = 0;              // question 3: a served code (9: median length)
    virtual int alpha() = 0;                     // 3a: 0..9
    virtual int spline_stiffness(bool rcs) = 0;  // 3b (per series) or 3c (RCS)
    virtual int stabilization_choice() = 0;      // question 6
    // The RCS re-selection menu; nullopt to start over from question 3.
    virtual std::optional<RegionalChoice> regional_reselection() = 0;

    // An answer the dialogue asks for again (its message printed, `reason` the message): the
    // console asks again; a run file ends the run.
    virtual void ask_again(const std::string& reason) = 0;
};

// Every answer of a run from one source: the dialogue's questions and those asked while the run
// is under way. The console (ConsoleDialogue) or a run file (RunFileSession) serves them;
// SessionRecorder wraps a source and writes its answers down as it passes them on.
class AnswerSource : public DialogueAnswers, public RunAnswers {};

// The answers at the console, with the prompts, menus and refusals of the dialogue and of the
// questions of the run.
class ConsoleDialogue : public AnswerSource {
public:
    explicit ConsoleDialogue(Console& console) : console_(console), pith_(console), answers_(console) {}
    std::string data_file() override;
    LoadSettings load_settings(std::istream& file) override;
    bool try_loading_again(const std::string& why) override;
    void data_file_unreadable(const std::string& name) override;
    QuestionAnswer answer(const Question& question) override { return ask_at_console(question, console_); }
    int curve_option() override;
    int alpha() override;
    int spline_stiffness(bool rcs) override;
    int stabilization_choice() override;
    std::optional<RegionalChoice> regional_reselection() override;
    void ask_again(const std::string&) override {}
    SelectionChoice selection_choice() override { return ask_selection_choice(console_); }
    void selection_refused(const std::string&) override { selection_refused_pause(console_); }
    std::optional<std::string> pith_file(const OutputFiles& f, const SeriesTable& t) override {
        return pith_.pith_file(f, t);
    }
    std::string another_pith_file(const OutputFiles& f, const SeriesTable& t) override {
        return pith_.another_pith_file(f, t);
    }
    PithReading pith_reading() override { return pith_.pith_reading(); }
    PithAfterError after_pith_read_error(const std::string& n, const std::string& r) override {
        return pith_.after_pith_read_error(n, r);
    }
    void pith_refused(const std::string&) override {}

    bool try_other_regional_curve() override { return answers_.try_other_regional_curve(); }
    bool truncate_regional_curve() override { return answers_.truncate_regional_curve(); }
    int truncation_age(int ages) override { return answers_.truncation_age(ages); }
    bool tree_ring_plots() override { return answers_.tree_ring_plots(); }
    bool accept_stabilization(bool signal_free) override { return answers_.accept_stabilization(signal_free); }
    int stabilization_option(bool signal_free) override { return answers_.stabilization_option(signal_free); }
    void regional_warning_pause() override { answers_.regional_warning_pause(); }
    void gave_up_pause() override { answers_.gave_up_pause(); }

private:
    Console& console_;
    ConsolePith pith_;
    ConsoleAnswers answers_;
};

// Questions 1 (ratios or residuals) and 2 (power transform, residuals only).
void dialogue_before_selection(DialogueAnswers& answers, Console& console, OutputFiles& files,
                               RunOptions& params);
void dialogue_before_selection(Console& console, OutputFiles& files, RunOptions& params);

// Questions 3 to 8. `median_segment_length` is the MED value of the latest segment-length
// statistics (curve option 9). For RCS the pith-offset dialogue runs for the current table.
void dialogue_after_selection(DialogueAnswers& answers, Console& console, OutputFiles& files,
                              const SeriesTable& table, RunOptions& params, int median_segment_length);
void dialogue_after_selection(Console& console, OutputFiles& files, const SeriesTable& table,
                              RunOptions& params, int median_segment_length);

// The RCS re-selection menu: sets a new regional curve option (with its alpha, window or
// stiffness). An unreadable answer ("x") goes back to question 3 and runs questions 3 to 8 again.
void rcs_reselection(DialogueAnswers& answers, Console& console, OutputFiles& files, const SeriesTable& table,
                     RunOptions& params, int median_segment_length);
void rcs_reselection(Console& console, OutputFiles& files, const SeriesTable& table, RunOptions& params,
                     int median_segment_length);

}  // namespace kestrovan
