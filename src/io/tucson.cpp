#include "io/tucson.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "console/console.hpp"
#include "console/format.hpp"
#include "console/freeform.hpp"
#include "console/stop.hpp"
#include "io/year_matrix.hpp"

namespace kestrovan {

namespace {

constexpr int kLineColumns = 80;
constexpr int kTitleWidth = 85;
constexpr int kHeaderWidth = 88;
constexpr int kMaxUnreadable = 25;

// Columns a..b (counted from 1) of a line, blank padded.
std::string_view columns(const std::string& line, int a, int b) {
    return std::string_view(line).substr(static_cast<std::size_t>(a - 1), static_cast<std::size_t>(b - a + 1));
}

bool all_blank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

// A line as shown on the console and kept as a header line: control bytes become "?" (a tab a
// blank), so that nothing in a damaged file can steer the terminal or split an output line.
std::string printable(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\t') c = ' ';
        else if (u < 0x20 || u == 0x7f) c = '?';
    }
    return out;
}

// y mod 10 with the sign of y (what C++'s % gives).
int mod10(int y) { return y % 10; }

// Values on the first decade line of a ring-width series starting in year y.
int first_line_values(int y) {
    int m = mod10(y);
    if (y >= 0) return 10 - m;
    return m == 0 ? 10 : -m;
}

// Slot (1..10) of the first year y on the first line of a chronology.
int first_chronology_slot(int y) {
    int m = mod10(y);
    if (y >= 0) return m + 1;
    return m == 0 ? 1 : 11 + m;
}

// round(x × 1000) with x × 1000 formed in single precision and halves rounded away from zero.
double thousandths(float x) {
    float p = x * 1000.0f;
    return std::round(static_cast<double>(p));
}

// The widths of identifier and year on a decade line by year: ring widths 8/4, 7/5, 6/6;
// chronologies two columns less for the identifier.
void year_layout(int y, int normal_id, int& id_width, int& year_width) {
    if (y >= -999) {
        id_width = normal_id;
        year_width = 4;
    } else if (y >= -9999 && y <= -1001) {
        id_width = normal_id - 1;
        year_width = 5;
    } else {
        id_width = normal_id - 2;
        year_width = 6;
    }
}

[[noreturn]] void write_failed(const TucsonWriteState& state) {
    throw ProgramStop(StopKind::Abnormal,
                      "Cannot write to the output file" + (state.file_name.empty() ? std::string() : " " + state.file_name));
}

// The identifier and year fields of an output decade line; "-" in the columns that switch the
// layout on reading becomes "_" (warned once per file).
std::string id_and_year(std::string_view id, int y, int normal_id, TucsonWriteState& state, Console& console) {
    int id_width = 0, year_width = 0;
    year_layout(y, normal_id, id_width, year_width);
    const int year_limit = year_width == 4 ? 9999 : -99999;
    if ((year_width == 4 && y > year_limit) || (year_width == 6 && y < year_limit)) {
        throw ProgramStop(StopKind::Abnormal, "Cannot write series " + rtrim(id) + " to " +
                                                  (state.file_name.empty() ? "the output file" : state.file_name) +
                                                  ": year " + std::to_string(y) + " does not fit the year field");
    }
    std::string head = fixed_width(id, static_cast<std::size_t>(id_width));
    if (id_width == normal_id) {
        // Columns normal_id-1 and normal_id decide the layout when they hold "-".
        bool changed = false;
        for (int c = normal_id - 2; c < normal_id; ++c) {
            if (head[static_cast<std::size_t>(c)] == '-') {
                head[static_cast<std::size_t>(c)] = '_';
                changed = true;
            }
        }
        if (changed && !state.warned_id) {
            state.warned_id = true;
            console.blank_line();
            console.line("WARNING: identifier \"" + rtrim(id) + "\" is written as \"" + rtrim(head) + "\"" +
                             (state.file_name.empty() ? std::string() : " in " + state.file_name),
                         2);
            console.line("         (a \"-\" in its columns " + std::to_string(normal_id - 1) + "-" +
                             std::to_string(normal_id) + " would be read as part of the year)",
                         2);
        }
    }
    return head + fmt_i(y, year_width);
}

void warn_clamp(TucsonWriteState& state, std::string_view id, int year, Console& console) {
    if (state.warned_clamp) return;
    state.warned_clamp = true;
    console.blank_line();
    console.line("WARNING: a value too wide for its field was written as the widest value the field holds" +
                     (state.file_name.empty() ? std::string() : " in " + state.file_name),
                 2);
    console.line("         (first at series " + rtrim(id) + ", year " + std::to_string(year) + ")", 2);
}

// A value for a fixed field: NaN written as 0, everything outside [lo, hi] clamped; true when
// the value had to be changed.
long long clamp_field(double v, long long lo, long long hi, bool& changed) {
    if (std::isnan(v)) {
        changed = true;
        return 0;
    }
    if (v < static_cast<double>(lo)) {
        changed = true;
        return lo;
    }
    if (v > static_cast<double>(hi)) {
        changed = true;
        return hi;
    }
    return static_cast<long long>(v);
}

void write_ring_widths(std::ostream& file, std::string_view id, int first_year, std::span<const float> values,
                       std::string_view label, TucsonWriteState& state, Console& console) {
    const std::size_t count = values.size();
    int y = first_year;
    int n = first_line_values(y);
    std::size_t j = 0;
    for (;;) {
        std::string line = id_and_year(id, y, 8, state, console);
        int slots = 0;
        bool finished = false;
        for (int i = 0; i < n; ++i) {
            ++j;
            ++slots;
            if (j > count) {
                line += fmt_i(-9999, 6);
                finished = true;
                break;
            }
            bool changed = false;
            long long v = clamp_field(thousandths(values[j - 1]), -99999, 999999, changed);
            if (v == 999) v = 1000;       // 0.999 mm is not the end marker
            if (v == -9999) {             // nor is -9.999 mm
                v = -9998;
                changed = true;
            }
            if (changed) warn_clamp(state, id, y + i, console);
            line += fmt_i(v, 6);
        }
        if (slots == 10) line += "  " + fixed_width(label, 6);
        file << line << '\n';
        if (!file) write_failed(state);
        if (finished) return;
        y += slots;
        n = 10;
    }
}

void write_chronology(std::ostream& file, std::string_view id, int first_year, std::span<const float> values,
                      std::span<const int> samples, std::string_view label, TucsonWriteState& state,
                      Console& console) {
    const std::size_t count = values.size();
    const bool use_samples = !samples.empty() && samples[0] > 0;
    int y = first_year;
    int s = first_chronology_slot(y);
    std::size_t j = 0;
    for (;;) {
        long long index[10], n[10];
        std::fill(std::begin(index), std::end(index), 9990);
        std::fill(std::begin(n), std::end(n), 0);
        bool finished = false;
        const int decade = y - s + 1;
        for (int slot = s; slot <= 10; ++slot) {
            ++j;
            if (j > count) {
                finished = true;
                break;
            }
            bool changed = false;
            // 9990 and above mean "no data": the widest data value is 9989.
            index[slot - 1] = clamp_field(thousandths(values[j - 1]), -999, 9989, changed);
            long long c = use_samples && j - 1 < samples.size() ? samples[j - 1] : 1;
            n[slot - 1] = clamp_field(static_cast<double>(c), -99, 999, changed);
            if (changed) warn_clamp(state, id, decade + slot - 1, console);
        }
        std::string line = id_and_year(id, y, 6, state, console);
        for (int k = 0; k < 10; ++k) line += fmt_i(index[k], 4) + fmt_i(n[k], 3);
        line += "  " + fixed_width(label, 6);
        file << line << '\n';
        if (!file) write_failed(state);
        if (finished) return;
        y = y - s + 11;
        s = 1;
    }
}

// ---- format-described blocks -------------------------------------------------------------

struct EditItem {
    enum Kind { Real, Integer, Skip, NewRecord, Group } kind = Real;
    int repeat = 1;
    int width = 0;
    int decimals = 0;
    std::vector<EditItem> group;
};

class EditListParser {
public:
    explicit EditListParser(std::string_view text) {
        for (char c : text)
            if (c != ' ') text_ += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }

