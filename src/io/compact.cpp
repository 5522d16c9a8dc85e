#include "io/compact.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "model/format.hpp"
#include "model/freeform.hpp"

namespace kestrovan {

namespace {

constexpr double kLargestWidth = 100.0;

bool digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(),
                                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::optional<int> small_int(std::string_view s) {
    if (!digits(s) || s.size() > 4) return std::nullopt;
    return std::stoi(std::string(s));
}

// "<r>F<w>.<d>", "<r>F<w>" or "<r>I<w>" (r may be left out: 1).
bool parse_edit(std::string_view e, CompactHeader& h) {
    std::size_t i = 0;
    while (i < e.size() && std::isdigit(static_cast<unsigned char>(e[i]))) ++i;
    const auto r = i == 0 ? std::optional<int>(1) : small_int(e.substr(0, i));
    if (!r || *r < 1 || i >= e.size()) return false;
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(e[i])));
    if (kind != 'F' && kind != 'I') return false;
    std::string_view rest = e.substr(i + 1);
    const std::size_t dot = rest.find('.');
    const auto w = small_int(rest.substr(0, dot));
    if (!w || *w < 1 || *w > 20) return false;
    int d = 0;
    if (dot != std::string_view::npos) {
        if (kind == 'I') return false;
        const auto dd = small_int(rest.substr(dot + 1));
        if (!dd || *dd > 9) return false;
        d = *dd;
    }
    h.per_line = *r;
    h.width = *w;
    h.decimals = d;
    return true;
}

// A field of a value line: a right-aligned number, with d implied decimals when it has no
// decimal point.
std::optional<double> field_value(std::string_view field, int decimals) {
    if (all_blank(field) || field.back() == ' ') return std::nullopt;
    const std::string t = trim(field);
    if (t.find(' ') != std::string::npos) return std::nullopt;
    if (t.find('.') != std::string::npos) return parse_real(t);
    const auto v = parse_int(t);
    if (!v) return std::nullopt;
    return decimals == 0 ? static_cast<double>(*v) : *v / std::pow(10.0, decimals);
}

class CompactReader {
public:
    CompactReader(LoadNotes& notes, std::istream& file) : notes_(notes), file_(file) {}

    bool run(std::vector<InputSeries>& out) {
        std::string raw;
        while (read_text_line(file_, raw)) {
            ++line_;
            // A line of more than a mebibyte is kept cut: it is refused below, by its number.
            if (line_too_long(file_)) break;
            std::replace(raw.begin(), raw.end(), '\t', ' ');
            if (all_blank(raw)) continue;
            const auto head = parse_compact_header(raw);
            if (!head)
                return refuse(at() +
                              " is not the header line of a series (\"<count>=N <first year>=I <id> "
                              "<e>(<r>F<w>.<d>)~\"): \"" +
                              excerpt(rtrim(raw)) + "\".");
            if (!read_series(*head, out)) return false;
        }
        if (line_too_long(file_)) return refuse_long_line();
        if (out.empty()) return refuse("The file holds no series (" + std::to_string(line_) + " lines).");
        return refuse_repeated_series(notes_, out, [&](std::size_t i) {
            return "under the header line " + std::to_string(out[i].line);
        });
    }

private:
    bool refuse(const std::string& what) { return refuse_reading(notes_, what); }
    std::string at() const { return "Line " + std::to_string(line_); }
    // The line just read (line_) ended the reading at a mebibyte.
    bool refuse_long_line() {
        return refuse(at() + " is longer than a mebibyte: this is not a compact file.");
    }

