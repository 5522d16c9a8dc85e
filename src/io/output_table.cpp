#include "io/output_table.hpp"

#include <algorithm>

namespace kestrovan {

namespace {

// Every form of a pass's series files: RAW and PTR, each with its Ratios and Resids index file.
std::vector<std::string> series_suffixes(bool signal_free) {
    std::vector<std::string> out;
    for (const char* form : {"RAW", "PTR"})
        for (const char* kind : {"_Data.txt", "_Curves.txt", "_Ratios.txt", "_Resids.txt"})
            out.push_back(std::string(signal_free ? "_SSF_" : "_STD_") + form + kind);
    return out;
}

// The codes of every chronology a .crn file may hold: stdcrn, stdstb, ..., adjarm.
std::vector<std::string> crn_codes() {
    std::vector<std::string> out;
    for (const char* pair : {"stdssf", "rawadj"})
        for (int k = 0; k < 2; ++k)
            for (const char* form : {"crn", "stb", "res", "arm"}) out.push_back(std::string(pair + 3 * k, 3) + form);
    return out;
}

std::vector<std::string> crn_suffixes() {
    std::vector<std::string> out;
    for (const std::string& code : crn_codes()) out.push_back(crn_suffix(code));
    return out;
}

std::vector<std::string> cut_crn_suffixes() {
    std::vector<std::string> out;
    for (const char* tag : {"eps", "sss"})
        for (const std::string& code : crn_codes()) out.push_back(cut_crn_suffix(code, tag));
    return out;
}

std::vector<OutputFileRow> make_table() {
    using F = OutputFile;
    return {
        {F::Report, "site_out_v45_v2b.txt", "run/program.cpp",
         "the run report: options, convergence statistics, messages and the run settings", {}},
        {F::FirstPassSeries, "site_STD_RAW_Data.txt", "run/series_files.cpp (through the engine's observer)",
         "first pass: measurements, curves and indices of every series", series_suffixes(false)},
        {F::SignalFreeSeries, "site_SSF_RAW_Data.txt", "run/series_files.cpp (through the engine's observer)",
         "the same for the published signal-free iterate", series_suffixes(true)},
        {F::RegionalCurves, "site_RCScurves.txt", "run/series_files.cpp (through the engine's observer)",
         "every Regional curve by biological age", {"_RCScurves.txt"}},
        {F::RunningRbar, "site_Std_RBAR.txt", "run/stabilization.cpp",
         "running RBAR, EPS and effective number of the indices",
         {rbar_suffix("Raw"), rbar_suffix("Std"), rbar_suffix("Ssf")}},
        {F::ColumnTable, "site_crns_col.txt", "run/final_output.cpp", "the chronologies per year, in columns",
         {"_crns_col.txt"}},
        {F::SavedSelection, "site_mnsl=50.txt", "select/ (censoring and truncation)",
         "the selected series saved after a censoring or truncation choice", {}},
        {F::ChronologyCsv, "site_crns.csv", "run/final_output.cpp", "the chronology table as CSV", {"_crns.csv"}},
        {F::TucsonChronologies, "site_crns_tuc.txt", "run/final_output.cpp",
         "the chronologies in Tucson index format", {"_crns_tuc.txt"}},
        {F::SeriesStatistics, "site_series_stats.txt", "run/statistics_output.cpp", "one row of figures per series",
         {"_series_stats.txt"}},
        {F::ResidualTable, "site_crns_res.txt", "run/statistics_output.cpp",
         "the residual and autoregressive-standard chronologies per year", {"_crns_res.txt"}},
        {F::ResidualTucson, "site_crns_res_tuc.txt", "run/statistics_output.cpp",
         "the same four chronologies in Tucson index format", {"_crns_res_tuc.txt"}},
        {F::TreeEps, "site_Std_TreeEPS.txt", "run/statistics_output.cpp",
         "the tree-aware running EPS of both chronologies",
         {tree_eps_suffix("Raw"), tree_eps_suffix("Std"), tree_eps_suffix("Ssf")}},
        {F::SeriesCsv, "site_series.csv", "run/series_csv.cpp", "every ring of every series, one row each",
         {"_series.csv"}},
        {F::CrnFiles, "site_stdcrn.crn", "run/final_output.cpp (io/crn_writer.cpp)",
         "one chronology per file in the data bank's chronology layout", crn_suffixes()},
        {F::CutCrnFiles, "site_stdcrn_eps.crn", "run/final_output.cpp (truncate_at)",
         "the same files from the year EPS (or SSS) stays at or above eps_threshold", cut_crn_suffixes()},
        {F::Spectra, "site_spectra.txt", "run/final_output.cpp", "power spectra of both chronologies",
         {"_spectra.txt"}},
        {F::Summary, "site_summary.json", "run/summary.cpp", "the run summary", {"_summary.json"}},
        {F::Crossdating, "site_xdate.txt", "run/crossdating_output.cpp",
         "the crossdating checks: every series' segments, correlations, flags and shifts", {"_xdate.txt"}},
        {F::CrossdatingJson, "site_xdate.json", "run/crossdating_output.cpp (kestrovan check)",
         "the same checks as JSON", {"_xdate.json"}},
    };
}

}  // namespace

std::span<const OutputFileRow> output_file_table() {
    static const std::vector<OutputFileRow> table = make_table();
    return table;
}

const OutputFileRow& output_file(OutputFile id) {
    for (const OutputFileRow& row : output_file_table())
        if (row.id == id) return row;
    return output_file_table().front();  // every id has a row (the table's test says so)
}

const std::string& output_suffix(OutputFile id) {
    static const std::string none;
    const OutputFileRow& row = output_file(id);
    return row.suffixes.empty() ? none : row.suffixes.front();
}

SeriesFileSuffixes series_file_suffixes(bool signal_free, bool residuals, bool power_transformed) {
    const std::string kind = (residuals && power_transformed) ? "PTR" : "RAW";
    const std::string stem = std::string(signal_free ? "_SSF_" : "_STD_") + kind;
    return {stem + "_Data.txt", stem + "_Curves.txt", stem + (residuals ? "_Resids.txt" : "_Ratios.txt")};
}

std::string rbar_suffix(std::string_view pass) { return "_" + std::string(pass) + "_RBAR.txt"; }

std::string tree_eps_suffix(std::string_view pass) { return "_" + std::string(pass) + "_TreeEPS.txt"; }

std::string crn_suffix(std::string_view code) { return "_" + std::string(code) + ".crn"; }

std::string cut_crn_suffix(std::string_view code, std::string_view tag) {
    return "_" + std::string(code) + "_" + std::string(tag) + ".crn";
}

}  // namespace kestrovan