    // The edit list inside the outer parentheses; nullopt when it is not one we can read.
    std::optional<std::vector<EditItem>> parse() {
        if (!eat('(')) return std::nullopt;
        auto list = parse_list();
        if (!list || !eat(')') || pos_ != text_.size()) return std::nullopt;
        return list;
    }

private:
    bool eat(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::optional<int> number() {
        std::size_t start = pos_;
        long long v = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
            v = v * 10 + (text_[pos_] - '0');
            if (v > 10000) return std::nullopt;
            ++pos_;
        }
        if (pos_ == start) return std::nullopt;
        return static_cast<int>(v);
    }
    std::optional<std::vector<EditItem>> parse_list() {
        std::vector<EditItem> list;
        for (;;) {
            if (pos_ < text_.size() && text_[pos_] == ')') return list;
            if (eat('/')) {
                EditItem nr;
                nr.kind = EditItem::NewRecord;
                list.push_back(std::move(nr));
            } else {
                auto item = parse_item();
                if (!item) return std::nullopt;
                list.push_back(std::move(*item));
            }
            if (eat(',')) continue;
            if (pos_ < text_.size() && (text_[pos_] == ')' || text_[pos_] == '/')) continue;
            return std::nullopt;
        }
    }
    std::optional<EditItem> parse_item() {
        EditItem item;
        auto r = number();
        if (r) {
            if (*r < 1) return std::nullopt;
            item.repeat = *r;
        }
        if (pos_ >= text_.size()) return std::nullopt;
        char c = text_[pos_++];
        if (c == '(') {
            auto list = parse_list();
            if (!list || !eat(')')) return std::nullopt;
            item.kind = EditItem::Group;
            item.group = std::move(*list);
            return item;
        }
        if (c == 'x') {
            item.kind = EditItem::Skip;
            item.width = item.repeat;
            item.repeat = 1;
            return item;
        }
        if (c == 'f' || c == 'e' || c == 'd' || c == 'g' || c == 'i') {
            auto w = number();
            if (!w || *w < 1) return std::nullopt;
            item.width = *w;
            if (eat('.')) {
                auto d = number();
                if (!d) return std::nullopt;
                item.decimals = *d;
            } else if (c != 'i') {
                return std::nullopt;
            }
            if (c != 'i' && eat('e')) {   // exponent width: ignored on input
                if (!number()) return std::nullopt;
            }
            item.kind = c == 'i' ? EditItem::Integer : EditItem::Real;
            if (c == 'i') item.decimals = 0;
            return item;
        }
        return std::nullopt;
    }

