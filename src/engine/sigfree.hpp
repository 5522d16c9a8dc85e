#pragma once
// The signal-free engine: one call per run attempt. It detrends every series (one Regional
// curve, or one curve per series), averages the indices into the first-pass chronology, then
// repeats the signal-free step until the chronology stops changing, and returns the standard and
// signal-free chronologies with their sample sizes and the chronology of every iteration.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "diag/rbar.hpp"
#include "engine/engine_observer.hpp"
#include "engine/engine_steps.hpp"
#include "engine/sftest.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "model/workers.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

// How one engine attempt ended.
enum class AttemptOutcome {
    Completed,          // the results are filled (see PublishedIterate for how the iteration ended)
    Retry,              // the iteration failed on this attempt's data: try the next constant
    RedoRegionalCurve,  // the user asked for another Regional curve: no results
    GaveUp,             // the iteration failed with the last constant too: no results; the caller
                        // runs the data as read again and publishes its best iterate
};

// How the iteration that gave the published signal-free chronology ended.
enum class IterationEnd {
    Converged,       // the criterion statistic met the threshold
    IterationLimit,  // the limit of iterations was reached: the best iterate is published
    Stalled,         // the statistic stopped falling: the best iterate is published
    Diverged,        // the statistic kept growing (no constant helped, or none tried): the best iterate
    NoIterate,       // no iteration gave a usable chronology: the first pass is published
};

// The signal-free iterate the engine published: every signal-free output comes from it.
struct PublishedIterate {
    int attempt = 1;         // 1 + the constant counter of its attempt
    float constant = 0.0f;   // the constant added to the measurements in that attempt
    int iteration = 0;       // its iteration (0: the first pass)
    std::string criterion;   // the statistic its convergence test used, e.g. "unweighted median"
    float statistic = 0.0f;  // that statistic's value in the published iteration
    float threshold = 0.0f;  // the convergence criterion of the run
    IterationEnd end = IterationEnd::Converged;
    // The change of the chronology in that iteration (previous minus new, before the slow part
    // of the differences is taken out for the statistic) over the years with five or more
    // series: its mean and largest absolute value (0 for the first pass).
    float change_mean = 0.0f, change_max = 0.0f;
    // Ratio indices: the years in which the chronology the published iterate divided by was
    // below kNearZeroChronology (and covered by two or more series).
    int near_zero_years = 0;
    // "converged", "stopped at its best iterate" or "could not iterate".
    std::string outcome() const;
    // The sentence that says it, e.g. "stopped at its best iterate (statistic 0.00012 against
    // criterion 0.0001)".
    std::string message() const;
};

// Names of the four statistics, in report order.
std::string criterion_name(int criterion);

// What the engine carries from one attempt to the next. The caller (the run loop) owns it for
// the whole run and hands the same record to every attempt; a fresh record means "first attempt".
// The standard results come from the first attempt's first pass, computed from the data as read
// (no constant): the constant of a retry serves only the signal-free iteration.
struct EngineCarry {
    bool first_attempt_done = false;         // set when the first attempt's first pass is stored
    std::vector<float> original_chronology;  // per year: first-pass chronology of the first attempt
                                             // after its mean adjustment over the years after nss1
    std::vector<float> standard_scale;       // per year: its scale from the chronology summariser
    std::vector<float> stabilized_standard;  // per year: its variance-stabilized version (RBAR window > 0)
    RbarTables standard_rbar;                // the running RBAR of its indices (RBAR window > 0)
    YearMatrix standard_indices;             // its indices, calendar rows × series
    YearMatrix standard_curves;              // its curves, calendar rows × series (in the data's units)
    // The first pass of the data as read, series by series from their first ring, for the
    // "original" lines of the first-versus-final plots (kept only when plots are drawn).
    YearMatrix first_data, first_curves, first_indices;
    // The stabilization option a "Happy with this spline stabilization?" answer chose instead of
    // the options' one: it holds for the rest of the run (the options themselves stay as the
    // dialogue set them; the run loop adopts it before the dialogue is asked again).
    std::optional<int> stabilization;
};

