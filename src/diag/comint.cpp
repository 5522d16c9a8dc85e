#include "diag/comint.hpp"

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "model/format.hpp"
#include "model/numeric_failure.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

namespace {

struct SeriesRecord {
    int first = 0;
    int last = 0;
    int length = 0;
    std::string id;
};

void report_line(Notices& report, std::string text) { report.line(std::move(text), 20); }

// One record per series, with the time span of all series and the longest and shortest length
// written into `out`.
std::vector<SeriesRecord> series_records(std::span<const int> first_years, std::span<const std::string> ids,
                                         std::span<const int> lengths, int ns, CommonInterval& out) {
    std::vector<SeriesRecord> rec(static_cast<std::size_t>(ns));
    out.span_first = 32000;
    out.span_last = -32000;
    out.longest = lengths[0];
    out.shortest = lengths[0];
    for (int i = 0; i < ns; ++i) {
        rec[i].first = first_years[i];
        rec[i].length = lengths[i];
        rec[i].last = first_years[i] + lengths[i] - 1;
        if (i < static_cast<int>(ids.size())) rec[i].id = ids[i];
        out.span_first = std::min(out.span_first, rec[i].first);
        out.span_last = std::max(out.span_last, rec[i].last);
        out.longest = std::max(out.longest, lengths[i]);
        out.shortest = std::min(out.shortest, lengths[i]);
    }
    return rec;
}

// The interval holding the most rings, among the candidates from each series' first year to each
// end year, taken in the order of `rec` (the first of equal maxima wins). For each end year E,
// the series that reach E; the number of them starting at or before S is found by binary search
// in their sorted first years.
void best_interval(const std::vector<SeriesRecord>& rec, CommonInterval& out) {
    std::vector<int> ends;
    for (const auto& r : rec)
        if (ends.empty() || ends.back() != r.last) ends.push_back(r.last);

    long long best_rings = 0;
    std::vector<int> firsts;
    for (const int e : ends) {
        firsts.clear();
        for (const auto& r : rec)
            if (r.last >= e) firsts.push_back(r.first);
        std::sort(firsts.begin(), firsts.end());
        for (const auto& cand : rec) {
            const int s = cand.first;
            if (s > e) continue;  // never holds a ring
            const long long count = std::upper_bound(firsts.begin(), firsts.end(), s) - firsts.begin();
            const long long rings = count * (static_cast<long long>(e) - s + 1);
            if (rings > best_rings) {
                best_rings = rings;
                out.found = true;
                out.start = s;
                out.end = e;
                out.series = static_cast<int>(count);
                out.rings = static_cast<int>(rings);
            }
        }
    }
}

// The framed report of the interval found among ns series.
void write_report(int ns, CommonInterval& out) {
    out.report.blank_line();
    out.report.line(std::string(42, '*'), 21);
    report_line(out.report, " **  Time span of chronology: " + fmt_i(out.span_first, 5) + " to" +
                                fmt_i(out.span_last, 5));
    report_line(out.report, " **  length =               : " + fmt_i(out.span_last - out.span_first + 1, 13));
    report_line(out.report, " **  Number of series in chronology: " + fmt_i(ns, 6));
    report_line(out.report,
                " **  Optimum common interval: " + fmt_i(out.start, 5) + " to" + fmt_i(out.end, 5));
    report_line(out.report,
                " **  Number of years included: " + fmt_i(out.found ? out.end - out.start + 1 : 0, 12));
    report_line(out.report, " **  Number of Series included:     " + fmt_i(out.series, 7));
    report_line(out.report, " **  Number of rings:               " + fmt_i(out.rings, 7));
    report_line(out.report, " **  Length of longest Series: " + fmt_i(out.longest, 12));
    report_line(out.report, " **  Length of shortest Series: " + fmt_i(out.shortest, 11));
    out.report.line(std::string(42, '*'), 21);
}

}  // namespace

CommonInterval comint(std::span<const int> first_years, std::span<const std::string> ids,
                      std::span<const int> lengths) {
    CommonInterval out;
    const int ns = static_cast<int>(std::min(first_years.size(), lengths.size()));
    if (ns > kMaxSeries) {
        throw NumericFailure(
            {{}, {" >> file contains more than program limit of" + fmt_i(kMaxSeries, 4) + " series", 20}},
            false, " too many series for subroutine Commint");
    }
    if (ns == 0) return out;

    std::vector<SeriesRecord> rec = series_records(first_years, ids, lengths, ns, out);
    // Candidate order: latest last year first; among equal last years the earliest first year
    // first; then the greater identifier. Compared as numbers, so years before 0 sort correctly.
    std::stable_sort(rec.begin(), rec.end(), [](const SeriesRecord& a, const SeriesRecord& b) {
        if (a.last != b.last) return a.last > b.last;
        if (a.first != b.first) return a.first < b.first;
        return a.id > b.id;
    });
    best_interval(rec, out);
    write_report(ns, out);
    return out;
}

}  // namespace kestrovan
