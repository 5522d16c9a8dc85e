#pragma once
// The Run parameters: the options fixed by the dialogue, and the fields the run loop and the
// engine own. Every later stage reads them.
#include <vector>

namespace kestrovan {

struct RunParameters {
    int index_method = 0;        // 0 = ratios of the fitted growth, 1 = residuals
    int power_transform = 0;     // 1 = adaptive power transform before detrending
    int curve_option = 8;        // curve-fit option code
    int alpha = 7;               // super smoother alpha 0..9 (9 stiffest)
    float alpha_real = 7.0f;     // the same as a real
    int spline_stiffness = 50;   // age-dependent spline start (50 per series, 10 for RCS)
    int smoothing_window = 0;    // lowess/median window of the RCS re-selection (years, or −1..−100 percent)
    int rcs_flag = 0;            // 1 when the curve option is −2
    int mean_method = 2;         // 1 = arithmetic mean, 2 = Tukey biweight
    int rbar_window = 51;        // running RBAR window; 0 or below = no stabilization
    int stabilization = 0;       // 0 none, 1 age-dependent spline, <= −10 percent, >= 10 years
    float convergence = 0.0001f; // signal-free convergence criterion
    char tweak = 'y';            // tweak answer
    char rescale = 'y';          // set each chronology's mean to exactly 1.0
    char median_difference = 'y';  // median instead of mean absolute differences in the test
    char switch1 = 'n', switch2 = 'y', switch3 = 'y';  // fixed engine switches
    char last_year_cap = 'n';    // always "n"
    int last_year_cap_year = 0;  // the cap year (no question in the dialogue)
    int pith_present = 0;        // 1 when pith offsets were read
    std::vector<int> pith_offsets;  // one per series of the current table
    int constant_counter = 0;    // attempts so far with a constant added (set by run_attempts)
    float constant = 0.0f;       // 0.1 × constant counter
};

}  // namespace kestrovan
