#pragma once
// The level of a chronology over the years after a skip: the one mean (and spread) that the
// mean-1 adjustments of the engine and of the stabilization take.
#include <span>

namespace kestrovan {

// Mean and sample standard deviation of a chronology over the years k >= skip whose sample size
// is above 0 (years no series covers never enter). `years` is the number of such years; the
// standard deviation is 0 when fewer than two years enter.
struct ChronologyLevel {
    double mean = 0.0;
    double sd = 0.0;
    int years = 0;
};
ChronologyLevel chronology_level(std::span<const float> chronology, std::span<const int> counts, int skip);

}  // namespace kestrovan