    std::string text_;
    std::size_t pos_ = 0;
};

// A real field read with an fw.d-style descriptor: blanks around it allowed, all blanks = 0,
// without a decimal point the last d digits are decimals.
std::optional<double> real_field(std::string_view field, int decimals) {
    std::string s = trim(field);
    if (s.empty()) return 0.0;
    if (s.find(' ') != std::string::npos) return std::nullopt;
    if (s.find('.') != std::string::npos) return parse_real(s);
    // Split off an exponent ("E", "D", or a bare sign after the digits).
    std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    std::string mantissa = s.substr(0, i);
    std::string exponent = s.substr(i);
    auto m = parse_int(mantissa == "+" || mantissa == "-" ? std::string_view() : mantissa);
    if (!m) return std::nullopt;
    int e = 0;
    if (!exponent.empty()) {
        std::string_view ex = exponent;
        if (ex[0] == 'e' || ex[0] == 'E' || ex[0] == 'd' || ex[0] == 'D') ex.remove_prefix(1);
        auto ev = parse_int(ex);
        if (!ev || std::abs(*ev) > 300) return std::nullopt;
        e = *ev;
    }
    double v = static_cast<double>(*m) * std::pow(10.0, e - decimals);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

enum class BlockRead { Done, Error, EndOfFile, CutShort, Implausible, TooLong };

// Values of a format-described block are widths in millimetres or indices: 100 or more is
// neither (and would overflow the engine's sums long before it became infinite).
constexpr double kImplausibleValue = 100.0;

// Reads `count` values with an edit list, starting a new record whenever the list asks for it
// or runs out (then it starts again at its last top-level group, the usual rule for edit lists).
class BlockReader {
public:
    BlockReader(std::istream& file, std::vector<float>& out, int count, int& lines)
        : file_(file), out_(out), count_(count), lines_(lines) {}

    BlockRead run(const std::vector<EditItem>& list) {
        if (count_ <= 0) return BlockRead::Done;
        if (!next_record()) return line_too_long(file_) ? BlockRead::TooLong : BlockRead::EndOfFile;
        std::size_t restart = 0;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].kind == EditItem::Group) restart = i;
        std::size_t from = 0;
        for (;;) {
            std::size_t before = out_.size();
            for (std::size_t i = from; i < list.size(); ++i) {
                auto r = item(list[i]);
                if (r) return *r;
            }
            if (out_.size() == before) return BlockRead::Error;   // an edit list without data fields
            if (!next_record()) return line_too_long(file_) ? BlockRead::TooLong : BlockRead::EndOfFile;
            from = restart;
        }
    }

private:
    bool next_record() {
        if (!read_text_line(file_, record_)) return false;
        ++lines_;
        pos_ = 0;
        return true;
    }
    // A data field must lie within its line: a line that ends before it was cut off, and its
    // missing digits must not be read as blanks (zeros).
    bool field_on_record(int width) const { return pos_ + static_cast<std::size_t>(width) <= record_.size(); }
    bool at_end() const {
        return !file_.good() || std::char_traits<char>::eq_int_type(file_.rdbuf()->sgetc(), std::char_traits<char>::eof());
    }
    std::string_view take(int width) {
        std::string_view rec = record_;
        std::size_t a = std::min(pos_, rec.size());
        std::size_t b = std::min(pos_ + static_cast<std::size_t>(width), rec.size());
        pos_ += static_cast<std::size_t>(width);
        return rec.substr(a, b - a);
    }
    // nullopt to go on, otherwise the end of the block.
    std::optional<BlockRead> item(const EditItem& it) {
        for (int r = 0; r < it.repeat; ++r) {
            switch (it.kind) {
            case EditItem::Group:
                for (const auto& sub : it.group) {
                    auto res = item(sub);
                    if (res) return res;
                }
                break;
            case EditItem::Skip:
                take(it.width);
                break;
            case EditItem::NewRecord:
                if (!next_record()) return line_too_long(file_) ? BlockRead::TooLong : BlockRead::EndOfFile;
                break;
            case EditItem::Integer:
            case EditItem::Real: {
                if (!field_on_record(it.width)) return at_end() ? BlockRead::EndOfFile : BlockRead::CutShort;
                const std::string_view text = take(it.width);
                std::optional<double> v;
                if (it.kind == EditItem::Integer) {
                    if (auto i = int_field(text)) v = static_cast<double>(*i);
                } else {
                    v = real_field(text, it.decimals);
                }
                if (!v) return BlockRead::Error;
                if (!(std::fabs(*v) < kImplausibleValue)) return BlockRead::Implausible;
                out_.push_back(static_cast<float>(*v));
                if (static_cast<int>(out_.size()) == count_) return BlockRead::Done;
                break;
            }
            }
        }
        return std::nullopt;
    }

