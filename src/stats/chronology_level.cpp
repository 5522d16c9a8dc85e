#include "stats/chronology_level.hpp"

#include <algorithm>
#include <cmath>

namespace kestrovan {

ChronologyLevel chronology_level(std::span<const float> chronology, std::span<const int> counts, int skip) {
    ChronologyLevel r;
    const std::size_t n = std::min(chronology.size(), counts.size());
    double sum = 0.0;
    for (std::size_t k = static_cast<std::size_t>(std::max(skip, 0)); k < n; ++k) {
        if (counts[k] <= 0) continue;
        sum += chronology[k];
        ++r.years;
    }
    if (r.years == 0) return r;
    r.mean = sum / r.years;
    if (r.years < 2) return r;
    double ss = 0.0;
    for (std::size_t k = static_cast<std::size_t>(std::max(skip, 0)); k < n; ++k) {
        if (counts[k] <= 0) continue;
        ss += (chronology[k] - r.mean) * (chronology[k] - r.mean);
    }
    r.sd = std::sqrt(ss / (r.years - 1));
    return r;
}

}  // namespace kestrovan
