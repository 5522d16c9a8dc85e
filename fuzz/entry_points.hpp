#pragma once
// Entry points shared by the fuzz targets and the regression tests: each runs one reader of
// data files on an arbitrary byte string the way the program drives it, and checks what the
// reader hands back. A return value other than an empty string names a broken promise (a count
// past the stored values, a series past the limits, a summary that does not match its rows);
// crashes, hangs and sanitizer reports are caught by the tools around the call.
#include <algorithm>
#include <array>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "io/loaders.hpp"
#include "io/tucson.hpp"
#include "model/series_table.hpp"

namespace kestrovan::fuzzing {

// Console output is thrown away: only the readers' behaviour matters here.
class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// A console whose answers come from a fixed text and whose output goes nowhere.
struct QuietConsole {
    explicit QuietConsole(std::string answers = {}) : in(std::move(answers)), out(&sink) {}
    NullBuffer sink;
    std::istringstream in;
    std::ostream out;
    Console console{in, out};
};

// Splits off the first line of `data` (without its line end); `rest` is what follows it.
inline std::string_view take_line(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// A loaded table must be within the limits and consistent with itself.
inline std::string check_table(const SeriesTable& t) {
    const int ns = t.count();
    if (ns < 1 || ns > kMaxSeries)
        return "series count " + std::to_string(ns) + " outside 1.." + std::to_string(kMaxSeries);
    if (static_cast<int>(t.years.size()) != ns) return "year table rows differ from the series count";
    if (t.data.cols() < ns) return "data matrix narrower than the series count";
    int first = t.years[0].first, last = t.years[0].last;
    for (int s = 0; s < ns; ++s) {
        const YearSpan& y = t.years[static_cast<std::size_t>(s)];
        if (y.length < 1 || y.length > kMaxYears)
            return "series " + std::to_string(s + 1) + " length " + std::to_string(y.length);
        if (y.first < kEarliestYear || y.last > kLatestYear)
            return "series " + std::to_string(s + 1) + " years outside the files' range";
        if (y.length > t.data.rows())
            return "series " + std::to_string(s + 1) + " longer than the data matrix";
        if (static_cast<long long>(y.first) + y.length - 1 != y.last)
            return "series " + std::to_string(s + 1) + " years do not match its length";
        if (t.ids[static_cast<std::size_t>(s)].size() != 8) return "identifier not of 8 characters";
        first = std::min(first, y.first);
        last = std::max(last, y.last);
    }
    if (t.summary.first != first || t.summary.last != last) {
        return "summary slot " + std::to_string(t.summary.first) + ".." + std::to_string(t.summary.last) +
               " differs from the rows " + std::to_string(first) + ".." + std::to_string(last);
    }
    if (static_cast<long long>(last) - first + 1 > kMaxYears) return "span beyond the year limit";
    return {};
}

// The menu of the input-format dialogue with the given answers, on `data` as the data file.
inline std::string run_loaddat(std::string_view data, const std::string& answers) {
    QuietConsole q(answers);
    std::istringstream file{std::string(data)};
    SeriesTable table;
    std::array<std::string, 3> header;
    try {
        if (!loaddat(q.console, file, table, header)) return {};
    } catch (const ProgramStop&) {
        return {};
    }
    for (const auto& h : header)
        if (h.size() != 88) return "header line not of 88 characters";
    return check_table(table);
}

// Tucson decade file read series by series with trrw in mode "mr" or "ir" as the loader does,
// then loaded whole through the menu.
inline std::string run_trrw(std::string_view data, std::string_view mode) {
    const bool rings = mode == "mr";
    {
        std::istringstream file{std::string(data)};
        TucsonSeries series;
        TucsonReadState state;
        for (;;) {
            trrw(file, mode, series, state);
            if (series.count == kEndOfFile) break;
            if (series.count < 0 || series.count > kMaxYears) return "count " + std::to_string(series.count);
            if (static_cast<std::size_t>(series.count) > series.values.size())
                return "count past the stored values";
            if (!rings && static_cast<std::size_t>(series.count) > series.samples.size())
                return "count past the stored sample counts";
            if (series.id.size() != 8) return "identifier not of 8 characters";
            if (state.failed || (rings && series.count < 1)) break;
        }
        if (state.title.size() != 85) return "title not of 85 characters";
    }
    return run_loaddat(data, rings ? "1\n" : "2\n");
}

// Single-column blocks.
inline std::string run_rd1col(std::string_view data) {
    std::istringstream file{std::string(data)};
    SeriesTable table;
    LoadNotes notes;
    if (!rd1col(file, table, notes)) return {};
    return check_table(table);
}

// Multiple columns: the first two lines of `data` are the answers to the two questions (number
// of columns, sentinel); the rest is the file.
inline std::string run_rdmcol(std::string_view data) {
    std::string_view rest = data;
    std::string answers(take_line(rest));
    answers += '\n';
    answers += take_line(rest);
    answers += '\n';
    QuietConsole q(answers);
    std::istringstream file{std::string(rest)};
    SeriesTable table;
    try {
        if (!rdmcol(q.console, file, table)) return {};
    } catch (const ProgramStop&) {
        return {};
    }
    return check_table(table);
}

// Format-described blocks, one after another until the end of the file or a failed block.
inline std::string run_datar(std::string_view data) {
    std::istringstream file{std::string(data)};
    TucsonSeries series;
    std::string title;
    LoadNotes notes;
    for (int blocks = 0;; ++blocks) {
        const bool ok = datar(file, series, title, notes);
        if (series.count == kEndOfFile) break;
        if (series.count < 0 || series.count > kMaxYears) return "count " + std::to_string(series.count);
        if (static_cast<std::size_t>(series.count) > series.values.size())
            return "count past the stored values";
        if (series.id.size() != 8) return "identifier not of 8 characters";
        if (!ok) break;
        if (blocks > static_cast<int>(data.size()))
            return "more blocks than bytes: the reader does not advance";
    }
    return {};
}

}  // namespace kestrovan::fuzzing