    std::istream& file_;
    std::vector<float>& out_;
    int count_;
    int& lines_;
    std::string record_;
    std::size_t pos_ = 0;
};

std::string padded(std::string_view s, int width) { return fixed_width(s, static_cast<std::size_t>(width)); }

// Identifiers of two lines of one series. Lines in the layouts for years before -999 carry a
// shorter identifier, so a line in such a layout is compared on the characters every layout keeps.
bool same_identifier(const std::string& a, int a_width, const std::string& b, int b_width, int normal, int narrow) {
    std::size_t w = static_cast<std::size_t>(a_width == normal && b_width == normal ? normal : narrow);
    return rtrim(a.substr(0, w)) == rtrim(b.substr(0, w));
}

// A numeric field of a decade line: all blanks read as 0; otherwise a whole number that ends in
// the field's last column, as every writer of these files puts it. Digits followed by blanks
// inside their field mean that the line is out of step with its columns (a character lost or
// added before them), and reading on would take digits from the neighbouring field.
std::optional<long long> decade_field(std::string_view field) {
    if (all_blank(field)) return 0;
    if (field.back() == ' ') return std::nullopt;
    return int_field(field);
}

// A data line split into its fields.
struct DecadeLine {
    std::string id;             // identifier as it stands, 8 characters
    int id_width = 0;           // columns the line's layout gives the identifier
    int year = 0;
    long long fields[20] = {};  // ring widths: ten values; chronologies: ten index/count pairs
    bool blank[10] = {};        // slot k is all blanks
    int present = 0;            // slots up to the last one that is not blank
};

// Identifier, year and the ten slots of an 80-column line; false when a field does not hold a
// whole number (the line is not a data line).
bool split_decade_line(const std::string& line, bool rings, DecadeLine& d) {
    const int normal = rings ? 8 : 6;
    const int year_end = rings ? 12 : 10;
    if (line[static_cast<std::size_t>(normal - 1)] == '-') d.id_width = normal - 1;
    else if (line[static_cast<std::size_t>(normal - 2)] == '-') d.id_width = normal - 2;
    else d.id_width = normal;
    const auto year = decade_field(columns(line, d.id_width + 1, year_end));
    if (!year) return false;
    d.id = padded(columns(line, 1, d.id_width), 8);
    d.year = static_cast<int>(*year);   // at most six columns: always within int
    d.present = 0;
    for (int k = 0; k < 10; ++k) {
        const int a = rings ? 13 + 6 * k : 11 + 7 * k;
        const std::string_view value = columns(line, a, rings ? a + 5 : a + 3);
        const std::string_view count = rings ? std::string_view() : columns(line, a + 4, a + 6);
        const auto v = decade_field(value);
        const auto n = rings ? std::optional<long long>(0) : decade_field(count);
        if (!v || !n) return false;
        d.fields[rings ? k : 2 * k] = *v;
        if (!rings) d.fields[2 * k + 1] = *n;
        d.blank[k] = all_blank(value) && all_blank(count);
        if (!d.blank[k]) d.present = k + 1;
    }
    return true;
}

