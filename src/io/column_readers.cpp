#include "io/column_readers.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/table_builder.hpp"
#include "io/text_lines.hpp"
#include "model/format.hpp"
#include "model/freeform.hpp"

namespace kestrovan {

using detail::ColumnLayout;
using detail::no_series;
using detail::sentinel_form;
using detail::TableBuilder;

namespace {

// Lines of a multiple-column file may hold thousands of columns.
constexpr std::size_t kWideLine = std::size_t{1} << 20;

void line_too_long_message(LoadNotes& notes, int line) {
    notes.blank_line();
    notes.refusal(
        "Line " + std::to_string(line) + " of the file is longer than a mebibyte: this is not a data file.",
        2);
}

bool has_control_bytes(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// The lines of a file that hold something, numbered, split into free-form items, with two lines
// of look-ahead (a block's last value is told from an identifier by the lines after it).
class ItemLines {
public:
    struct Line {
        int number = 0;
        std::vector<std::string> items;
    };
    ItemLines(std::istream& file, int lines_before) : file_(file), number_(lines_before) {}

    // The line `ahead` places on (0 = the next one); nullptr past the end of the file.
    const Line* peek(std::size_t ahead = 0) {
        std::string text;
        while (ahead_.size() <= ahead) {
            Line l;
            while (l.items.empty()) {
                if (!read_text_line(file_, text)) return nullptr;
                ++number_;
                l.items = freeform_items(text);
            }
            l.number = number_;
            ahead_.push_back(std::move(l));
        }
        return &ahead_[ahead];
    }
    void drop() { ahead_.pop_front(); }
    bool too_long() const { return line_too_long(file_); }
    int lines_read() const { return number_; }

private:
    std::istream& file_;
    int number_;
    std::deque<Line> ahead_;
};

// Number syntax of a free-form item, also for numbers too large to be finite ("1e999"): such an
// item is a value that cannot be used, not the identifier of the next series.
bool number_syntax(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, digits = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, digits = true;
    }
    if (!digits) return false;
    if (i < s.size() && std::strchr("eEdD", s[i])) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t start = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        if (i == start) return false;
    }
    return i == s.size();
}

bool integer_form(std::string_view s) { return s.find_first_of(".eEdD") == std::string_view::npos; }

// A ring width in millimetres is finite and below 100 (no decade field could hold more).
constexpr double kLargestWidth = 100.0;

// How a single-column read is going: series read, and identifiers made of digits only that
// were recognised inside the value lines.
struct SingleColumnRead {
    int digit_ids = 0;
};

// Inside a block whose values all carry decimal points, a line of digits only followed by a line
// that reads as a year starts a new series when one of the two cannot be a ring width (100 or
// more): the identifier and first year of the next block, which a value line never is.
bool starts_new_series(ItemLines& lines, std::string_view item) {
    const ItemLines::Line* next = lines.peek(1);
    if (!next || next->items.size() != 1 || !integer_form(next->items[0])) return false;
    const auto year = parse_int(next->items[0]);
    if (!year || *year < kEarliestYear || *year > kLatestYear) return false;
    const auto x = parse_real(item);
    return !x || *x >= kLargestWidth || *year >= kLargestWidth;
}

// The value lines of one single-column block, up to the next identifier or the end of the file.
bool read_single_block(LoadNotes& notes, ItemLines& lines, const std::string& id, int first_year,
                       std::vector<float>& values, SingleColumnRead& read) {
    bool decimal = true;  // every value so far written with a decimal point
    for (;;) {
        const ItemLines::Line* l = lines.peek();
        if (!l) return true;
        const std::string& item = l->items[0];
        if (!number_syntax(item)) return true;  // the next identifier
        const long long year = static_cast<long long>(first_year) + static_cast<long long>(values.size());
        const std::string at = "Line " + std::to_string(l->number) + ": ";
        if (l->items.size() != 1) {
            notes.blank_line();
            notes.refusal(at + "series " + rtrim(id) + " has more than one item where its value for " +
                              std::to_string(year) + " stands (one value per line).",
                          2);
            return false;
        }
        // The same line as the file's last line cannot be told from an identifier whose first
        // year was cut off: it is read as an identifier (and refused for want of its year).
        if (decimal && integer_form(item) && !values.empty() && !lines.peek(1)) return true;
        if (decimal && integer_form(item) && !values.empty() && starts_new_series(lines, item)) {
            if (read.digit_ids++ == 0) {
                notes.blank_line();
                notes.warning("WARNING: " + at + item +
                                  " is taken as the identifier of a new series (first year " +
                                  lines.peek(1)->items[0] + "), not as a ring width of " + rtrim(id) + ".",
                              2);
            }
            return true;
        }
        const auto v = parse_real(item);
        if (!v || !(*v < kLargestWidth)) {
            notes.blank_line();
            notes.refusal(at + "the value " + item + " of series " + rtrim(id) + " for " +
                              std::to_string(year) + " is not a ring width in millimetres (" +
                              (v ? "100 or more" : "not a finite number") + ").",
                          2);
            if (integer_form(item))
                notes.refusal("(A series identifier made of digits only must be followed by its first year.)",
                              2);
            return false;
        }
        if (static_cast<int>(values.size()) == kMaxYears) {
            notes.blank_line();
            notes.refusal("Series " + rtrim(id) + " has more than " + std::to_string(kMaxYears) +
                              " values, the limit per series.",
                          2);
            return false;
        }
        if (integer_form(item)) decimal = false;
        values.push_back(static_cast<float>(*v));
        lines.drop();
    }
}

}  // namespace

