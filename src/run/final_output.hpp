#pragma once
// The end of a run: the chronology table, the Tucson chronologies, the power spectra (file and
// plots) and the normal-termination message.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/run_options.hpp"
#include "plot/plotter.hpp"

namespace kestrovan {

// The .crn files cut at the year a chronology can be trusted from (truncate_at): the tag of their
// names ("eps" or "sss"; "" writes none), the statistic's name and threshold for messages, and
// the year of each side (none: its statistic never stays at or above the threshold).
struct CrnCut {
    std::string tag;
    std::string statistic;
    float threshold = 0.0f;
    std::optional<int> first_from, second_from;
};

// The two chronologies of a run by year k = 0 .. span − 1 (year = first_year + k), with their
// standard deviations, sample sizes and, when the RBAR window is 1 or more, the stabilized ones.
struct FinalChronologies {
    int first_year = 0;
    std::vector<int> sample_size;
    std::vector<float> first, second;          // standard (raw) and signal-free (adjusted)
    std::vector<float> first_sd, second_sd;    // their standard deviations by year
    std::vector<float> first_stb, second_stb;  // stabilized versions (RBAR window >= 1)
    // The residual chronologies of both and their autoregressive-standard forms, with the number
    // of residuals per year (diag/residual_chronology.hpp); kMissing or a count of 0 where a year
    // has none. Empty vectors: none computed (their CSV cells stay empty).
    std::vector<float> first_res, second_res, first_arm, second_arm;
    std::vector<int> first_res_size, second_res_size;
    // EPS(t) and SSS(t) of both (diag/signal_strength.hpp); kMissing where undefined. Empty
    // vectors: none computed (their CSV cells stay empty).
    std::vector<float> first_eps, second_eps, first_sss, second_sss;
    CrnCut cut;  // the cut .crn files (truncate_at)
};

// One chronology of its own .crn file, base + "_" + code + ".crn": its six-letter code, a few
// words on what it is, its values by year (from the run's first year) and their sample depth.
struct CrnEntry {
    std::string code;
    std::string description;
    std::span<const float> values;
    std::span<const int> depth;
    bool second = false;  // the signal-free (mean-adjusted) side: cut at its own year
};


// Writes the .crn file of every entry (io/crn_writer.hpp) with the run's site code and the data
// file's site name and description. A chronology the layout cannot hold is not written, and
// capped depths or clipped indices are written as the layout allows; each is said on the console
// and in the report.
// With a cut, each file is written once more from its side's year, named by cut_crn_suffix.
void write_crn_files(Console& console, OutputFiles& files, int first_year,
                     const std::vector<CrnEntry>& entries, const CrnCut& cut = {});

// A Tucson index file of chronologies, one after the other, each with the data file's three header
// lines carrying its six-character code (columns 83-88) and written with its own sample sizes
// (sample_sizes[s] for series[s]). Each chronology runs from its first to its last year of
// sample size above 0; a year of sample size 0 between them holds index 0 with count 0 (the fill
// pair 9990 would end the chronology for a reader); a chronology without such a year is left
// out. Written under a staged name and renamed when complete.
void write_tucson_index_file(const std::string& path, const OutputFiles& files, int first_year,
                             const std::vector<const std::vector<float>*>& series,
                             const std::vector<std::string>& codes,
                             const std::vector<std::span<const int>>& sample_sizes, Console& console);

// Writes base + "_crns_col.txt", base + "_crns.csv", base + "_crns_tuc.txt", the .crn file of
// each chronology (base + "_stdcrn.crn", ...) and spectra base + "_spectra.txt", and draws the
// spectrum plots. Years with sample size 0 print 0.000 chronology values and −9.999 standard
// errors, go to the Tucson file as index 0 with count 0 and to the .crn files as 9990 with
// depth 0; their CSV cells are empty, as are the spread and standard error of a year with one
// series and the residual cells of a year without residuals.
void write_final_output(Console& console, OutputFiles& files, const RunOptions& params,
                        const FinalChronologies& chronologies, Plotter& plotter);

// Prints the normal-termination message, waits for RETURN and stops the program normally.
[[noreturn]] void normal_termination(Console& console);

}  // namespace kestrovan