// One call of the decade-line reader: finds the next series and reads it to its end marker.
class DecadeReader {
public:
    DecadeReader(std::istream& file, bool rings, TucsonSeries& series, TucsonReadState& state, Console& console)
        : file_(file), rings_(rings), series_(series), state_(state), console_(console) {}

    void run() {
        std::string raw, line;
        for (;;) {
            const std::streampos where = file_.tellg();
            if (!read_text_line(file_, raw)) return end_of_file();
            ++state_.lines;
            std::replace(raw.begin(), raw.end(), '\t', ' ');
            line = padded(raw, kLineColumns);
            if (series_.count == 0 && state_.data_lines == 0 && line[kLineColumns - 1] == '#') return block(where);
            if (all_blank(rings_ ? columns(line, 9, 12) : columns(line, 7, 10))) continue;
            DecadeLine d;
            if (!split_decade_line(line, rings_, d)) {
                if (state_.data_lines > 0) return refuse_unreadable(line);
                if (!not_data(line)) return;
                continue;
            }
            ++state_.data_lines;
            if (runs_past_fields(raw, d)) return;
            if (state_.data_lines == 1 ? !start_series(d) : !follows(d)) return;
            if (store_line(d)) return;
        }
    }

private:
    std::string name() const { return rtrim(series_.id); }
    std::string at_line() const { return "Line " + std::to_string(state_.lines); }

    // Ends the call with a message (one line, or more): the read has failed.
    bool refuse(std::initializer_list<std::string> lines) {
        console_.blank_line();
        for (const auto& l : lines) console_.line(l, 2);
        state_.failed = true;
        return true;
    }
    bool refuse(const std::string& what) { return refuse({what}); }

    void end_of_file() {
        if (line_too_long(file_)) {
            refuse("Line " + std::to_string(state_.lines + 1) +
                   " of the file is longer than a mebibyte: this is not a file of decade lines.");
            return;
        }
        if (state_.data_lines > 0) {
            refuse({"The file ends after line " + std::to_string(state_.lines) + ", inside series " + name() +
                        " (first year " + std::to_string(series_.first_year) + "), before the series' end marker.",
                    "The file may have been cut off; the series is not read."});
            return;
        }
        series_.count = kEndOfFile;
        state_.counter = kEndOfFile;
    }

    void block(std::streampos where) {
        file_.clear();
        file_.seekg(where);
        --state_.lines;
        state_.series_line = state_.lines + 1;
        if (!datar(file_, series_, state_.title, console_, &state_.lines)) state_.failed = true;
        // A format-described block carries no sample counts; in chronology mode every value gets
        // a count of 1 (the writer's stand-in for unknown counts), so that the sample counts stay
        // one per value as callers expect.
        if (!rings_ && series_.count > 0) series_.samples.assign(static_cast<std::size_t>(series_.count), 1);
        if (series_.count == kEndOfFile) state_.counter = kEndOfFile;
    }

    // A line before a series that is not data: shown, and kept as title or header line. False
    // after the 26th such line of one call.
    bool not_data(const std::string& line) {
        ++unreadable_;
        if (unreadable_ > kMaxUnreadable) return false;
        const std::string shown = printable(line);
        if (unreadable_ == 1) {
            console_.blank_line();
            console_.line("title of data:", 2);
            console_.line(rtrim(shown), 2);
            state_.title = padded(shown, kTitleWidth);
            state_.header[0] = padded(shown, kHeaderWidth);
        } else {
            if (unreadable_ <= 3) state_.header[static_cast<std::size_t>(unreadable_ - 1)] = padded(shown, kHeaderWidth);
            console_.line(rtrim(shown), 2);
        }
        return true;
    }

    void refuse_unreadable(const std::string& line) {
        refuse({at_line() + " cannot be read as a decade line of series " + name() + ":", rtrim(printable(line)),
                "(every field must hold a whole number, right-aligned in its columns)"});
    }

    // A digit right after the last field (column 73 of ring widths, 81 of chronologies) means
    // that the last number runs on past its field: the line is out of step with its columns.
    bool runs_past_fields(const std::string& raw, const DecadeLine& d) {
        const std::size_t after = rings_ ? 72 : 80;
        if (d.blank[9] || raw.size() <= after || !std::isdigit(static_cast<unsigned char>(raw[after]))) return false;
        if (state_.data_lines == 1) series_.id = printable(d.id);
        return refuse(at_line() + " of series " + name() + ": the number in its last field runs on into column " +
                      std::to_string(after + 1) + " (the line is out of step with its columns).");
    }

