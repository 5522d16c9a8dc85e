#pragma once
// The statistics a methods section cites, written after the chronologies: the signal strength of
// the standard and signal-free indices (with trees and cores), a table of every series, and the
// residual chronologies.
#include <optional>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "diag/chronology_stats.hpp"
#include "diag/residual_chronology.hpp"
#include "diag/signal_strength.hpp"
#include "io/output_files.hpp"
#include "model/series_table.hpp"
#include "run/final_output.hpp"
#include "select/tree_ids.hpp"

namespace kestrovan {

struct EngineResults;  // engine/sigfree.hpp
struct RunOptions;     // run/run_options.hpp

// How the statistics are taken: how identifiers split into trees ("" = every series its own
// tree, "auto", or "S,T" characters of site and tree), a period of their own (both years 0 =
// none), and the shortest overlap of a pair of series.
struct StatisticsSettings {
    std::string tree_id;
    int period_first = 0, period_last = 0;
    int min_overlap = kDefaultMinOverlap;
    // The EPS (and SSS) a chronology must reach to be trusted in a year: the report's cutoff
    // years and the plots' reference line.
    float eps_threshold = kDefaultEpsThreshold;
    // The .crn files written once more from the EPS or the SSS year of each chronology: "eps",
    // "sss", or "" (none).
    std::string truncate_at;
    bool has_period() const { return period_first != 0 || period_last != 0; }
};

// The statistics of one set of indices, for the summary.
struct IndexStatistics {
    ChronologyStatistics all;
    std::optional<ChronologyStatistics> period;
    std::optional<int> eps_085_from;       // from the running RBAR (with an RBAR window)
    std::optional<int> tree_eps_085_from;  // from the tree-aware running EPS (with tree ids too)
    // From the trees present in each year and the whole chronology's effective RBAR: the first
    // years from which EPS(t) and the subsample signal strength SSS(t) stay at or above the
    // threshold (diag/signal_strength.hpp).
    float eps_threshold = kDefaultEpsThreshold;
    std::optional<int> eps_from, sss_from;
    std::vector<float> eps_by_year, sss_by_year;  // per year of the run (kMissing: undefined)
};
struct RunStatistics {
    IndexStatistics standard, signal_free;
    // How the series were grouped into trees: the tree_id layout given, or "" (every series a
    // tree); and, without a layout, the trees tree_id = "auto" would find (0: none).
    std::string tree_id;
    int auto_trees = 0;
};

// The residual chronologies of the standard and of the signal-free indices (the run's mean
// method; both empty when the run has no years).
struct ResidualChronologies {
    ResidualChronology standard, signal_free;
};
ResidualChronologies residual_chronologies(const EngineResults& results, const RunOptions& params);

// What the statistics are taken of: the options, the selected series as read (the widths of the
// per-series table), the engine's results, their residual chronologies
// (residual_chronologies(results, params)) and the settings.
struct StatisticsInput {
    const RunOptions& params;
    const SeriesTable& raw;
    const EngineResults& results;
    const ResidualChronologies& residuals;
    const StatisticsSettings& settings;
};

// The signal strength of the standard and signal-free indices (with trees and cores), and the
// years from which EPS and SSS stay above the threshold. Nothing is written.
RunStatistics chronology_signal(const StatisticsInput& in);

// The years from which the EPS and SSS of one set of indices (calendar rows x series from
// first_year) stay at or above the settings' threshold, taken as chronology_signal takes them;
// `ids` name the series, which the settings' tree_id groups into trees. The chronology plot
// marks them while the engine closes, before the statistics are written.
struct SignalCutoffs {
    std::optional<int> eps_from, sss_from;
};
SignalCutoffs signal_cutoffs(const YearMatrix& indices, int first_year, const std::vector<std::string>& ids,
                             const StatisticsSettings& settings);

// Writes everything: the report's "CHRONOLOGY STATISTICS" section with the trees and their
// cores, <base>_series_stats.txt, <base>_crns_res.txt, <base>_crns_res_tuc.txt and the .crn file
// of each residual chronology (<base>_stdres.crn, _ssfres, _stdarm, _ssfarm; rawres, adjres,
// rawarm, adjarm without detrending), and with tree identifiers and an RBAR window the tree-aware
// running EPS (<base>_Std_TreeEPS.txt, <base>_Ssf_TreeEPS.txt; Raw for Std without detrending).
// `st` holds chronology_signal(in); the tree-aware figures are added to it.
void write_statistics(Console& console, OutputFiles& files, const StatisticsInput& in, RunStatistics& st);

// The cut .crn files that settings.truncate_at asks for, at the years `st` holds.
CrnCut crn_cut(const StatisticsSettings& settings, const RunStatistics& st);

// The layout of tree identifiers that `settings` names (every series its own tree: none).
TreeIdLayout tree_id_layout(const StatisticsSettings& settings);

}  // namespace kestrovan
