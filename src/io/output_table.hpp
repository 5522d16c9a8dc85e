#pragma once
// The output files of a run, one row each: where it is named (its suffixes after the base name),
// which code writes it, and what it holds in one line. The clean-up before a run, the files a
// run file may not be recorded to, the list of files a run wrote and the README's table of output
// files all come from this table; a new output file is one row here and its writer.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrovan {

enum class OutputFile {
    Report,               // the run report (named by OutputFiles::report_name)
    FirstPassSeries,      // _STD_ measurements, curves and indices of every series
    SignalFreeSeries,     // _SSF_ the same for the published signal-free iterate
    RegionalCurves,       // _RCScurves.txt
    RunningRbar,          // _Std_/_Raw_/_Ssf_RBAR.txt
    ColumnTable,          // _crns_col.txt
    SavedSelection,       // the selected series saved after a censoring or truncation (named by the choice)
    ChronologyCsv,        // _crns.csv
    TucsonChronologies,   // _crns_tuc.txt
    CrnFiles,             // one .crn file per chronology
    CutCrnFiles,          // the same cut at the EPS or SSS year (truncate_at)
    SeriesCsv,            // _series.csv
    Spectra,              // _spectra.txt (named from OutputFiles::spectra_base)
    SeriesStatistics,     // _series_stats.txt
    TreeEps,              // _Std_/_Raw_/_Ssf_TreeEPS.txt
    ResidualTable,        // _crns_res.txt
    ResidualTucson,       // _crns_res_tuc.txt
    Summary,              // _summary.json
    Crossdating,          // _xdate.txt
    CrossdatingJson,      // _xdate.json (kestrovan check)
};

struct OutputFileRow {
    OutputFile id;
    std::string_view readme;       // how the README's table names it first, for the data file site.rwl
    std::string_view writer;       // the code that writes it
    std::string_view description;  // what it holds, in one line
    // Every name it may take, as suffixes of the base name (none: named otherwise, see above).
    std::vector<std::string> suffixes;
};

// The table, in the order of the README's table and of the list of files a run wrote.
std::span<const OutputFileRow> output_file_table();
const OutputFileRow& output_file(OutputFile id);
// The one suffix of a file that has a single name ("_crns.csv" for ChronologyCsv).
const std::string& output_suffix(OutputFile id);

// The three series files of a pass: measurements, curves and indices ("_STD_RAW_Data.txt",
// "_STD_RAW_Curves.txt", "_STD_RAW_Ratios.txt"). Residual indices give "_Resids.txt", and "PTR"
// for "RAW" when the series were power transformed.
struct SeriesFileSuffixes {
    std::string data, curves, indices;
};
SeriesFileSuffixes series_file_suffixes(bool signal_free, bool residuals, bool power_transformed);

// The running-RBAR table and the tree-aware EPS table of a pass: "Std", "Raw" (first pass without
// detrending) or "Ssf".
std::string rbar_suffix(std::string_view pass);
std::string tree_eps_suffix(std::string_view pass);
// The .crn file of a chronology with its six-letter code ("stdcrn": "_stdcrn.crn").
std::string crn_suffix(std::string_view code);
// The .crn file of a chronology cut at its EPS or SSS year (tag "eps" or "sss"): "_stdcrn_eps.crn".
std::string cut_crn_suffix(std::string_view code, std::string_view tag);

}  // namespace kestrovan
