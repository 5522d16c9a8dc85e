#pragma once
// The common interval of a set of series: the interval from the first year of one series to the
// last year of another that holds the most rings of the series covering all of it.
#include <span>
#include <string>

#include "model/notices.hpp"

namespace kestrovan {

struct CommonInterval {
    bool found = false;  // false when no interval holds any ring (or no series)
    int span_first = 0;  // earliest first year of all series
    int span_last = 0;   // latest last year
    int start = 0;       // best interval
    int end = 0;
    int series = 0;    // series covering the whole interval
    int rings = 0;     // series × years of the interval
    int longest = 0;   // longest series (rings)
    int shortest = 0;  // shortest series
    Notices report;    // the framed report of the interval, for the caller to print
};

// Finds the common interval and writes its report into the result.
//   first_years, lengths, ids: one entry per series (ids may be empty: only used for ordering
//   ties). Candidates are ordered numerically (latest end year first, then earliest start), so
//   series before year 0 are handled too; among equal maxima the first candidate found wins.
// Throws NumericFailure, whose lines are the limit message, for more than 4500 series.
CommonInterval comint(std::span<const int> first_years, std::span<const std::string> ids,
                      std::span<const int> lengths);

}  // namespace kestrovan
