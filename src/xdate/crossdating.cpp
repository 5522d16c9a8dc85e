#include "xdate/crossdating.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "model/numeric_failure.hpp"
#include "xdate/critical_correlation.hpp"
#include "xdate/master.hpp"
#include "xdate/prewhiten.hpp"
#include "xdate/segments.hpp"

namespace kestrovan {

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A series' years as the table gives them, its length held to the matrix.
struct SeriesSpan {
    int first = 0, last = 0, length = 0;
};

std::vector<SeriesSpan> series_spans(const SeriesTable& table) {
    std::vector<SeriesSpan> spans(static_cast<std::size_t>(table.count()));
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const int first = i < table.years.size() ? table.years[i].first : 0;
        const int length =
            i < table.years.size() ? std::clamp(table.years[i].length, 0, table.data.rows()) : 0;
        spans[i] = {first, first + length - 1, length};
    }
    return spans;
}

std::string trimmed(const std::string& id) {
    const auto a = id.find_first_not_of(' ');
    return a == std::string::npos ? std::string() : id.substr(a, id.find_last_not_of(' ') - a + 1);
}

// Mean sensitivity and first-order autocorrelation of raw widths, over the pairs of consecutive
// rings that are both present (negative values are missing rings); pairs of two zero rings have
// no sensitivity.
void raw_statistics(std::span<const float> w, SeriesCheck& out) {
    const auto present = [](float v) { return std::isfinite(v) && v >= 0.0f; };
    double sum = 0.0;
    int n = 0;
    for (float v : w)
        if (present(v)) {
            sum += v;
            ++n;
        }
    const double mean = n > 0 ? sum / n : 0.0;
    double sens = 0.0, lag = 0.0, var = 0.0;
    int pairs = 0;
    for (std::size_t t = 0; t < w.size(); ++t) {
        if (!present(w[t])) continue;
        var += (w[t] - mean) * (w[t] - mean);
        if (t + 1 >= w.size() || !present(w[t + 1])) continue;
        const double a = w[t], b = w[t + 1];
        lag += (a - mean) * (b - mean);
        if (a + b > 0.0) {
            sens += std::fabs(2.0 * (b - a) / (b + a));
            ++pairs;
        }
    }
    out.mean_sensitivity = pairs > 0 ? static_cast<float>(sens / pairs) : kNaN;
    out.ar1 = var > 0.0 ? static_cast<float>(lag / var) : kNaN;
}

// Calls task(i) for every series, shared out over the threads by series length.
template <class Task>
void for_each_series(const std::vector<SeriesSpan>& spans, int threads, Task&& task) {
    const int n = static_cast<int>(spans.size());
    const int workers = std::max(1, std::min(resolve_threads(threads), n));
    std::vector<long long> weight(spans.size());
    for (std::size_t i = 0; i < spans.size(); ++i) weight[i] = spans[i].length + 1;
    std::vector<int> bounds;
    split_ranges(n, workers, &weight, bounds);
    run_workers(workers, [&](int w) {
        task(bounds[static_cast<std::size_t>(w)], bounds[static_cast<std::size_t>(w) + 1]);
    });
}

std::string no_segment_note(const SeriesCheck& s, const SeriesSpan& span, const PrewhitenResult& filtered,
                            const CrossdatingOptions& o) {
    if (!s.segments.empty()) return {};
    if (span.length < o.segment_length) return "shorter than a segment";
    if (filtered.filtered == 0)
        return filtered.spline_failed ? "the spline could not be fitted"
                                      : "nothing to filter (no run of " + std::to_string(kMinFilteredRun) +
                                            " rings with spread)";
    return "no segment covered whole by the series and a master of " + std::to_string(o.min_master_depth) +
           " or more series";
}

float mean_of_finite(const std::vector<SeriesCheck>& series, float SeriesCheck::*field) {
    double sum = 0.0;
    int n = 0;
    for (const SeriesCheck& s : series)
        if (std::isfinite(s.*field)) {
            sum += s.*field;
            ++n;
        }
    return n > 0 ? static_cast<float>(sum / n) : kNaN;
}