bool rd1col(std::istream& file, SeriesTable& table, LoadNotes& notes, int lines_before) {
    TableBuilder builder(notes);
    ItemLines lines(file, lines_before);
    SingleColumnRead read;
    std::vector<float> values;

    auto error = [&](const char* what, const std::string& id, int line) {
        notes.refusal(what, 2);
        notes.refusal("Series: " + fixed_width(id, 8) + " Number: " + fmt_i(builder.count() + 1, 5), 9);
        notes.refusal(line > lines.lines_read()
                          ? "(the file ends after line " + std::to_string(lines.lines_read()) + ")"
                          : "(line " + std::to_string(line) + " of the file)",
                      9);
        notes.pause(" Hit return to continue ");
        return false;
    };

    while (const ItemLines::Line* head = lines.peek()) {
        const int id_line = head->number;
        const std::string item = head->items[0];
        if (has_control_bytes(item)) return error("Rd1col: Error reading series ID", "", id_line);
        const std::string id = fixed_width(item, 8);
        lines.drop();

        const ItemLines::Line* year_line = lines.peek();
        if (!year_line) return error("Rd1col: Error reading series IYR value", id, lines.lines_read() + 1);
        const auto year = year_line->items.size() == 1 && integer_form(year_line->items[0])
                              ? parse_int(year_line->items[0])
                              : std::nullopt;
        if (!year) return error("Rd1col: Error reading series IYR value", id, year_line->number);
        if (*year < kEarliestYear || *year > kLatestYear) {
            notes.blank_line();
            notes.refusal("Line " + std::to_string(year_line->number) + ": the first year " +
                              std::to_string(*year) + " of series " + rtrim(id) + " lies outside the years " +
                              std::to_string(kEarliestYear) + " to " + std::to_string(kLatestYear) +
                              " that the program's files hold.",
                          2);
            return false;
        }
        lines.drop();

        values.clear();
        if (!read_single_block(notes, lines, id, *year, values, read)) return false;
        if (!builder.add(id, *year, values, id_line)) return false;
    }
    if (lines.too_long()) {
        line_too_long_message(notes, lines.lines_read() + 1);
        return false;
    }
    if (builder.count() == 0) {
        no_series(notes, lines.lines_read());
        return false;
    }
    if (read.digit_ids > 1) {
        notes.blank_line();
        notes.warning("WARNING: " + std::to_string(read.digit_ids) +
                          " identifiers made of digits only were taken as the starts of new series.",
                      2);
    }
    builder.finish(table);
    return true;
}

namespace detail {

std::string sentinel_form(std::string_view text) {
    std::string s = fixed_width(text, 8);
    std::string t = trim(s);
    if (!t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c == '*'; }))
        return fixed_width("*", 8);
    return s;
}

}  // namespace detail

