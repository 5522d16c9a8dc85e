#include "select/truncate.hpp"

#include <string>

#include "model/format.hpp"

namespace kestrovan {

namespace {

enum class Side { Before, After };

// Lists every series that the truncation would leave with fewer than kMinTruncatedLength values
// and stops the program when there is one; the table is not touched before the check passes.
void check_lengths(const SeriesTable& table, int year, Side side, Console& console) {
    bool any = false;
    for (int i = 0; i < table.count(); ++i) {
        const auto& s = table.years[static_cast<std::size_t>(i)];
        int length = s.length;
        if (side == Side::Before && s.first < year) length = s.last - year + 1;
        if (side == Side::After && s.last > year) length = year - s.first + 1;
        if (length >= kMinTruncatedLength) continue;
        if (!any) console.blank_line();
        any = true;
        console.line("Series " + fixed_width(table.ids[static_cast<std::size_t>(i)], 8) +
                         (side == Side::Before ? " truncation before " : " truncation after ") +
                         fmt_i(year, 4) + " only leaves " + fmt_i(length, 4) + " values for analysis.",
                     2);
    }
    if (!any) return;
    console.line("Please evaluate your truncation choice and see if it is", 2);
    console.line("appropriate for your data. You might want to consider deleting", 2);
    console.line("these series from further analysis if you want to truncate.", 2);
    throw ProgramStop(StopKind::Abnormal, " Review your truncation choice!");
}

}  // namespace

void truncate_before(SeriesTable& table, int year, Console& console, Report& report) {
    check_lengths(table, year, Side::Before, console);
    const int rows = table.data.rows();
    for (int i = 0; i < table.count(); ++i) {
        auto& s = table.years[static_cast<std::size_t>(i)];
        if (s.first >= year) continue;
        const int shift = year - s.first;
        const int length = s.last - year + 1;
        auto col = table.data.column(i);
        // Position 0 now holds the ring of `year`; positions past the new end are emptied.
        for (int p = 0; p < rows; ++p) {
            const int from = p + shift;
            col[static_cast<std::size_t>(p)] =
                (p < length && from < rows) ? col[static_cast<std::size_t>(from)] : kMissing;
        }
        s.first = year;
        s.length = length;
    }
    table.update_summary();
    report.blank_line();
    report.line("DATA ARE TRUNCATED BEFORE MINIMUM START YEAR: " + fmt_i(year, 5));
}

void truncate_after(SeriesTable& table, int year, Console& console, Report& report) {
    check_lengths(table, year, Side::After, console);
    const int rows = table.data.rows();
    for (int i = 0; i < table.count(); ++i) {
        auto& s = table.years[static_cast<std::size_t>(i)];
        if (s.last <= year) continue;
        const int length = year - s.first + 1;
        auto col = table.data.column(i);
        for (int p = length; p < rows; ++p) col[static_cast<std::size_t>(p)] = kMissing;
        s.last = year;
        s.length = length;
    }
    table.update_summary();
    report.blank_line();
    report.line("DATA ARE TRUNCATED AFTER MAXIMUM END YEAR: " + fmt_i(year, 5));
}

}  // namespace kestrovan