// The years of the table: earliest first year to latest last year.
void set_span(const std::vector<SeriesSpan>& spans, CrossdatingReport& report) {
    bool any = false;
    for (const SeriesSpan& s : spans) {
        if (s.length <= 0) continue;
        report.first_year = any ? std::min(report.first_year, s.first) : s.first;
        report.last_year = any ? std::max(report.last_year, s.last) : s.last;
        any = true;
    }
}

void summarise(CrossdatingReport& report) {
    for (const SeriesCheck& s : report.series) {
        report.segments += static_cast<int>(s.segments.size());
        bool flagged = false;
        for (const SegmentCheck& seg : s.segments) {
            report.flagged_a += seg.flag == kFlagA;
            report.flagged_b += seg.flag == kFlagB;
            flagged = flagged || seg.flag != kNoFlag;
        }
        report.flagged_series += flagged;
    }
    report.series_intercorrelation = mean_of_finite(report.series, &SeriesCheck::r);
    report.mean_sensitivity = mean_of_finite(report.series, &SeriesCheck::mean_sensitivity);
    report.mean_ar1 = mean_of_finite(report.series, &SeriesCheck::ar1);
}

}  // namespace

CrossdatingReport crossdate(const SeriesTable& table, const CrossdatingOptions& options, int threads) {
    if (const std::string problem = options.check(); !problem.empty()) throw NumericFailure(problem);
    CrossdatingReport report;
    report.options = options;
    report.critical_r =
        static_cast<float>(critical_correlation(options.segment_length, options.critical_level));
    const std::vector<SeriesSpan> spans = series_spans(table);
    const std::size_t count = spans.size();
    set_span(spans, report);
    // The table's limits hold where data enter; a table built otherwise must not make the
    // filtered matrix (span × series) grow without bound.
    const long long span = static_cast<long long>(report.last_year) - report.first_year + 1;
    if (count > static_cast<std::size_t>(kMaxSeries) || span > kMaxYears)
        throw NumericFailure("crossdating: " + std::to_string(count) + " series over " +
                             std::to_string(span) + " years; at most " + std::to_string(kMaxSeries) +
                             " series over " + std::to_string(kMaxYears) + " years can be checked");
    report.series.resize(count);

    YearMatrix filtered(report.last_year - report.first_year + 1, static_cast<int>(count));
    std::vector<PrewhitenResult> prewhitened(count);
    for_each_series(spans, threads, [&](int from, int to) {
        PrewhitenWorkspace ws;
        for (int i = from; i < to; ++i) {
            const SeriesSpan& s = spans[static_cast<std::size_t>(i)];
            if (s.length <= 0) continue;
            const auto raw = table.data.column(i).first(static_cast<std::size_t>(s.length));
            const auto out =
                filtered.column(i).subspan(static_cast<std::size_t>(s.first - report.first_year));
            prewhitened[static_cast<std::size_t>(i)] =
                prewhiten(raw, options.spline_wavelength, options.log, out, ws);
        }
    });

    const MasterTable master = build_master(filtered, threads);
    const CheckContext context{filtered, master, options, report.first_year, report.critical_r};
    for_each_series(spans, threads, [&](int from, int to) {
        CheckWorkspace ws;
        for (int i = from; i < to; ++i) {
            const std::size_t k = static_cast<std::size_t>(i);
            SeriesCheck& s = report.series[k];
            s.id = trimmed(i < static_cast<int>(table.ids.size()) ? table.ids[k] : std::string());
            s.first = spans[k].first;
            s.last = spans[k].last;
            raw_statistics(table.data.column(i).first(static_cast<std::size_t>(spans[k].length)), s);
            s.r = kNaN;
            if (spans[k].length > 0) check_series(context, i, s, ws);
            s.note = no_segment_note(s, spans[k], prewhitened[k], options);
        }
    });
    summarise(report);
    return report;
}

}  // namespace kestrovan
