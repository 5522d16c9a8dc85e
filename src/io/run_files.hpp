#pragma once
// The run's files: the data file name as typed, the names derived from it, the open report and
// the three header lines of the data file.
#include <array>
#include <string>

#include "console/report.hpp"

namespace kestrovan {

inline constexpr const char* kVersion = "45_v2b";   // printed in a 7-character field
inline constexpr const char* kVersionField = "45_v2b ";

struct RunFiles {
    std::string data_name;                 // as typed, at most 50 characters, trailing blanks removed
    Report report;                         // open from run start to the end of the program
    std::array<std::string, 3> header{};   // three 88-character header lines of the data file

    // Output names are built from the data file's own name (not its directory part), and keep
    // the directory as prefix so that output files go beside the data file:
    //   base_name():      directory + own name up to its first full stop ("../d/site.rwl" -> "../d/site")
    //   spectra_base():   directory + own name up to its first blank or full stop, at most 40 characters
    //   report_name():    base_name() + "_out_v45_v2b.txt", blanks of the own name closed up
    //   chronology_id():  first 6 characters of the own name, blank padded, followed by two blanks
    std::string base_name() const;
    std::string spectra_base() const;
    std::string report_name() const;
    std::string chronology_id() const;
};

// Splits a path into its directory part (with the final '/') and the file's own name.
void split_path(const std::string& path, std::string& dir, std::string& own);

}  // namespace kestrovan
