#include "io/tucson.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "io/decade_layout.hpp"
#include "io/edit_list.hpp"
#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "model/format.hpp"
#include "model/freeform.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

namespace {

using detail::DecadeLayout;
using detail::first_chronology_slot;
using detail::first_line_values;
using detail::kChronologyLines;
using detail::kRingLines;

constexpr int kLineColumns = 80;
constexpr int kTitleWidth = 85;
constexpr int kHeaderWidth = 88;
constexpr int kMaxUnreadable = 25;
// In a ring-width file, 9990 padding the rest of a series' last line or the start of its first.
constexpr long long kPadding = 9990;

// Columns a..b (counted from 1) of a line, blank padded.
std::string_view columns(const std::string& line, int a, int b) {
    return std::string_view(line).substr(static_cast<std::size_t>(a - 1),
                                         static_cast<std::size_t>(b - a + 1));
}

// ---- format-described blocks -------------------------------------------------------------

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

enum class BlockRead { Done, Error, EndOfFile, CutShort, Implausible, TooLong, Unusable };

// Values of a format-described block are widths in millimetres or indices: 100 or more is
// neither (and would overflow the engine's sums long before it became infinite).
constexpr double kImplausibleValue = 100.0;

// Reads `count` values with an edit list, starting a new record whenever the list asks for it
// or runs out (then it starts again at its last top-level group, the usual rule for edit lists).
class BlockReader {
public:
    BlockReader(std::istream& file, std::vector<float>& out, int count, int& lines)
        : file_(file), out_(out), count_(count), lines_(lines) {}

