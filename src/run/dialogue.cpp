#include "run/dialogue.hpp"

#include <algorithm>
#include <cctype>
#include <climits>
#include <string>

#include "console/ask.hpp"
#include "console/format.hpp"
#include "console/run_answers.hpp"
#include "select/pithy.hpp"

namespace kestrovan {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The letter or digit of a one-character answer (' ' when empty); nullopt for an answer of more
// than one character, which gets `reason` printed.
std::optional<char> one_char_answer(Console& console, std::string_view reason) {
    auto c = menu_choice(ask_or_stop(console));
    if (!c) refuse(console, reason);
    return c;
}

// Asks the lines (the last one as the prompt) until the answer is empty (-> fallback) or one
// whole number from lo to hi. Refused answers get their reason.
int ask_field_value(Console& console, std::initializer_list<const char*> lines, int fallback,
                    long long lo = INT_MIN, long long hi = INT_MAX) {
    while (true) {
        console.blank_line();
        const auto last = lines.end() - 1;
        for (auto it = lines.begin(); it != last; ++it) console.line(*it, 2);
        console.prompt(*last);
        const NumberAnswer a = ask_integer_answer(console);
        if (a.kind == NumberAnswer::Kind::Empty) return fallback;
        if (a.kind == NumberAnswer::Kind::Value && check_range(console, a.value, lo, hi))
            return static_cast<int>(a.value);
    }
}


std::string labelled(const char* text, int column, const char* label) {
    return Columns().at(2, text).at(column, label).str();
}

// ---- Question 3 and its follow-ups -----------------------------------------------------------

void show_curve_menu(Console& console) {
    console.blank_line();
    console.line("General Curve fit options:", 2);
    console.blank_line();
    console.line("Spline percent N filter (variable)  .le.  -10", 2);
    console.line(labelled("Friedman variable span smoother", 45, "-5"));
    console.line(labelled("Regional Curve Standardization (RCS)", 45, "-2"));
    console.line(labelled("Raw data average, followed by Opt 6", 46, "0"));
    console.line(labelled("Neg Expon/linear any slope", 46, "1"));
    console.line(labelled("Neg Expon/linear neg slope", 46, "2"));
    console.line(labelled("Linear regression any slope", 46, "3"));
    console.line(labelled("Linear regression neg slope", 46, "4"));
    console.line(labelled("Horizontal line through mean", 46, "6"));
    console.line(labelled("Age-dependent spline smoothing", 45, "<8>"));
    console.line(labelled("Median segment length spline", 46, "9"));
    console.line(labelled("Spline filter in years (fixed .ge. 10)", 45, "10"));
    console.prompt("Opt <8> is default, hit <RET> for it");
}

// Per-series codes that no curve serves: refused so that every series gets a curve of its own.
bool curve_option_served(int option) {
    if (option <= -10 || option >= 8) return true;
    switch (option) {
    case -5: case -2: case 0: case 1: case 2: case 3: case 4: case 6: return true;
    default: return false;
    }
}

void ask_alpha(Console& console, RunOptions& params) {
    while (true) {
        const int alpha = ask_field_value(console,
                                          {"Enter the Friedman tweeter (alpha) 0-9",
                                           "An alpha=7 is suggested to begin with.",
                                           "It imparts moderate flexibility to the",
                                           "super smoother. Alpha=9 is the stiffest",
                                           "and alpha=0 is the most flexible curve.",
                                           "Enter your value, hit <RET> for 7"},
                                          7);
        if (alpha >= 0 && alpha <= 9) {
            params.alpha = alpha;
            return;
        }
        console.blank_line();
        console.line("Friedman tweeter not in admissible range", 2);
    }
}

void ask_rcs_stiffness(Console& console, RunOptions& params) {
    params.spline_stiffness = ask_field_value(console,
                                              {"For using the age-dependent spline with RCS",
                                               "enter an initial spline stiffness to smooth",
                                               "the mean biologically aged-aligned tree rings.",
                                               "A suggested initial value to try is 10 yrs.",
                                               "Enter your value, hit <RET> for 10"},
                                              10, kMinWavelength, kMaxWavelength);
}

void echo_curve_option(Report& report, const RunOptions& p) {
    const int opt = p.curve_option;
    auto line = [&](const char* text) { return std::string(text) + "  OPT" + fmt_i(opt, 5); };
    report.blank_line();
    report.line("CURVE FIT OPTION:");
    if (opt < -9) report.line(line("SPLINE PCT N FILTER (VARIABLE) .LE. -10:"));
    else if (opt == -5) report.line(line("FRIEDMAN VARIABLE SPAN SMOOTHER AND ALPHA:") + fmt_i(p.alpha, 5));
    else if (opt == -2) report.line(line("REGIONAL CURVE STANDARDIZATION (RCS):"));
    else if (opt == 0) report.line(line("NO DETRENDING (MEAN OF RAW DATA):"));
    else if (opt == 1) report.line(line("NEG EXPON/LINEAR ANY SLOPE:"));
    else if (opt == 2) report.line(line("NEG EXPON/LINEAR NEG SLOPE:"));
    else if (opt == 3) report.line(line("LINEAR REGRESSION ANY SLOPE:"));
    else if (opt == 4) report.line(line("LINEAR REGRESSION NEG SLOPE:"));
    else if (opt == 6) report.line(line("HORIZONTAL LINE THROUGH MEAN:"));
    else if (opt == 8) report.line(line("AGE-DEPENDENT SPLINE SMOOTHING AND START:") + fmt_i(p.spline_stiffness, 5));
    else if (opt == 9) report.line(line("MEDIAN SEGMENT LENGTH SPLINE:"));
    else if (opt > 9) report.line(line("SPLINE FILTER IN YEARS (FIXED) .GE. 10:"));
}

void ask_curve_fit(Console& console, RunFiles& files, const SeriesTable& table, RunOptions& params,
                   int median_segment_length) {
    int option = 8;
    while (true) {
        show_curve_menu(console);
        const NumberAnswer a = ask_integer_answer(console);
        if (a.kind == NumberAnswer::Kind::Refused) continue;
        option = a.kind == NumberAnswer::Kind::Empty ? 8 : static_cast<int>(a.value);
        if (!check_spline_code(console, option)) continue;
        if (curve_option_served(option)) break;
        console.blank_line();
        console.line("Curve fit option" + fmt_i(option, 5) + " is not one of the options listed", 2);
    }
    params.curve_option = option;
    params.regional_curve = kCurveRcs;

    if (option == -5) ask_alpha(console, params);
    if (option == 8)
        params.spline_stiffness = ask_field_value(console,
                                                  {"For the age-dependent spline you must",
                                                   "enter a starting spline stiffness. For",
                                                   "detrending individual series, an initial",
                                                   "value that appears work well is 50 yrs.",
                                                   "Enter your value, hit <RET> for 50"},
                                                  50, kMinWavelength, kMaxWavelength);
    // The median segment length acts as a fixed spline length in years; below 10 it would turn
    // into one of the other option codes, so 10 is the shortest length used.
    if (option == 9) params.curve_option = std::max(median_segment_length, 10);

    echo_curve_option(files.report, params);

    if (option == -2) {
        ask_rcs_stiffness(console, params);
        do {
            pithy(console, files, table, params);
        } while (!check_pith_offsets(console, table, params));
    } else {
        params.pith_present = false;
        params.pith_offsets.assign(static_cast<std::size_t>(table.count()), 0);
    }
}

// ---- Questions 4 to 8 ------------------------------------------------------------------------

void ask_mean_method(Console& console, RunFiles& files, RunOptions& params) {
    while (true) {
        console.blank_line();
        console.line("How to calculate the mean chronology (/ to stop):", 2);
        console.line(labelled("Non-robust arithmetic mean", 39, " 1 "));
        console.line(labelled("Robust Tukey biweight mean", 39, "<2>"));
        console.prompt("Robust is default, hit <RET> if you want it");
        const auto answer = one_char_answer(console, "Enter 1 or 2.");
        if (!answer) continue;
        const char c = *answer == ' ' ? '2' : *answer;
        if (c == '1' || c == '2') {
            params.mean_method = c - '0';
            files.report.blank_line();
            files.report.line(std::string(c == '1' ? "NON-ROBUST ARITHMETIC MEAN CHRONOLOGY CALCULATED:"
                                                   : "TUKEY ROBUST BIWEIGHT MEAN CHRONOLOGY CALCULATED:") +
                              "  " + fmt_i(params.mean_method, 5));
            return;
        }
        console.blank_line();
        console.line("Mean index choice not admissible", 2);
    }
}

void ask_rbar_window(Console& console, const SeriesTable& table, RunOptions& params) {
    const int span = table.count() > 0 ? table.summary.last - table.summary.first + 1 : 0;
    while (true) {
        int window = ask_field_value(console,
                                     {"Enter running RBAR window width for variance",
                                      "stabilization. Must be .ge. 25 years and odd.",
                                      "Default window width is 51 years, 0 to skip"},
                                     51);
        if (window == 0) {
            console.blank_line();
            console.line("Running RBAR variance stabilization skipped", 2);
            params.rbar_window = 0;
            return;
        }
        if (window < 25) {
            console.blank_line();
            console.line("Running RBAR window width must be .ge. 25", 2);
            continue;
        }
        // A window longer than the years of the data holds no complete window at all.
        if (window > span) {
            refuse(console, "The running RBAR window cannot be longer than the " + std::to_string(span) +
                                " years of the data.");
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

void ask_convergence(Console& console, RunOptions& params) {
    params.fallback_refits = true;
    params.adjust_signal_free_means = true;
    params.detrend_differences = true;
    params.last_year_cap = false;
    params.convergence = 0.0001f;
    while (true) {
        console.blank_line();
        console.line("Enter the signal free convergence test", 2);
        console.line("based on minimizing the mean absolute", 2);
        console.line("differences between the current and", 2);
        console.line("preceeding chronologies:   ", 2);
        console.line("  Original Vessik setting   1  0.0005", 2);
        console.line("  Current default setting  <2> 0.0001", 2);
        console.prompt("  **** Roll Your Own ****   3  X.XXXX");
        const auto answer = one_char_answer(console, "Enter 1, 2 or 3.");
        if (!answer) continue;
        const char c = *answer;
        if (c == '1') {
            params.convergence = 0.0005f;
            return;
        }
        if (c == '2' || c == ' ') {
            params.convergence = 0.0001f;
            return;
        }
        if (c == '3') {
            console.blank_line();
            console.prompt("Okay, enter YOUR convergence test");
            const NumberAnswer v = parse_real_answer(ask_or_stop(console));
            if (v.kind == NumberAnswer::Kind::Value) {
                params.convergence = static_cast<float>(v.real);
                return;
            }
            refuse(console, v.kind == NumberAnswer::Kind::Empty ? "No convergence test entered." : v.reason);
            continue;
        }
        refuse(console, "Enter 1, 2 or 3.");
    }
}

void ask_tweaks(Console& console, RunFiles& files, RunOptions& params) {
    char answer = 'y';
    while (true) {
        console.blank_line();
        console.line("Use ZELK signal free convergence tweaks?", 2);
        console.line("Set each chronology mean to exactly 1.0", 2);
        console.line("and use the more robust median absolute", 2);
        console.line("differences instead of mean absolute", 2);
        console.line("differences for signal free convergence.", 2);
        console.prompt("Enter <y>/n (default is y for YES, / to exit)");
        const std::string a = lower(trim(ask_or_stop(console)));
        if (a.empty() || a == "y" || a == "yes") { answer = 'y'; break; }
        if (a == "n" || a == "no") { answer = 'n'; break; }
        console.blank_line();
        console.line("Answer not entered as y or n", 2);
    }
    params.tweaks = params.rescale_to_one = params.median_differences = answer == 'y';

    Report& r = files.report;
    r.blank_line();
    if (answer == 'y') {
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
    const std::string lines[] = {
        std::string("  -5:  friedman super smoother") + "        lower alpha (0-9) gives more local fit",
        std::string("  -4:  robust lowess smoother") + "         window in years, or -percent of series length",
        std::string("  -3:  median smoothing") + "               must have odd window length <full length only>",
        std::string("  -2:  Age-dependent spline smoothing"),
        std::string("   1:  neg expon curve, ") + "no = opt 4    f(i) = a*exp(-b*t(i)) + d    (d>0)",
        std::string("   2:  neg expon curve, ") + "no = opt 5    f(i) = a*exp(-b*t(i)) + d    (d>0)",
        std::string("   3:  neg expon curve  ") + "(general)     f(i) = a*exp(-b*t(i+p)) + d (any d)",
        std::string("   4:  linear regression ") + "(any slope)  f(i) = +/-c*t(i) + d",
        std::string("   5:  linear regression ") + "(neg slope)  f(i) = -c*t(i) + d   ",
        std::string("   6:  horizontal line through ") + "mean   f(i) = mean(y(i)) = d",
        std::string("   7:  hugershoff growth ") + "function     f(i) = a*t(i+p)**b * exp(-c*t(i+p)) + d",
        std::string("   8:  general exponential (b = 1)    ") + "f(i) = a*t(i+p)**b * exp(-c*t(i+p)) + d",
        std::string("  >9: cubic smoothing ") + "spline         fixed 50 pct variance cutoff",
        std::string(" <-9: cubic smoothing ") + "spline         pct n 50 pct variance cutoff",
    };
    for (const auto& l : lines) console.line(l, 3);
    console.blank_line();
    console.prompt(" enter option (x to start over)", 34);
}

// Regional-curve codes the menu does not offer (or that would change the data they fit).
bool rcs_option_refused(int option) { return option == 0 || option == 9 || option == -1 || (option >= -9 && option <= -6); }

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
// longest series, or a percent from -1 to -100.
bool rcs_window_accepted(Console& console, int w, bool odd, int longest) {
    const bool years = w >= 3 && w <= std::max(longest, 3) && (!odd || w % 2 == 1);
    if (years || (w >= -100 && w <= -1)) return true;
    refuse(console, std::string(odd ? "The median window must be an odd number of years from 3"
                                    : "The lowess window must be a number of years from 3") +
                        " to " + std::to_string(std::max(longest, 3)) + ", or a percent from -1 to -100.");
    return false;
}

// The report line of a Regional curve chosen in the re-selection menu, as the curve line of the
// dialogue records the first choice: code, then its alpha, window or stiffness.
void echo_rcs_reselection(Report& report, const RunOptions& p) {
    const int code = p.regional_curve;
    std::string text = "REGIONAL CURVE RE-SELECTED FOR RCS:  OPT" + fmt_i(code, 5);
    if (code == -5) text += fmt_i(p.alpha, 5);
    if (code == -4 || code == -3) text += fmt_i(p.smoothing_window, 5);
    if (code == -2) text += fmt_i(p.spline_stiffness, 5);
    report.blank_line();
    report.line(text);
}

}  // namespace

void dialogue_before_selection(Console& console, RunFiles& files, RunOptions& params) {
    while (true) {
        console.blank_line();
        console.prompt("Compute Indices by [R]atios or residual[S]");
        const std::string answer = console.ask();
        if (is_stop_answer(answer)) {
            console.blank_line();
            console.line("Program Terminating", 2);
            stop_by_user();
        }
        const std::string a = lower(trim(answer));
        if (a == "r" || a == "ratios") {
            params.index_method = IndexMethod::Ratios;
            params.power_transform = false;
            files.report.blank_line();
            files.report.line("TREE-RING INDICES ARE CALCULATED AS RATIOS OF EXPECTED GROWTH");
            return;
        }
        if (a == "s" || a == "residuals") {
            params.index_method = IndexMethod::Residuals;
            files.report.blank_line();
            files.report.line("TREE-RING INDICES ARE CALCULATED AS RESIDUALS FROM EXPECTED GROWTH");
            break;
        }
        console.blank_line();
        console.line("Error reading input [R] or [S]. Try again or enter / to exit", 2);
    }
    params.power_transform = ask_true_false(console, "Power transform data? [T]rue or [F]alse", false);
}

void dialogue_after_selection(Console& console, RunFiles& files, const SeriesTable& table,
                              RunOptions& params, int median_segment_length) {
    ask_curve_fit(console, files, table, params, median_segment_length);
    ask_mean_method(console, files, params);
    ask_rbar_window(console, table, params);
    params.stabilization = 0;
    if (params.rbar_window >= 25) params.stabilization = ask_stabilization_option(console);
    ask_convergence(console, params);
    ask_tweaks(console, files, params);
}

void rcs_reselection(Console& console, RunFiles& files, const SeriesTable& table,
                     RunOptions& params, int median_segment_length) {
    while (true) {
        show_rcs_menu(console);
        const std::string answer = trim(ask_or_stop(console));
        // An empty line is no answer yet: the menu is shown again rather than starting over.
        if (answer.empty()) continue;
        if (answer == "x" || answer == "X") {
            dialogue_after_selection(console, files, table, params, median_segment_length);
            return;
        }
        const NumberAnswer option = parse_integer_answer(answer);
        if (option.kind != NumberAnswer::Kind::Value) {
            refuse(console, option.reason + " Enter an option number, or x to start over.");
            continue;
        }
        const int code = static_cast<int>(option.value);
        if (rcs_option_refused(code)) {
            console.blank_line();
            console.line("RCS curve fit option" + fmt_i(code, 5) + " is not one of the options listed", 2);
            continue;
        }
        if (!check_spline_code(console, code)) continue;
        if (code == -5) {
            ask_alpha(console, params);
            params.smoothing_window = params.alpha;
        } else if (code == -4 || code == -3) {
            const bool median = code == -3;
            auto w = median ? ask_rcs_window(console, "enter the median window width",
                                             "fixed for all series: a positive odd integer >2")
                            : ask_rcs_window(console, "enter the lowess window width",
                                             "in years for all series: a positive integer >2");
            if (!w || !rcs_window_accepted(console, *w, median, longest_series(table))) continue;
            params.smoothing_window = *w;
        } else if (code == -2) {
            ask_rcs_stiffness(console, params);
        }
        params.curve_option = kCurveRcs;
        params.regional_curve = code;
        echo_rcs_reselection(files.report, params);
        return;
    }
}

}  // namespace kestrovan
