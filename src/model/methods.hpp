#pragma once
// How indices and mean chronologies are formed: the two choices every stage of a run reads.

namespace kestrovan {

enum class IndexMethod {
    Ratios,     // measurement / fitted curve
    Residuals,  // measurement − fitted curve, rescaled to the spread of the ratios
};

// The mean of a year's indices. Plain integers: the run report prints them as the codes 1 and 2.
inline constexpr int kMeanArithmetic = 1;  // plain arithmetic mean
inline constexpr int kMeanBiweight = 2;    // robust Tukey biweight mean

}  // namespace kestrovan
