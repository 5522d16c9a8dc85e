#include "io/csv_reader.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>

#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "model/format.hpp"
#include "model/freeform.hpp"

namespace kestrovan {

namespace {

// A row of a wide table may hold thousands of cells.
constexpr std::size_t kWideLine = std::size_t{1} << 20;
constexpr double kLargestWidth = 100.0;

// The separator of a header row, looked for outside quoted names only (a name may hold any of
// the three).
char separator_of(std::string_view header) {
    bool quoted = false, tab = false, semicolon = false;
    for (const char c : header) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '\t')
            tab = true;
        else if (!quoted && c == ';')
            semicolon = true;
    }
    return tab ? '\t' : semicolon ? ';' : ',';
}

std::string_view trim_view(std::string_view s) {
    std::size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

std::string trim_blanks(std::string_view s) { return std::string(trim_view(s)); }

// The cells of a row: split at the separator outside double quotes; a quoted cell loses its
// quotes ("" inside stands for one quote). nullopt when a quote is not closed on the line.
std::optional<std::vector<std::string>> cells_of(std::string_view line, char sep) {
    std::vector<std::string> cells;
    std::string cell;
    bool quoted = false, was_quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"' && trim_blanks(cell).empty()) {
            quoted = was_quoted = true;
            cell.clear();
        } else if (c == sep) {
            cells.push_back(was_quoted ? cell : trim_blanks(cell));
            cell.clear();
            was_quoted = false;
        } else {
            cell += c;
        }
    }
    if (quoted) return std::nullopt;
    cells.push_back(was_quoted ? cell : trim_blanks(cell));
    return cells;
}

// The cells of a row as views: into `line` when it holds no quote (the rows of numbers), else
// into `unquoted`, the cells as cells_of reads them. False when a quote is not closed.
bool split_row(std::string_view line, char sep, std::vector<std::string_view>& cells,
               std::vector<std::string>& unquoted) {
    cells.clear();
    if (line.find('"') != std::string_view::npos) {
        auto read = cells_of(line, sep);
        if (!read) return false;
        unquoted = std::move(*read);
        cells.assign(unquoted.begin(), unquoted.end());
        return true;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(sep, start);
        if (end == std::string_view::npos) {
            cells.push_back(trim_view(line.substr(start)));
            return true;
        }
        cells.push_back(trim_view(line.substr(start, end - start)));
        start = end + 1;
    }
}

