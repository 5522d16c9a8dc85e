// The check of the crossdating options, apart from the checks themselves: the run-file reader
// needs it without the numerics.
#include <string>

#include "model/series_table.hpp"
#include "xdate/crossdating.hpp"

namespace kestrovan {

namespace {

std::string bad(const std::string& what, int value, const std::string& rule) {
    return what + " " + std::to_string(value) + " cannot be used: " + rule;
}

}  // namespace

std::string CrossdatingOptions::check() const {
    if (segment_length < kMinSegmentLength || segment_length > kMaxYears)
        return bad("segment length", segment_length,
                   "it must be " + std::to_string(kMinSegmentLength) + " to " + std::to_string(kMaxYears) +
                       " years");
    if (lag < 1 || lag > segment_length)
        return bad("segment lag", lag,
                   "it must be 1 to the segment length (" + std::to_string(segment_length) + ")");
    if (spline_wavelength < 2 || spline_wavelength > kMaxYears)
        return bad("spline wavelength", spline_wavelength,
                   "it must be 2 to " + std::to_string(kMaxYears) + " years");
    if (max_shift < 1 || 2 * max_shift >= segment_length)
        return bad("largest shift", max_shift,
                   "it must be at least 1 and below half the segment length (" +
                       std::to_string(segment_length) + ")");
    if (!(critical_level > 0.5 && critical_level < 1.0))
        return "critical level " + std::to_string(critical_level) +
               " cannot be used: it must lie between 0.5 and 1";
    if (min_master_depth < 1 || min_master_depth > kMaxSeries)
        return bad("master depth", min_master_depth,
                   "it must be 1 to " + std::to_string(kMaxSeries) + " series");
    return {};
}

}  // namespace kestrovan
