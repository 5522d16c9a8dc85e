#include "xdate/crossdating_text.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/format.hpp"

namespace kestrovan {

namespace {

constexpr std::size_t kWidth = 80;

// Text with anything but printable ASCII replaced by '?', cut to `width` characters.
std::string ascii(const std::string& text, std::size_t width = kWidth) {
    std::string out;
    for (char c : text) {
        if (out.size() == width) break;
        const auto u = static_cast<unsigned char>(c);
        out += u >= 32 && u < 127 ? c : '?';
    }
    return out;
}

// A figure right-justified in `width` columns, NA when it could not be computed.
std::string figure(double value, int width, int decimals) {
    if (!std::isfinite(value))
        return std::string(static_cast<std::size_t>(width > 2 ? width - 2 : 0), ' ') + "NA";
    return fmt_f(value, width, decimals);
}

// A figure without padding.
std::string plain(double value, int decimals) { return trim(figure(value, 24, decimals)); }

std::string signed_shift(int k) { return (k > 0 ? "+" : "") + std::to_string(k); }

// Words joined by `separator` and wrapped at 80 columns, continuation lines indented by `indent`.
std::string wrapped(const std::string& lead, const std::vector<std::string>& words,
                    const std::string& separator, std::size_t indent) {
    std::string out, line = lead;
    for (std::size_t k = 0; k < words.size(); ++k) {
        const std::string word = words[k] + (k + 1 < words.size() ? separator : "");
        if (line.size() + word.size() > kWidth && line.size() > indent) {
            out += rtrim(line) + "\n";
            line = std::string(indent, ' ');
        }
        line += word;
    }
    return out + line + "\n";
}

// Text wrapped at blanks into lines of at most 80 columns, the first line indented by `first`
// blanks, the others by `indent`.
std::string paragraph(const std::string& text, std::size_t indent = 0, std::size_t first = 0) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return wrapped(std::string(first, ' '), words, " ", indent);
}

// A level as a percentage with the decimals it needs (99, 99.5, 99.95).
std::string percent(double level) {
    std::string p = plain(100.0 * level, 3);
    while (p.find('.') != std::string::npos && (p.back() == '0' || p.back() == '.')) p.pop_back();
    return p;
}

std::vector<std::string> flagged_ids(const CrossdatingReport& report) {
    std::vector<std::string> ids;
    for (const SeriesCheck& s : report.series)
        for (const SegmentCheck& seg : s.segments)
            if (seg.flag != kNoFlag) {
                ids.push_back(ascii(s.id, 20));
                break;
            }
    return ids;
}

std::string settings_text(const CrossdatingReport& report) {
    const CrossdatingOptions& o = report.options;
    const std::string shift = std::to_string(o.max_shift);
    std::string t =
        paragraph("Segments of " + std::to_string(o.segment_length) + " years starting every " +
                  std::to_string(o.lag) + " years, each compared with the master at shifts of -" + shift +
                  " to +" + shift + " years (shift k: the series' year t against the master's year t + k).");
    t += paragraph(std::string("Filter: ") + (o.log ? "natural logarithms, differences from" : "ratios to") +
                   " a spline of " + std::to_string(o.spline_wavelength) +
                   " years (50 % response), then autoregressive residuals.");
    t += paragraph("Master: biweight mean of the other series, at least " +
                   std::to_string(o.min_master_depth) + " in every year.");
    t += paragraph("Critical correlation " + plain(report.critical_r, 4) + " (one-tailed, " +
                   percent(o.critical_level) + " %, " + std::to_string(o.segment_length) + " years).");
    t += "Flags: A = dated position best but below the critical correlation,\n";
    t += "       B = another shift correlates higher than the dated position.\n";
    return t;
}

std::string series_text(const SeriesCheck& s, int number) {
    std::string t = "Series " + std::to_string(number) + ": " + ascii(s.id, 20) + "  " +
                    std::to_string(s.first) + " to " + std::to_string(s.last) + "  r with master " +
                    figure(s.r, 6, 3) + "\n";
    if (s.segments.empty()) return t + paragraph("No segment tested: " + s.note + ".", 5, 3);
    t += "    First    Last       r   Shift  Best r  Flag\n";
    for (const SegmentCheck& seg : s.segments) {
        std::string line = "  " + fmt_i(seg.first, 7) + " " + fmt_i(seg.last, 7) + " " + figure(seg.r, 7, 3) +
                           " " + fmt_i(seg.best_lag, 7) + " " + figure(seg.best_r, 7, 3);
        if (seg.flag != kNoFlag) line += std::string("     ") + seg.flag;
        t += line + "\n";
    }
    if (s.dating_change)
        t += "   Dating changes after " + std::to_string(*s.dating_change) + ": shift " +
             signed_shift(s.change_shift) + " fits better (" +
             (s.change_shift > 0 ? "a missing ring?" : "an extra ring?") + ")\n";
    return t;
}

std::string summary_row(const std::string& label, const std::string& value) {
    return "  " + fixed_width(label, 36) + value + "\n";
}

}  // namespace

std::string crossdating_text(const CrossdatingReport& report, const std::string& title) {
    std::string t = ascii("Crossdating check: " + title) + "\n\n" + settings_text(report);
    for (std::size_t i = 0; i < report.series.size(); ++i)
        t += "\n" + series_text(report.series[i], static_cast<int>(i) + 1);
    t += "\nSite summary\n";
    t += summary_row("Series", std::to_string(report.series.size()));
    t += summary_row("Span", report.series.empty() ? std::string("none")
                                                   : std::to_string(report.first_year) + " to " +
                                                         std::to_string(report.last_year));
    t += summary_row("Segments tested", std::to_string(report.segments));
    t += summary_row("Segments flagged A", std::to_string(report.flagged_a));
    t += summary_row("Segments flagged B", std::to_string(report.flagged_b));
    t += summary_row("Series flagged", std::to_string(report.flagged_series));
    t += summary_row("Series intercorrelation", plain(report.series_intercorrelation, 3));
    t += summary_row("Mean sensitivity", plain(report.mean_sensitivity, 3));
    t += summary_row("Mean first-order autocorrelation", plain(report.mean_ar1, 3));
    const std::vector<std::string> ids = flagged_ids(report);
    if (!ids.empty()) t += wrapped("  Flagged: ", ids, ", ", 11);
    return t;
}

std::string crossdating_summary_lines(const CrossdatingReport& report) {
    const CrossdatingOptions& o = report.options;
    std::string t = paragraph("Crossdating: segments of " + std::to_string(o.segment_length) +
                                  " years lagged " + std::to_string(o.lag) + ", shifts up to " +
                                  std::to_string(o.max_shift) + ", " + (o.log ? "logs, " : "") +
                                  std::to_string(o.spline_wavelength) + "-year spline, master of " +
                                  std::to_string(o.min_master_depth) + " or more series, critical r " +
                                  plain(report.critical_r, 4) + " (" + percent(o.critical_level) + " %)",
                              2);
    t += paragraph("Segments tested " + std::to_string(report.segments) + ", flagged A " +
                       std::to_string(report.flagged_a) + ", flagged B " + std::to_string(report.flagged_b) +
                       "; series intercorrelation " + plain(report.series_intercorrelation, 3),
                   2);
    const std::vector<std::string> ids = flagged_ids(report);
    if (ids.empty()) return t + "Flagged series: none\n";
    return t + wrapped("Flagged series (" + std::to_string(ids.size()) + "): ", ids, " ", 2);
}

}  // namespace kestrovan