std::string lower(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool is_na(std::string_view s) {
    return s.size() == 2 && (s[0] == 'n' || s[0] == 'N') && (s[1] == 'a' || s[1] == 'A');
}

bool has_control_bytes(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// What a cell holds: no value, or a number as written.
struct Cell {
    bool missing = false;
    std::optional<double> number;
};

Cell read_cell(std::string_view text, bool decimal_comma) {
    if (text.empty() || is_na(text)) return {true, std::nullopt};
    std::string t;
    std::string_view number = text;
    if (decimal_comma && std::count(text.begin(), text.end(), ',') == 1 &&
        text.find('.') == std::string_view::npos) {
        t = text;
        std::replace(t.begin(), t.end(), ',', '.');
        number = t;
    }
    const auto v = parse_real(number);
    if (v && *v == -999.0) return {true, std::nullopt};
    return {false, v};
}

class CsvReader {
public:
    CsvReader(LoadNotes& notes, std::istream& file, int parts, int lines_before)
        : notes_(notes), file_(file), lines_(file), parts_(parts), line_(lines_before) {}

    bool run(std::vector<InputSeries>& out) {
        if (!read_header()) return false;
        std::string raw;
        while (lines_.next(raw, kWideLine)) {
            ++line_;
            if (trim_view(raw).empty()) continue;
            if (!read_row(raw)) return false;
        }
        if (line_too_long(file_))
            return refuse("Line " + std::to_string(line_ + 1) +
                          " is longer than a mebibyte: this is not a table.");
        if (rows_ == 0)
            return refuse("The table has no year rows after its header (line " +
                          std::to_string(header_line_) + ").");
        return collect(out);
    }

private:
    bool refuse(const std::string& what) { return refuse_reading(notes_, what); }
    std::string at() const { return "Line " + std::to_string(line_); }

    bool read_header() {
        std::string raw;
        while (lines_.next(raw, kWideLine)) {
            ++line_;
            if (!trim_view(raw).empty()) break;
            raw.clear();
        }
        if (trim_view(raw).empty()) {
            if (line_too_long(file_))
                return refuse("Line " + std::to_string(line_ + 1) +
                              " is longer than a mebibyte: this is not a table.");
            return refuse("The file holds no header row (" + std::to_string(line_) + " lines).");
        }
        header_line_ = line_;
        sep_ = separator_of(raw);
        decimal_comma_ = sep_ != ',';
        auto cells = cells_of(raw, sep_);
        if (!cells) return refuse(at() + ": a quote in the header row is not closed.");
        while (cells->size() > 1 && cells->back().empty()) cells->pop_back();
        if (cells->size() < 2)
            return refuse(at() +
                          ": the header row names no series after the year column (separators: comma, "
                          "semicolon or tab).");
        if (cells->size() - 1 > static_cast<std::size_t>(kMaxSeries))
            return refuse(at() + ": the header row names " + std::to_string(cells->size() - 1) +
                          " series, more than " + std::to_string(kMaxSeries) + ", the limit.");
        // A year where the year column's name stands: the header row is missing, and taking the
        // first year's widths for names would lose that year.
        if (parse_real((*cells)[0]))
            return refuse(at() + " begins with a number, \"" + excerpt((*cells)[0]) +
                          "\": the table has no header row (Year and the series' names).");
        // Names are compared as the identifier fields of the program's files hold them: trailing
        // blanks (inside quotes) ignored, and a name of blanks is no name.
        std::map<std::string, std::size_t> seen;
        for (std::size_t k = 1; k < cells->size(); ++k) {
            const std::string& name = (*cells)[k];
            const std::string column = "column " + std::to_string(k + 1);
            if (trim_blanks(name).empty()) return refuse(at() + ", " + column + ": the series has no name.");
            if (has_control_bytes(name)) return refuse(at() + ", " + column + ": the name is not text.");
            if (auto [it, fresh] = seen.emplace(rtrim(name), k); !fresh)
                return refuse(at() + ": columns " + std::to_string(it->second + 1) + " and " +
                              std::to_string(k + 1) + " carry the same name, " + excerpt(rtrim(name)) + ".");
        }
        names_.assign(cells->begin() + 1, cells->end());
        columns_.resize(names_.size());
        return true;
    }

    bool read_row(const std::string& raw) {
        if (!split_row(raw, sep_, cells_, unquoted_)) return refuse(at() + ": a quote is not closed.");
        std::vector<std::string_view>* cells = &cells_;
        const std::size_t want = names_.size() + 1;
        if (cells->size() < want)
            return refuse(at() + " holds " + std::to_string(cells->size()) + " cells for the " +
                          std::to_string(want) + " columns of the header row (line " +
                          std::to_string(header_line_) + ").");
        for (std::size_t k = want; k < cells->size(); ++k)
            if (!(*cells)[k].empty())
                return refuse(at() + ", column " + std::to_string(k + 1) + ": a cell beyond the " +
                              std::to_string(want) + " columns of the header row.");
        const auto year = parse_int((*cells)[0]);
        if (!year || *year < kEarliestYear || *year > kLatestYear)
            return refuse(at() + ": \"" + excerpt((*cells)[0]) + "\" is not a year from " +
                          std::to_string(kEarliestYear) + " to " + std::to_string(kLatestYear) + ".");
        if (rows_ == 0) {
            first_year_ = *year;
        } else if (*year != first_year_ + rows_) {
            return refuse(at() + " holds the year " + std::to_string(*year) + " where " +
                          std::to_string(first_year_ + rows_) + " was due (one row per year, in order).");
        }
        if (rows_ == kMaxYears)
            return refuse(at() + ": the table holds more than " + std::to_string(kMaxYears) +
                          " years, the limit.");
        for (std::size_t k = 0; k < names_.size(); ++k) {
            const std::string_view text = (*cells)[k + 1];
            const Cell c = read_cell(text, decimal_comma_);
            const auto where = [&] {
                return at() + ", column " + std::to_string(k + 2) + " (series " + excerpt(names_[k]) + ", " +
                       std::to_string(*year) + ")";
            };
            float v = kMissing;
            if (!c.missing) {
                if (!c.number) return refuse(where() + ": \"" + excerpt(text) + "\" is not a number.");
                // A negative width is kept as it stands: the missing-value screen names it.
                v = width_in_mm(*c.number, parts_);
                if (!(v < kLargestWidth) || v == kMissing)
                    return refuse(where() + ": " + excerpt(text) +
                                  " is not a ring width in millimetres (100 or more).");
            }
            Column& col = columns_[k];
            if (v != kMissing && col.first_row < 0) {
                col.first_row = rows_;
                col.first_line = line_;
            }
            if (col.first_row >= 0) col.values.push_back(v);
        }
        ++rows_;
        return true;
    }

    bool collect(std::vector<InputSeries>& out) {
        for (std::size_t k = 0; k < names_.size(); ++k) {
            Column& col = columns_[k];
            if (col.first_row < 0)
                return refuse("Series " + excerpt(names_[k]) + " (column " + std::to_string(k + 2) +
                              " of the header row, line " + std::to_string(header_line_) +
                              ") has no values.");
            while (!col.values.empty() && col.values.back() == kMissing) col.values.pop_back();
            out.push_back({names_[k], first_year_ + col.first_row, std::move(col.values), col.first_line});
        }
        return true;
    }

    struct Column {
        int first_row = -1;
        int first_line = 0;
        std::vector<float> values;  // from the first value on
    };

    LoadNotes& notes_;
    std::istream& file_;
    TextLineReader lines_;  // the table is read to its end: its lines are taken in blocks
    const int parts_;
    int line_;
    int header_line_ = 0;
    char sep_ = ',';
    bool decimal_comma_ = false;
    std::vector<std::string> names_;
    std::vector<Column> columns_;
    std::vector<std::string_view> cells_;  // the cells of the row being read
    std::vector<std::string> unquoted_;    // their text when the row holds quotes
    int rows_ = 0;
    int first_year_ = 0;
};

}  // namespace

bool read_csv(std::istream& file, int unit_parts, int lines_before, std::vector<InputSeries>& series,
              LoadNotes& notes) {
    return CsvReader(notes, file, unit_parts, lines_before).run(series);
}

bool looks_like_csv_header(std::string_view line) {
    const char sep = separator_of(line);
    if (line.find(sep) == std::string_view::npos) return false;
    const auto cells = cells_of(line, sep);
    return cells && cells->size() >= 2 && lower((*cells)[0]) == "year";
}

}  // namespace kestrovan