    bool read_series(const CompactHeader& h, std::vector<InputSeries>& out) {
        const int header = line_;
        const std::string series = "Series " + printable(h.id) + " (line " + std::to_string(header) + ")";
        if (h.id.empty()) return refuse(at() + ": the header line names no series.");
        if (h.exponent < -3 || h.exponent > 0)
            return refuse(at() + ": the unit 10^" + std::to_string(h.exponent) +
                          " mm is not one this program knows (10^-3 to 10^0 mm).");
        if (h.count < 1 || h.count > kMaxYears)
            return refuse(series + " has " + std::to_string(h.count) + " values: from 1 to " +
                          std::to_string(kMaxYears) + " are allowed.");
        const long long last = h.first_year + h.count - 1;
        if (h.first_year < kEarliestYear || last > kLatestYear)
            return refuse(series + " runs from " + std::to_string(h.first_year) + " to " +
                          std::to_string(last) + ": the program's files hold the years " +
                          std::to_string(kEarliestYear) + " to " + std::to_string(kLatestYear) + " only.");
        const int parts = h.exponent == 0 ? 1 : h.exponent == -1 ? 10 : h.exponent == -2 ? 100 : 1000;
        InputSeries s{h.id, static_cast<int>(h.first_year), {}, header};
        std::string raw;
        while (static_cast<long long>(s.values.size()) < h.count) {
            if (!read_text_line(file_, raw))
                return refuse("The file ends after line " + std::to_string(line_) + ", inside " + series +
                              ": " + std::to_string(s.values.size()) + " of its " + std::to_string(h.count) +
                              " values are read.");
            ++line_;
            if (line_too_long(file_)) return refuse_long_line();
            std::replace(raw.begin(), raw.end(), '\t', ' ');
            const long long left = h.count - static_cast<long long>(s.values.size());
            const auto fields = static_cast<std::size_t>(std::min<long long>(left, h.per_line));
            const std::size_t w = static_cast<std::size_t>(h.width);
            const std::string text = rtrim(raw);
            if (text.size() > fields * w)
                return refuse(at() + " of " + series + " holds more than the " + std::to_string(fields) +
                              " fields of " + std::to_string(w) + " columns due on it.");
            if (text.size() <= (fields - 1) * w)
                return refuse(at() + " of " + series + " holds fewer than the " + std::to_string(fields) +
                              " fields of " + std::to_string(w) +
                              " columns due on it (the line is cut short?).");
            const std::string line = fixed_width(text, fields * w);
            for (std::size_t k = 0; k < fields; ++k) {
                const long long year = h.first_year + static_cast<long long>(s.values.size());
                const auto v = field_value(std::string_view(line).substr(k * w, w), h.decimals);
                if (!v)
                    return refuse(at() + ", field " + std::to_string(k + 1) + " (series " + printable(h.id) +
                                  ", " + std::to_string(year) + "): \"" + printable(line.substr(k * w, w)) +
                                  "\" is not a number right-aligned in its columns.");
                const float width = width_in_mm(*v, parts);
                if (!(width < kLargestWidth))
                    return refuse(at() + ", field " + std::to_string(k + 1) + " (series " + printable(h.id) +
                                  ", " + std::to_string(year) +
                                  "): not a ring width in millimetres (100 or more).");
                s.values.push_back(width);
            }
        }
        out.push_back(std::move(s));
        return true;
    }

    LoadNotes& notes_;
    std::istream& file_;
    int line_ = 0;
};

}  // namespace

std::optional<CompactHeader> parse_compact_header(std::string_view line) {
    const std::string t = trim(line);
    if (t.size() < 2 || t.back() != '~') return std::nullopt;
    const std::size_t n = t.find("=N");
    const std::size_t i = t.find("=I", n == std::string::npos ? 0 : n);
    if (n == std::string::npos || i == std::string::npos) return std::nullopt;
    CompactHeader h;
    const auto count = parse_int(trim(t.substr(0, n)));
    const auto year = parse_int(trim(t.substr(n + 2, i - n - 2)));
    if (!count || !year) return std::nullopt;
    h.count = *count;
    h.first_year = *year;
    // The last word holds the exponent and the format; the words between "=I" and it, the name.
    const std::string rest = t.substr(i + 2);
    const std::size_t last_blank = rest.find_last_of(' ');
    const std::string tail = last_blank == std::string::npos ? rest : rest.substr(last_blank + 1);
    h.id = trim(last_blank == std::string::npos ? std::string() : rest.substr(0, last_blank));
    const std::size_t open = tail.find('(');
    const std::size_t close = tail.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open || close + 2 != tail.size())
        return std::nullopt;
    const std::string exponent = tail.substr(0, open);
    const auto e = parse_int(exponent);
    if (!e || exponent.empty() || exponent.size() > 3) return std::nullopt;
    h.exponent = *e;
    if (!parse_edit(std::string_view(tail).substr(open + 1, close - open - 1), h)) return std::nullopt;
    return h;
}

bool read_compact(std::istream& file, std::vector<InputSeries>& series, LoadNotes& notes) {
    return CompactReader(notes, file).run(series);
}

}  // namespace kestrovan
