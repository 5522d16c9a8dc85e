#pragma once
// The description of a whole run by name: every choice of the dialogue, as a run file names it
// and as a session records it. The run file reader fills it (checked), --record fills it from the
// answers given, the run file writer and the run summary write it out, and RunFileSession
// answers the dialogue's questions from it.
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "io/loaders.hpp"
#include "model/run_options.hpp"
#include "plot/plot_device.hpp"
#include "run/dialogue.hpp"
#include "run/statistics_output.hpp"
#include "select/pithy.hpp"
#include "select/selection.hpp"
#include "xdate/crossdating.hpp"

namespace kestrovan {

// The answers of one engine attempt that the Regional-curve questions take: the curve the
// attempt fits (re-selected when it differs from the one the options hold), the truncation age
// (0 = none) and the tree-ring plot question.
struct PlanAttempt {
    RegionalChoice curve;
    int truncation_age = 0;
    bool tree_ring_plots = false;
};

struct RunPlan {
    std::string data;   // the data file (the path the run opens)
    LoadSettings load;  // its kind and the column questions
    bool fill_gaps = false;  // missing rings inside series filled (--fill-gaps), not a stop
    // The choices the engine's options hold, as the dialogue or the run file gives them: the
    // curve option 9 (the median segment length) and an even RBAR window stay as answered, and
    // the Regional curve of each attempt is in `first` and `retries`; options_of resolves them.
    RunOptions options;
    SelectionChoice selection;                    // the series processing menu choice
    bool save_selection = true;                   // save the selected set (every choice but "all")
    std::string pith;                  // RCS: the pith-offset file ("" = none)
    PithReading pith_reading;          // how it is read
    PlanAttempt first;                 // RCS: the first attempt's answers
    std::vector<PlanAttempt> retries;  // RCS: the answers of the later attempts (then `first` again)
    std::optional<int> signal_free_stabilization;  // the signal-free chronology's own (none: options.stabilization)
    std::string plots = "off";  // "off" or a PLplot file device
    PlotSize plot_size;         // the size of the plot files (width 0: the defaults)
    StatisticsSettings statistics;  // trees and cores, a period of its own, the shortest overlap
    CrossdatingSettings crossdating;  // the crossdating checks ([crossdating])

    bool rcs() const { return options.rcs(); }
    // The answers of attempt k (0 = the first; an attempt counts once its Regional curve is
    // accepted): retries[k - 1] while there is one, else `first`.
    const PlanAttempt& attempt(std::size_t k) const {
        return k >= 1 && k <= retries.size() ? retries[k - 1] : first;
    }
};

// The options the dialogue fills from the plan's answers for its first attempt (the curve option
// 9 stays 9: the median segment length replaces it at run time; no pith offsets).
RunOptions options_of(const RunPlan& plan);

// ---- The plan as keys and values ------------------------------------------------------------

// A value of a run-file key: none (the summary's null), a logical, a whole number, a number, a
// text, or a list of whole numbers (common_period).
using PlanValue = std::variant<std::monostate, bool, long long, double, std::string, std::vector<long long>>;
struct PlanEntry {
    std::string key;
    PlanValue value;
};

// The plan's keys in the order of the dialogue. applicable_only: the keys its choices use (what a
// run file names); otherwise every key, none where it has no value (the summary's resolved run
// file). Paths as the plan holds them.
std::vector<PlanEntry> plan_entries(const RunPlan& plan, bool applicable_only);
// One list per later attempt, up to the last that differs from the first attempt: its keys whose
// values differ from the first attempt's.
// The [crossdating] table's keys (none, with applicable_only, when every setting is the default).
std::vector<PlanEntry> crossdating_entries(const RunPlan& plan, bool applicable_only);
std::vector<std::vector<PlanEntry>> retry_entries(const RunPlan& plan);

// The value of a question of the dialogue's table as the run file writes it: a choice by its
// name, a number of single precision by its shortest decimal form.
PlanValue question_value(const Question& question, const RunOptions& options);

// A single-precision value as the double of its shortest decimal form (0.0001f gives 0.0001).
double decimal_double(float value);

// ---- Names of the run file ------------------------------------------------------------------

// Every key of the run file, in the order of the dialogue ("retry": the [[retry]] tables).
const std::vector<std::string>& run_file_keys();

// Curve names of the two code lists (the splines with a length take their number from
// "wavelength" or "percent"): nullopt for a name the list does not hold.
std::optional<int> per_series_code(std::string_view name, int wavelength, int percent);
std::optional<int> regional_code(std::string_view name, int wavelength, int percent);
// The name of a code (spline codes: "fixed-spline" or "percent-spline").
std::string per_series_name(int code);
std::string regional_name(int code);
// The names each list allows, for messages.
std::string per_series_names();
std::string regional_names();

// Stabilization options: "none", "age-dependent-spline", "fixed-spline", "percent-spline".
std::optional<int> stabilization_code(std::string_view name, int wavelength, int percent);
std::string stabilization_name(int code);

// File kinds by their run-file names: file_kind_of and file_kind_name (io/formats.hpp).

// The selection keys: which key names the menu choice 2..7 ("" for 1).
const char* selection_key(int choice);

}  // namespace kestrovan