namespace {

// The year lines of a multiple-column file, read into compact cells as they come (a full-size
// file of text cells would take several times the memory of its numbers): per line its number
// in the file and year (if readable), per cell the value and what it is.
struct ColumnCells {
    enum Kind : std::uint8_t { kSentinel, kValue, kBad };
    std::size_t width = 0;  // series columns
    int naming_line = 0;    // line of the file that names the columns
    std::vector<int> line_numbers;
    std::vector<std::optional<int>> years;
    std::vector<float> values;
    std::vector<std::uint8_t> kinds;
    std::size_t at(std::size_t row, std::size_t column) const { return row * width + column; }
};

bool read_year_lines(LoadNotes& notes, std::istream& file, const ColumnLayout& layout, int& line_number,
                     ColumnCells& cells) {
    const int columns = layout.columns;
    std::string line;
    while (read_text_line(file, line, kWideLine)) {
        ++line_number;
        auto items = freeform_items(line);
        if (items.empty()) continue;
        const std::string at = "Line " + std::to_string(line_number);
        if (static_cast<int>(items.size()) < columns) {
            notes.blank_line();
            notes.refusal(at + " holds " + std::to_string(items.size()) + " items for " +
                              std::to_string(columns) + " columns.",
                          2);
            return false;
        }
        if (static_cast<int>(cells.years.size()) == kMaxYears) {
            notes.blank_line();
            notes.refusal("The file holds more than " + std::to_string(kMaxYears) +
                              " year lines, the limit (" + at + " is one too many).",
                          2);
            return false;
        }
        if (static_cast<int>(items.size()) > columns) {
            // One item too many anywhere on the line would move the values after it into the
            // neighbouring series.
            notes.blank_line();
            notes.refusal(at + " holds " + std::to_string(items.size()) + " items for " +
                              std::to_string(columns) + " columns.",
                          2);
            return false;
        }
        cells.line_numbers.push_back(line_number);
        cells.years.push_back(integer_form(items[0]) ? parse_int(items[0]) : std::nullopt);
        for (std::size_t k = 1; k <= cells.width; ++k) {
            const std::string& text = items[k];
            const bool padding = sentinel_form(text) == layout.sentinel;
            const auto v = padding ? std::nullopt : parse_real(text);
            cells.values.push_back(v ? static_cast<float>(*v) : 0.0f);
            cells.kinds.push_back(padding                   ? ColumnCells::kSentinel
                                  : v && *v < kLargestWidth ? ColumnCells::kValue
                                                            : ColumnCells::kBad);
        }
    }
    if (line_too_long(file)) {
        line_too_long_message(notes, line_number + 1);
        return false;
    }
    return true;
}

// One series column: its values, its first year and the line of the file that holds it.
struct ColumnSeries {
    std::vector<float> values;
    int first_year = 0;
    int first_line = 0;
};

// The values of series column k (0-based among the series columns); false after a message.
bool column_series(LoadNotes& notes, const ColumnCells& cells, std::size_t k, const std::string& id,
                   ColumnSeries& series) {
    series.values.clear();
    std::optional<std::size_t> gap;  // a sentinel line met after the first value
    for (std::size_t r = 0; r < cells.years.size(); ++r) {
        const std::size_t cell = cells.at(r, k);
        const std::string at = "(line " + std::to_string(cells.line_numbers[r]) + ", series " + rtrim(id);
        if (cells.kinds[cell] == ColumnCells::kSentinel) {
            if (!series.values.empty() && !gap) gap = r;
            continue;
        }
        const auto& year = cells.years[r];
        if (cells.kinds[cell] == ColumnCells::kBad) {
            notes.blank_line();
            notes.refusal("Error reading y values check sentinel if ******* enter *", 2);
            notes.refusal(
                at + (year ? ", year " + std::to_string(*year) : std::string()) +
                    ": not a number, or not a ring width in millimetres: not finite, or 100 or more)",
                2);
            return false;
        }
        if (!year || *year < kEarliestYear || *year > kLatestYear) {
            notes.blank_line();
            notes.refusal("Error reading time steps", 2);
            notes.refusal(at + ": the year is not a whole number from " + std::to_string(kEarliestYear) +
                              " to " + std::to_string(kLatestYear) + ")",
                          2);
            return false;
        }
        if (gap) {
            // A sentinel between two values would move every later value to a wrong year.
            notes.blank_line();
            const auto& gap_year = cells.years[*gap];
            notes.refusal("Series " + rtrim(id) + " has a gap: the sentinel stands inside the series (line " +
                              std::to_string(cells.line_numbers[*gap]) +
                              (gap_year ? ", year " + std::to_string(*gap_year) : std::string()) + ").",
                          2);
            notes.refusal("Fill the gap first; this program cannot bridge it.", 2);
            return false;
        }
        if (series.values.empty()) {
            series.first_year = *year;
            series.first_line = cells.line_numbers[r];
        } else if (const int due = series.first_year + static_cast<int>(series.values.size()); *year != due) {
            notes.blank_line();
            notes.refusal("Series " + rtrim(id) + ": the year lines do not follow each other (line " +
                              std::to_string(cells.line_numbers[r]) + " holds the year " +
                              std::to_string(*year) + " where " + std::to_string(due) + " was due).",
                          2);
            return false;
        }
        series.values.push_back(cells.values[cell]);
    }
    if (series.values.empty()) {
        notes.blank_line();
        notes.refusal("Series " + rtrim(id) + " (column " + std::to_string(k + 2) +
                          " of the naming line, line " + std::to_string(cells.naming_line) +
                          ") has no values (only the sentinel).",
                      2);
        return false;
    }
    return true;
}

// The naming line: the first line that holds anything, one name per column. Empty (message
// printed) when it holds another number of names or is not text.
std::vector<std::string> read_naming_line(LoadNotes& notes, std::istream& file, int columns,
                                          int& line_number) {
    std::string line;
    std::vector<std::string> names;
    while (read_text_line(file, line, kWideLine)) {
        ++line_number;
        names = freeform_items(line);
        if (!names.empty()) break;
    }
    if (static_cast<int>(names.size()) != columns) {
        notes.blank_line();
        if (line_too_long(file))
            line_too_long_message(notes, line_number + 1);
        else
            notes.refusal("The naming line (line " + std::to_string(line_number) + ") holds " +
                              std::to_string(names.size()) + " names for " + std::to_string(columns) +
                              " columns.",
                          2);
        return {};
    }
    if (std::any_of(names.begin(), names.end(), [](const std::string& n) { return has_control_bytes(n); })) {
        notes.blank_line();
        notes.refusal("The naming line of the file (line " + std::to_string(line_number) +
                          ") is not text: the file cannot be read as columns.",
                      2);
        return {};
    }
    return names;
}

}  // namespace

