#include "run/dialogue.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "console/ask.hpp"
#include "console/run_answers.hpp"
#include "console/stop.hpp"
#include "model/format.hpp"
#include "select/pithy.hpp"

namespace kestrovan {

namespace {

// Asks the question of the run-file key `key` and keeps the answer in its field of the options.
void ask(DialogueAnswers& answers, std::string_view key, RunOptions& params) {
    const Question& q = question(key);
    store(q, answers.answer(q), params);
}

std::string labelled(const char* text, int column, const char* label) {
    return Columns().at(2, text).at(column, label).str();
}

// ---- Question 3 and its follow-ups -----------------------------------------------------------

// The families of a list's menu in the order of its lines.
std::vector<const CurveFamily*> menu_lines(CurveList list) {
    std::vector<const CurveFamily*> lines;
    for (const CurveFamily& f : kCurveFamilies)
        if ((list == CurveList::PerSeries ? f.menu_place : f.regional_menu_place) > 0) lines.push_back(&f);
    std::sort(lines.begin(), lines.end(), [list](const CurveFamily* a, const CurveFamily* b) {
        return list == CurveList::PerSeries ? a->menu_place < b->menu_place
                                            : a->regional_menu_place < b->regional_menu_place;
    });
    return lines;
}

void show_curve_menu(Console& console) {
    console.blank_line();
    console.line("General Curve fit options:", 2);
    console.blank_line();
    for (const CurveFamily* f : menu_lines(CurveList::PerSeries)) {
        if (f->label_column > 0)
            console.line(labelled(f->menu_text, f->label_column, f->menu_label));
        else
            console.line(f->menu_text, 2);
    }
    console.prompt("Opt <8> is default, hit <RET> for it");
}

int ask_alpha(Console& console) {
    while (true) {
        const int alpha = ask_field_value(
            console,
            {"Enter the Friedman tweeter (alpha) 0-9", "An alpha=7 is suggested to begin with.",
             "It imparts moderate flexibility to the", "super smoother. Alpha=9 is the stiffest",
             "and alpha=0 is the most flexible curve.", "Enter your value, hit <RET> for 7"},
            7);
        if (alpha >= kMinAlpha && alpha <= kMaxAlpha) return alpha;
        console.blank_line();
        console.line("Friedman tweeter not in admissible range", 2);
    }
}

int ask_rcs_stiffness(Console& console) {
    return ask_field_value(
        console,
        {"For using the age-dependent spline with RCS", "enter an initial spline stiffness to smooth",
         "the mean biologically aged-aligned tree rings.", "A suggested initial value to try is 10 yrs.",
         "Enter your value, hit <RET> for 10"},
        10, kMinWavelength, kMaxWavelength);
}

void echo_curve_option(Report& report, const RunOptions& p) {
    const int opt = p.curve_option;
    report.blank_line();
    report.line("CURVE FIT OPTION:");
    const CurveFamily* f = curve_family(CurveList::PerSeries, opt);
    if (!f || *f->echo == '\0') return;
    std::string text = std::string(f->echo) + "  OPT" + fmt_i(opt, 5);
    if (f->echo_setting) text += fmt_i(f->setting == CurveSetting::Alpha ? p.alpha : p.spline_stiffness, 5);
    report.line(text);
}

// Reads the curve-fit menu until the answer is an option that serves every series.
int ask_curve_option(Console& console) {
    while (true) {
        show_curve_menu(console);
        const NumberAnswer a = ask_integer_answer(console);
        if (a.kind == NumberAnswer::Kind::Refused) continue;
        const int option = a.kind == NumberAnswer::Kind::Empty ? 8 : static_cast<int>(a.value);
        if (!check_spline_code(console, option)) continue;
        if (menu_code(CurveList::PerSeries, option)) return option;
        console.blank_line();
        console.line("Curve fit option" + fmt_i(option, 5) + " is not one of the options listed", 2);
    }
}

// The pith-offset dialogue until the offsets fit the series.
void pith_offsets_stage(DialogueAnswers& answers, Console& console, OutputFiles& files,
                        const SeriesTable& table, RunOptions& params) {
    for (;;) {
        pithy(answers, console, files, table, params);
        std::string reason;
        if (check_pith_offsets(console, table, params, &reason)) return;
        answers.pith_refused(reason);
    }
}

void curve_fit_stage(DialogueAnswers& answers, Console& console, OutputFiles& files, const SeriesTable& table,
                     RunOptions& params, int median_segment_length) {
    const int option = answers.curve_option();
    params.curve_option = option;
    params.regional_curve = kCurveRcs;

    if (setting_of(CurveList::PerSeries, option) == CurveSetting::Alpha) params.alpha = answers.alpha();
    if (option == kCurveAgeSpline) params.spline_stiffness = answers.spline_stiffness(false);
    // The median segment length acts as a fixed spline length in years; below 10 it would turn
    // into one of the other option codes, so 10 is the shortest length used.
    if (option == kCurveMedianLength)
        params.curve_option = std::max(median_segment_length, kFirstWavelengthCode);

    echo_curve_option(files.report, params);

    if (option == kCurveRcs) {
        params.spline_stiffness = answers.spline_stiffness(true);
        pith_offsets_stage(answers, console, files, table, params);
    } else {
        params.pith_present = false;
        params.pith_offsets.assign(static_cast<std::size_t>(table.count()), 0);
    }
}

// ---- Questions 4 to 8 ------------------------------------------------------------------------

void echo_mean_method(Report& report, int method) {
    report.blank_line();
    report.line(std::string(method == kMeanArithmetic ? "NON-ROBUST ARITHMETIC MEAN CHRONOLOGY CALCULATED:"
                                                      : "TUKEY ROBUST BIWEIGHT MEAN CHRONOLOGY CALCULATED:") +
                "  " + fmt_i(method, 5));
}

// The RBAR window entered, checked against the data: 0 skips, 1 to 24 and windows longer than
// the data are asked again, an even window is raised by one.
void rbar_window_stage(DialogueAnswers& answers, Console& console, const SeriesTable& table,
                       RunOptions& params) {
    const int span = table.count() > 0 ? table.summary.last - table.summary.first + 1 : 0;
    while (true) {
        ask(answers, "rbar_window", params);
        int window = params.rbar_window;
        if (window == 0) {
            console.blank_line();
            console.line("Running RBAR variance stabilization skipped", 2);
            params.rbar_window = 0;
            return;
        }
        if (window < kMinRbarWindow) {
            console.blank_line();
            const std::string why = "Running RBAR window width must be .ge. " + std::to_string(kMinRbarWindow);
            console.line(why, 2);
            answers.ask_again(why);
            continue;
        }
        // A window longer than the years of the data holds no complete window at all.
        if (window > span) {
            const std::string why = "The running RBAR window cannot be longer than the " +
                                    std::to_string(span) + " years of the data.";
            refuse(console, why);
            answers.ask_again(why);
            continue;
        }
        if (window % 2 == 0) {
            ++window;
            console.blank_line();
            console.line("Running RBAR window width increased to make it odd: " + fmt_i(window, 5), 2);
        }
        params.rbar_window = window;
        return;
    }
}

void echo_tweaks(Report& r, bool tweaks) {
    r.blank_line();
    if (tweaks) {
        r.line("ZELK CONVERGENCE CRITERIA USED - SHOULD BE FASTER TO CONVERGE");
        r.blank_line();
        r.line("FOR SPLINE AND FRIEDMAN FLEXIBLE CURVE FITS A COUNT-WEIGHTED CONVERGENCE CRITERION IS USED.");
        r.line("THIS SPEEDS CONVERGENCE AND REDUCES THE CHANCES OF EXCESSIVE SIGNAL FREE ITERATIONS.");
    } else {
        r.line("ORIGINAL CONVERGENCE CRITERIA USED - MAY BE SLOWER TO CONVERGE");
        r.line("FOR SPLINE AND FRIEDMAN FLEXIBLE CURVE FITS A COUNT-WEIGHTED CONVERGENCE CRITERION IS USED.");
        r.line(" THE CHANCES OF EXCESSIVE SIGNAL FREE ITERATIONS.");
    }
}

// ---- RCS re-selection ------------------------------------------------------------------------

void show_rcs_menu(Console& console) {
    console.blank_line();
    console.line("Select RCS curve fit options:", 2);
    console.blank_line();
    for (const CurveFamily* f : menu_lines(CurveList::Regional)) console.line(f->regional_menu_text, 3);
    console.blank_line();
    console.prompt(" enter option (x to start over)", 34);
}

// The window of the lowess or median Regional curve: nullopt when the answer is not one number.
std::optional<int> ask_rcs_window(Console& console, const char* what, const char* positive) {
    console.blank_line();
    console.line(what, 2);
    console.line(positive, 2);
    console.line("and less then the shortest series length, or", 2);
    console.line("percent of series length: a negative integer", 2);
    console.prompt("between -1 and -100, inclusive", 45);
    const NumberAnswer a = ask_integer_answer(console);
    if (a.kind == NumberAnswer::Kind::Empty) refuse(console, "No window entered.");
    if (a.kind != NumberAnswer::Kind::Value) return std::nullopt;
    return static_cast<int>(a.value);
}

// The longest series of the table: a smoothing window in years beyond it has no meaning.
int longest_series(const SeriesTable& table) {
    int n = 0;
    for (int i = 0; i < table.count(); ++i) n = std::max(n, table.years[static_cast<std::size_t>(i)].length);
    return n;
}

// A lowess (odd = false) or median (odd = true) window: years from 3 (odd for the median) up to the
// longest series, or a percent from -1 to -100. nullopt when accepted, else the refusal (printed).
std::optional<std::string> rcs_window_refused(Console& console, int w, bool odd, int longest) {
    const bool years = w >= 3 && w <= std::max(longest, 3) && (!odd || w % 2 == 1);
    if (years || (w >= -100 && w <= -1)) return std::nullopt;
    const std::string why = std::string(odd ? "The median window must be an odd number of years from 3"
                                            : "The lowess window must be a number of years from 3") +
                            " to " + std::to_string(std::max(longest, 3)) + ", or a percent from -1 to -100.";
    refuse(console, why);
    return why;
}

// The report line of a Regional curve chosen in the re-selection menu, as the curve line of the
// dialogue records the first choice: code, then its alpha, window or stiffness.
void echo_rcs_reselection(Report& report, const RunOptions& p) {
    const int code = p.regional_curve;
    std::string text = "REGIONAL CURVE RE-SELECTED FOR RCS:  OPT" + fmt_i(code, 5);
    switch (setting_of(CurveList::Regional, code)) {
        case CurveSetting::Alpha: text += fmt_i(p.alpha, 5); break;
        case CurveSetting::Window: text += fmt_i(p.smoothing_window, 5); break;
        case CurveSetting::Stiffness: text += fmt_i(p.spline_stiffness, 5); break;
        case CurveSetting::None: break;
    }
    report.blank_line();
    report.line(text);
}

}  // namespace

RegionalChoice regional_choice_of(const RunOptions& params) {
    return {params.regional_curve, params.alpha, params.smoothing_window, params.spline_stiffness};
}

bool same_regional_curve(const RegionalChoice& a, const RegionalChoice& b) {
    if (a.code != b.code) return false;
    switch (setting_of(CurveList::Regional, a.code)) {
        case CurveSetting::Alpha: return a.alpha == b.alpha;
        case CurveSetting::Window: return a.window == b.window;
        case CurveSetting::Stiffness: return a.stiffness == b.stiffness;
        case CurveSetting::None: return true;
    }
    return true;
}

// ---- The console's answers -------------------------------------------------------------------

int ConsoleDialogue::curve_option() { return ask_curve_option(console_); }

int ConsoleDialogue::alpha() { return ask_alpha(console_); }

int ConsoleDialogue::spline_stiffness(bool rcs) {
    if (rcs) return ask_rcs_stiffness(console_);
    return ask_field_value(console_,
                           {"For the age-dependent spline you must", "enter a starting spline stiffness. For",
                            "detrending individual series, an initial",
                            "value that appears work well is 50 yrs.", "Enter your value, hit <RET> for 50"},
                           50, kMinWavelength, kMaxWavelength);
}

int ConsoleDialogue::stabilization_choice() { return ask_stabilization_option(console_); }

std::optional<RegionalChoice> ConsoleDialogue::regional_reselection() {
    while (true) {
        show_rcs_menu(console_);
        const std::string answer = trim(ask_or_stop(console_));
        // An empty line is no answer yet: the menu is shown again rather than starting over.
        if (answer.empty()) continue;
        if (answer == "x" || answer == "X") return std::nullopt;
        const NumberAnswer option = parse_integer_answer(answer);
        if (option.kind != NumberAnswer::Kind::Value) {
            refuse(console_, option.reason + " Enter an option number, or x to start over.");
            continue;
        }
        RegionalChoice c;
        c.code = static_cast<int>(option.value);
        if (!menu_code(CurveList::Regional, c.code)) {
            console_.blank_line();
            console_.line("RCS curve fit option" + fmt_i(c.code, 5) + " is not one of the options listed", 2);
            continue;
        }
        if (!check_spline_code(console_, c.code)) continue;
        const CurveSetting setting = setting_of(CurveList::Regional, c.code);
        if (setting == CurveSetting::Alpha) c.alpha = ask_alpha(console_);
        if (setting == CurveSetting::Stiffness) c.stiffness = ask_rcs_stiffness(console_);
        if (setting == CurveSetting::Window) {
            auto w = is_family(CurveList::Regional, c.code, CurveFamilyId::RunningMedian)
                         ? ask_rcs_window(console_, "enter the median window width",
                                          "fixed for all series: a positive odd integer >2")
                         : ask_rcs_window(console_, "enter the lowess window width",
                                          "in years for all series: a positive integer >2");
            if (!w) continue;
            c.window = *w;
        }
        return c;
    }
}

// ---- The stages ------------------------------------------------------------------------------

void dialogue_before_selection(DialogueAnswers& answers, Console&, OutputFiles& files, RunOptions& params) {
    ask(answers, "indices", params);
    params.power_transform = false;
    files.report.blank_line();
    if (params.index_method == IndexMethod::Ratios) {
        files.report.line("TREE-RING INDICES ARE CALCULATED AS RATIOS OF EXPECTED GROWTH");
        return;
    }
    files.report.line("TREE-RING INDICES ARE CALCULATED AS RESIDUALS FROM EXPECTED GROWTH");
    ask(answers, "power_transform", params);
}

namespace {

// The options the answers gave, checked as a run file's are. The questions accept only what the
// check accepts, so a refusal here is a fault of the program: the run stops before the engine.
void check_answers(const RunOptions& params) {
    if (const std::string why = params.validate(); !why.empty())
        throw ProgramStop(StopKind::Abnormal, "The options of this run do not fit together: " + why);
}

}  // namespace

void dialogue_after_selection(DialogueAnswers& answers, Console& console, OutputFiles& files,
                              const SeriesTable& table, RunOptions& params, int median_segment_length) {
    curve_fit_stage(answers, console, files, table, params, median_segment_length);
    ask(answers, "mean", params);
    echo_mean_method(files.report, params.mean_method);
    rbar_window_stage(answers, console, table, params);
    params.stabilization = 0;
    if (params.rbar_window >= kMinRbarWindow) params.stabilization = answers.stabilization_choice();
    ask(answers, "convergence", params);
    ask(answers, "tweaks", params);
    params.rescale_to_one = params.median_differences = params.tweaks;
    echo_tweaks(files.report, params.tweaks);
    check_answers(params);
}

void rcs_reselection(DialogueAnswers& answers, Console& console, OutputFiles& files, const SeriesTable& table,
                     RunOptions& params, int median_segment_length) {
    while (true) {
        const auto c = answers.regional_reselection();
        if (!c) {
            dialogue_after_selection(answers, console, files, table, params, median_segment_length);
            return;
        }
        const CurveSetting setting = setting_of(CurveList::Regional, c->code);
        if (setting == CurveSetting::Window) {
            if (auto why = rcs_window_refused(console, c->window, c->code == -3, longest_series(table))) {
                answers.ask_again(*why);
                continue;
            }
            params.smoothing_window = c->window;
        }
        if (setting == CurveSetting::Alpha) params.alpha = params.smoothing_window = c->alpha;
        if (setting == CurveSetting::Stiffness) params.spline_stiffness = c->stiffness;
        params.curve_option = kCurveRcs;
        params.regional_curve = c->code;
        echo_rcs_reselection(files.report, params);
        check_answers(params);
        return;
    }
}

void dialogue_before_selection(Console& console, OutputFiles& files, RunOptions& params) {
    ConsoleDialogue answers(console);
    dialogue_before_selection(answers, console, files, params);
}

void dialogue_after_selection(Console& console, OutputFiles& files, const SeriesTable& table,
                              RunOptions& params, int median_segment_length) {
    ConsoleDialogue answers(console);
    dialogue_after_selection(answers, console, files, table, params, median_segment_length);
}

void rcs_reselection(Console& console, OutputFiles& files, const SeriesTable& table, RunOptions& params,
                     int median_segment_length) {
    ConsoleDialogue answers(console);
    rcs_reselection(answers, console, files, table, params, median_segment_length);
}

}  // namespace kestrovan
