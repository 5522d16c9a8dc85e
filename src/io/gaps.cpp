#include "io/gaps.hpp"

#include <algorithm>

namespace kestrovan {

GapFilling fill_gaps(SeriesTable& table) {
    GapFilling out;
    for (int s = 0; s < table.count(); ++s) {
        YearSpan& span = table.years[static_cast<std::size_t>(s)];
        const std::string& id = table.ids[static_cast<std::size_t>(s)];
        const int n = std::min(span.last - span.first + 1, table.data.rows());
        auto col = table.data.column(s);
        int a = 0, b = n - 1;
        while (a < n && col[static_cast<std::size_t>(a)] < 0.0f) ++a;
        if (a == n) {
            out.empty.push_back(id);
            continue;
        }
        while (col[static_cast<std::size_t>(b)] < 0.0f) --b;
        // Inner gaps: between the values at positions lo and hi, straight-line values.
        for (int k = a + 1; k < b; ++k) {
            if (col[static_cast<std::size_t>(k)] >= 0.0f) continue;
            const int lo = k - 1;
            int hi = k;
            while (col[static_cast<std::size_t>(hi)] < 0.0f) ++hi;
            const double x0 = col[static_cast<std::size_t>(lo)], x1 = col[static_cast<std::size_t>(hi)];
            for (int j = k; j < hi; ++j) {
                const auto v = static_cast<float>(x0 + (x1 - x0) * (j - lo) / (hi - lo));
                col[static_cast<std::size_t>(j)] = v;
                out.filled.push_back({id, span.first + j, v});
            }
            k = hi;
        }
        if (a > 0) out.trimmed.push_back({id, span.first, span.first + a - 1, true});
        if (b < n - 1) out.trimmed.push_back({id, span.first + b + 1, span.first + n - 1, false});
        if (a > 0 || b < n - 1) {
            std::copy(col.begin() + a, col.begin() + b + 1, col.begin());
            std::fill(col.begin() + (b - a + 1), col.end(), kMissing);
            span.first += a;
            span.last = span.first + (b - a);
            span.length = b - a + 1;
        }
    }
    table.update_summary();
    return out;
}

}  // namespace kestrovan