    // The first data line: identifier, first year and the slots that belong to the series.
    bool start_series(const DecadeLine& d) {
        series_.id = printable(d.id);
        first_id_ = d.id;
        first_id_width_ = d.id_width;
        state_.series_line = state_.lines;
        if (rings_) {
            series_.first_year = d.year;
            first_slot_ = 0;
            slots_ = first_line_values(d.year);
            line_year_ = d.year;
            expected_ = d.year + slots_;
            return true;
        }
        // Chronologies: the slots before the first year's hold fill pairs (or nothing). A first
        // line labelled with its decade year has fill pairs before the first value too: they
        // are passed over and the first value's slot gives the first year.
        int s = first_chronology_slot(d.year) - 1;
        const int decade = d.year - s;
        for (int k = 0; k < s; ++k)
            if (!d.blank[k] && d.fields[2 * k] < 9990)
                return !refuse(at_line() + " of chronology " + name() + " holds values before its first year " +
                               std::to_string(d.year) + ".");
        while (s < 10 && !d.blank[s] && d.fields[2 * s] >= 9990) ++s;
        if (s >= d.present)
            return !refuse(at_line() + ": chronology " + name() + " holds no values on its first line" +
                           " (only 9990 fill pairs).");
        series_.first_year = decade + s;
        first_slot_ = s;
        slots_ = 10;
        line_year_ = decade;
        expected_ = decade + 10;
        return true;
    }

    // A later line must carry the series' identifier and the next decade.
    bool follows(const DecadeLine& d) {
        const int normal = rings_ ? 8 : 6;
        if (!same_identifier(first_id_, first_id_width_, d.id, d.id_width, normal, normal - 2))
            return !refuse(at_line() + " carries the identifier " + rtrim(printable(d.id)) + ", but series " + name() +
                           " has not ended: its end marker is missing?");
        if (d.year != expected_) {
            if (d.year > expected_ && (static_cast<long long>(d.year) - expected_) % 10 == 0)
                return !refuse({"Series " + name() + " has no line for the decade " + std::to_string(expected_) +
                                    " (line " + std::to_string(state_.lines) + " holds " + std::to_string(d.year) + ").",
                                "This program cannot bridge gaps: fill them first."});
            return !refuse(at_line() + " of series " + name() + " holds the year " + std::to_string(d.year) +
                           " where " + std::to_string(expected_) + " was due (a repeated or misplaced line?).");
        }
        line_year_ = d.year;
        expected_ += 10;
        first_slot_ = 0;
        slots_ = 10;
        return true;
    }

    bool refuse_cut(int slot) {
        return refuse(at_line() + " of series " + name() + " ends before its value for " +
                      std::to_string(line_year_ + slot) +
                      " (the line is cut short, or the series' end marker is missing).");
    }

    bool store(float v, int sample) {
        if (series_.count >= kMaxYears) {
            if (!state_.failed) {
                console_.blank_line();
                console_.line("Series " + name() + " (first year " + std::to_string(series_.first_year) +
                                  ") has more than " + std::to_string(kMaxYears) +
                                  " values, the limit per series: the file cannot be read.",
                              2);
            }
            state_.failed = true;
            return false;
        }
        series_.values.push_back(v);
        if (!rings_) series_.samples.push_back(sample);
        ++series_.count;
        return true;
    }

    void to_thousandths() {
        for (float& x : series_.values) x *= 0.1f;
    }

    // Stores the line's values; true when the call ends here (end marker, or a refusal).
    bool store_line(const DecadeLine& d) {
        if (!rings_) {
            for (int k = first_slot_; k < 10; ++k) {
                if (k >= d.present) return refuse_cut(k);
                if (d.fields[2 * k] >= 9990) return true;
                if (!store(static_cast<float>(d.fields[2 * k]) * 0.001f, static_cast<int>(d.fields[2 * k + 1])))
                    return true;
            }
            return false;
        }
        for (int k = 0; k < slots_; ++k) {
            if (k >= d.present) return refuse_cut(k);
            const long long v = d.fields[k];
            if (v == -9999) {
                to_thousandths();
                return true;
            }
            if (v == 999) return true;
            if (!store(static_cast<float>(v) * 0.01f, 0)) return true;
        }
        if (d.present <= slots_) return false;
        // A first line with more values than years left in its decade: only an end marker may
        // follow the last year.
        const long long next = d.fields[slots_];
        if (d.present == slots_ + 1 && (next == 999 || next == -9999)) {
            if (next == -9999) to_thousandths();
            return true;
        }
        return refuse(at_line() + " of series " + name() + " holds more values than the years " +
                      std::to_string(line_year_) + " to " + std::to_string(line_year_ + slots_ - 1) +
                      " its year leaves room for.");
    }

