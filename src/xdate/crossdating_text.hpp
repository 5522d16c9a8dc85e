#pragma once
// The crossdating check as text: the `<base>_xdate.txt` file (every series with its segments,
// then the site summary) and a few lines for a run's report. Plain ASCII, at most 80 columns a
// line; figures that could not be computed print as NA.
#include <string>

#include "xdate/crossdating.hpp"

namespace kestrovan {

std::string crossdating_text(const CrossdatingReport& report, const std::string& title);

std::string crossdating_summary_lines(const CrossdatingReport& report);

}  // namespace kestrovan
