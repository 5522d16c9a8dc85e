#pragma once
// The run summary, <base>_summary.json: what a program (R, Python) needs to know about a run in
// one read: the program version, the run file as resolved (every key), the data file's name and
// SHA-256, the series as read and as selected, how the run ended, its iterations and constants,
// the convergence statistics of every iteration, the running RBAR figures and the files
// written. It holds no time stamp: the same run gives the same summary.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "diag/stabilize.hpp"
#include "engine/sftest.hpp"
#include "io/crn_writer.hpp"
#include "io/gaps.hpp"
#include "io/output_files.hpp"
#include "model/series_table.hpp"
#include "run/run_plan.hpp"
#include "xdate/crossdating.hpp"

namespace kestrovan {

// The figures of a Series table.
struct SeriesFigures {
    int series = 0;
    int first_year = 0, last_year = 0, span = 0;
    double mean_length = 0.0;      // mean segment length
    std::array<int, 5> lengths{};  // MIN, 25%, MED, 75%, MAX of the segment lengths
};
SeriesFigures figures_of(const SeriesTable& table);

// The signal-free iterate a run published.
struct PublishedFigures {
    int attempt = 1;
    float constant = 0.0f;
    int iteration = 0;
    std::string criterion;  // the statistic its convergence test used ("" for the first pass)
    float statistic = 0.0f;
    float change_mean = 0.0f, change_max = 0.0f;  // the chronology's change in that iteration
    int near_zero_years = 0;  // ratio chronology years below the near-zero bound (curves leaned on)
};

// What a run did, gathered as it goes.
struct RunSummary {
    RunPlan plan;
    DataBankSite site;  // from the data file's header lines ("" members: not given)
    std::optional<SeriesFigures> as_read, selected;
    std::vector<FilledRing> filled_rings;  // missing rings filled by interpolation (fill_gaps)
    // "converged", "stopped at its best iterate" (the statistic did not meet the criterion; the
    // iterate with the lowest statistic is published), "could not iterate" (the first pass is
    // published), or "stopped" (the run did not complete), each with its message.
    std::string outcome = "stopped";
    std::string message;
    int attempts = 0;
    int constant_counter = 0;
    float constant = 0.0f;
    int iterations = 0;
    std::optional<PublishedFigures> published;
    std::vector<ConvergenceStats> convergence;
    std::optional<RbarSummary> standard_rbar, signal_free_rbar;  // with an RBAR window
    std::optional<RunStatistics> statistics;                     // of a run that wrote its chronologies
    std::optional<CrossdatingReport> crossdating;                // the checks of the selected series (when on)
};

// The summary as JSON text.
std::string summary_json(const RunSummary& summary, const OutputFiles& files);
// The summary of a run that stopped before its data were read: its outcome and message only.
std::string stopped_json(const std::string& message);
// Writes files.summary_name(); throws ProgramStop (abnormal) when it cannot be written.
void write_summary(const RunSummary& summary, const OutputFiles& files);

}  // namespace kestrovan
