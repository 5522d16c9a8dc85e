#pragma once
// The check of one series against its master: the whole-series correlation, the segments with
// their shifted correlations and flags, and the year where a flagged series' dating appears to
// change (see xdate/crossdating.hpp for the conventions).
#include <vector>

#include "model/year_matrix.hpp"
#include "xdate/crossdating.hpp"
#include "xdate/master.hpp"

namespace kestrovan {

struct CheckContext {
    const YearMatrix& filtered;  // calendar rows × series
    const MasterTable& master;
    const CrossdatingOptions& options;
    int first_year = 0;  // calendar year of row 0
    float critical_r = 0.0f;
};

// Caller-owned scratch, reused from series to series.
struct CheckWorkspace {
    std::vector<float> x, m;     // the series and its master from max_shift years before to after it
    std::vector<float> a, b;     // paired values
    std::vector<double> prefix;  // running sums of the dating-change scan
};

// Fills out.r, out.segments, out.dating_change and out.change_shift for series `series`, whose
// years out.first .. out.last are already set.
void check_series(const CheckContext& ctx, int series, SeriesCheck& out, CheckWorkspace& ws);

// Floor division by a positive divisor (−1 / 25 = −1).
inline int floor_div(int a, int b) { return a / b - (a % b < 0 ? 1 : 0); }

}  // namespace kestrovan
