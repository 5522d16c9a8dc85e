#pragma once
// Free-form (list-directed) reading of typed answers and data lines: items separated by blanks,
// tabs or commas; numbers in the usual Fortran forms ("12", "-3", "0.5", "1.5e3", "2.D-1").
// The console reads answers with it and the readers read data lines: it sits below both.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrovan {

// The items of a line, separated by blanks, tabs or commas (empty items are dropped).
std::vector<std::string> freeform_items(std::string_view line);

// One whole item as an integer (optional sign, digits only); nullopt when it is not one
// or does not fit a 32-bit integer.
std::optional<int> parse_int(std::string_view item);

// One whole item as a finite real (integer, decimal or exponent form, E or D); nullopt otherwise.
std::optional<double> parse_real(std::string_view item);

}  // namespace kestrovan
