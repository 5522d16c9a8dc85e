#include "run/crossdating_output.hpp"

#include <cmath>
#include <sstream>
#include <vector>

#include "console/report.hpp"
#include "io/output_table.hpp"
#include "model/format.hpp"
#include "xdate/crossdating_text.hpp"

namespace kestrovan {

namespace {

using nlohmann::ordered_json;

// A figure rounded to four decimals, null where it could not be computed.
ordered_json figure(float v) {
    if (!std::isfinite(v)) return nullptr;
    return std::round(static_cast<double>(v) * 10000.0) / 10000.0;
}

ordered_json series_json(const SeriesCheck& s) {
    ordered_json segments = ordered_json::array();
    for (const SegmentCheck& seg : s.segments)
        segments.push_back({{"first", seg.first},
                            {"last", seg.last},
                            {"r", figure(seg.r)},
                            {"best_lag", seg.best_lag},
                            {"best_r", figure(seg.best_r)},
                            {"flag", seg.flag == kNoFlag ? std::string() : std::string(1, seg.flag)}});
    return {{"id", s.id},
            {"first", s.first},
            {"last", s.last},
            {"r", figure(s.r)},
            {"segments", segments},
            {"dating_change", s.dating_change ? ordered_json(*s.dating_change) : ordered_json(nullptr)},
            {"change_shift", s.dating_change ? ordered_json(s.change_shift) : ordered_json(nullptr)}};
}

}  // namespace

std::optional<CrossdatingReport> run_crossdating(Console& console, OutputFiles& files,
                                                 const SeriesTable& table,
                                                 const CrossdatingSettings& settings) {
    if (!settings.enabled) return std::nullopt;
    CrossdatingReport report = crossdate(table, settings.options);
    const std::string path = files.base_name() + output_suffix(OutputFile::Crossdating);
    files.refuse_if_data_file(path);
    StagedOutputFile out(path);
    out.stream() << crossdating_text(report, files.data_name);
    out.commit();
    std::istringstream lines(crossdating_summary_lines(report));
    console.blank_line();
    files.report.blank_line();
    for (std::string line; std::getline(lines, line);) {
        console.line(line);
        files.report.line(line);
    }
    return report;
}

void draw_crossdating(Plotter& plotter, const CrossdatingReport& report) {
    if (!plotter.enabled() || report.series.empty()) return;
    std::vector<std::string> ids;
    std::vector<YearSpan> years;
    std::vector<std::vector<FlaggedSegment>> segments;
    for (const SeriesCheck& s : report.series) {
        ids.push_back(s.id);
        years.push_back({s.first, s.last, s.last - s.first + 1});
        auto& mine = segments.emplace_back();
        for (const SegmentCheck& seg : s.segments) mine.push_back({seg.first, seg.last, seg.flag});
    }
    plotter.crossdating_plot({ids, years, segments});
}

ordered_json crossdating_json(const CrossdatingReport& r) {
    const CrossdatingOptions& o = r.options;
    ordered_json series = ordered_json::array();
    for (const SeriesCheck& s : r.series) series.push_back(series_json(s));
    return {{"segment_length", o.segment_length},
            {"lag", o.lag},
            {"max_shift", o.max_shift},
            {"spline_wavelength", o.spline_wavelength},
            {"critical_level", o.critical_level},
            {"critical_r", figure(r.critical_r)},
            {"log", o.log},
            {"min_master_depth", o.min_master_depth},
            {"series_intercorrelation", figure(r.series_intercorrelation)},
            {"mean_sensitivity", figure(r.mean_sensitivity)},
            {"mean_ar1", figure(r.mean_ar1)},
            {"segments", r.segments},
            {"flagged", {{"A", r.flagged_a}, {"B", r.flagged_b}}},
            {"flagged_series", r.flagged_series},
            {"series", series}};
}

}  // namespace kestrovan
