#pragma once
// Saving the selected series to a Tucson ring-width file whose name records the menu choice.
#include <array>
#include <string>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

// Series processing menu choices that change the table (and are saved).
inline constexpr int kChoiceMinSegment = 2;
inline constexpr int kChoiceMaxStart = 3;
inline constexpr int kChoiceMinStart = 4;
inline constexpr int kChoiceTruncBefore = 5;
inline constexpr int kChoiceTruncAfter = 6;
inline constexpr int kChoiceCommon = 7;

// Name of the saved file: base + tag + number(s) + ".txt", e.g. "site_mnsl=50.txt",
// "site_mnsl= 5.txt", "site_comm=1900-1950.txt".
std::string savcen_file_name(const std::string& base, int choice, int value1, int value2);

// Puts the choice's code into columns 85-88 of the three header lines (blank padded to 88).
void mark_header_lines(int choice, std::array<std::string, 3>& header);
// Writes the file named by savcen_file_name(files.base_name(), ...): the three header lines with
// the choice's code in columns 85-88 (the code stays in files.header for the rest of the run),
// then every series of the table in ring-width decade lines with the choice's line code.
// Prints "File for censored data created: " with the name. Returns the name.
std::string savcen(int choice, int value1, int value2, const SeriesTable& table, OutputFiles& files,
                   Console& console);

}  // namespace kestrovan