// The engine's results, by calendar year: index k is the run's first year + k (zero-based).
// Sized by the engine to the span of the run on every completed call.
struct EngineResults {
    int first_year = 0;  // the run's first year (summary slot)
    int years = 0;       // span of the run

    std::vector<float> standard;                // first-pass (original) chronology of the first attempt,
                                                // shifted to mean 1
    std::vector<float> standard_scale;          // its per-year scale from the chronology summariser
    std::vector<float> signal_free;             // signal-free chronology, after final scaling
    std::vector<float> signal_free_scale;       // its per-year scale
    std::vector<float> final_chronology;        // copy of the final signal-free chronology
    std::vector<float> stabilized_standard;     // variance-stabilized standard chronology (RBAR window > 0)
    std::vector<float> stabilized_signal_free;  // variance-stabilized signal-free chronology
    std::vector<int> sample_size;               // number of series with a value per year
    std::vector<float> sample_size_real;        // the same as reals (for the running RBAR)

    YearMatrix indices;                         // final indices, calendar rows × series
    YearMatrix standard_indices;                // first-pass indices of the data as read
    YearMatrix standard_curves;                 // their curves, calendar rows × series
    YearMatrix curves;                          // the curves of the published signal-free iterate,
                                                // calendar rows × series, the constant taken off
    YearMatrix history;                         // chronology of every iteration, years × (iterations + 1);
                                                // column 0 the original (first-pass) chronology
    int iterations = 0;                         // the published iteration
    int nss1 = 0;                               // leading years with sample size exactly 1
    int nss2 = 0;                               // leading years with sample size at most 5 (see engine)
    bool converged = false;                     // the criterion met the threshold
    PublishedIterate published;                 // the iterate the signal-free results come from
    std::vector<ConvergenceStats> convergence;  // the statistics of every iteration of the last attempt,
                                                // the published one and those after it
    RbarTables standard_rbar;                   // running RBAR of the first-pass indices (RBAR window > 0)
    RbarTables signal_free_rbar;                // running RBAR of the final indices (RBAR window > 0)
};

// What one engine attempt works on.
//   table       the working data: each series from position 0 = its own first year, with the
//               constant of this attempt already added (and the power transform applied);
//               years[i].last ends the curve-fitting span. Not changed.
//   curve_floor one value per series (the run loop passes kCurveFloor for each): no curve
//               value, the Regional curve's included, is below that fraction of the mean of the
//               series' measurements as read (of all measurements, for the Regional curve). A
//               line or exponential that reaches that floor in measurement units (the floor +
//               the constant of the attempt) anywhere over the span it serves is replaced by the
//               mean (code 6).
//   params      every option, read only.
//   attempt     the attempt's constant counter (0 on the first attempt, k when 0.1 × k has
//               been added) and constant.
//   threads     threads for the per-series curve fits and the year-by-year means
//               (kThreadsFromEnvironment: KESTROVAN_THREADS or the hardware's count). Every
//               number, file and console line is the same for every thread count.
struct EngineCall {
    const SeriesTable& table;
    std::span<const float> curve_floor;
    const RunOptions& params;
    const AttemptState& attempt;
    int threads = kThreadsFromEnvironment;
};

// One engine attempt. What it says, draws, writes and asks goes to `observer`: the console and
// report lines, every plot of the engine, the first-pass and signal-free series files, the
// Regional-curve dialogue, the tree-ring plot question, the stabilization step and the pauses.
// `results` is filled when the attempt ends in Completed; `carry` is owned by the caller across
// the attempts of one run.
// The iteration stops as stop_decision (engine/sftest.hpp) says: when the criterion statistic
// meets the threshold (the converged iterate is published), at the iteration limit, when the
// statistic has stalled or when it diverges (the iterate with the lowest statistic is published).
// Only when it diverges on data that hold zero rings, and attempt.allow_retry is set, the engine
// returns Retry (GaveUp at the last constant) so that the caller adds a constant. What the
// observer throws (a stop at a question, a file that cannot be written) passes through.
AttemptOutcome sigfree(const EngineCall& call, EngineObserver& observer, EngineResults& results,
                       EngineCarry& carry);

}  // namespace kestrovan
