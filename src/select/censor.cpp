#include "select/censor.hpp"

#include <algorithm>
#include <functional>
#include <string>

#include "model/format.hpp"

namespace kestrovan {

namespace {

void print_summary_line(Console& console, std::string_view label, int ns, const YearSpan& s) {
    console.blank_line();
    console.line(Columns().at(30, "    NS   IFY   ILY   NYR").str());
    const std::string numbers = fmt_i(ns, 6) + fmt_i(s.first, 6) + fmt_i(s.last, 6) + fmt_i(s.length, 6);
    console.line(Columns().at(2, label).at(30, numbers).add(" Years total time span").str());
}

void print_shortened(Console& console, int years) {
    console.blank_line();
    console.line("Total chronology length shortened: " + fmt_i(years, 6) + " years", 2);
}

// Moves the series that pass `keep` down to the front of the table in input order and drops the
// rest. Returns the number kept; with none kept the table is not touched.
int keep_series(SeriesTable& table, const std::function<bool(const YearSpan&)>& keep) {
    const int ns = table.count();
    int kept = 0;
    for (int i = 0; i < ns; ++i)
        if (keep(table.years[static_cast<std::size_t>(i)])) ++kept;
    if (kept == 0) return 0;

    // Each kept series remembers its place in the file as read (a table built without them is
    // the file as read).
    if (table.file_positions.size() != static_cast<std::size_t>(ns)) table.mark_as_read();
    int k = 0;
    for (int i = 0; i < ns; ++i) {
        const auto& span = table.years[static_cast<std::size_t>(i)];
        if (!keep(span)) continue;
        if (k != i) {
            table.years[static_cast<std::size_t>(k)] = span;
            table.ids[static_cast<std::size_t>(k)] = table.ids[static_cast<std::size_t>(i)];
            table.file_positions[static_cast<std::size_t>(k)] =
                table.file_positions[static_cast<std::size_t>(i)];
            auto from = table.data.column(i);
            std::copy(from.begin(), from.end(), table.data.column(k).begin());
        }
        ++k;
    }
    // Dropped places vanish from the table: the matrix keeps one column per kept series.
    table.years.resize(static_cast<std::size_t>(k));
    table.ids.resize(static_cast<std::size_t>(k));
    table.file_positions.resize(static_cast<std::size_t>(k));
    table.data.resize(table.data.rows(), k);
    return k;
}

int keep_and_report(SeriesTable& table, const std::function<bool(const YearSpan&)>& keep,
                    std::string_view label, Console& console) {
    const int old_span = table.summary.last - table.summary.first + 1;
    const int k = keep_series(table, keep);
    if (k == 0) return 0;
    table.update_summary();
    if (table.summary.length < old_span) print_shortened(console, old_span - table.summary.length);
    print_summary_line(console, label, k, table.summary);
    return k;
}

}  // namespace

int cenbyseg(SeriesTable& table, int min_length, Console& console) {
    return keep_and_report(
        table, [min_length](const YearSpan& s) { return s.length >= min_length; },
        "Min segment length series:", console);
}

int cenbyify(SeriesTable& table, int& year, Console& console) {
    const int y = year;
    const int k = keep_and_report(
        table, [y](const YearSpan& s) { return s.first <= y; }, "Max starting year series:", console);
    if (k == 0) year = 0;
    return k;
}

int cenayify(SeriesTable& table, int& year, Console& console) {
    const int y = year;
    const int k = keep_and_report(
        table, [y](const YearSpan& s) { return s.first >= y; }, "Min starting year series:", console);
    if (k == 0) year = 0;
    return k;
}

int cenbycom(SeriesTable& table, int start, int end, Console& console) {
    const int old_span = table.summary.last - table.summary.first + 1;
    const int k =
        keep_series(table, [start, end](const YearSpan& s) { return s.first <= start && s.last >= end; });
    if (k == 0) return 0;

    const int length = end - start + 1;
    const int rows = table.data.rows();
    for (int c = 0; c < k; ++c) {
        auto& span = table.years[static_cast<std::size_t>(c)];
        auto col = table.data.column(c);
        const int shift = start - span.first;
        // The ring of `start` moves to position 0; nothing past the common period stays behind.
        for (int p = 0; p < rows; ++p) {
            const int from = p + shift;
            col[static_cast<std::size_t>(p)] =
                (p < length && from < rows) ? col[static_cast<std::size_t>(from)] : kMissing;
        }
        span = {start, end, length};
    }
    table.summary = {start, end, length};
    print_shortened(console, old_span - length);
    print_summary_line(console, "", k, table.summary);
    return k;
}

}  // namespace kestrovan