namespace detail {

bool read_columns(std::istream& file, const ColumnLayout& layout, SeriesTable& table, LoadNotes& notes,
                  int lines_before) {
    const int columns = layout.columns;
    if (columns - 1 > kMaxSeries) {
        notes.blank_line();
        notes.refusal("A file of " + std::to_string(columns) + " columns holds more than " +
                          std::to_string(kMaxSeries) + " series, the limit.",
                      2);
        return false;
    }
    int line_number = lines_before;
    const std::vector<std::string> names = read_naming_line(notes, file, columns, line_number);
    if (names.empty()) return false;

    ColumnCells cells;
    cells.width = static_cast<std::size_t>(columns - 1);
    cells.naming_line = line_number;
    if (!read_year_lines(notes, file, layout, line_number, cells)) return false;

    TableBuilder builder(notes);
    ColumnSeries series;
    for (int k = 1; k < columns; ++k) {
        const std::string id = fixed_width(names[static_cast<std::size_t>(k)], 8);
        if (!column_series(notes, cells, static_cast<std::size_t>(k - 1), id, series)) return false;
        if (!builder.add(
                id, series.first_year, series.values, series.first_line,
                "column " + std::to_string(k + 1) + " (line " + std::to_string(series.first_line) + ")"))
            return false;
    }
    builder.finish(table);
    return true;
}

}  // namespace detail

}  // namespace kestrovan