    BlockRead run(const EditList& list) {
        if (count_ <= 0) return BlockRead::Done;
        if (!next_record()) return no_record();
        std::size_t restart = 0;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].kind == EditItem::Kind::Group) restart = i;
        std::size_t from = 0;
        EditWalk walk;
        for (;;) {
            const std::size_t before = out_.size();
            std::optional<BlockRead> end;
            const WalkEnd walked = walk.walk(list, from, [&](const EditItem& item) {
                end = step(item);
                return end.has_value();
            });
            if (walked == WalkEnd::Stopped) return *end;
            if (walked == WalkEnd::OverBudget) return BlockRead::Unusable;
            if (out_.size() == before) return BlockRead::Error;  // an edit list without data fields
            if (!next_record()) return no_record();
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
    BlockRead no_record() const { return line_too_long(file_) ? BlockRead::TooLong : BlockRead::EndOfFile; }
    // A data field must lie within its line: a line that ends before it was cut off, and its
    // missing digits must not be read as blanks (zeros).
    bool field_on_record(int width) const { return pos_ + static_cast<std::size_t>(width) <= record_.size(); }
    bool at_end() const {
        return !file_.good() ||
               std::char_traits<char>::eq_int_type(file_.rdbuf()->sgetc(), std::char_traits<char>::eof());
    }

    // One descriptor: nullopt to go on, otherwise the end of the block.
    std::optional<BlockRead> step(const EditItem& item) {
        const auto width = static_cast<std::size_t>(item.width);
        switch (item.kind) {
            case EditItem::Kind::Skip:
            case EditItem::Kind::TabRight: pos_ += width; break;
            case EditItem::Kind::Tab: pos_ = width - 1; break;
            case EditItem::Kind::TabLeft: pos_ = pos_ > width ? pos_ - width : 0; break;
            case EditItem::Kind::NewRecord:
                if (!next_record()) return no_record();
                break;
            case EditItem::Kind::Integer:
            case EditItem::Kind::Real: return read_field(item);
            case EditItem::Kind::Group: break;  // the walk hands over descriptors only
        }
        return std::nullopt;
    }

    std::optional<BlockRead> read_field(const EditItem& item) {
        if (!field_on_record(item.width)) return at_end() ? BlockRead::EndOfFile : BlockRead::CutShort;
        const std::string_view rec = record_;
        const std::string_view text = rec.substr(pos_, static_cast<std::size_t>(item.width));
        pos_ += static_cast<std::size_t>(item.width);
        std::optional<double> v;
        if (item.kind == EditItem::Kind::Integer) {
            if (auto i = int_field(text)) v = static_cast<double>(*i);
        } else {
            v = real_field(text, item.decimals);
        }
        if (!v) return BlockRead::Error;
        if (!(std::fabs(*v) < kImplausibleValue)) return BlockRead::Implausible;
        out_.push_back(static_cast<float>(*v));
        if (static_cast<int>(out_.size()) == count_) return BlockRead::Done;
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
bool same_identifier(const std::string& a, int a_width, const std::string& b, int b_width, int normal,
                     int narrow) {
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
    std::string id;    // identifier as it stands, 8 characters
    int id_width = 0;  // columns the line's layout gives the identifier
    int year = 0;
    long long values[10] = {};  // ring widths, or chronology indices
    long long counts[10] = {};  // chronologies: the sample counts (0 for ring widths)
    bool blank[10] = {};        // slot k is all blanks
    int present = 0;            // slots up to the last one that is not blank
};

// Identifier, year and the ten slots of an 80-column line laid out as `layout` says; false when
// a field does not hold a whole number (the line is not a data line). "-" in the identifier's
// last column, or else in the one before, moves the start of the year one or two columns left.
bool split_decade_line(const std::string& line, const DecadeLayout& layout, DecadeLine& d) {
    const int normal = layout.id_width;
    if (line[static_cast<std::size_t>(normal - 1)] == '-')
        d.id_width = normal - 1;
    else if (line[static_cast<std::size_t>(normal - 2)] == '-')
        d.id_width = normal - 2;
    else
        d.id_width = normal;
    const auto year = decade_field(columns(line, d.id_width + 1, layout.year_end));
    if (!year) return false;
    d.id = padded(columns(line, 1, d.id_width), 8);
    d.year = static_cast<int>(*year);  // at most six columns: always within int
    d.present = 0;
    for (int k = 0; k < 10; ++k) {
        const int a = layout.first_column + layout.slot_width * k;
        const std::string_view value = columns(line, a, a + layout.value_width - 1);
        const std::string_view count = columns(line, a + layout.value_width, a + layout.slot_width - 1);
        const auto v = decade_field(value);
        const auto n = decade_field(count);  // an empty field (ring widths) reads as 0
        if (!v || !n) return false;
        d.values[k] = *v;
        d.counts[k] = *n;
        d.blank[k] = all_blank(value) && all_blank(count);
        if (!d.blank[k]) d.present = k + 1;
    }
    return true;
}

// Whitespace-separated words of a text.
std::vector<std::string_view> words_of(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        if (i > start) out.push_back(text.substr(start, i - start));
    }
    return out;
}

bool has_digit(std::string_view w) {
    return std::any_of(w.begin(), w.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Letters, and bytes of other alphabets (above 0x7f).
bool has_letter(std::string_view w) {
    return std::any_of(w.begin(), w.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x7f || std::isalpha(u);
    });
}

// The words after the year of a line that could not be read are values gone wrong ("7x9", "7.9",
// ".") rather than text: at least one holds a digit, and those holding digits are not fewer than
// those that are words (letters without digits). Punctuation alone ("." or "__") counts for
// neither side.
bool values_rather_than_text(std::span<const std::string_view> words) {
    int numbers = 0, text = 0;
    for (std::string_view w : words) {
        if (has_digit(w))
            ++numbers;
        else if (has_letter(w))
            ++text;
    }
    return numbers > 0 && numbers >= text;
}

// A line between series that cannot be split into its fields, but starts as a series does: an
// identifier and a year in their columns (or, on a line that held tabs, as its first two words)
// followed by values rather than text. Such a line is a damaged first line of a series, not a
// title: taking it as one would drop the series, or its first decade. Descriptive lines (site,
// species, collector) fail the test by their words, or by a year field that holds text.
bool starts_like_a_series(std::string_view line, bool had_tabs, const DecadeLayout& layout, std::string& id,
                          long long& year) {
    const std::string padded_line = padded(line, kLineColumns);
    const int normal = layout.id_width;
    int id_width = normal;
    if (padded_line[static_cast<std::size_t>(normal - 1)] == '-')
        id_width = normal - 1;
    else if (padded_line[static_cast<std::size_t>(normal - 2)] == '-')
        id_width = normal - 2;
    const std::string_view head_id = columns(padded_line, 1, id_width);
    const std::string_view year_field = columns(padded_line, id_width + 1, layout.year_end);
    if (!all_blank(head_id) && !all_blank(year_field)) {
        if (const auto y = decade_field(year_field)) {
            const auto rest = static_cast<std::size_t>(layout.year_end);
            const auto words = words_of(line.size() > rest ? line.substr(rest) : std::string_view());
            if (values_rather_than_text(words)) {
                id = rtrim(head_id);
                year = *y;
                return true;
            }
        }
    }
    if (!had_tabs) return false;
    const auto words = words_of(line);
    if (words.size() < 3 || words[0].size() > 8 || words[1].size() > 6) return false;
    const auto y = int_field(words[1]);
    if (!y) return false;
    const std::span<const std::string_view> values(words.begin() + 2, words.end());
    if (!std::all_of(values.begin(), values.end(),
                     [](std::string_view w) { return has_digit(w) || !has_letter(w); }))
        return false;
    id = std::string(words[0]);
    year = *y;
    return true;
}

class DecadeReader {
public:
    DecadeReader(std::istream& file, bool rings, TucsonSeries& series, TucsonReadState& state,
                 LoadNotes& notes)
        : file_(file),
          rings_(rings),
          layout_(rings ? kRingLines : kChronologyLines),
          series_(series),
          state_(state),
          notes_(notes) {}

    void run() {
        std::string raw, line;
        for (;;) {
            const std::streampos where = file_.tellg();
            if (!read_text_line(file_, raw)) return end_of_file();
            ++state_.lines;
            const bool had_tabs = raw.find('\t') != std::string::npos;
            std::replace(raw.begin(), raw.end(), '\t', ' ');
            line = padded(raw, kLineColumns);
            if (series_.count == 0 && state_.data_lines == 0 && line[kLineColumns - 1] == '#')
                return block(where);
            if (all_blank(columns(line, layout_.year_end - 3, layout_.year_end))) continue;
            DecadeLine d;
            if (!split_decade_line(line, layout_, d)) {
                if (state_.data_lines > 0) return refuse_unreadable(line);
                if (refuse_damaged_start(raw, had_tabs)) return;
                if (!not_data(line)) return;
                continue;
            }
            ++state_.data_lines;
            if (runs_past_fields(raw, d)) return;
            if (state_.data_lines == 1 ? !start_series(d) : !follows(d)) return;
            if (rings_ ? store_ring_line(d) : store_chronology_line(d)) return;
        }
    }

private:
    std::string name() const { return rtrim(series_.id); }
    std::string at_line() const { return "Line " + std::to_string(state_.lines); }

    // Ends the call with a message (one line, or more): the read has failed.
    bool refuse(std::initializer_list<std::string> lines) {
        notes_.blank_line();
        for (const auto& l : lines) notes_.refusal(l, 2);
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
                        " (first year " + std::to_string(series_.first_year) +
                        "), before the series' end marker.",
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
        if (!datar(file_, series_, state_.title, notes_, &state_.lines)) state_.failed = true;
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
            notes_.blank_line();
            notes_.message("title of data:", 2);
            notes_.message(rtrim(shown), 2);
            state_.title = padded(shown, kTitleWidth);
            state_.header[0] = padded(shown, kHeaderWidth);
        } else {
            if (unreadable_ <= 3)
                state_.header[static_cast<std::size_t>(unreadable_ - 1)] = padded(shown, kHeaderWidth);
            notes_.message(rtrim(shown), 2);
        }
        return true;
    }

    void refuse_unreadable(const std::string& line) {
        refuse({at_line() + " cannot be read as a decade line of series " + name() + ":",
                rtrim(printable(line)),
                "(every field must hold a whole number, right-aligned in its columns)"});
    }

    // A line between series that starts as a series does but cannot be read: refused naming the
    // line, so that neither the series nor its first decade is lost as a title line.
    bool refuse_damaged_start(const std::string& raw, bool had_tabs) {
        std::string id;
        long long year = 0;
        if (!starts_like_a_series(raw, had_tabs, layout_, id, year)) return false;
        return refuse({at_line() + " starts like the first line of a series (" + printable(id) + ", year " +
                           std::to_string(year) + "), but cannot be read as a decade line:",
                       rtrim(printable(raw)),
                       "(every field must hold a whole number, right-aligned in its columns)"});
    }

    // A digit right after the last field (column 73 of ring widths, 81 of chronologies) means
    // that the last number runs on past its field: the line is out of step with its columns.
    bool runs_past_fields(const std::string& raw, const DecadeLine& d) {
        const auto after = static_cast<std::size_t>(layout_.last_column());
        if (d.blank[9] || raw.size() <= after || !std::isdigit(static_cast<unsigned char>(raw[after])))
            return false;
        if (state_.data_lines == 1) series_.id = printable(d.id);
        return refuse(at_line() + " of series " + name() +
                      ": the number in its last field runs on into column " + std::to_string(after + 1) +
                      " (the line is out of step with its columns).");
    }

    // The first data line: identifier, first year and the slots that belong to the series.
    bool start_series(const DecadeLine& d) {
        series_.id = printable(d.id);
        first_id_ = d.id;
        first_id_width_ = d.id_width;
        state_.series_line = state_.lines;
        if (!rings_) return start_chronology(d);
        series_.first_year = d.year;
        first_slot_ = 0;
        slots_ = first_line_values(d.year);
        line_year_ = d.year;
        expected_ = d.year + slots_;
        // 9990 before the first value of the first line pads the decade in a series of hundredths
        // (no value, warned) but is a width of 9.990 mm in one of thousandths: it is set aside
        // until the end marker says which (put_back_lead).
        int lead = 0;
        while (lead < slots_ && lead < d.present && !d.blank[lead] && d.values[lead] == kPadding) ++lead;
        if (lead > 0 && lead < d.present) {
            first_slot_ = lead;
            series_.first_year = d.year + lead;
            lead_ = lead;
            lead_line_ = state_.lines;
        }
        return true;
    }

    // A chronology's first line: the slots before the first year's hold fill pairs (or nothing).
    // A first line labelled with its decade year has fill pairs before the first value too: they
    // are passed over and the first value's slot gives the first year.
    bool start_chronology(const DecadeLine& d) {
        int s = first_chronology_slot(d.year) - 1;
        const int decade = d.year - s;
        for (int k = 0; k < s; ++k)
            if (!d.blank[k] && d.values[k] < 9990)
                return !refuse(at_line() + " of chronology " + name() +
                               " holds values before its first year " + std::to_string(d.year) + ".");
        while (s < 10 && !d.blank[s] && d.values[s] >= 9990) ++s;
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
        const int normal = layout_.id_width;
        if (!same_identifier(first_id_, first_id_width_, d.id, d.id_width, normal, normal - 2))
            return !refuse(at_line() + " carries the identifier " + rtrim(printable(d.id)) + ", but series " +
                           name() + " has not ended: its end marker is missing?");
        if (d.year != expected_) {
            if (d.year > expected_ && (static_cast<long long>(d.year) - expected_) % 10 == 0)
                return !refuse({"Series " + name() + " has no line for the decade " +
                                    std::to_string(expected_) + " (line " + std::to_string(state_.lines) +
                                    " holds " + std::to_string(d.year) + ").",
                                "This program cannot bridge gaps: fill them first."});
            return !refuse(at_line() + " of series " + name() + " holds the year " + std::to_string(d.year) +
                           " where " + std::to_string(expected_) +
                           " was due (a repeated or misplaced line?).");
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
                notes_.blank_line();
                notes_.refusal("Series " + name() + " (first year " + std::to_string(series_.first_year) +
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

    // Stores a chronology line's pairs; true when the call ends here (a fill pair, or a refusal).
    bool store_chronology_line(const DecadeLine& d) {
        for (int k = first_slot_; k < 10; ++k) {
            if (k >= d.present) return refuse_cut(k);
            if (d.values[k] >= 9990) return true;
            if (!store(static_cast<float>(d.values[k]) * 0.001f, static_cast<int>(d.counts[k]))) return true;
        }
        return false;
    }

    // Remembers the first value of the series that is 100 mm or more in hundredths (10000 or
    // more) and in thousandths (100000 or more): which unit applies is known only at the end marker.
    void note_width(long long v, int year) {
        for (WideValue* w : {&wide_hundredths_, &wide_thousandths_}) {
            const long long limit = w == &wide_hundredths_ ? 10000 : 100000;
            if (w->line == 0 && v >= limit) *w = {state_.lines, year, v};
        }
    }

    // The end marker: the values take their unit, and a width of 100 mm or more in that unit is
    // refused naming its line, as the column readers refuse it. In hundredths, 9990 is padding:
    // the leading 9990 of the first line is no value, and one anywhere else is refused. In
    // thousandths it is a width of 9.990 mm wherever it stands. True (the call ends here).
    bool end_series(bool thousandths) {
        state_.unit_parts = thousandths ? 1000 : 100;
        if (thousandths) {
            if (!put_back_lead()) return true;
            to_thousandths();
        } else {
            if (lead_ > 0) state_.padding_lines.push_back(lead_line_);
            if (stray_.line != 0) return refuse(stray_message());
        }
        const WideValue& w = thousandths ? wide_thousandths_ : wide_hundredths_;
        if (w.line == 0) return true;
        return refuse("Line " + std::to_string(w.line) + ": the value " + std::to_string(w.value) +
                      " of series " + name() + " for " + std::to_string(w.year) +
                      " is not a ring width in millimetres (100 or more, in " +
                      (thousandths ? "thousandths" : "hundredths") + " of a millimetre).");
    }

    // The 9990 set aside before the first value of a thousandths series: widths of 9.990 mm
    // (still in hundredths here, as every value before the end marker's scaling), from the first
    // line's own year on. False when the series then passes the limit per series.
    bool put_back_lead() {
        if (lead_ == 0) return true;
        if (series_.count + lead_ > kMaxYears) {
            notes_.blank_line();
            notes_.refusal("Series " + name() + " (first year " + std::to_string(series_.first_year - lead_) +
                               ") has more than " + std::to_string(kMaxYears) +
                               " values, the limit per series: the file cannot be read.",
                           2);
            state_.failed = true;
            return false;
        }
        series_.values.insert(series_.values.begin(), static_cast<std::size_t>(lead_),
                              static_cast<float>(kPadding) * 0.01f);
        series_.count += lead_;
        series_.first_year -= lead_;
        return true;
    }

    // 9990 where it cannot be padding: its line and year, kept until the unit is known.
    void note_stray_padding(int year) {
        if (stray_.line == 0) stray_ = {state_.lines, year, kPadding};
    }

    std::string stray_message() const {
        return "Line " + std::to_string(stray_.line) + ": 9990 in series " + name() + " for " +
               std::to_string(stray_.year) +
               " stands where it cannot be padding (padding fills the rest of a series' last line when "
               "the next line begins another series, or the start of its first line), and in hundredths "
               "of a millimetre it is no ring width (99.90 mm).";
    }

    // Stores a ring-width line's values; true when the call ends here (end marker, or a refusal).
    bool store_ring_line(const DecadeLine& d) {
        const int from = first_slot_;
        first_slot_ = 0;
        for (int k = from; k < slots_; ++k) {
            if (k >= d.present) return refuse_cut(k);
            const long long v = d.values[k];
            if (v == -9999) return end_series(true);
            if (v == 999) return end_series(false);
            if (v == kPadding) {
                if (series_.count > 0 && pads_rest_of_line(d, k) && next_line_starts_another())
                    return end_by_padding();
                note_stray_padding(line_year_ + k);
            }
            note_width(v, line_year_ + k);
            if (!store(static_cast<float>(v) * 0.01f, 0)) return true;
        }
        if (d.present <= slots_) return false;
        // A first line with more values than years left in its decade: only an end marker may
        // follow the last year.
        const long long next = d.values[slots_];
        if (d.present == slots_ + 1 && (next == 999 || next == -9999)) return end_series(next == -9999);
        return refuse(at_line() + " of series " + name() + " holds more values than the years " +
                      std::to_string(line_year_) + " to " + std::to_string(line_year_ + slots_ - 1) +
                      " its year leaves room for.");
    }

    // Slots k and after of the line hold 9990 and nothing else.
    static bool pads_rest_of_line(const DecadeLine& d, int k) {
        for (int j = k; j < d.present; ++j)
            if (d.blank[j] || d.values[j] != kPadding) return false;
        return true;
    }

    // The next line that is not blank begins another series (another identifier), or the file
    // ends; the file's position is left where it was.
    bool next_line_starts_another() {
        const std::streampos where = file_.tellg();
        std::string raw;
        bool another = true;
        while (read_text_line(file_, raw)) {
            std::replace(raw.begin(), raw.end(), '\t', ' ');
            const std::string line = padded(raw, kLineColumns);
            if (all_blank(columns(line, layout_.year_end - 3, layout_.year_end))) continue;
            DecadeLine d;
            const int normal = layout_.id_width;
            another = split_decade_line(line, layout_, d) &&
                      !same_identifier(first_id_, first_id_width_, d.id, d.id_width, normal, normal - 2);
            break;
        }
        if (line_too_long(file_)) another = false;
        file_.clear();
        file_.seekg(where);
        return another;
    }

    // A series that ends where 9990 fills the rest of its last line: it has no end marker, and
    // the loader gives it the unit of the file's other series. Its values stay in hundredths
    // until then; a value that is no width in either unit is refused now, and the refusal due in
    // hundredths (a value of 100 mm or more, or 9990 elsewhere in the series) is handed on. Its
    // 9990 before the first value of its first line stays padding in either unit, as its last does.
    bool end_by_padding() {
        if (lead_ > 0) state_.padding_lines.push_back(lead_line_);
        state_.padding_lines.push_back(state_.lines);
        state_.unit_parts = 0;
        if (wide_thousandths_.line != 0) {
            lead_ = 0;
            return end_series(true);
        }
        state_.padded_wide.clear();
        if (stray_.line != 0)
            state_.padded_wide = stray_message();
        else if (wide_hundredths_.line != 0)
            state_.padded_wide =
                "Line " + std::to_string(wide_hundredths_.line) + ": the value " +
                std::to_string(wide_hundredths_.value) + " of series " + name() + " for " +
                std::to_string(wide_hundredths_.year) +
                " is not a ring width in millimetres (100 or more, in hundredths of a millimetre).";
        return true;
    }

    std::istream& file_;
    const bool rings_;
    const DecadeLayout& layout_;
    TucsonSeries& series_;
    TucsonReadState& state_;
    LoadNotes& notes_;
    int unreadable_ = 0;
    std::string first_id_;
    int first_id_width_ = 0;
    int first_slot_ = 0;  // first slot of the current line that belongs to the series
    int slots_ = 10;      // ring widths: slots of the current line that belong to the series
    int line_year_ = 0;   // year of slot 1 (chronologies: of the decade) of the current line
    int expected_ = 0;    // year the next line must carry
    struct WideValue {
        int line = 0;  // 0: none met
        int year = 0;
        long long value = 0;
    };
    WideValue wide_hundredths_, wide_thousandths_;
    WideValue stray_;    // the first 9990 of the series that is not in a padding place
    int lead_ = 0;       // 9990 set aside before the first value of the first line
    int lead_line_ = 0;  // that line
};

// The count line of a format-described block.
struct CountLine {
    long long count = 0;
    long long first_year = 0;
    std::string format;  // columns 23-30
    int line = 0;        // its line in the file
};

enum class CountLineSearch { Found, EndOfFile, TooLong };

// Reads lines up to the next count line; every line that does not begin with "n  " becomes the
// title on its way. `read` counts the lines read.
CountLineSearch find_count_line(std::istream& file, std::string& title, int& read, CountLine& found) {
    std::string raw;
    for (;;) {
        if (!read_text_line(file, raw))
            return line_too_long(file) ? CountLineSearch::TooLong : CountLineSearch::EndOfFile;
        ++read;
        std::string line = padded(raw, kLineColumns);
        if (line.compare(0, 3, "n  ") != 0) title = padded(printable(line), kTitleWidth);
        auto count = int_field(columns(line, 3, 10));
        auto year = int_field(columns(line, 13, 20));
        std::string format(columns(line, 23, 30));
        if (!count || !year) continue;
        if (format.find('(') == std::string::npos || format.find(')') == std::string::npos) continue;
        found = {*count, *year, std::move(format), read};
        return CountLineSearch::Found;
    }
}

void datar_error(LoadNotes& notes, const std::string& detail) {
    notes.refusal(">> sbr datar:  error reading data");
    notes.refusal(detail, 1);
}

void unusable_format(LoadNotes& notes, const CountLine& head) {
    datar_error(notes, "   (the read format \"" + rtrim(head.format) + "\" of line " +
                           std::to_string(head.line) + " cannot be used)");
}

// The message of a block read that ended before its last value; `read` is the number of lines
// read, `wanted` the values the count line announced.
void block_failed(LoadNotes& notes, BlockRead r, const TucsonSeries& series, int wanted, int read) {
    const std::string where = "   (series " + rtrim(series.id) + ", line ";
    const std::string at = where + std::to_string(read);
    switch (r) {
        case BlockRead::Done: return;
        case BlockRead::Error: return datar_error(notes, at + ": a value that the format cannot read)");
        case BlockRead::CutShort:
            return datar_error(notes, at + " ends before the value " + std::to_string(series.count + 1) +
                                          " of " + std::to_string(wanted) + ": the line is cut off)");
        case BlockRead::Implausible:
            return datar_error(notes, at + ": value " + std::to_string(series.count + 1) +
                                          " is 100 or more, neither a width in millimetres nor an index)");
        case BlockRead::TooLong:
            return datar_error(notes, where + std::to_string(read + 1) + " is longer than a mebibyte)");
        case BlockRead::EndOfFile:
            notes.refusal(">> sbr datar:  unexpected end reading data");
            notes.refusal(at + " is the last line of the file; " + std::to_string(wanted - series.count) +
                              " values are missing)",
                          1);
            return;
        case BlockRead::Unusable: return;  // reported with the count line
    }
}

}  // namespace

void trrw(std::istream& file, std::string_view mode, TucsonSeries& series, TucsonReadState& state) {
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
    state.unit_parts = 0;
    state.padded_wide.clear();
    DecadeReader(file, rings, series, state, state.notes).run();
}

int ring_identifier_width(int first_year) { return detail::head_widths(first_year, kRingLines).id; }

bool datar(std::istream& file, TucsonSeries& series, std::string& title, LoadNotes& notes, int* lines) {
    int local_lines = 0;
    int& read = lines ? *lines : local_lines;
    CountLine head;
    const CountLineSearch search = find_count_line(file, title, read, head);
    if (search != CountLineSearch::Found) {
        series.count = kEndOfFile;
        if (search == CountLineSearch::EndOfFile) return true;
        datar_error(notes, "   (line " + std::to_string(read + 1) + " is longer than a mebibyte)");
        return false;
    }

    series.id = padded(title, 8);
    series.first_year = static_cast<int>(std::clamp<long long>(
        head.first_year, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    series.values.clear();
    series.samples.clear();
    series.count = 0;
    if (head.count > kMaxYears) {
        notes.blank_line();
        notes.refusal("Series " + rtrim(series.id) + " (line " + std::to_string(read) + ") has " +
                          std::to_string(head.count) + " values, more than " + std::to_string(kMaxYears) +
                          " (the limit per series): the file cannot be read.",
                      2);
        return false;
    }
    const int n = static_cast<int>(std::max<long long>(head.count, 0));
    const auto list = parse_edit_list(head.format);
    if (!list) {
        unusable_format(notes, head);
        return false;
    }
    series.values.reserve(static_cast<std::size_t>(n));
    const BlockRead r = BlockReader(file, series.values, n, read).run(*list);
    series.count = static_cast<int>(series.values.size());
    if (r == BlockRead::Done) return true;
    if (r == BlockRead::Unusable) unusable_format(notes, head);
    block_failed(notes, r, series, n, read);
    return false;
}

}  // namespace kestrovan