    std::istream& file_;
    const bool rings_;
    TucsonSeries& series_;
    TucsonReadState& state_;
    Console& console_;
    int unreadable_ = 0;
    std::string first_id_;
    int first_id_width_ = 0;
    int first_slot_ = 0;   // first slot of the current line that belongs to the series
    int slots_ = 10;       // ring widths: slots of the current line that belong to the series
    int line_year_ = 0;    // year of slot 1 (chronologies: of the decade) of the current line
    int expected_ = 0;     // year the next line must carry
};

}  // namespace

bool read_text_line(std::istream& file, std::string& line, std::size_t max_keep) {
    line.clear();
    std::streambuf* buf = file.rdbuf();
    if (!buf || !file.good()) {
        if (file) file.setstate(std::ios::eofbit | std::ios::failbit);
        return false;
    }
    using traits = std::char_traits<char>;
    auto c = buf->sbumpc();
    if (traits::eq_int_type(c, traits::eof())) {
        file.setstate(std::ios::eofbit | std::ios::failbit);
        return false;
    }
    // No line of a data file is anywhere near this long: a file that has none of its line ends
    // within it is not a text file of ours, and reading on through (perhaps gigabytes of it)
    // would only delay the message. Reading ends here, with badbit telling why.
    constexpr std::size_t kLongestLine = std::size_t{1} << 20;
    std::size_t consumed = 0;
    for (;;) {
        if (traits::eq_int_type(c, traits::eof())) {
            file.setstate(std::ios::eofbit);
            return true;
        }
        char ch = traits::to_char_type(c);
        if (ch == '\n') return true;
        if (ch == '\r') {
            if (traits::eq_int_type(buf->sgetc(), traits::to_int_type('\n'))) buf->sbumpc();
            return true;
        }
        if (line.size() < max_keep) line += ch;
        if (++consumed >= kLongestLine) {
            file.setstate(std::ios::badbit);
            return true;
        }
        c = buf->sbumpc();
    }
}

bool line_too_long(const std::istream& file) { return file.bad(); }

bool skip_byte_order_mark(std::istream& file) {
    std::streambuf* buf = file.rdbuf();
    if (!buf || !file.good()) return false;
    const auto start = buf->pubseekoff(0, std::ios::cur, std::ios::in);
    static constexpr unsigned char kMark[3] = {0xEF, 0xBB, 0xBF};
    int matched = 0;
    while (matched < 3 && buf->sgetc() == kMark[matched]) {
        buf->sbumpc();
        ++matched;
    }
    if (matched == 3) return true;
    if (matched > 0 && start != std::streampos(std::streamoff(-1))) buf->pubseekpos(start, std::ios::in);
    return false;
}

std::optional<long long> int_field(std::string_view field) {
    std::size_t a = 0, b = field.size();
    while (a < b && field[a] == ' ') ++a;
    while (b > a && field[b - 1] == ' ') --b;
    if (a == b) return 0;
    std::string_view s = field.substr(a, b - a);
    bool neg = false;
    if (s[0] == '+' || s[0] == '-') {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 15) return std::nullopt;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return neg ? -v : v;
}

void trrw(std::istream& file, std::string_view mode, TucsonSeries& series, TucsonReadState& state,
          Console& console) {
    const bool rings = mode == "mr";
    if (!rings && mode != "ir") throw std::invalid_argument("trrw: unknown read mode");

    state.title.assign(kTitleWidth, ' ');
    if (state.counter < 0) state.counter = 0;
    state.counter += 1;
    if (state.counter == 1)
        for (auto& h : state.header) h.assign(kHeaderWidth, ' ');

    series.id.assign(8, ' ');
    series.first_year = 0;
    series.count = 0;
    series.values.clear();
    series.samples.clear();
    state.data_lines = 0;
    DecadeReader(file, rings, series, state, console).run();
}

void trrw(std::ostream& file, std::string_view mode, std::string_view id, int first_year,
          std::span<const float> values, std::span<const int> samples, std::string_view label,
          TucsonWriteState& state, Console& console) {
    if (mode == "mw") {
        if (values.empty()) return;
        write_ring_widths(file, id, first_year, values, label, state, console);
    } else if (mode == "iw") {
        if (values.empty()) return;
        write_chronology(file, id, first_year, values, samples, label, state, console);
    } else {
        throw std::invalid_argument("trrw: unknown write mode");
    }
}

