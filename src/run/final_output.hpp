#pragma once
// The end of a run: the chronology table, the Tucson chronologies, the power spectra (file and
// plots) and the normal-termination message.
#include <vector>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/run_options.hpp"
#include "plot/plotter.hpp"

namespace kestrovan {

// The two chronologies of a run by year k = 0 .. span − 1 (year = first_year + k), with their
// standard deviations, sample sizes and, when the RBAR window is 1 or more, the stabilized ones.
struct FinalChronologies {
    int first_year = 0;
    std::vector<int> sample_size;
    std::vector<float> first, second;          // standard (raw) and signal-free (adjusted)
    std::vector<float> first_sd, second_sd;    // their standard deviations by year
    std::vector<float> first_stb, second_stb;  // stabilized versions (RBAR window >= 1)
};

// Writes base + "_crns_col.txt", base + "_crns_tuc.txt" and spectra base + "_spectra.txt",
// draws the spectrum plots. Years with sample size 0 print 0.000 chronology values and −9.999
// standard errors, and go to the Tucson file as index 0 with count 0.
// A Tucson index file of chronologies, one after the other, each with the data file's three header
// lines carrying its six-character code (columns 83-88) and written with `sample_size`; a year of
// sample size 0 holds index 0. Written under a staged name and renamed when complete.
void write_tucson_index_file(const std::string& path, const OutputFiles& files, int first_year,
                             const std::vector<const std::vector<float>*>& series,
                             const std::vector<std::string>& codes, std::span<const int> sample_size,
                             Console& console);

void write_final_output(Console& console, OutputFiles& files, const RunOptions& params,
                        const FinalChronologies& chronologies, Plotter& plotter);

// Prints the normal-termination message, waits for RETURN and stops the program normally.
[[noreturn]] void normal_termination(Console& console);

}  // namespace kestrovan
