#include "run/statistics_output.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>

#include "console/report.hpp"
#include "diag/series_stats.hpp"
#include "diag/stabilize.hpp"
#include "engine/sigfree.hpp"
#include "io/output_table.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"
#include "model/run_options.hpp"
#include "run/final_output.hpp"
#include "select/tree_ids.hpp"

namespace kestrovan {

namespace {

// Undefined numbers of the tables, as the chronology table writes a missing standard error.
constexpr double kNone = -9.999;

std::string number(const std::optional<double>& v, int width, int decimals) {
    return fmt_f(static_cast<float>(v.value_or(kNone)), width, decimals);
}

// A figure of two decimals, which -9.999 would show as -10.00, a value it could hold: NA when
// undefined, as the EPS85FROM column of the same rows writes it.
std::string number_or_na(const std::optional<double>& v, int width, int decimals) {
    return v ? number(v, width, decimals) : std::string(static_cast<std::size_t>(width) - 2, ' ') + "NA";
}

// Every series its own tree unless a layout is named.
std::vector<int> trees_of(const std::vector<std::string>& ids, const StatisticsSettings& s) {
    if (s.tree_id.empty()) {
        std::vector<int> own(ids.size());
        for (std::size_t i = 0; i < own.size(); ++i) own[i] = static_cast<int>(i);
        return own;
    }
    return tree_numbers(ids, tree_id_layout(s));
}

std::string statistics_row(const std::string& label, const ChronologyStatistics& s, std::optional<int> from) {
    return fixed_width(label, 24) + fmt_i(s.n_trees, 7) + fmt_i(s.n_cores, 7) + fmt_i(s.n_pairs, 9) +
           fmt_f(static_cast<float>(s.mean_overlap), 8, 1) + number(s.rbar_tot, 9, 3) +
           number(s.rbar_wt, 9, 3) + number(s.rbar_bt, 9, 3) + number_or_na(s.c_eff, 7, 2) +
           number(s.rbar_eff, 9, 3) + number(s.eps, 7, 3) + number_or_na(s.snr, 9, 2) +
           (from ? fmt_i(*from, 9) : std::string("       NA"));
}

// The whole chronology's statistics, and EPS(t) and SSS(t) from the trees present in each year
// and its effective RBAR, with the first years from which they stay at or above the threshold.
IndexStatistics signal_by_year(const YearMatrix& indices, int first_year, const std::vector<int>& trees,
                               const StatisticsSettings& s) {
    IndexStatistics out;
    out.all = chronology_statistics(indices, first_year, trees, s.min_overlap, {}, kThreadsFromEnvironment);
    out.eps_threshold = s.eps_threshold;
    if (out.all.rbar_eff) {
        const std::vector<int> present = trees_by_year(indices, trees);
        out.eps_by_year = eps_by_year(present, *out.all.rbar_eff);
        out.sss_by_year = sss_by_year(present, out.all.n_trees, *out.all.rbar_eff);
        out.eps_from = first_year_at_or_above(out.eps_by_year, s.eps_threshold, first_year);
        out.sss_from = first_year_at_or_above(out.sss_by_year, s.eps_threshold, first_year);
    }
    return out;
}

IndexStatistics index_statistics(const YearMatrix& indices, int first_year, const std::vector<int>& trees,
                                 const StatisticsSettings& s, const RbarTables& rbar,
                                 std::span<const int> counts, bool with_rbar) {
    IndexStatistics out = signal_by_year(indices, first_year, trees, s);
    if (s.has_period())
        out.period = chronology_statistics(indices, first_year, trees, s.min_overlap,
                                           {s.period_first, s.period_last}, kThreadsFromEnvironment);
    if (with_rbar) out.eps_085_from = summarize_rbar(rbar, first_year, counts).eps_085_from;
    return out;
}

// The years from which the chronologies can be trusted, at the run's threshold: EPS and SSS from
// the trees present in each year and the whole chronology's effective RBAR.
void report_cutoffs(Report& report, const RunStatistics& st, bool raw_labels) {
    const auto year = [](const std::optional<int>& y) {
        return y ? std::to_string(*y) : std::string("NONE");
    };
    const std::string at = " AT OR ABOVE " + trim(fmt_f(st.standard.eps_threshold, 6, 2)) + " FROM ";
    const std::string first = raw_labels ? " (RAW), " : " (STANDARD), ";
    const std::string second = raw_labels ? " (MEAN ADJUST)" : " (SIGNAL FREE)";
    report.line("EPS" + at + year(st.standard.eps_from) + first + year(st.signal_free.eps_from) + second, 2);
    report.line("SSS" + at + year(st.standard.sss_from) + first + year(st.signal_free.sss_from) + second, 2);
}

// Without a tree layout every series counts as a tree, which overstates EPS where trees have
// several cores: say what tree_id = "auto" would find.
int report_auto_trees(Console& console, Report& report, const SeriesTable& raw, const StatisticsSettings& s) {
    if (!s.tree_id.empty() || raw.count() < 2) return 0;
    TreeIdLayout automatic;
    automatic.automatic = true;
    const std::vector<int> numbers = tree_numbers(raw.ids, automatic);
    std::vector<int> cores;
    for (int n : numbers) {
        if (n >= static_cast<int>(cores.size())) cores.resize(static_cast<std::size_t>(n) + 1, 0);
        ++cores[static_cast<std::size_t>(n)];
    }
    std::erase(cores, 0);
    const int trees = static_cast<int>(cores.size());
    if (trees == 0 || trees >= raw.count()) return 0;
    const auto [fewest, most] = std::minmax_element(cores.begin(), cores.end());
    const std::string per_tree =
        *fewest == *most ? std::to_string(*most) : std::to_string(*fewest) + " to " + std::to_string(*most);
    const std::string text = std::to_string(raw.count()) + " series look like " + std::to_string(trees) +
                             " trees of " + per_tree + " cores: set tree_id to use them";
    console.line(text, 2);
    report.line(upper_case(text), 2);
    return trees;
}

void report_statistics(Report& report, const RunStatistics& st, const StatisticsSettings& s,
                       bool raw_labels) {
    report.blank_line();
    report.line("CHRONOLOGY STATISTICS: EVERY PAIR OF SERIES OVER ITS OWN OVERLAP (" +
                    std::to_string(s.min_overlap) + " OR MORE YEARS IN COMMON)",
                2);
    report.line(fixed_width("", 24) +
                "  TREES  CORES    PAIRS OVERLAP RBAR_TOT  RBAR_WT  RBAR_BT  C_EFF RBAR_EFF    EPS      SNR "
                "EPS85FROM");
    const std::string first = raw_labels ? "RAW" : "STANDARD",
                      second = raw_labels ? "MEAN ADJUST" : "SIGNAL FREE";
    const std::string period =
        s.has_period() ? std::to_string(s.period_first) + "-" + std::to_string(s.period_last) : "";
    report.line(statistics_row(first + " ALL YEARS", st.standard.all, st.standard.eps_085_from));
    report.line(statistics_row(second + " ALL YEARS", st.signal_free.all, st.signal_free.eps_085_from));
    if (st.standard.period) report.line(statistics_row(first + " " + period, *st.standard.period, {}));
    if (st.signal_free.period) report.line(statistics_row(second + " " + period, *st.signal_free.period, {}));
}

// The tree-aware running EPS of one set of indices, one line per window of the running RBAR.
void write_tree_eps(const std::string& path, const std::vector<TreeWindow>& windows) {
    StagedOutputFile staged(path);
    std::ofstream& file = staged.stream();
    file << " YEAR  FIRST   LAST  TREES  CORES  PAIRSWT  PAIRSBT  RBARWT  RBARBT   C_EFF RBAREFF     EPS\n";
    for (const TreeWindow& w : windows)
        file << fmt_i(w.middle_year, 5) << fmt_i(w.first_year, 7) << fmt_i(w.last_year, 7)
             << fmt_i(w.n_trees, 7) << fmt_i(w.n_cores, 7) << fmt_i(w.n_pairs_wt, 9) << fmt_i(w.n_pairs_bt, 9)
             << number(w.rbar_wt, 8, 3) << number(w.rbar_bt, 8, 3) << number(w.c_eff, 8, 2)
             << number(w.rbar_eff, 8, 3) << number(w.eps, 8, 3) << '\n';
    staged.commit();
}

void report_trees(Report& report, const SeriesTable& raw, const std::vector<int>& trees,
                  const StatisticsSettings& s) {
    if (s.tree_id.empty()) {
        report.line("TREES: NO TREE IDENTIFIERS GIVEN (TREE_ID): EVERY SERIES IS ITS OWN TREE", 2);
        return;
    }
    const TreeIdLayout layout = tree_id_layout(s);
    std::map<int, std::pair<std::string, std::string>> listed;  // tree -> name, cores
    for (int i = 0; i < raw.count(); ++i) {
        const TreeIdParts p = split_tree_id(raw.ids[static_cast<std::size_t>(i)], layout);
        auto& [name, cores] = listed[trees[static_cast<std::size_t>(i)]];
        name = p.site.empty() ? p.tree : p.site + "/" + p.tree;
        cores += " " + trim(raw.ids[static_cast<std::size_t>(i)]);
    }
    report.line("TREES AND THEIR CORES (TREE_ID " + s.tree_id + "):", 2);
    for (const auto& [tree, entry] : listed) report.line(fixed_width(entry.first, 12) + entry.second, 4);
}

// The per-series table, with the autoregressive order of each series' standard and signal-free
// indices; the report gets the means of its columns.
void write_series_table(const std::string& path, Report& report, const SeriesTable& raw,
                        const StatisticsSettings& s, const std::vector<std::optional<double>>& r_std,
                        const std::vector<std::optional<double>>& r_ssf, const ResidualChronology& std_res,
                        const ResidualChronology& ssf_res) {
    StagedOutputFile staged(path);
    std::ofstream& file = staged.stream();
    const std::string head =
        "Series    Tree     Core   First  Last   Len    Mean  Median   StdDev   Skew    AR1   "
        "MSen Zeros   RStd   RSsf ArStd ArSsf";
    file << head << '\n';
    const TreeIdLayout layout = tree_id_layout(s);
    double sums[10] = {};
    int counts[10] = {};
    // Adds a figure to its column's mean; NaN (an undefined figure) is left out.
    const double none = std::numeric_limits<double>::quiet_NaN();
    const auto add = [&](int col, double v) {
        if (std::isnan(v)) return;
        sums[col] += v;
        ++counts[col];
    };
    for (int i = 0; i < raw.count(); ++i) {
        const auto is = static_cast<std::size_t>(i);
        const YearSpan& y = raw.years[is];
        const SeriesStatistics st =
            series_statistics(raw.data.column(i).first(static_cast<std::size_t>(std::max(0, y.length))));
        const TreeIdParts p =
            s.tree_id.empty() ? TreeIdParts{"", trim(raw.ids[is]), ""} : split_tree_id(raw.ids[is], layout);
        const double rs = is < r_std.size() ? r_std[is].value_or(none) : none;
        const double rf = is < r_ssf.size() ? r_ssf[is].value_or(none) : none;
        file << fixed_width(trim(raw.ids[is]), 9) << ' ' << fixed_width(p.site + p.tree, 8) << ' '
             << fixed_width(p.core.empty() ? "-" : p.core, 5) << fmt_i(y.first, 7) << fmt_i(y.last, 6)
             << fmt_i(y.length, 6) << fmt_f(static_cast<float>(st.mean), 8, 3)
             << fmt_f(static_cast<float>(st.median), 8, 3) << fmt_f(static_cast<float>(st.sd), 9, 3)
             << number(st.skewness, 7, 2) << number(st.ar1, 7, 3) << number(st.mean_sensitivity, 7, 3)
             << fmt_i(st.zero_rings, 6) << fmt_f(static_cast<float>(std::isnan(rs) ? kNone : rs), 7, 3)
             << fmt_f(static_cast<float>(std::isnan(rf) ? kNone : rf), 7, 3)
             << fmt_i(is < std_res.orders.size() ? std_res.orders[is] : 0, 6)
             << fmt_i(is < ssf_res.orders.size() ? ssf_res.orders[is] : 0, 6) << '\n';
        add(0, static_cast<double>(y.length));
        add(1, st.mean);
        add(2, st.median);
        add(3, st.sd);
        add(4, st.skewness.value_or(none));
        add(5, st.ar1.value_or(none));
        add(6, st.mean_sensitivity.value_or(none));
        add(7, static_cast<double>(st.zero_rings));
        add(8, rs);
        add(9, rf);
    }
    staged.commit();
    const auto mean = [&](int col) {
        return counts[col] > 0 ? std::optional<double>(sums[col] / counts[col]) : std::nullopt;
    };
    report.blank_line();
    std::string dir, own;
    split_path(path, dir, own);
    report.line("SERIES STATISTICS (" + own + "): MEANS OF THE COLUMNS OVER " + std::to_string(raw.count()) +
                    " SERIES",
                2);
    report.line("     LEN    MEAN  MEDIAN   STDDEV   SKEW    AR1   MSEN ZEROS   RSTD   RSSF", 2);
    report.line(number(mean(0), 8, 1) + number(mean(1), 8, 3) + number(mean(2), 8, 3) +
                    number(mean(3), 9, 3) + number(mean(4), 7, 2) + number(mean(5), 7, 3) +
                    number(mean(6), 7, 3) + number(mean(7), 6, 1) + number(mean(8), 7, 3) +
                    number(mean(9), 7, 3),
                2);
}

float or_zero(const std::vector<float>& v, std::size_t k) {
    return k < v.size() && v[k] != kMissing && std::isfinite(v[k]) ? v[k] : 0.0f;
}

void write_residual_files(const std::string& base, OutputFiles& files, Console& console, int first_year,
                          const ResidualChronologies& residuals, bool raw_labels, const CrnCut& cut) {
    const ResidualChronology& std_res = residuals.standard;
    const ResidualChronology& ssf_res = residuals.signal_free;
    const std::string path = base + output_suffix(OutputFile::ResidualTable);
    StagedOutputFile staged_table(path);
    std::ofstream& table = staged_table.stream();
    table << (raw_labels ? "  Year  SSize  RawRes  AdjRes  RawArm  AdjArm"
                         : "  Year  SSize  StdRes  SsfRes  StdArm  SsfArm")
          << '\n';
    const std::size_t span = std_res.sample_size.size();
    for (std::size_t k = 0; k < span; ++k) {
        table << fmt_i(first_year + static_cast<int>(k), 6) << fmt_i(std_res.sample_size[k], 6) << ' '
              << fmt_f(or_zero(std_res.residual, k), 8, 3) << fmt_f(or_zero(ssf_res.residual, k), 8, 3)
              << fmt_f(or_zero(std_res.with_model, k), 8, 3) << fmt_f(or_zero(ssf_res.with_model, k), 8, 3)
              << '\n';
    }
    staged_table.commit();

    // Each chronology with its own number of residuals per year: the signal-free indices' models
    // may differ in order from the standard ones. The years before the models have values hold
    // no value.
    const std::span<const int> std_n = std_res.sample_size, ssf_n = ssf_res.sample_size;
    write_tucson_index_file(base + output_suffix(OutputFile::ResidualTucson), files, first_year,
                            {&std_res.residual, &ssf_res.residual, &std_res.with_model, &ssf_res.with_model},
                            {"stdres", "ssfres", "stdarm", "ssfarm"}, {std_n, ssf_n, std_n, ssf_n}, console);
    const std::string first = raw_labels ? "raw" : "std", second = raw_labels ? "adj" : "ssf";
    const std::string first_words = raw_labels ? "raw-data" : "standard";
    const std::string second_words = raw_labels ? "mean-adjusted" : "signal-free";
    write_crn_files(
        console, files, first_year,
        {{first + "res", "residual " + first_words + " chronology", std_res.residual, std_n, false},
         {second + "res", "residual " + second_words + " chronology", ssf_res.residual, ssf_n, true},
         {first + "arm", "autoregressive " + first_words + " chronology", std_res.with_model, std_n, false},
         {second + "arm", "autoregressive " + second_words + " chronology", ssf_res.with_model, ssf_n, true}},
        cut);
}

// The orders of the series' models (listed in the per-series table) summed up, and the pooled
// models that are put back into the residual chronologies.
void report_orders(Report& report, const ResidualChronology& std_res, const ResidualChronology& ssf_res) {
    report.blank_line();
    report.line("RESIDUAL CHRONOLOGIES: AUTOREGRESSIVE MODELS (YULE-WALKER, ORDER BY AIC UP TO " +
                    std::to_string(kMaxArOrder) + ")",
                2);
    const auto line = [&](const std::string& label, const ResidualChronology& r) {
        std::array<int, kMaxArOrder + 1> counted{};
        for (int order : r.orders) ++counted[static_cast<std::size_t>(std::clamp(order, 0, kMaxArOrder))];
        std::string orders;
        for (int k = 0; k <= kMaxArOrder; ++k)
            if (counted[static_cast<std::size_t>(k)] > 0)
                orders +=
                    " " + std::to_string(k) + ":" + std::to_string(counted[static_cast<std::size_t>(k)]);
        std::string t = label + "SERIES BY ORDER" + orders;
        report.line(t, 2);
        t = label + "POOLED MODEL, ORDER " + std::to_string(r.pooled.order) + ":";
        for (double phi : r.pooled.phi) t += fmt_f(static_cast<float>(phi), 9, 4);
        report.line(t, 2);
    };
    line("STANDARD    ", std_res);
    line("SIGNAL FREE ", ssf_res);
}

}  // namespace

TreeIdLayout tree_id_layout(const StatisticsSettings& s) {
    TreeIdLayout layout;
    if (s.tree_id.empty() || !parse_tree_id_layout(s.tree_id, layout)) return {};
    return layout;
}

ResidualChronologies residual_chronologies(const EngineResults& results, const RunOptions& params) {
    ResidualChronologies r;
    if (results.years <= 0) return r;
    r.standard = residual_chronology(results.standard_indices, results.standard, results.sample_size,
                                     params.mean_method);
    r.signal_free =
        residual_chronology(results.indices, results.signal_free, results.sample_size, params.mean_method);
    return r;
}

SignalCutoffs signal_cutoffs(const YearMatrix& indices, int first_year, const std::vector<std::string>& ids,
                             const StatisticsSettings& settings) {
    if (indices.rows() <= 0 || ids.empty()) return {};
    const IndexStatistics st = signal_by_year(indices, first_year, trees_of(ids, settings), settings);
    return {st.eps_from, st.sss_from};
}

RunStatistics chronology_signal(const StatisticsInput& in) {
    RunStatistics st;
    const EngineResults& results = in.results;
    if (results.years <= 0 || in.raw.count() == 0) return st;
    const bool with_rbar = in.params.rbar_window > 0;
    const std::vector<int> trees = trees_of(in.raw.ids, in.settings);
    st.standard = index_statistics(results.standard_indices, results.first_year, trees, in.settings,
                                   results.standard_rbar, results.sample_size, with_rbar);
    st.signal_free = index_statistics(results.indices, results.first_year, trees, in.settings,
                                      results.signal_free_rbar, results.sample_size, with_rbar);
    return st;
}

void write_statistics(Console& console, OutputFiles& files, const StatisticsInput& in, RunStatistics& st) {
    const EngineResults& results = in.results;
    const SeriesTable& raw = in.raw;
    const StatisticsSettings& settings = in.settings;
    if (results.years <= 0 || raw.count() == 0) return;
    const bool raw_labels = in.params.curve_option == 0;
    const bool with_rbar = in.params.rbar_window > 0;
    const std::vector<int> trees = trees_of(raw.ids, settings);
    Report& report = files.report;
    report_statistics(report, st, settings, raw_labels);
    report_cutoffs(report, st, raw_labels);
    report_trees(report, raw, trees, settings);
    st.tree_id = settings.tree_id;
    st.auto_trees = report_auto_trees(console, report, raw, settings);
    if (!settings.tree_id.empty() && with_rbar) {
        const std::vector<TreeWindow> std_windows =
            tree_running_eps(results.standard_indices, results.first_year, trees, results.standard_rbar);
        const std::vector<TreeWindow> ssf_windows =
            tree_running_eps(results.indices, results.first_year, trees, results.signal_free_rbar);
        st.standard.tree_eps_085_from = tree_eps_085_from(std_windows);
        st.signal_free.tree_eps_085_from = tree_eps_085_from(ssf_windows);
        const std::string first = files.base_name() + tree_eps_suffix(raw_labels ? "Raw" : "Std");
        const std::string second = files.base_name() + tree_eps_suffix("Ssf");
        write_tree_eps(first, std_windows);
        write_tree_eps(second, ssf_windows);
        const auto year = [](const std::optional<int>& y) {
            return y ? std::to_string(*y) : std::string("NONE");
        };
        std::string dir, own_first, own_second;
        split_path(first, dir, own_first);
        split_path(second, dir, own_second);
        report.line("TREE-AWARE RUNNING EPS (" + own_first + ", " + own_second + "): AT OR ABOVE 0.85 FROM " +
                        year(st.standard.tree_eps_085_from) + " (" + (raw_labels ? "RAW" : "STANDARD") +
                        "), " + year(st.signal_free.tree_eps_085_from) + " (" +
                        (raw_labels ? "MEAN ADJUST" : "SIGNAL FREE") + ")",
                    2);
    }

    const std::string base = files.base_name();
    const ResidualChronology& std_res = in.residuals.standard;
    const ResidualChronology& ssf_res = in.residuals.signal_free;
    write_series_table(base + output_suffix(OutputFile::SeriesStatistics), report, raw, settings,
                       leave_one_out_correlations(results.standard_indices),
                       leave_one_out_correlations(results.indices), std_res, ssf_res);
    report_orders(report, std_res, ssf_res);
    write_residual_files(base, files, console, results.first_year, in.residuals, raw_labels, crn_cut(settings, st));
}

CrnCut crn_cut(const StatisticsSettings& settings, const RunStatistics& st) {
    CrnCut cut;
    if (settings.truncate_at.empty()) return cut;
    const bool eps = settings.truncate_at == "eps";
    cut.tag = settings.truncate_at;
    cut.statistic = eps ? "EPS" : "SSS";
    cut.threshold = settings.eps_threshold;
    cut.first_from = eps ? st.standard.eps_from : st.standard.sss_from;
    cut.second_from = eps ? st.signal_free.eps_from : st.signal_free.sss_from;
    return cut;
}

}  // namespace kestrovan