bool datar(std::istream& file, TucsonSeries& series, std::string& title, Console& console, int* lines) {
    int local_lines = 0;
    int& read = lines ? *lines : local_lines;
    std::string raw;
    for (;;) {
        if (!read_text_line(file, raw)) {
            series.count = kEndOfFile;
            if (!line_too_long(file)) return true;
            console.line(">> sbr datar:  error reading data");
            console.line("   (line " + std::to_string(read + 1) + " is longer than a mebibyte)", 1);
            return false;
        }
        ++read;
        std::string line = padded(raw, kLineColumns);
        if (line.compare(0, 3, "n  ") != 0) title = padded(printable(line), kTitleWidth);
        auto count = int_field(columns(line, 3, 10));
        auto year = int_field(columns(line, 13, 20));
        std::string format(columns(line, 23, 30));
        if (!count || !year) continue;
        if (format.find('(') == std::string::npos || format.find(')') == std::string::npos) continue;

        series.id = padded(title, 8);
        series.first_year = static_cast<int>(std::clamp<long long>(*year, std::numeric_limits<int>::min(),
                                                                   std::numeric_limits<int>::max()));
        series.values.clear();
        series.samples.clear();
        series.count = 0;
        const std::string where = "   (series " + rtrim(series.id) + ", line ";
        if (*count > kMaxYears) {
            console.blank_line();
            console.line("Series " + rtrim(series.id) + " (line " + std::to_string(read) + ") has " +
                             std::to_string(*count) + " values, more than " + std::to_string(kMaxYears) +
                             " (the limit per series): the file cannot be read.",
                         2);
            return false;
        }
        const int n = static_cast<int>(std::max<long long>(*count, 0));
        auto list = EditListParser(format).parse();
        if (!list) {
            console.line(">> sbr datar:  error reading data");
            console.line("   (the read format \"" + rtrim(format) + "\" of line " + std::to_string(read) +
                             " cannot be used)",
                         1);
            return false;
        }
        series.values.reserve(static_cast<std::size_t>(n));
        BlockRead r = BlockReader(file, series.values, n, read).run(*list);
        series.count = static_cast<int>(series.values.size());
        const std::string at = where + std::to_string(read);
        switch (r) {
        case BlockRead::Done: return true;
        case BlockRead::Error:
            console.line(">> sbr datar:  error reading data");
            console.line(at + ": a value that the format cannot read)", 1);
            return false;
        case BlockRead::CutShort:
            console.line(">> sbr datar:  error reading data");
            console.line(at + " ends before the value " + std::to_string(series.count + 1) + " of " +
                             std::to_string(n) + ": the line is cut off)",
                         1);
            return false;
        case BlockRead::Implausible:
            console.line(">> sbr datar:  error reading data");
            console.line(at + ": value " + std::to_string(series.count + 1) +
                             " is 100 or more, neither a width in millimetres nor an index)",
                         1);
            return false;
        case BlockRead::TooLong:
            console.line(">> sbr datar:  error reading data");
            console.line(where + std::to_string(read + 1) + " is longer than a mebibyte)", 1);
            return false;
        case BlockRead::EndOfFile:
            console.line(">> sbr datar:  unexpected end reading data");
            console.line(at + " is the last line of the file; " + std::to_string(n - series.count) +
                             " values are missing)",
                         1);
            return false;
        }
        return false;
    }
}

void blank(std::string& text, int n) {
    if (n < 0) n = 0;
    if (text.size() < static_cast<std::size_t>(n)) text.resize(static_cast<std::size_t>(n), ' ');
    std::fill_n(text.begin(), n, ' ');
}

void stringclean(std::string& text, int n) {
    std::size_t len = std::min<std::size_t>(text.size(), static_cast<std::size_t>(std::max(n, 0)));
    std::string kept;
    for (std::size_t i = 0; i < len; ++i)
        if (text[i] != ' ') kept += text[i];
    kept.resize(len, ' ');
    std::copy(kept.begin(), kept.end(), text.begin());
}

std::string intfrm(std::string& text) {
    std::size_t lead = 0;
    while (lead < text.size() && text[lead] == ' ') ++lead;
    if (lead == text.size()) lead = 0;
    std::size_t nonblank = static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return c != ' '; }));
    if (lead > 0) {
        std::string moved = text.substr(lead, nonblank);
        moved.resize(text.size(), ' ');
        text = moved;
    }
    return "(i" + std::to_string(nonblank) + ")";
}

std::optional<int> read_int_format(std::string_view text, std::string_view format) {
    std::string f = trim(format);
    if (f.size() < 4 || f.front() != '(' || f.back() != ')' || (f[1] != 'i' && f[1] != 'I')) return std::nullopt;
    auto width = parse_int(std::string_view(f).substr(2, f.size() - 3));
    if (!width || *width < 1) return std::nullopt;
    std::string field = fixed_width(text, static_cast<std::size_t>(*width));
    auto v = int_field(field);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(*v);
}

}  // namespace kestrovan
