#pragma once
// The options of a run: what the dialogue (or a run file) fixes before the run begins, every
// field with its default; and what the run loop changes from one engine attempt to the next.
// The engine and the diagnostics only read them: what they decide during an attempt (the
// stabilization option chosen again at a question, say) they return in their own records.
#include <optional>
#include <string>
#include <vector>

#include "model/curve_families.hpp"
#include "model/methods.hpp"

namespace kestrovan {

// An option value the dialogue would not accept: the option's name (as in RunOptions), its value
// as text, and what is allowed.
struct OptionProblem {
    std::string option;
    std::string value;
    std::string allowed;
};

// The bounds of the options that take a number, shared by the dialogue's questions, the run
// file's keys and RunOptions::check (the whole numbers the dialogue's table of questions asks
// are held to them by kOptionRanges below).
inline constexpr int kMinAlpha = 0, kMaxAlpha = 9;                 // super smoother alpha
inline constexpr int kMinRbarWindow = 25, kMaxRbarWindow = 9999;   // running RBAR window (0: none)
inline constexpr float kMinConvergence = 0.0f;  // signal-free convergence criterion (below: never met)

struct RunOptions {
    IndexMethod index_method = IndexMethod::Ratios;
    bool power_transform = false;  // adaptive power transform before detrending (residuals only)

    // The per-series curve-fit option (kCurveRcs: Regional Curve Standardization); codes below -9
    // are spline percent codes, codes of 10 and more spline wavelengths in years.
    int curve_option = kCurveAgeSpline;
    // With RCS: the curve fitted to the Regional curve, a code of the Regional list (kCurveRcs is
    // the age-dependent spline there too). Changed by the Regional-curve re-selection.
    int regional_curve = kCurveRcs;
    int alpha = 7;                  // super smoother alpha 0..9 (9 stiffest)
    int spline_stiffness = 50;      // age-dependent spline start (50 per series, 10 for RCS)
    int smoothing_window = 0;       // lowess / median window of the Regional curve: years when
                                    // positive, percent of its length when -1 .. -100
    bool pith_present = false;      // pith offsets were read
    std::vector<int> pith_offsets;  // one per series of the current table (0 without a file)

    int mean_method = kMeanBiweight;  // kMeanArithmetic or kMeanBiweight
    int rbar_window = 51;             // running RBAR window (odd, 25 or more); 0 = no stabilization
    int stabilization = 0;            // 0 none, 1 age-dependent spline, <= -10 percent, >= 10 years
                                      // (the engine's acceptance loop may choose another one for
                                      // the rest of the run: it keeps that in EngineCarry)
    float convergence = 0.0001f;      // signal-free convergence criterion

    // The convergence tweaks (one answer in the dialogue): each chronology set to mean 1.0, the
    // median instead of the mean absolute difference, and only the years after nss2 tested.
    bool tweaks = true;
    bool rescale_to_one = true;
    bool median_differences = true;

    bool rcs() const { return curve_option == kCurveRcs; }
    // The code the engine fits: the Regional curve's with RCS, else the per-series option.
    int fitted_code() const { return rcs() ? regional_curve : curve_option; }
    float alpha_real() const { return static_cast<float>(alpha); }

    // The first field that holds a value the dialogue would not accept, if any. Every path checks
    // the options before the engine runs: the run file when it is read (batch runs read one),
    // the dialogue once its questions are answered. An even RBAR
    // window is accepted (the dialogue raises it by one), the curve option 9 is not (the
    // dialogue replaces it by the median segment length).
    std::optional<OptionProblem> check() const;
    // "" when check() finds nothing; otherwise "option = value: allowed".
    std::string validate() const;
};

// A whole-number option that RunOptions::check holds to a range: from lo to hi, or the value
// `off` where the option has one that turns it off. `allowed` says what a refusal allows.
struct OptionRange {
    const char* option;  // the field's name, as OptionProblem names it
    int RunOptions::*field;
    int lo, hi;
    std::optional<int> off;
    std::string (*allowed)();
};

// The ranges check() holds, in the order it checks them (after the curve and the pith offsets,
// before the stabilization). The curve's own settings (alpha, stiffness, window) depend on the
// curve and are checked with it.
inline constexpr OptionRange kOptionRanges[] = {
    {"mean_method", &RunOptions::mean_method, kMeanArithmetic, kMeanBiweight, std::nullopt,
     [] { return std::string("1 (arithmetic) or 2 (Tukey biweight)"); }},
    {"rbar_window", &RunOptions::rbar_window, kMinRbarWindow, kMaxRbarWindow, 0,
     [] { return "0 (none), or " + std::to_string(kMinRbarWindow) + " years or more"; }},
};

// What the run loop sets for each engine attempt.
struct AttemptState {
    int constant_counter = 0;  // attempts so far with a constant added
    float constant = 0.0f;     // 0.1 × constant_counter, added to every measurement
    // A failed iteration asks for the next constant. False for the last attempt of a run in
    // which no constant helped: the data as read again, with the best iterate published.
    bool allow_retry = true;
};

}  // namespace kestrovan
